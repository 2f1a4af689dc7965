#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/cell_value.hpp"
#include "model/data_column.hpp"
#include "model/data_row.hpp"
#include "model/distinct_counter.hpp"
#include "tabvora/column_statistics.hpp"

namespace tabvora::internal {

// Statistics of the value at column.index of every row; a row too short for it counts as
// null.
ColumnStatistics calculateStatistics(const DataColumn& column, const std::vector<DataRow>& rows);

// Statistics fed one row's value at a time, so a table can be read page by page without
// being held whole. Memory is bounded: the distinct texts are counted exactly up to
// DistinctCounter's limit and estimated past it; samples are cut to kSampleBytes.
class StatisticsAccumulator {
 public:
  // `distinctBytes` bounds the memory of the exact distinct count (see DistinctCounter).
  explicit StatisticsAccumulator(const DataColumn& column, std::size_t distinctBytes = DistinctCounter::kExactBytes);
  void add(const CellValue& value);
  // A row that has no value at the column's position.
  void addMissing();
  ColumnStatistics result() const;

 private:
  ColumnStatistics statistics_;
  DistinctCounter distinct_;
  std::optional<CellValue> min_;
  std::optional<CellValue> max_;
  int orderingClass_ = 0;       // of the first value: -1 for numbers, else its kind
  bool mixedOrdering_ = false;  // a value of another class came since
  // On this platform a long double holds every int64 exactly and a sum of a very large
  // number of finite doubles without overflow, which a double sum would not.
  long double sum_ = 0;
  std::int64_t numericCount_ = 0;
};

}  // namespace tabvora::internal
