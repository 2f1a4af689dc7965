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

namespace tabvora {

// A summary of one column's values: counts, the smallest and largest value, the mean of
// the numeric ones and a few sample texts. Identified by its column's name.
struct ColumnStatistics {
  // Samples kept: the first this many distinct display texts.
  static constexpr std::size_t kSampleLimit = 10;
  // A sample keeps at most this many bytes of its text (cut on a character boundary).
  static constexpr std::size_t kSampleBytes = 1024;

  DataColumn column;
  std::int64_t totalCount = 0;     // rows examined
  std::int64_t nullCount = 0;      // rows whose value is null or missing
  std::int64_t distinctCount = 0;  // distinct display texts among the non-null values
  std::optional<std::string> min;  // display text of the smallest non-null value (CellValue order)
  std::optional<std::string> max;
  std::optional<double> average;   // mean of the integer and real values
  std::vector<std::string> sampleValues;
  bool distinctIsEstimate = false;  // distinctCount is past DistinctCounter's exact limit: an estimate

  const std::string& id() const { return column.name; }
  // Percentage of null rows; 0 when no row was examined.
  double nullPercentage() const;

  // Statistics of the value at column.index of every row; a row too short for it counts
  // as null.
  static ColumnStatistics calculate(const DataColumn& column, const std::vector<DataRow>& rows);

  class Accumulator;  // below

  friend bool operator==(const ColumnStatistics&, const ColumnStatistics&) = default;
};

// Statistics fed one row's value at a time, so a table can be read page by page without
// being held whole. Memory is bounded: the distinct texts are counted exactly up to
// DistinctCounter's limit and estimated past it; samples are cut to kSampleBytes.
class ColumnStatistics::Accumulator {
 public:
  // `distinctBytes` bounds the memory of the exact distinct count (see DistinctCounter).
  explicit Accumulator(DataColumn column, std::size_t distinctBytes = DistinctCounter::kExactBytes);
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

}  // namespace tabvora
