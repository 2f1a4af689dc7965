#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace tabvora::internal {

// A growable run of bytes whose new space is not zero-filled (a file read into it is
// written once, not twice). Movable, not copyable.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  // Makes room for `count` more bytes and returns where they go; they count as part of the
  // buffer only after commit. Throws std::bad_alloc.
  std::uint8_t* reserveTail(std::size_t count);
  // The same for a large read: the room is asked for in 2 MB pages where the system has
  // them, one page fault per 2 MB rather than per 4 KB (advice only).
  std::uint8_t* reserveTailInLargePages(std::size_t count);
  void commit(std::size_t count) { size_ += count; }
  // Drops bytes from the end.
  void shrink(std::size_t size) {
    if (size < size_) size_ = size;
  }

  std::span<const std::uint8_t> bytes() const { return {data_.get(), size_}; }
  std::string_view text() const { return {reinterpret_cast<const char*>(data_.get()), size_}; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace tabvora::internal
