#include "platform/text_arena.hpp"

#include <algorithm>
#include <iterator>

namespace tabvora::internal {

char* TextArena::room(std::size_t bytes) {
  if (!blocks_.empty() && blocks_[current_].capacity - blocks_[current_].used >= bytes)
    return blocks_[current_].bytes.get() + blocks_[current_].used;
  // The next block kept from before, when it has the room; else a new one in its place.
  const std::size_t next = blocks_.empty() ? 0 : current_ + 1;
  if (next == blocks_.size() || blocks_[next].capacity < bytes) {
    const std::size_t capacity = std::max(kBlockBytes, bytes);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(next),
                   Block{std::make_unique_for_overwrite<char[]>(capacity), capacity, 0});
  }
  current_ = next;
  blocks_[current_].used = 0;
  return blocks_[current_].bytes.get();
}

void TextArena::clear() {
  std::erase_if(blocks_, [](const Block& block) { return block.capacity > kBlockBytes; });
  for (Block& block : blocks_) block.used = 0;
  current_ = 0;
  size_ = 0;
}

}  // namespace tabvora::internal
