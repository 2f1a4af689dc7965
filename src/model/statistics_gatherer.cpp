#include "model/statistics_gatherer.hpp"

#include <algorithm>
#include <exception>
#include <thread>

namespace tabvora::internal {

namespace {

// Memory all columns' exact distinct counts may take together.
constexpr std::size_t kDistinctBytes = std::size_t{256} << 20;
// Memory all columns' numbers held for the median may take together.
constexpr std::size_t kMedianBytes = std::size_t{128} << 20;

}  // namespace

std::vector<StatisticsAccumulator> statisticsAccumulators(const std::vector<DataColumn>& columns) {
  const std::size_t width = std::max<std::size_t>(1, columns.size());
  const std::size_t distinctBytes = std::min(DistinctCounter::kExactBytes, kDistinctBytes / width);
  const std::size_t medianValues =
      std::min(StatisticsAccumulator::kMedianValues, kMedianBytes / sizeof(double) / width);
  std::vector<StatisticsAccumulator> accumulators;
  accumulators.reserve(columns.size());
  for (const DataColumn& column : columns) accumulators.emplace_back(column, distinctBytes, medianValues);
  return accumulators;
}

std::vector<ColumnStatistics> finishStatistics(std::vector<StatisticsAccumulator>& accumulators) {
  std::vector<ColumnStatistics> statistics(accumulators.size());
  const auto results = [&](std::size_t first) {
    for (std::size_t j = first; j < accumulators.size(); j += 2) statistics[j] = accumulators[j].finish();
  };
  std::exception_ptr failure;
  std::thread second([&] {
    try {
      results(1);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    results(0);
  } catch (...) {
    second.join();
    throw;
  }
  second.join();
  if (failure) std::rethrow_exception(failure);
  return statistics;
}

StatisticsGatherer::StatisticsGatherer(const std::vector<DataColumn>& columns)
    : accumulators_(statisticsAccumulators(columns)), columns_(columns.size()), filling_(columns.size()) {
  thread_ = std::thread([this] { run(); });
}

StatisticsGatherer::~StatisticsGatherer() { stop(); }

void StatisticsGatherer::run() {
  while (std::optional<RowBlock> block = handOff_.take()) {
    try {
      // Column by column, so one column's tables stay in the cache for a whole block.
      for (std::size_t j = 0; j < accumulators_.size(); ++j) accumulators_[j].addColumn(*block, j);
    } catch (...) {
      failure_ = std::current_exception();
      handOff_.abandon();
      return;
    }
    block->clear();
    handOff_.giveBack(std::move(*block));
  }
}

void StatisticsGatherer::stop() noexcept {
  if (!thread_.joinable()) return;
  handOff_.abandon();
  handOff_.close();
  thread_.join();
}

void StatisticsGatherer::add(const RowView& row) {
  if (abandoned_) return;
  filling_.append(row);
  if (!filling_.full()) return;
  if (!handOff_.put(std::move(filling_))) return abandon();
  filling_ = handOff_.reuse().value_or(RowBlock(columns_));
  filling_.clear();
}

void StatisticsGatherer::abandon() {
  abandoned_ = true;
  stop();
}

std::optional<std::vector<ColumnStatistics>> StatisticsGatherer::finish() {
  if (abandoned_) return std::nullopt;
  if (filling_.rows() > 0 && !handOff_.put(std::move(filling_))) abandon();
  handOff_.close();
  if (thread_.joinable()) thread_.join();
  if (abandoned_ || failure_) return std::nullopt;
  // Statistics are extra work beside the load: where they fail, the load still holds and
  // they are read from the staged table.
  try {
    return finishStatistics(accumulators_);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace tabvora::internal
