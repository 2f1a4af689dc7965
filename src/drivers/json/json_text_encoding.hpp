#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/byte_buffer.hpp"

namespace tabvora::internal {

// The encodings JSON text may be written in, told apart by the first bytes: a byte-order
// mark, or else the pattern of zero bytes among the first four (JSON text starts with two
// ASCII characters, whose high bytes are zero in UTF-16 and UTF-32):
//   00 00 FE FF UTF-32BE   FF FE 00 00 UTF-32LE   FE FF UTF-16BE   FF FE UTF-16LE   EF BB BF UTF-8
//   00 00 00 xx UTF-32BE   xx 00 00 00 UTF-32LE   00 xx 00 xx UTF-16BE   xx 00 xx 00 UTF-16LE
// Anything else, and any text shorter than four bytes without a mark, is UTF-8.
struct JSONTextEncoding {
  enum class Form { utf8, utf16LittleEndian, utf16BigEndian, utf32LittleEndian, utf32BigEndian };

  Form form = Form::utf8;
  std::size_t markLength = 0;  // bytes of the byte-order mark, which is not part of the text

  static JSONTextEncoding detect(std::span<const std::uint8_t> start);

  // "UTF-16 (little-endian)", for messages.
  std::string_view name() const;
  // Bytes per code unit: 1, 2 or 4.
  std::size_t unitSize() const;
  // Appends the UTF-8 text of `bytes` (the text after the mark, in a UTF-16 or UTF-32 form)
  // to `out`. When `complete` is false the bytes are a prefix of the text, and a code unit
  // or surrogate pair cut at their end is left out. Returns false, with `out` unspecified,
  // at an unpaired surrogate or a code point beyond U+10FFFF.
  bool decode(std::span<const std::uint8_t> bytes, bool complete, ByteBuffer& out) const;
};

}  // namespace tabvora::internal
