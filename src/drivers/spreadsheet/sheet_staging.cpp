#include "drivers/spreadsheet/sheet_staging.hpp"

#include <sqlite3.h>

#include <climits>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "model/table_naming.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {

namespace {

const std::string kEmpty;

const std::string& cellAt(const SheetStaging::Grid& grid, std::size_t row, std::size_t column) {
  const std::vector<std::string>& cells = grid[row];
  return column < cells.size() ? cells[column] : kEmpty;
}

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

TableMetadata SheetStaging::stage(std::string_view sheetName, const Grid& grid, std::size_t width,
                                  const std::vector<ColumnType>& columnTypes) {
  const std::string table = uniqueTableName(sheetName);
  ColumnNamer namer;
  std::vector<DataColumn> columns(width);
  for (std::size_t i = 0; i < width; ++i) {
    DataColumn& column = columns[i];
    column.name = namer.accept(cellAt(grid, 0, i), i + 1);
    column.index = static_cast<int>(i);
    if (i < columnTypes.size()) {
      column.type = columnTypes[i];
    } else {
      ColumnTypeInference inference;
      for (std::size_t row = 1; row < grid.size() && !inference.settled(); ++row) inference.add(cellAt(grid, row, i));
      column.type = inference.result();
    }
  }

  std::string value;
  const std::string ddl = StagedTable::stage(staging_, table, columns, [&](sqlite3_stmt* insert) {
    for (std::size_t row = 1; row < grid.size(); ++row) {
      for (std::size_t i = 0; i < width; ++i) {
        const int parameter = static_cast<int>(i) + 1;
        const std::string& cell = cellAt(grid, row, i);
        if (cell.empty()) {
          sqlite3_bind_null(insert, parameter);
          continue;
        }
        const bool numeric = columns[i].type == ColumnType::integer || columns[i].type == ColumnType::real;
        const std::string_view text = numeric ? numericText(cell) : std::string_view(cell);
        const char* bytes = text.data();
        std::size_t length = text.size();
        if (text.find('\0') != std::string_view::npos) {
          value.clear();
          for (char c : text)
            if (c != '\0') value += c;
          bytes = value.data();
          length = value.size();
        }
        if (length > static_cast<std::size_t>(INT_MAX)) length = 0;  // beyond any cell a reader keeps
        sqlite3_bind_text(insert, parameter, bytes, static_cast<int>(length), SQLITE_TRANSIENT);
      }
      staging_.stepAndReset(insert);
    }
  });

  TableMetadata metadata;
  metadata.name = table;
  metadata.type = TableType::sheet;
  metadata.rowCount = static_cast<std::int64_t>(grid.size() - 1);
  metadata.columnCount = static_cast<std::int64_t>(width);
  metadata.sqlDDL = ddl;
  return metadata;
}

}  // namespace tabvora
