#pragma once

#include <cstdint>
#include <span>
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

inline std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A document type declaring nine levels of entities, each ten of the one below ("lol"):
// append "]>" and a root that names &l9;.
inline std::string entityBombPrologue(const std::string& root) {
  std::string out = "<!DOCTYPE " + root + " [<!ENTITY l0 \"lol\">";
  for (int level = 1; level <= 9; ++level) {
    out += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) out += "&l" + std::to_string(level - 1) + ";";
    out += "\">";
  }
  return out;
}

}  // namespace tabvora::testing
