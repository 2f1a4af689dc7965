#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "drivers/spreadsheet/sheet_grid.hpp"
#include "model/column_type.hpp"
#include "model/table_metadata.hpp"

namespace tabvora {

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
//   - Cells: an empty one is NULL; numeric columns drop surrounding spaces and tabs; NUL is
//     removed; values are stored as their text is by the column's affinity.
class SheetStaging {
 public:
  explicit SheetStaging(SQLiteDriver& staging) : staging_(staging) {}

  // Stages `grid` (at least one row; rows shorter than `width` read as empty on the right)
  // and returns the sheet's table. `columnTypes`, when not empty, gives the type of each
  // column instead of inference. Staging errors propagate.
  TableMetadata stage(std::string_view sheetName, const SheetGrid& grid, std::size_t width,
                      const std::vector<ColumnType>& columnTypes = {});

 private:
  std::string uniqueTableName(std::string_view sheetName);

  SQLiteDriver& staging_;
  std::unordered_set<std::string> takenTableNames_;  // lower-cased
};

}  // namespace tabvora
