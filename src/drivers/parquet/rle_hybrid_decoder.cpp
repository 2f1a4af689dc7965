#include "drivers/parquet/rle_hybrid_decoder.hpp"

#include <algorithm>

namespace tabvora::internal {

bool RleHybridDecoder::nextRun() {
  if (width_ < 0 || width_ > 32) return false;
  std::uint64_t header = 0;
  if (!cursor_.readVarint64(header)) return false;
  if ((header & 1) == 0) {
    repeatLeft_ = header >> 1;
    std::span<const std::uint8_t> value;
    if (!cursor_.readBytes(static_cast<std::uint64_t>(width_ + 7) / 8, value)) return false;
    repeatValue_ = 0;
    for (std::size_t i = 0; i < value.size(); ++i) repeatValue_ |= static_cast<std::uint32_t>(value[i]) << (8 * i);
    if (width_ < 32 && repeatValue_ >> width_ != 0) return false;
    return true;
  }
  const std::uint64_t groups = header >> 1;
  if (groups > cursor_.remaining()) return false;
  // The last run may stop short of its groups' bytes: only whole values are taken.
  const std::uint64_t bytes = std::min<std::uint64_t>(groups * static_cast<std::uint64_t>(width_), cursor_.remaining());
  cursor_.readBytes(bytes, packed_);
  packedLeft_ =
      width_ == 0 ? groups * 8 : std::min<std::uint64_t>(groups * 8, bytes * 8 / static_cast<std::uint64_t>(width_));
  packedIndex_ = 0;
  return true;
}

bool RleHybridDecoder::read(std::size_t count, std::vector<std::uint32_t>& out) {
  while (count > 0) {
    if (repeatLeft_ == 0 && packedLeft_ == 0) {
      if (!nextRun()) return false;
      continue;
    }
    if (repeatLeft_ > 0) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(repeatLeft_, count));
      out.insert(out.end(), n, repeatValue_);
      repeatLeft_ -= n;
      count -= n;
      continue;
    }
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(packedLeft_, count));
    const auto width = static_cast<std::uint64_t>(width_);
    const std::uint64_t mask = (std::uint64_t{1} << width) - 1;
    for (std::size_t i = 0; i < n; ++i, ++packedIndex_) {
      // A value of at most 32 bits starting anywhere in a byte lies within 5 bytes.
      const std::uint64_t bit = packedIndex_ * width;
      const std::size_t first = static_cast<std::size_t>(bit / 8);
      std::uint64_t word = 0;
      for (std::size_t k = 0; k < 5 && first + k < packed_.size(); ++k)
        word |= static_cast<std::uint64_t>(packed_[first + k]) << (8 * k);
      out.push_back(static_cast<std::uint32_t>((word >> (bit % 8)) & mask));
    }
    packedLeft_ -= n;
    count -= n;
  }
  return true;
}

}  // namespace tabvora::internal
