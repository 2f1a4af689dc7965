#include "drivers/delimited/delimited_text_decoding.hpp"

#include <algorithm>
#include <array>

#include "drivers/delimited/delimited_encoding_stream.hpp"
#include "platform/byte_order_mark.hpp"

namespace tabvora::internal {

namespace {

// Each byte's text in a single-byte encoding, as UTF-8. NUL has none (decoded text holds no
// NUL), nor has a byte the encoding leaves undefined.
struct SingleByteTable {
  std::array<std::array<char, 3>, 256> utf8{};
  std::array<std::uint8_t, 256> length{};
  std::array<bool, 256> defined{};
};

// Built from the platform's own decoder, so both always agree byte for byte.
SingleByteTable makeTable(TextEncoding encoding) {
  SingleByteTable table;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    const std::optional<std::string> text = decodeText(std::span<const std::uint8_t>(&byte, 1), encoding);
    // One byte of a single-byte encoding is one character of the Basic Multilingual Plane.
    table.defined[b] = text && text->size() <= 3;
    if (!table.defined[b] || b == 0) continue;
    std::copy(text->begin(), text->end(), table.utf8[b].begin());
    table.length[b] = static_cast<std::uint8_t>(text->size());
  }
  return table;
}

const SingleByteTable& tableOf(TextEncoding encoding) {
  static const SingleByteTable windows1252 = makeTable(TextEncoding::windows1252);
  static const SingleByteTable latin1 = makeTable(TextEncoding::isoLatin1);
  return encoding == TextEncoding::windows1252 ? windows1252 : latin1;
}

// Windows-1252 or Latin 1; the caller has made sure every byte is defined.
std::string decodeSingleByte(std::span<const std::uint8_t> bytes, TextEncoding encoding) {
  const SingleByteTable& table = tableOf(encoding);
  // Measured first, so the text is made at its size and never copied to grow.
  std::size_t length = 0;
  for (const std::uint8_t b : bytes) length += table.length[b];
  std::string out;
  out.reserve(length);
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t run = i;
    while (run < bytes.size() && bytes[run] != 0 && bytes[run] < 0x80) ++run;
    out.append(reinterpret_cast<const char*>(bytes.data()) + i, run - i);
    if (run == bytes.size()) break;
    out.append(table.utf8[bytes[run]].data(), table.length[bytes[run]]);
    i = run + 1;
  }
  return out;
}

}  // namespace

DelimitedDecoding DelimitedDecoding::of(std::span<const std::uint8_t> leading, bool wholeFile,
                                        const DelimitedRestFacts& facts) {
  DelimitedDecoding decoding;
  const ByteOrderMark mark = ByteOrderMark::sniff(leading, ByteOrderMark::Marks::utf8AndUTF16);
  decoding.utf8Mark = mark.isUTF8();
  const bool littleEndianMark = mark.encoding == ByteOrderMark::Encoding::utf16LittleEndian;
  const bool bigEndianMark = mark.encoding == ByteOrderMark::Encoding::utf16BigEndian;
  const std::span<const std::uint8_t> afterMark = leading.subspan(decoding.utf8Mark ? mark.length : 0);

  if (wholeFile || !facts.notUnicode) {
    if (littleEndianMark || bigEndianMark) {
      UTF16StreamDecoder decoder(bigEndianMark);
      std::string text;
      if (decoder.feed(leading.subspan(2), &text) && (!wholeFile || decoder.finish())) {
        std::erase(text, '\0');
        decoding.encoding = bigEndianMark ? TextEncoding::utf16BigEndian : TextEncoding::utf16LittleEndian;
        decoding.text = std::move(text);
        decoding.restFrom = leading.size() - decoder.pendingBytes();
        return decoding;
      }
    } else {
      UTF8StreamValidator validator;
      if (validator.feed(afterMark) && (!wholeFile || validator.finish())) {
        decoding.restFrom = leading.size() - validator.pendingBytes();
        return decoding;
      }
    }
  }

  const bool latin1 = (!wholeFile && facts.undefinedInWindows1252) || containsUndefinedInWindows1252(afterMark);
  decoding.encoding = latin1 ? TextEncoding::isoLatin1 : TextEncoding::windows1252;
  decoding.text = decodeSingleByte(afterMark, decoding.encoding);
  decoding.restFrom = leading.size();
  return decoding;
}

DecodedDelimitedText decodeDelimitedText(std::span<const std::uint8_t> bytes) {
  DelimitedDecoding decoding = DelimitedDecoding::of(bytes, true);
  if (decoding.text) return {std::move(*decoding.text), decoding.encoding};
  const std::span<const std::uint8_t> afterMark = bytes.subspan(decoding.utf8Mark ? 3 : 0);
  std::string text(reinterpret_cast<const char*>(afterMark.data()), afterMark.size());
  std::erase(text, '\0');
  return {std::move(text), TextEncoding::utf8};
}

bool containsUndefinedInWindows1252(std::span<const std::uint8_t> bytes) {
  const SingleByteTable& table = tableOf(TextEncoding::windows1252);
  return std::any_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return !table.defined[b]; });
}

bool differsFromLatin1(std::string_view windows1252Text) {
  // The UTF-8 of a character past U+00FF begins with a byte from 0xC4 on; no other byte does.
  return std::any_of(windows1252Text.begin(), windows1252Text.end(),
                     [](char c) { return static_cast<std::uint8_t>(c) >= 0xC4; });
}

}  // namespace tabvora::internal
