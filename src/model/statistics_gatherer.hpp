#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "model/block_pipeline.hpp"
#include "model/column_statistics.hpp"
#include "model/data_column.hpp"
#include "model/row_view.hpp"

namespace tabvora::internal {

// Accumulators for every column of a table, within the memory bounds statistics keep to
// whatever the table's width: the exact distinct counts of all columns share one bound (past
// it they are estimated), and so do the numbers held for the medians.
std::vector<StatisticsAccumulator> statisticsAccumulators(const std::vector<DataColumn>& columns);

// The statistics of every accumulator, on two cores: a median is a selection among up to
// millions of numbers.
std::vector<ColumnStatistics> finishStatistics(std::vector<StatisticsAccumulator>& accumulators);

// Statistics of a table worked out while its rows are staged: the loading thread hands it
// each row with the values the staged table holds for it, and a thread of its own adds them
// up, so a load that has a core to spare pays little for them. A loader that meets a value
// it cannot vouch for (one the table's column affinity might change) abandons it; its
// statistics are then read from the staged table as usual.
class StatisticsGatherer {
 public:
  explicit StatisticsGatherer(const std::vector<DataColumn>& columns);

  // The next row staged: its first columns().size() values.
  void add(const RowView& row);
  void abandon();
  bool abandoned() const { return abandoned_; }
  // After the last row: the statistics, or none if abandoned.
  std::optional<std::vector<ColumnStatistics>> finish();

 private:
  // Blocks of rows queued for the adding thread: room for the loader to run ahead of it
  // where a stretch of rows costs it more.
  static constexpr std::size_t kBlocksAhead = 4;

  std::vector<StatisticsAccumulator> accumulators_;
  bool abandoned_ = false;
  std::optional<BlockPipeline> pipeline_;  // last: its thread stops before the accumulators go
};

}  // namespace tabvora::internal
