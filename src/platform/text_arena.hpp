#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace tabvora::internal {

// Text appended piece by piece into blocks that never move, so that the views it gives
// stay valid until clear: the text of a batch of cells. The blocks are kept by clear for
// the next batch (but for those made larger than usual for one long piece).
class TextArena {
 public:
  // Room for `bytes` contiguous bytes, of which commit keeps the first ones written.
  char* room(std::size_t bytes);
  // Keeps the first `bytes` bytes of the room last asked for and returns them.
  std::string_view commit(std::size_t bytes) {
    Block& block = blocks_[current_];
    const std::string_view kept(block.bytes.get() + block.used, bytes);
    block.used += bytes;
    size_ += bytes;
    return kept;
  }
  std::string_view append(std::string_view text) {
    if (!text.empty()) std::memcpy(room(text.size()), text.data(), text.size());
    return commit(text.size());
  }
  // The bytes kept since the last clear.
  std::size_t size() const { return size_; }
  void clear();

 private:
  static constexpr std::size_t kBlockBytes = std::size_t{256} << 10;
  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t capacity = 0;
    std::size_t used = 0;
  };
  std::vector<Block> blocks_;
  std::size_t current_ = 0;
  std::size_t size_ = 0;
};

}  // namespace tabvora::internal
