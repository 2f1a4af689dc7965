#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "model/cell_value.hpp"

namespace tabvora::internal {

// One row of a result.
struct DataRow {
  std::int64_t id = 0;                // position in the whole table or result, from 0
  std::optional<std::int64_t> rowid;  // storage identity of the source row, when it has one
  std::vector<CellValue> values;      // one per column, in column order

  // Reading outside the values yields null.
  CellValue operator[](std::ptrdiff_t column) const;
  // Writing outside the values is ignored.
  void set(std::ptrdiff_t column, CellValue value);
  DataRow updating(std::ptrdiff_t column, CellValue value) const;
  // True for an empty query, else when some cell's display text contains it, case-insensitively.
  bool matches(std::string_view query) const;

  friend bool operator==(const DataRow&, const DataRow&) = default;
};

}  // namespace tabvora::internal
