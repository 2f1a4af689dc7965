#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/large_page_pool.hpp"
#include "platform/text_arena.hpp"

namespace tabvora::internal {
namespace {

TEST(LargePagePoolTest, ServesPageSizedSlotsOnly) {
  EXPECT_EQ(LargePagePool::slotSize(4095), 0u);
  EXPECT_EQ(LargePagePool::slotSize(4096), 4096 + LargePagePool::kSlack);
  EXPECT_EQ(LargePagePool::slotSize(65536 + 300), 65536 + LargePagePool::kSlack);
  EXPECT_EQ(LargePagePool::slotSize(65536 + LargePagePool::kSlack + 1), 0u);
  EXPECT_EQ(LargePagePool::slotSize(6000), 0u);
  LargePagePool pool;
  EXPECT_EQ(pool.allocate(6000), nullptr);
}

// Slots of two sizes filled past a block each, every slot written whole and read back, then
// freed in another order: blocks are given back, but one empty one per size.
TEST(LargePagePoolTest, SlotsKeepTheirBytesAndBlocksGoBack) {
  LargePagePool pool;
  const std::size_t sizes[] = {65536 + 200, 4096 + 200};
  for (const std::size_t bytes : sizes)
    for (std::size_t i = 0; i < LargePagePool::kWarmUpBytes / LargePagePool::slotSize(bytes); ++i)
      EXPECT_EQ(pool.allocate(bytes), nullptr);
  std::vector<std::pair<std::uint8_t*, std::size_t>> slots;
  for (int i = 0; i < 1200; ++i) {
    const std::size_t bytes = sizes[i % 7 == 0 ? 0 : 1];
    auto* slot = static_cast<std::uint8_t*>(pool.allocate(bytes));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(slot) % 16, 0u);
    std::memset(slot, i & 0xFF, LargePagePool::slotSize(bytes));
    slots.emplace_back(slot, bytes);
  }
  EXPECT_GE(pool.blockCount(), 4u);
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const auto [slot, bytes] = slots[i];
    const std::size_t size = LargePagePool::slotSize(bytes);
    EXPECT_EQ(slot[0], i & 0xFF);
    EXPECT_EQ(slot[size - 1], i & 0xFF);
  }
  for (std::size_t i = 1; i < slots.size(); i += 2) pool.free(slots[i].first);
  // Freed slots are used again before a block is added.
  const std::size_t blocks = pool.blockCount();
  void* again = pool.allocate(sizes[1]);
  EXPECT_EQ(pool.blockCount(), blocks);
  pool.free(again);
  for (std::size_t i = 0; i < slots.size(); i += 2) pool.free(slots[i].first);
  EXPECT_EQ(pool.blockCount(), 2u);
}

TEST(TextArenaTest, ViewsStayValidAsItGrows) {
  TextArena arena;
  std::vector<std::string_view> views;
  for (int i = 0; i < 50'000; ++i) views.push_back(arena.append("piece " + std::to_string(i)));
  const std::string large(1 << 20, 'x');
  const std::string_view kept = arena.append(large);
  char* room = arena.room(10);
  std::memcpy(room, "0123456789", 10);
  EXPECT_EQ(arena.commit(4), "0123");
  for (int i = 0; i < 50'000; i += 997) EXPECT_EQ(views[i], "piece " + std::to_string(i));
  EXPECT_EQ(kept, large);
  EXPECT_EQ(arena.append(""), "");
  arena.clear();
  EXPECT_EQ(arena.size(), 0u);
  EXPECT_EQ(arena.append("after"), "after");
}

}  // namespace
}  // namespace tabvora::internal
