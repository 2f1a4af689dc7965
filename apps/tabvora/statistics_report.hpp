#pragma once

#include <string>
#include <vector>

#include "model/column_statistics.hpp"

namespace tabvora::cli {

// The statistics of a table's columns as the stats command prints them.
// Text: a header line and one line per column, fields padded to their widest entry (by
// display width, so wide characters keep the columns straight):
//   column  type  rows  nulls  null %  distinct  min  max  average  samples
// numbers right-aligned, min, max and each sample cut to kMaxShownColumns columns, the
// samples joined by ", ". Line breaks and tabs inside values show as spaces.
// JSON: an array of one object per column with the keys column, type, rows, nulls,
// nullPercentage, distinct, min, max, average (null when absent) and samples.
class StatisticsReport {
 public:
  static constexpr std::size_t kMaxShownColumns = 24;

  static std::string text(const std::vector<ColumnStatistics>& columns);
  static std::string json(const std::vector<ColumnStatistics>& columns);
};

}  // namespace tabvora::cli
