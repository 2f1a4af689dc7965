#include "drivers/delimited/delimited_text_decoding.hpp"

#include <algorithm>

namespace tabvora {

namespace {

std::optional<DecodedDelimitedText> decodeInOrder(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    if (auto text = decodeText(bytes.subspan(3), TextEncoding::utf8)) {
      return DecodedDelimitedText{std::move(*text), TextEncoding::utf8};
    }
  } else if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
    if (auto text = decodeUTF16WithBOM(bytes)) {
      return DecodedDelimitedText{std::move(*text), bytes[0] == 0xFF ? TextEncoding::utf16LittleEndian
                                                                     : TextEncoding::utf16BigEndian};
    }
  }
  for (TextEncoding encoding : {TextEncoding::utf8, TextEncoding::windows1252, TextEncoding::isoLatin1}) {
    if (auto text = decodeText(bytes, encoding)) return DecodedDelimitedText{std::move(*text), encoding};
  }
  return std::nullopt;
}

}  // namespace

std::optional<DecodedDelimitedText> decodeDelimitedText(std::span<const std::uint8_t> bytes) {
  std::optional<DecodedDelimitedText> decoded = decodeInOrder(bytes);
  if (decoded) std::erase(decoded->utf8, '\0');
  return decoded;
}

}  // namespace tabvora
