#include "drivers/sqlite/sqlite_memory.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/large_page_pool.hpp"

namespace tabvora::internal {

namespace {

// Each allocation is preceded by its usable size and where it came from; 16 bytes keep the
// memory after them aligned as malloc's.
struct Prefix {
  std::uint64_t size;
  std::uint64_t pooled;
};
static_assert(sizeof(Prefix) == 16);

LargePagePool& pool() {
  // Never destroyed: SQLite may free memory while the program ends.
  static auto* const instance = new LargePagePool;
  return *instance;
}

Prefix* prefixOf(void* memory) { return static_cast<Prefix*>(memory) - 1; }

int roundUp(int bytes) {
  if (bytes <= 0) return 8;
  const auto total = static_cast<std::size_t>(bytes) + sizeof(Prefix);
  if (const std::size_t slot = LargePagePool::slotSize(total)) return static_cast<int>(slot - sizeof(Prefix));
  return static_cast<int>((static_cast<std::size_t>(bytes) + 7) & ~std::size_t{7});
}

void* allocate(int bytes) {
  if (bytes <= 0) bytes = 1;
  const auto wanted = static_cast<std::size_t>(roundUp(bytes));
  const std::size_t total = wanted + sizeof(Prefix);
  Prefix* prefix = nullptr;
  if (void* slot = LargePagePool::slotSize(total) ? pool().allocate(total) : nullptr) {
    prefix = static_cast<Prefix*>(slot);
    *prefix = {LargePagePool::slotSize(total) - sizeof(Prefix), 1};
  } else {
    prefix = static_cast<Prefix*>(std::malloc(total));
    if (!prefix) return nullptr;
    *prefix = {wanted, 0};
  }
  return prefix + 1;
}

void release(void* memory) {
  if (!memory) return;
  Prefix* prefix = prefixOf(memory);
  if (prefix->pooled)
    pool().free(prefix);
  else
    std::free(prefix);
}

int sizeOf(void* memory) { return memory ? static_cast<int>(prefixOf(memory)->size) : 0; }

void* reallocate(void* memory, int bytes) {
  if (!memory) return allocate(bytes);
  Prefix* prefix = prefixOf(memory);
  const auto wanted = static_cast<std::size_t>(roundUp(bytes));
  if (!prefix->pooled && LargePagePool::slotSize(wanted + sizeof(Prefix)) == 0) {
    auto* grown = static_cast<Prefix*>(std::realloc(prefix, wanted + sizeof(Prefix)));
    if (!grown) return nullptr;
    grown->size = wanted;
    return grown + 1;
  }
  void* moved = allocate(bytes);
  if (!moved) return nullptr;
  std::memcpy(moved, memory, std::min<std::size_t>(prefix->size, wanted));
  release(memory);
  return moved;
}

int initialize(void*) { return SQLITE_OK; }
void shutDown(void*) {}

}  // namespace

bool installSQLiteMemory() {
  static const sqlite3_mem_methods methods{allocate, release, reallocate, sizeOf, roundUp, initialize, shutDown,
                                           nullptr};
  return sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) == SQLITE_OK;
}

}  // namespace tabvora::internal
