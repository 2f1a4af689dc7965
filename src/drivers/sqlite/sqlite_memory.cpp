#include "drivers/sqlite/sqlite_memory.hpp"

#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/large_page_pool.hpp"

namespace tabvora::internal {

namespace {

// A pooled allocation is the slot's bytes after an 8-byte prefix holding the slot's size,
// so it lies 8 bytes past a multiple of 16, where malloc's never do (malloc aligns for any
// type, max_align_t's 16 bytes): the two are told apart by address, and malloc's need no
// prefix.
constexpr std::size_t kPrefix = 8;
static_assert(alignof(std::max_align_t) % 16 == 0, "malloc's memory must never lie 8 past a multiple of 16");

LargePagePool& pool() {
  // Never destroyed: SQLite may free memory while the program ends.
  static auto* const instance = new LargePagePool;
  return *instance;
}

bool pooled(const void* memory) { return (reinterpret_cast<std::uintptr_t>(memory) & 15) == kPrefix; }

// A pooled allocation may hold more than this; SQLite takes its size from sizeOf.
int roundUp(int bytes) {
  return static_cast<int>((static_cast<std::size_t>(std::max(bytes, 1)) + 7) & ~std::size_t{7});
}

void* allocate(int bytes) {
  const auto wanted = static_cast<std::size_t>(roundUp(bytes));
  if (const std::size_t slotBytes = LargePagePool::slotSize(wanted + kPrefix)) {
    if (void* slot = pool().allocate(wanted + kPrefix)) {
      *static_cast<std::uint64_t*>(slot) = slotBytes;
      return static_cast<char*>(slot) + kPrefix;
    }
  }
  return std::malloc(wanted);
}

void release(void* memory) {
  if (!memory) return;
  if (pooled(memory))
    pool().free(static_cast<char*>(memory) - kPrefix);
  else
    std::free(memory);
}

int sizeOf(void* memory) {
  if (!memory) return 0;
  if (pooled(memory))
    return static_cast<int>(*reinterpret_cast<const std::uint64_t*>(static_cast<char*>(memory) - kPrefix) - kPrefix);
  return static_cast<int>(malloc_usable_size(memory));
}

void* reallocate(void* memory, int bytes) {
  if (!memory) return allocate(bytes);
  const auto wanted = static_cast<std::size_t>(roundUp(bytes));
  if (!pooled(memory) && LargePagePool::slotSize(wanted + kPrefix) == 0) return std::realloc(memory, wanted);
  void* moved = allocate(bytes);
  if (!moved) return nullptr;
  std::memcpy(moved, memory, std::min(static_cast<std::size_t>(sizeOf(memory)), wanted));
  release(memory);
  return moved;
}

int initialize(void*) { return SQLITE_OK; }
void shutDown(void*) {}

}  // namespace

bool installSQLiteMemory() {
  static const sqlite3_mem_methods methods{allocate, release,    reallocate, sizeOf,
                                           roundUp,  initialize, shutDown,   nullptr};
  return sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) == SQLITE_OK;
}

}  // namespace tabvora::internal
