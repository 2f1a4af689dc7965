#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/data_column.hpp"
#include "model/data_row.hpp"

namespace tabvora::internal {

// A result set: a page of rows out of totalRowCount.
struct DataTable {
  DataTable(std::string name, std::vector<DataColumn> columns, std::vector<DataRow> rows,
            std::optional<std::int64_t> totalRowCount = std::nullopt, double executionTimeMs = 0,
            std::optional<std::string> query = std::nullopt);

  // Name "Empty", no columns, no rows, total 0, a fresh id.
  static DataTable empty();

  std::string id;  // random UUID text, new at every construction
  std::string name;
  std::vector<DataColumn> columns;
  std::vector<DataRow> rows;
  std::int64_t totalRowCount = 0;
  // totalRowCount is what a limited open staged; the file holds more rows ("200+").
  bool totalRowCountIsLowerBound = false;
  double executionTimeMs = 0;
  std::optional<std::string> query;
};

// A fresh random UUID in its canonical text form.
std::string makeUUID();

}  // namespace tabvora::internal
