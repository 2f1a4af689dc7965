#include "drivers/delimited/delimited_encoding_stream.hpp"

#include <algorithm>

#include "platform/unicode_text.hpp"

namespace tabvora {

namespace {

bool isContinuation(std::uint8_t b) { return (b & 0xC0) == 0x80; }

// Bytes of the character a lead byte starts; 0 for a byte that starts none.
std::size_t sequenceLength(std::uint8_t b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// The length of `bytes` less a character their end cuts. Whatever else is wrong at the end
// stays in, to be found invalid now.
std::size_t completeLength(std::span<const std::uint8_t> bytes) {
  const std::size_t n = bytes.size();
  std::size_t start = n;
  for (int back = 0; back < 4 && start > 0; ++back) {
    --start;
    if (!isContinuation(bytes[start])) return sequenceLength(bytes[start]) > n - start ? start : n;
  }
  return n;
}

constexpr char16_t kHighFirst = 0xD800, kLowFirst = 0xDC00, kLowLast = 0xDFFF;

}  // namespace

bool UTF8StreamValidator::feed(std::span<const std::uint8_t> bytes) {
  if (!valid_) return false;
  if (pendingLength_ > 0) {
    const std::size_t wanted = sequenceLength(pending_[0]) - pendingLength_;
    const std::size_t taken = std::min(wanted, bytes.size());
    std::copy_n(bytes.begin(), taken, pending_.begin() + static_cast<std::ptrdiff_t>(pendingLength_));
    pendingLength_ += taken;
    bytes = bytes.subspan(taken);
    if (taken < wanted) return true;
    valid_ = isValidUTF8(std::span<const std::uint8_t>(pending_.data(), pendingLength_));
    pendingLength_ = 0;
    if (!valid_) return false;
  }
  const std::size_t complete = completeLength(bytes);
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

}  // namespace tabvora
