#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "model/cell_value.hpp"
#include "model/data_column.hpp"
#include "model/data_row.hpp"
#include "model/distinct_counter.hpp"
#include "model/row_view.hpp"
#include "tabvora/column_statistics.hpp"

namespace tabvora::internal {

// Statistics of the value at column.index of every row; a row too short for it counts as
// null.
ColumnStatistics calculateStatistics(const DataColumn& column, const std::vector<DataRow>& rows);

// Statistics fed one row's value at a time, so a table can be read row by row without
// being held whole. Memory is bounded: the distinct texts are counted exactly up to
// DistinctCounter's limit and estimated past it; the numbers for the median are held up to
// `medianValues`, then every second one of them and from there on, then every fourth, and
// so on; samples are cut to kSampleBytes.
class StatisticsAccumulator {
 public:
  static constexpr std::size_t kMedianValues = std::size_t{4} << 20;

  // `distinctBytes` bounds the memory of the exact distinct count (see DistinctCounter).
  explicit StatisticsAccumulator(const DataColumn& column, std::size_t distinctBytes = DistinctCounter::kExactBytes,
                                 std::size_t medianValues = kMedianValues);
  void add(const CellValue& value);
  // The value at `column` of a row being read (null past its end), without copying it
  // where the statistics do not keep it.
  void add(const RowView& row, std::size_t column);
  // A row that has no value at the column's position.
  void addMissing();
  ColumnStatistics result() const;

 private:
  // A non-null value with its display text; `text` is `value`'s text when `value` is absent.
  void addPresent(const CellValue* value, CellValue::Kind kind, std::string_view display);
  void addNumber(double number);
  // Whether a text value of the same kind as the minimum and maximum moves them.
  void weighText(std::string_view text);

  ColumnStatistics statistics_;
  DistinctCounter distinct_;
  std::optional<CellValue> min_;
  std::optional<CellValue> max_;
  int orderingClass_ = 0;       // of the first value: -1 for numbers, else its kind
  bool mixedOrdering_ = false;  // a value of another class came since
  // Every stride_-th number, for the median; in blocks, so growing never copies them.
  std::deque<double> numbers_;
  std::size_t medianValues_;
  std::uint64_t stride_ = 1;
  std::uint64_t numbersSeen_ = 0;
  // On this platform a long double holds every int64 exactly and a sum of a very large
  // number of finite doubles without overflow, which a double sum would not.
  long double sum_ = 0;
  std::int64_t numericCount_ = 0;
};

}  // namespace tabvora::internal
