#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tabvora::internal {

// The one way binary readers look at file bytes: a view and a position, with reads that
// check their bounds and report failure instead of reading past the end. A failed read
// leaves the position where it was. Offsets and counts read from a file may be anything,
// so every position arithmetic here is done in 64 bits and checked before use.
class ByteCursor {
 public:
  ByteCursor() = default;
  explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::span<const std::uint8_t> bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }
  std::size_t position() const { return position_; }
  std::size_t remaining() const { return bytes_.size() - position_; }

  // Moves to `position` (the end itself is allowed); false when it lies past the end.
  bool seek(std::uint64_t position) {
    if (position > bytes_.size()) return false;
    position_ = static_cast<std::size_t>(position);
    return true;
  }
  bool skip(std::uint64_t count) { return count <= remaining() && seek(position_ + count); }

  bool readU8(std::uint8_t& value) { return readLittleEndian(value); }
  bool readU16LE(std::uint16_t& value) { return readLittleEndian(value); }
  bool readU32LE(std::uint32_t& value) { return readLittleEndian(value); }
  bool readU64LE(std::uint64_t& value) { return readLittleEndian(value); }
  // An unsigned LEB128 varint of at most 10 bytes whose value fits 64 bits.
  bool readVarint64(std::uint64_t& value);

  // The next `count` bytes as a view, advancing past them.
  bool readBytes(std::uint64_t count, std::span<const std::uint8_t>& out) {
    if (count > remaining()) return false;
    out = bytes_.subspan(position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return true;
  }

  // The bytes [offset, offset + count) of the whole view, without moving.
  bool slice(std::uint64_t offset, std::uint64_t count, std::span<const std::uint8_t>& out) const {
    if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
    out = bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
    return true;
  }
  // A cursor over the whole view placed at `offset`, or an invalid one (false).
  bool at(std::uint64_t offset, ByteCursor& out) const {
    ByteCursor cursor(bytes_);
    if (!cursor.seek(offset)) return false;
    out = cursor;
    return true;
  }

 private:
  template <typename T>
  bool readLittleEndian(T& value) {
    if (sizeof(T) > remaining()) return false;
    T result = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
      result |= static_cast<T>(static_cast<T>(bytes_[position_ + i]) << (8 * i));
    value = result;
    position_ += sizeof(T);
    return true;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

inline bool ByteCursor::readVarint64(std::uint64_t& value) {
  std::uint64_t result = 0;
  for (std::size_t i = 0; i < 10 && position_ + i < bytes_.size(); ++i) {
    const std::uint8_t byte = bytes_[position_ + i];
    // The tenth byte may only carry the top bit of a 64-bit value.
    if (i == 9 && byte > 1) return false;
    result |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * i);
    if ((byte & 0x80) == 0) {
      value = result;
      position_ += i + 1;
      return true;
    }
  }
  return false;
}

}  // namespace tabvora::internal
