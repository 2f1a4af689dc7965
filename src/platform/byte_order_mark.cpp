#include "platform/byte_order_mark.hpp"

#include <algorithm>

namespace tabvora::internal {

ByteOrderMark ByteOrderMark::sniff(std::span<const std::uint8_t> start, Marks marks) {
  struct Known {
    std::string_view bytes;
    Encoding encoding;
  };
  using namespace std::string_view_literals;
  // The UTF-32 marks first: FF FE 00 00 is UTF-32LE to a reader of UTF-32.
  static constexpr Known kUTF32[] = {{"\x00\x00\xFE\xFF"sv, Encoding::utf32BigEndian},
                                     {"\xFF\xFE\x00\x00"sv, Encoding::utf32LittleEndian}};
  static constexpr Known kOthers[] = {{"\xFE\xFF"sv, Encoding::utf16BigEndian},
                                      {"\xFF\xFE"sv, Encoding::utf16LittleEndian},
                                      {kUTF8ByteOrderMark, Encoding::utf8}};
  auto startsWith = [&](std::string_view mark) {
    return start.size() >= mark.size() &&
           std::equal(mark.begin(), mark.end(), start.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
  };
  if (marks == Marks::withUTF32) {
    for (const Known& known : kUTF32)
      if (startsWith(known.bytes)) return {known.encoding, known.bytes.size()};
  }
  for (const Known& known : kOthers)
    if (startsWith(known.bytes)) return {known.encoding, known.bytes.size()};
  return {};
}

}  // namespace tabvora::internal
