#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tabvora::internal {

inline constexpr std::string_view kUTF8ByteOrderMark = "\xEF\xBB\xBF";

// The Unicode encoding a byte-order mark at the start of a file announces, and the mark's
// length (not part of the text):
//   EF BB BF UTF-8   FE FF UTF-16BE   FF FE UTF-16LE   00 00 FE FF UTF-32BE   FF FE 00 00 UTF-32LE
// FF FE 00 00 is also the UTF-16LE mark followed by U+0000: a reader of UTF-32 asks for
// `withUTF32`; a reader of UTF-8 and UTF-16 only takes it as the UTF-16LE mark.
struct ByteOrderMark {
  enum class Encoding { none, utf8, utf16LittleEndian, utf16BigEndian, utf32LittleEndian, utf32BigEndian };
  enum class Marks { utf8AndUTF16, withUTF32 };

  Encoding encoding = Encoding::none;
  std::size_t length = 0;

  static ByteOrderMark sniff(std::span<const std::uint8_t> start, Marks marks = Marks::withUTF32);
  static ByteOrderMark sniff(std::string_view start, Marks marks = Marks::withUTF32) {
    return sniff({reinterpret_cast<const std::uint8_t*>(start.data()), start.size()}, marks);
  }

  bool present() const { return encoding != Encoding::none; }
  bool isUTF8() const { return encoding == Encoding::utf8; }
};

}  // namespace tabvora::internal
