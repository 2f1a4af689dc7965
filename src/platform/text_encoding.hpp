#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tabvora::internal {

enum class TextEncoding {
  utf8,
  utf16LittleEndian,
  utf16BigEndian,
  windows1250,
  windows1251,
  windows1252,
  windows1253,
  windows1254,
  macOSRoman,
  isoLatin1,
  shiftJIS,
};

// Strict conversions: any byte sequence the encoding does not define, or any character it
// cannot represent, makes the conversion fail (absent). Results are UTF-8.
std::optional<std::string> decodeText(std::span<const std::uint8_t> bytes, TextEncoding encoding);
// UTF-16 whose first two bytes are a byte-order mark (FF FE little-, FE FF big-endian);
// the mark is not part of the text.
std::optional<std::string> decodeUTF16WithBOM(std::span<const std::uint8_t> bytes);
// The UTF-8 text in the encoding, without a byte-order mark.
std::optional<std::string> encodeText(std::string_view utf8, TextEncoding encoding);

}  // namespace tabvora::internal
