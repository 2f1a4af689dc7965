#include "platform/byte_buffer.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace tabvora::internal {

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::move(other.data_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  data_ = std::move(other.data_);
  size_ = std::exchange(other.size_, 0);
  capacity_ = std::exchange(other.capacity_, 0);
  return *this;
}

std::uint8_t* ByteBuffer::reserveTail(std::size_t count) {
  if (count > capacity_ - size_) {
    if (count > SIZE_MAX / 2 - size_) throw std::bad_alloc();
    // A buffer that grows in steps doubles, so appending costs amortised constant time;
    // the first reservation is taken at its exact size (a whole file read at once).
    const std::size_t wanted = size_ + count;
    const std::size_t capacity = capacity_ == 0 ? wanted : std::max(wanted, capacity_ * 2);
    std::unique_ptr<std::uint8_t[]> grown(new std::uint8_t[capacity]);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  return data_.get() + size_;
}

std::uint8_t* ByteBuffer::reserveTailInLargePages(std::size_t count) {
  std::uint8_t* room = reserveTail(count);
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(room);
  const std::uintptr_t from = (begin + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t to = (begin + count) & ~(kLargePage - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
  return room;
}

}  // namespace tabvora::internal
