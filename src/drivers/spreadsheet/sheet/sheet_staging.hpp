#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "drivers/spreadsheet/sheet/sheet_grid.hpp"
#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "model/column_type.hpp"
#include "model/table_metadata.hpp"

namespace tabvora::internal {

class SQLiteDriver;

// Stages the sheets of one workbook as tables of a staging database, the same way for
// every workbook format. A sheet is a grid of cell texts whose first row names the
// columns; each later row is a table row.
//   - Table name: the sheet name with spaces and "-" as "_", only letters, numbers and "_"
//     kept, "Sheet_" in front when empty, starting with a number or with "sqlite_";
//     unique ignoring case within the workbook ("_2", "_3", ... on the unsuffixed name).
//   - Column names: header texts trimmed, "col_<n>" for an empty one, unique ignoring case
//     ("_1", "_2", ...).
//   - Column types: inferred from the data cells (INTEGER, REAL or TEXT) unless given.
//   - Cells: an empty one is NULL; NUL is removed; the rest as the binding says.
// A sheet wider than a table can be (limits::kMaxColumns), and a sheet past the kMaxTables-th
// (listed unread sheets counted), are
// refused before anything of it is staged: DriverError("SQLiteDriver", -1, ...) naming the
// limit (and the sheet and its width).
class SheetStaging {
 public:
  // Tables one workbook may stage: every table makes each later CREATE TABLE slower, so
  // a workbook of a hundred thousand small sheets would keep the open busy for minutes.
  static constexpr std::size_t kMaxTables = 1024;

  enum class ValueBinding {
    // Numeric columns drop surrounding white space (not line breaks); every value is
    // stored as its text is by the column's affinity.
    text,
    // Without surrounding white space (not line breaks), integer text in an INTEGER
    // column is bound as that integer and number text in a REAL column as that double;
    // any other cell is bound as its text, untrimmed.
    columnType,
  };

  // With a budget, every staged row is charged to it (each cell's text as bound, shared
  // strings each time they are named, with kCellOverheadBytes a cell and kRowOverheadBytes
  // a row), and running out fails the staging with the budget's failure naming the sheet.
  explicit SheetStaging(SQLiteDriver& staging, WorkbookBudget* budget = nullptr) : staging_(staging), budget_(budget) {}

  // Stages `grid` (at least one row; rows shorter than `width` read as empty on the right)
  // and returns the sheet's table. `columnTypes[i]`, when present, gives the type of
  // column i instead of inference. Staging errors propagate.
  TableMetadata stage(std::string_view sheetName, const SheetGrid& grid, std::size_t width,
                      const std::vector<std::optional<ColumnType>>& columnTypes = {},
                      ValueBinding binding = ValueBinding::text);
  // Lists a sheet that could not be read as a table of its own name (unique, as for a
  // staged sheet) without staging anything: no columns, no rows, no DDL.
  TableMetadata listUnread(std::string_view sheetName);

 private:
  std::string uniqueTableName(std::string_view sheetName);

  void requireRoomForTable() const;

  SQLiteDriver& staging_;
  WorkbookBudget* budget_;
  std::unordered_set<std::string> takenTableNames_;          // lower-cased
  std::unordered_map<std::string, std::size_t> lastSuffix_;  // by lower-cased base name
};

}  // namespace tabvora::internal
