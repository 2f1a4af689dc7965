#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/database_driver.hpp"

namespace tabvora::testing {

// What the workbook driver tests compare: the staged tables' names, one row's cell texts
// ("NULL" for a null) and the columns' declared types.
inline std::vector<std::string> tableNames(const DatabaseMetadata& metadata) {
  std::vector<std::string> names;
  for (const TableMetadata& table : metadata.tables) names.push_back(table.name);
  return names;
}

inline std::vector<std::string> rowTexts(DatabaseDriver& driver, const std::string& table, std::int64_t offset = 0) {
  std::vector<std::string> texts;
  const DataTable page = driver.fetchTableData(table, 1, offset);
  for (const CellValue& value : page.rows.at(0).values) texts.push_back(value.isNull() ? "NULL" : value.rawValueString());
  return texts;
}

inline std::vector<std::string> columnTypes(DatabaseDriver& driver, const std::string& table) {
  std::vector<std::string> types;
  for (const DataColumn& column : driver.fetchSchema(table)) types.emplace_back(column.type.rawValue());
  return types;
}

}  // namespace tabvora::testing
