#pragma once

#include <optional>
#include <string>

#include "model/column_type.hpp"

namespace tabvora::internal {

// One column of a table; all fields fixed at construction.
struct DataColumn {
  std::string name;
  ColumnType type;
  bool isPrimaryKey = false;
  bool isNullable = true;
  std::optional<std::string> defaultValue;
  int index = 0;  // position in the table, from 0

  friend bool operator==(const DataColumn&, const DataColumn&) = default;
};

}  // namespace tabvora::internal
