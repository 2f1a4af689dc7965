#include "drivers/spreadsheet/sheet/sheet_staging.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

#include "drivers/spreadsheet/sheet/workbook_limits.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "model/driver_error.hpp"
#include "model/table_naming.hpp"
#include "platform/limits.hpp"
#include "platform/number_parsing.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

// White space around a number is dropped, Unicode spaces as well as ASCII ones (line
// breaks are kept, as the text would be no number with them either), unless nothing would
// remain: both workbook forms trim alike.
std::string_view numericText(std::string_view text) {
  const std::string_view trimmed = trimWhitespace(text);
  return trimmed.empty() ? text : trimmed;
}

// Binds a cell of a numeric column as its number when its trimmed text is one of the
// column's kind; false, binding nothing, otherwise.
bool bindNumber(sqlite3_stmt* insert, int parameter, std::string_view cell, ColumnType type) {
  const std::string_view text = trimWhitespace(cell);
  const ColumnType inferred = ColumnType::infer(text);
  if (type == ColumnType::integer) {
    if (inferred != ColumnType::integer) return false;
    const std::optional<std::int64_t> value = parseInt64(text);
    if (!value) return false;
    sqlite3_bind_int64(insert, parameter, *value);
    return true;
  }
  if (type == ColumnType::real) {
    if (inferred != ColumnType::integer && inferred != ColumnType::real) return false;
    const std::optional<double> value = parseDouble(text);
    if (!value || !std::isfinite(*value)) return false;
    sqlite3_bind_double(insert, parameter, *value);
    return true;
  }
  return false;
}

}  // namespace

void SheetStaging::requireRoomForTable() const {
  if (takenTableNames_.size() >= kMaxTables)
    throw DriverError(
        "SQLiteDriver", -1,
        "The workbook has more than " + std::to_string(kMaxTables) + " sheets with cells, more than can be staged");
}

TableMetadata SheetStaging::listUnread(std::string_view sheetName) {
  requireRoomForTable();
  TableMetadata metadata;
  metadata.name = uniqueTableName(sheetName);
  metadata.type = TableType::sheet;
  return metadata;
}

std::string SheetStaging::uniqueTableName(std::string_view sheetName) {
  const std::string base = stagedTableName(sheetName, "Sheet_");
  std::string name = base;
  // Suffixes below the last one a base was given were all taken then and still are, so the
  // search goes on from there: many sheets of one name cost no more each than the first.
  std::size_t& suffix = lastSuffix_[toLowerUnicode(base)];
  while (takenTableNames_.count(toLowerUnicode(name)) != 0)
    name = base + "_" + std::to_string(suffix = std::max<std::size_t>(suffix + 1, 2));
  takenTableNames_.insert(toLowerUnicode(name));
  return name;
}

TableMetadata SheetStaging::stage(std::string_view sheetName, const SheetGrid& grid, std::size_t width,
                                  const std::vector<std::optional<ColumnType>>& columnTypes, ValueBinding binding) {
  if (width > limits::kMaxColumns)
    throw DriverError("SQLiteDriver", -1,
                      "The sheet \"" + std::string(sheetName) + "\" has " + std::to_string(width) +
                          " columns, more than the " + std::to_string(limits::kMaxColumns) + " a table can hold");
  requireRoomForTable();
  const std::string table = uniqueTableName(sheetName);
  ColumnNamer namer;
  std::vector<DataColumn> columns(width);
  for (std::size_t i = 0; i < width; ++i) {
    DataColumn& column = columns[i];
    column.name = namer.accept(grid.cell(0, i), i + 1);
    column.index = static_cast<int>(i);
    if (i < columnTypes.size() && columnTypes[i]) {
      column.type = *columnTypes[i];
    } else {
      ColumnTypeInference inference;
      for (std::size_t row = 1; row < grid.rowCount() && !inference.settled(); ++row) inference.add(grid.cell(row, i));
      column.type = inference.result();
    }
  }

  std::string withoutNUL;
  const std::string ddl = StagedTable::stage(
      staging_, table, columns, grid.rowCount() - 1, [&](sqlite3_stmt* insert, int offset, std::size_t row) {
        if (budget_ != nullptr) {
          std::int64_t bytes = workbook_limits::kRowOverheadBytes;
          for (std::size_t i = 0; i < width; ++i)
            bytes += static_cast<std::int64_t>(grid.cell(row + 1, i).size()) + workbook_limits::kCellOverheadBytes;
          if (!budget_->tryCharge(bytes)) throw budget_->exceeded("sheet \"" + std::string(sheetName) + "\"");
        }
        for (std::size_t i = 0; i < width; ++i) {
          const int parameter = offset + static_cast<int>(i) + 1;
          const std::string_view cell = grid.cell(row + 1, i);
          if (cell.empty()) {
            sqlite3_bind_null(insert, parameter);
            continue;
          }
          const ColumnType type = columns[i].type;
          const bool numeric = type == ColumnType::integer || type == ColumnType::real;
          if (binding == ValueBinding::columnType && numeric && bindNumber(insert, parameter, cell, type)) continue;
          const std::string_view text = numeric && binding == ValueBinding::text ? numericText(cell) : cell;
          if (text.find('\0') == std::string_view::npos) {
            StagedTable::bindText(insert, parameter, text,
                                  binding == ValueBinding::text ? type : ColumnType(ColumnType::text));
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

}  // namespace tabvora::internal
