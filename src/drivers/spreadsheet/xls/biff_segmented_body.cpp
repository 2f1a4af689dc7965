#include "drivers/spreadsheet/xls/biff_segmented_body.hpp"

#include <algorithm>

#include "platform/utf16_text.hpp"

namespace tabvora::internal {

namespace {

constexpr std::uint8_t kSixteenBitCharacters = 0x01;
constexpr std::uint8_t kHasExtension = 0x04;
constexpr std::uint8_t kHasRichTextRuns = 0x08;
constexpr std::uint64_t kBytesPerRichTextRun = 4;

}  // namespace

bool BIFFSegmentedBody::ensureByte() {
  if (segments_.empty()) return false;
  while (position_ >= segments_[segment_].size()) {
    if (segment_ + 1 >= segments_.size()) return false;
    ++segment_;
    position_ = 0;
  }
  return true;
}

bool BIFFSegmentedBody::hasMore() { return ensureByte(); }

bool BIFFSegmentedBody::readU8(std::uint8_t& value) {
  if (!ensureByte()) return false;
  value = segments_[segment_][position_++];
  return true;
}

bool BIFFSegmentedBody::readU16(std::uint16_t& value) {
  std::uint8_t low = 0, high = 0;
  if (!readU8(low) || !readU8(high)) return false;
  value = static_cast<std::uint16_t>(low | high << 8);
  return true;
}

bool BIFFSegmentedBody::readU32(std::uint32_t& value) {
  std::uint16_t low = 0, high = 0;
  if (!readU16(low) || !readU16(high)) return false;
  value = low | std::uint32_t{high} << 16;
  return true;
}

bool BIFFSegmentedBody::skip(std::uint64_t count) {
  while (count > 0) {
    if (!ensureByte()) return false;
    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count, available()));
    position_ += step;
    count -= step;
  }
  return true;
}

bool BIFFSegmentedBody::readUnicodeString(int countBytes, std::string& out) {
  std::uint16_t count = 0;
  std::uint8_t flags = 0;
  if (countBytes == 1) {
    std::uint8_t shortCount = 0;
    if (!readU8(shortCount)) return false;
    count = shortCount;
  } else if (!readU16(count)) {
    return false;
  }
  if (!readU8(flags)) return false;
  std::uint16_t runs = 0;
  std::uint32_t extension = 0;
  if ((flags & kHasRichTextRuns) != 0 && !readU16(runs)) return false;
  if ((flags & kHasExtension) != 0 && !readU32(extension)) return false;

  units_.clear();
  bool wide = (flags & kSixteenBitCharacters) != 0;
  std::size_t left = count;
  while (left > 0) {
    if (position_ >= segments_[segment_].size()) {
      // The characters go on in the next segment, which restates their width.
      if (!ensureByte()) return false;
      wide = (segments_[segment_][position_++] & kSixteenBitCharacters) != 0;
      continue;
    }
    const std::uint8_t* bytes = segments_[segment_].data() + position_;
    if (wide) {
      if (available() < 2) return false;
      const std::size_t take = std::min(left, available() / 2);
      for (std::size_t i = 0; i < take; ++i) units_ += static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
      position_ += 2 * take;
      left -= take;
    } else {
      const std::size_t take = std::min(left, available());
      units_.append(bytes, bytes + take);
      position_ += take;
      left -= take;
    }
  }
  appendUTF16AsUTF8(out, units_);
  return skip(runs * kBytesPerRichTextRun + extension);
}

bool BIFFSegmentedBody::readByteString(int countBytes, TextEncoding encoding, std::string& out) {
  std::uint16_t length = 0;
  if (countBytes == 1) {
    std::uint8_t shortLength = 0;
    if (!readU8(shortLength)) return false;
    length = shortLength;
  } else if (!readU16(length)) {
    return false;
  }
  scratch_.clear();
  for (std::size_t left = length; left > 0;) {
    if (!ensureByte()) return false;
    const std::size_t take = std::min(left, available());
    const std::uint8_t* bytes = segments_[segment_].data() + position_;
    scratch_.insert(scratch_.end(), bytes, bytes + take);
    position_ += take;
    left -= take;
  }
  out += decodeByteString(scratch_, encoding);
  return true;
}

std::string decodeByteString(std::span<const std::uint8_t> bytes, TextEncoding encoding) {
  // ASCII reads the same in every single-byte code page a workbook names (not so in
  // Shift JIS, whose 0x5C is the yen sign).
  const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b < 0x80; });
  if (ascii && encoding != TextEncoding::shiftJIS) return std::string(bytes.begin(), bytes.end());
  if (std::optional<std::string> text = decodeText(bytes, encoding)) return std::move(*text);
  if (std::optional<std::string> text = decodeText(bytes, TextEncoding::isoLatin1)) return std::move(*text);
  return {};
}

}  // namespace tabvora::internal
