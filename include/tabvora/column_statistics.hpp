#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tabvora/value.hpp"

namespace tabvora {

// A summary of one column's values: counts, the smallest and largest value, the mean and
// median of the numeric ones, the most frequent values and a few sample texts. Identified
// by its column's name.
struct ColumnStatistics {
  // Samples kept: the first this many distinct display texts.
  static constexpr std::size_t kSampleLimit = 10;
  // A sample keeps at most this many bytes of its text (cut on a character boundary).
  static constexpr std::size_t kSampleBytes = 1024;
  // Most frequent values listed: at most this many.
  static constexpr std::size_t kFrequentLimit = 3;

  // A display text and the number of rows that hold it.
  struct Frequency {
    std::string value;
    std::int64_t count = 0;
    friend bool operator==(const Frequency& a, const Frequency& b) { return a.value == b.value && a.count == b.count; }
    friend bool operator!=(const Frequency& a, const Frequency& b) { return !(a == b); }
  };

  Column column;
  std::int64_t totalCount = 0;     // rows examined
  std::int64_t nullCount = 0;      // rows whose value is null or missing
  std::int64_t distinctCount = 0;  // distinct display texts among the non-null values
  std::optional<std::string> min;  // display text of the smallest non-null value
  std::optional<std::string> max;
  std::optional<double> average;  // mean of the integer and real values
  std::vector<std::string> sampleValues;
  // distinctCount is an estimate: the column had more distinct values than are counted
  // exactly (100,000, or fewer when many columns share the memory).
  bool distinctIsEstimate = false;
  // The middle of the numeric values in order (the mean of the two middle ones for an even
  // count); absent when there are none. An estimate when the column had more numbers than
  // are held (see Document::statistics): then the middle of an even spread of them.
  std::optional<double> median;
  bool medianIsEstimate = false;
  // The display texts held by more than one row, most rows first (of equal counts, the one
  // met first first), at most kFrequentLimit, each cut like a sample; the counts are exact.
  // When distinctIsEstimate, only texts already among the most frequent when exact counting
  // stopped are considered.
  std::vector<Frequency> mostFrequent;

  const std::string& id() const { return column.name; }
  // Percentage of null rows; 0 when no row was examined.
  double nullPercentage() const {
    return totalCount < 1 ? 0.0 : static_cast<double>(nullCount) / static_cast<double>(totalCount) * 100;
  }

  friend bool operator==(const ColumnStatistics& a, const ColumnStatistics& b) {
    return a.column.name == b.column.name && a.column.type == b.column.type && a.totalCount == b.totalCount &&
           a.nullCount == b.nullCount && a.distinctCount == b.distinctCount && a.min == b.min && a.max == b.max &&
           a.average == b.average && a.sampleValues == b.sampleValues && a.distinctIsEstimate == b.distinctIsEstimate &&
           a.median == b.median && a.medianIsEstimate == b.medianIsEstimate && a.mostFrequent == b.mostFrequent;
  }
  friend bool operator!=(const ColumnStatistics& a, const ColumnStatistics& b) { return !(a == b); }
};

// The statistics of a table's columns as text: a header line and one line per column,
// fields padded to their widest entry (by display width, so wide characters keep the
// columns straight):
//   column  type  rows  nulls  null %  distinct  min  max  average  median  most frequent  samples
// numbers right-aligned, an estimate as "~N", min, max, each frequent value and each sample
// cut to 24 columns, the frequent values as "text (count)" and they and the samples joined
// by ", ". Line breaks and tabs inside values show as spaces. With a `width` (display
// columns), lines longer than it lose samples from the end, then frequent values, then are
// cut at the width.
std::string statisticsText(const std::vector<ColumnStatistics>& columns, std::optional<std::size_t> width = {});
// The same as JSON: an array of one object per column with the keys column, type, rows,
// nulls, nullPercentage, distinct, distinctIsEstimate, min, max, average, median (null when
// absent), medianIsEstimate, mostFrequent (objects with the keys value and count) and
// samples.
std::string statisticsJSON(const std::vector<ColumnStatistics>& columns);

}  // namespace tabvora
