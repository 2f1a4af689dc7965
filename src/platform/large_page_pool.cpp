#include "platform/large_page_pool.hpp"

#include <sys/mman.h>

#include <cstdint>

namespace tabvora::internal {

namespace {
constexpr std::size_t kSmallestPage = 4096;
constexpr std::size_t kLargestPage = 65536;
constexpr std::size_t kHeaderBytes = 64;  // the block's own record, before its first slot
}  // namespace

struct LargePagePool::Block {
  std::size_t slotBytes;
  std::size_t slots;
  std::size_t used = 0;
  std::size_t neverUsed = 0;  // slots from this index on were never handed out
  void* freed = nullptr;      // slots given back, each holding the next one's address
  Block* previous = nullptr;
  Block* next = nullptr;
  bool listed = false;  // in its size's list of blocks with room

  explicit Block(std::size_t bytes) : slotBytes(bytes), slots((kBlockBytes - kHeaderBytes) / bytes) {}
  char* slot(std::size_t index) { return reinterpret_cast<char*>(this) + kHeaderBytes + index * slotBytes; }
};

LargePagePool::~LargePagePool() {
  for (SizeClass& size : classes_)
    if (size.spare) munmap(size.spare, kBlockBytes);
}

std::size_t LargePagePool::slotSize(std::size_t bytes) {
  for (std::size_t page = kSmallestPage; page <= kLargestPage; page *= 2)
    if (bytes >= page && bytes <= page + kSlack) return page + kSlack;
  return 0;
}

LargePagePool::Block* LargePagePool::mapBlock(std::size_t slotBytes, bool largePages) {
  // Twice the block's size is mapped so that an aligned block lies within it; the rest is
  // unmapped. Huge pages are advice: without them the block fills page by page.
  void* mapped = mmap(nullptr, 2 * kBlockBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + kBlockBytes - 1) & ~(kBlockBytes - 1);
  if (aligned > start) munmap(mapped, aligned - start);
  if (const std::uintptr_t after = start + 2 * kBlockBytes - (aligned + kBlockBytes); after > 0)
    munmap(reinterpret_cast<void*>(aligned + kBlockBytes), after);
  if (largePages) madvise(reinterpret_cast<void*>(aligned), kBlockBytes, MADV_HUGEPAGE);
  static_assert(sizeof(Block) <= kHeaderBytes);
  return new (reinterpret_cast<void*>(aligned)) Block(slotBytes);
}

LargePagePool::SizeClass& LargePagePool::classFor(std::size_t slotBytes) {
  for (SizeClass& size : classes_)
    if (size.slotBytes == slotBytes) return size;
  classes_.push_back(SizeClass{slotBytes});
  return classes_.back();
}

void LargePagePool::link(SizeClass& size, Block* block) {
  block->next = size.withRoom;
  if (size.withRoom) size.withRoom->previous = block;
  size.withRoom = block;
  block->listed = true;
}

void LargePagePool::unlink(SizeClass& size, Block* block) {
  if (block->previous)
    block->previous->next = block->next;
  else
    size.withRoom = block->next;
  if (block->next) block->next->previous = block->previous;
  block->previous = block->next = nullptr;
  block->listed = false;
}

void* LargePagePool::allocate(std::size_t bytes) {
  const std::size_t slotBytes = slotSize(bytes);
  if (slotBytes == 0) return nullptr;
  std::lock_guard guard(mutex_);
  SizeClass& size = classFor(slotBytes);
  if (size.warmUpLeft >= slotBytes) {
    size.warmUpLeft -= slotBytes;
    return nullptr;
  }
  Block* block = size.withRoom;
  if (!block) {
    // A size's first block fills page by page: a few allocations of a size that is not a
    // database page's would otherwise hold 2 MiB.
    block = size.spare ? size.spare : mapBlock(slotBytes, size.blocks > 0);
    if (!block) return nullptr;
    if (size.spare)
      size.spare = nullptr;
    else
      ++size.blocks;
    link(size, block);
  }
  void* slot = nullptr;
  if (block->freed) {
    slot = block->freed;
    block->freed = *static_cast<void**>(slot);
  } else {
    slot = block->slot(block->neverUsed++);
  }
  if (++block->used == block->slots) unlink(size, block);
  return slot;
}

void LargePagePool::free(void* slot) {
  auto* block = reinterpret_cast<Block*>(reinterpret_cast<std::uintptr_t>(slot) & ~(kBlockBytes - 1));
  std::lock_guard guard(mutex_);
  SizeClass& size = classFor(block->slotBytes);
  *static_cast<void**>(slot) = block->freed;
  block->freed = slot;
  if (--block->used > 0) {
    if (!block->listed) link(size, block);
    return;
  }
  if (block->listed) unlink(size, block);
  if (!size.spare) {
    size.spare = block;
    return;
  }
  munmap(block, kBlockBytes);
  --size.blocks;
}

std::size_t LargePagePool::blockCount() const {
  std::lock_guard guard(mutex_);
  std::size_t blocks = 0;
  for (const SizeClass& size : classes_) blocks += size.blocks;
  return blocks;
}

}  // namespace tabvora::internal
