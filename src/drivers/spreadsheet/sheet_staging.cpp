#include "drivers/spreadsheet/sheet_staging.hpp"

#include <sqlite3.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "model/table_naming.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {

namespace {

// Spaces and tabs around a number are dropped (line breaks are kept, as the text would be
// no number with them either), unless nothing would remain.
std::string_view numericText(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return text;
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string SheetStaging::uniqueTableName(std::string_view sheetName) {
  const std::string base = stagedTableName(sheetName, "Sheet_");
  std::string name = base;
  for (int suffix = 2; takenTableNames_.count(toLowerUnicode(name)) != 0; ++suffix)
    name = base + "_" + std::to_string(suffix);
  takenTableNames_.insert(toLowerUnicode(name));
  return name;
}

TableMetadata SheetStaging::stage(std::string_view sheetName, const SheetGrid& grid, std::size_t width,
                                  const std::vector<ColumnType>& columnTypes) {
  const std::string table = uniqueTableName(sheetName);
  ColumnNamer namer;
  std::vector<DataColumn> columns(width);
  for (std::size_t i = 0; i < width; ++i) {
    DataColumn& column = columns[i];
    column.name = namer.accept(grid.cell(0, i), i + 1);
    column.index = static_cast<int>(i);
    if (i < columnTypes.size()) {
      column.type = columnTypes[i];
    } else {
      ColumnTypeInference inference;
      for (std::size_t row = 1; row < grid.rowCount() && !inference.settled(); ++row) inference.add(grid.cell(row, i));
      column.type = inference.result();
    }
  }

  std::string withoutNUL;
  const std::string ddl = StagedTable::stage(
      staging_, table, columns, grid.rowCount() - 1, [&](sqlite3_stmt* insert, int offset, std::size_t row) {
        for (std::size_t i = 0; i < width; ++i) {
          const int parameter = offset + static_cast<int>(i) + 1;
          const std::string_view cell = grid.cell(row + 1, i);
          if (cell.empty()) {
            sqlite3_bind_null(insert, parameter);
            continue;
          }
          const ColumnType type = columns[i].type;
          const bool numeric = type == ColumnType::integer || type == ColumnType::real;
          const std::string_view text = numeric ? numericText(cell) : cell;
          if (text.find('\0') == std::string_view::npos) {
            StagedTable::bindText(insert, parameter, text, type);
            continue;
          }
          // Rare: the text without its NULs is bound as a copy SQLite keeps.
          withoutNUL.clear();
          for (char c : text)
            if (c != '\0') withoutNUL += c;
          sqlite3_bind_text(insert, parameter, withoutNUL.data(), static_cast<int>(withoutNUL.size()),
                            SQLITE_TRANSIENT);
        }
      });

  TableMetadata metadata;
  metadata.name = table;
  metadata.type = TableType::sheet;
  metadata.rowCount = static_cast<std::int64_t>(grid.rowCount() - 1);
  metadata.columnCount = static_cast<std::int64_t>(width);
  metadata.sqlDDL = ddl;
  return metadata;
}

}  // namespace tabvora
