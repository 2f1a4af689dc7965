#include "drivers/delimited/delimited_encoding_stream.hpp"

#include <algorithm>

#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

constexpr char16_t kHighFirst = 0xD800, kLowFirst = 0xDC00, kLowLast = 0xDFFF;

}  // namespace

bool UTF8StreamValidator::feed(std::span<const std::uint8_t> bytes) {
  if (!valid_) return false;
  if (pendingLength_ > 0) {
    const std::size_t wanted = utf8SequenceLength(pending_[0]) - pendingLength_;
    const std::size_t taken = std::min(wanted, bytes.size());
    std::copy_n(bytes.begin(), taken, pending_.begin() + static_cast<std::ptrdiff_t>(pendingLength_));
    pendingLength_ += taken;
    bytes = bytes.subspan(taken);
    if (taken < wanted) return true;
    valid_ = isValidUTF8(std::span<const std::uint8_t>(pending_.data(), pendingLength_));
    pendingLength_ = 0;
    if (!valid_) return false;
  }
  const std::size_t complete = utf8CompleteLength(bytes);
  valid_ = isValidUTF8(bytes.first(complete));
  if (!valid_) return false;
  pendingLength_ = bytes.size() - complete;
  std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(complete), bytes.end(), pending_.begin());
  return true;
}

bool UTF16StreamDecoder::feed(std::span<const std::uint8_t> bytes, std::string* out) {
  if (!valid_) return false;
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::uint8_t first = 0, second = 0;
    if (oddByte_) {
      first = firstByte_;
      second = bytes[i++];
      oddByte_ = false;
    } else if (i + 1 < bytes.size()) {
      first = bytes[i];
      second = bytes[i + 1];
      i += 2;
    } else {
      firstByte_ = bytes[i];
      oddByte_ = true;
      break;
    }
    const auto unit = static_cast<char16_t>(bigEndian_ ? (first << 8) | second : (second << 8) | first);
    const bool isLow = unit >= kLowFirst && unit <= kLowLast;
    if (highSurrogate_ != 0) {
      if (!isLow) return valid_ = false;
      if (out) appendUTF8(*out, 0x10000 + ((highSurrogate_ - kHighFirst) << 10) + (unit - kLowFirst));
      highSurrogate_ = 0;
    } else if (unit >= kHighFirst && unit < kLowFirst) {
      highSurrogate_ = unit;
    } else if (isLow) {
      return valid_ = false;
    } else if (out) {
      if (unit < 0x80) {
        out->push_back(static_cast<char>(unit));
      } else {
        appendUTF8(*out, unit);
      }
    }
  }
  return true;
}

}  // namespace tabvora::internal
