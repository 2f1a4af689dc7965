#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "drivers/json/ordered_pipeline.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

using Pipeline = OrderedPipeline<std::vector<int>>;

// Producers whose units take scrambled times, so they finish out of order; the most that ran
// at once is kept in `mostActive`.
std::function<Pipeline::Producer()> jitteryProducers(std::atomic<int>& active, std::atomic<int>& mostActive) {
  return [&] {
    return [&](std::size_t unit, std::vector<int>& block) {
      const int now = ++active;
      for (int seen = mostActive; now > seen && !mostActive.compare_exchange_weak(seen, now);) {
      }
      std::this_thread::sleep_for(std::chrono::microseconds(unit * 7919 % 2000));
      block.assign(3, static_cast<int>(unit));
      --active;
    };
  };
}

TEST(OrderedPipeline, ConsumesInUnitOrderWithinItsWindow) {
  std::atomic<int> active = 0, mostActive = 0;
  std::vector<int> consumed;
  Pipeline::run(200, 4, 6, jitteryProducers(active, mostActive), [&](std::size_t unit, std::vector<int>& block) {
    EXPECT_EQ(block, std::vector<int>(3, static_cast<int>(unit)));
    consumed.push_back(static_cast<int>(unit));
  });
  std::vector<int> expected(200);
  for (int i = 0; i < 200; ++i) expected[i] = i;
  EXPECT_EQ(consumed, expected);
  EXPECT_LE(mostActive, 4);
}

TEST(OrderedPipeline, ErrorsReachTheCallerInOrder) {
  std::vector<int> consumed;
  auto failingAt7 = [] {
    return [](std::size_t unit, std::vector<int>&) {
      if (unit == 7) throw std::runtime_error("unit 7");
    };
  };
  EXPECT_THROW(Pipeline::run(100, 3, 4, failingAt7,
                             [&](std::size_t unit, std::vector<int>&) { consumed.push_back(static_cast<int>(unit)); }),
               std::runtime_error);
  EXPECT_EQ(consumed, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));

  std::atomic<int> active = 0, mostActive = 0;
  EXPECT_THROW(Pipeline::run(100, 2, 4, jitteryProducers(active, mostActive),
                             [&](std::size_t unit, std::vector<int>&) {
                               if (unit == 3) throw std::logic_error("consumer");
                             }),
               std::logic_error);
}

}  // namespace
}  // namespace tabvora::testing
