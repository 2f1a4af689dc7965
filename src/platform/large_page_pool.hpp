#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

namespace tabvora::internal {

// Slots of a few fixed sizes carved from blocks of 2 MiB that the kernel is asked to back
// with huge pages: memory filled once, in many allocations of one size (a database's pages),
// then costs one page fault per block rather than one per 4 KiB, which on a virtual machine
// is most of the time taken to fill it. A slot size is a power of two from 4 KiB to 64 KiB
// plus kSlack: the room a page's bookkeeping takes beside it (SQLite asks for 264 bytes more
// than its page size, and its caller 16 more); other sizes are not served.
// A block goes back to the system when its last slot is freed, but one empty block per
// size is kept for the next allocation. A size's first block is not given huge pages, so
// that a few allocations of a size hold no more memory than they use. Thread-safe.
class LargePagePool {
 public:
  static constexpr std::size_t kBlockBytes = std::size_t{2} << 20;
  static constexpr std::size_t kSlack = 320;
  static constexpr std::size_t kWarmUpBytes = std::size_t{1} << 20;

  LargePagePool() = default;
  LargePagePool(const LargePagePool&) = delete;
  LargePagePool& operator=(const LargePagePool&) = delete;
  ~LargePagePool();

  // The size of the slot a request of `bytes` takes, or 0 when the pool does not serve it.
  static std::size_t slotSize(std::size_t bytes);
  // A slot of slotSize(bytes) bytes, aligned to 16; nullptr when the size is not served,
  // not yet served (its first kWarmUpBytes of requests: a small database's pages cost no
  // block of their own), or the system has no memory left.
  void* allocate(std::size_t bytes);
  // Gives back a slot allocate returned.
  void free(void* slot);

  // The blocks mapped now (for tests).
  std::size_t blockCount() const;

 private:
  struct Block;
  struct SizeClass {
    std::size_t slotBytes = 0;
    Block* withRoom = nullptr;  // blocks with a free slot, a doubly linked list
    Block* spare = nullptr;     // an empty block kept back
    std::size_t blocks = 0;     // mapped, the spare among them
    std::size_t warmUpLeft = kWarmUpBytes;
  };

  SizeClass& classFor(std::size_t slotBytes);
  static Block* mapBlock(std::size_t slotBytes, bool largePages);
  // Puts `block` in, or takes it out of, its size's list of blocks with room.
  static void link(SizeClass& size, Block* block);
  static void unlink(SizeClass& size, Block* block);

  mutable std::mutex mutex_;
  std::vector<SizeClass> classes_;
};

}  // namespace tabvora::internal
