#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/text_encoding.hpp"

namespace tabvora::internal {

// A record body continued by CONTINUE records, read as one run of bytes across its
// segments (the first body, then each CONTINUE body). A read that reaches the end of a
// segment moves on to the next non-empty one; every read reports false, instead of reading
// on, when no segment is left. Strings follow the record formats' rules for crossing
// segments: a BIFF8 string restates its character width at the start of each new segment.
class BIFFSegmentedBody {
 public:
  BIFFSegmentedBody() = default;
  explicit BIFFSegmentedBody(std::span<const std::uint8_t> body) { segments_.push_back(body); }
  void addSegment(std::span<const std::uint8_t> body) { segments_.push_back(body); }

  bool readU8(std::uint8_t& value);
  bool readU16(std::uint16_t& value);
  bool readU32(std::uint32_t& value);
  bool skip(std::uint64_t count);
  // True when a byte is left in this or a later segment.
  bool hasMore();

  // A BIFF8 string: a character count of `countBytes` (1 or 2) bytes, a flags byte, an
  // optional rich-text run count and extension size, the characters (8- or 16-bit), then
  // the runs and the extension, which are skipped. Appends it as UTF-8 to `out`; a lone
  // surrogate becomes U+FFFD.
  bool readUnicodeString(int countBytes, std::string& out);
  // A BIFF5/7 string: a length of `countBytes` bytes and that many bytes in `encoding`
  // (Latin-1 when they are not valid there). Appends it as UTF-8 to `out`.
  bool readByteString(int countBytes, TextEncoding encoding, std::string& out);

 private:
  // Moves to the next non-empty segment when the current one is used up; false when none.
  bool ensureByte();
  std::size_t available() const { return segments_[segment_].size() - position_; }

  std::vector<std::span<const std::uint8_t>> segments_;
  std::size_t segment_ = 0;
  std::size_t position_ = 0;
  std::u16string units_;  // scratch for a string's code units
  std::vector<std::uint8_t> scratch_;
};

// A byte string in `encoding` as UTF-8: Latin-1 when the bytes are not valid there.
std::string decodeByteString(std::span<const std::uint8_t> bytes, TextEncoding encoding);

}  // namespace tabvora::internal
