#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/table_type.hpp"

namespace tabvora::internal {

// One listed table, view or sheet.
struct TableMetadata {
  std::string name;
  TableType type;
  std::optional<std::int64_t> rowCount;
  std::optional<std::int64_t> columnCount;
  std::optional<std::int64_t> sizeBytes;
  std::optional<std::string> sqlDDL;
  // rowCount is what a limited open staged; the file holds more rows than that.
  bool rowCountIsLowerBound = false;

  friend bool operator==(const TableMetadata&, const TableMetadata&) = default;
};

}  // namespace tabvora::internal
