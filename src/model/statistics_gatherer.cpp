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
    : accumulators_(statisticsAccumulators(columns)) {
  // Column by column, so one column's tables stay in the cache for a whole block.
  pipeline_.emplace(
      columns.size(),
      [this](const RowBlock& block) {
        for (std::size_t j = 0; j < accumulators_.size(); ++j) accumulators_[j].addColumn(block, j);
      },
      kBlocksAhead);
}

void StatisticsGatherer::add(const RowView& row) {
  if (abandoned_) return;
  pipeline_->filling().append(row);
  if (pipeline_->filling().full() && !pipeline_->handOver()) abandon();
}

void StatisticsGatherer::abandon() {
  abandoned_ = true;
  pipeline_.reset();
}

std::optional<std::vector<ColumnStatistics>> StatisticsGatherer::finish() {
  if (abandoned_) return std::nullopt;
  // Statistics are extra work beside the load: where they fail, the load still holds and
  // they are read from the staged table.
  try {
    pipeline_->finish();
    pipeline_.reset();
    return finishStatistics(accumulators_);
  } catch (const std::exception&) {
    abandon();
    return std::nullopt;
  }
}

}  // namespace tabvora::internal
