#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/byte_cursor.hpp"

namespace tabvora::internal {

// Parquet's RLE / bit-packing hybrid: runs, each led by a varint header whose low bit says
// which kind. A repeated run (bit 0) holds a count (header >> 1) and one value in
// ceil(width / 8) little-endian bytes; a bit-packed run (bit 1) holds (header >> 1) groups
// of 8 values of `width` bits, least significant bit first. Values are at most 32 bits.
class RleHybridDecoder {
 public:
  // `width` 0 to 32; a wider one fails at the first read.
  RleHybridDecoder(std::span<const std::uint8_t> bytes, int width) : cursor_(bytes), width_(width) {}

  // Appends the next `count` values to `out`; false when the runs end first or are
  // malformed (nothing is appended past what they hold).
  bool read(std::size_t count, std::vector<std::uint32_t>& out);

 private:
  bool nextRun();

  ByteCursor cursor_;
  int width_;
  std::uint64_t repeatLeft_ = 0;  // values left of the current repeated run
  std::uint32_t repeatValue_ = 0;
  std::uint64_t packedLeft_ = 0;  // values left of the current bit-packed run
  std::span<const std::uint8_t> packed_;
  std::uint64_t packedIndex_ = 0;
};

}  // namespace tabvora::internal
