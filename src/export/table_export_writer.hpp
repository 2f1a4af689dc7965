#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/data_column.hpp"
#include "model/data_table.hpp"
#include "model/export_format.hpp"
#include "model/row_view.hpp"

namespace tabvora::internal {

// Writes a table in one export format a row at a time, appending to the caller's buffer:
// the text before the rows, each row, then the text after them. Holds nothing between rows
// but the format's own state, so a table of any size streams through it.
//   CSV       a header of column names, then one line per row; text quoted when it holds a
//             comma, quote or line break (quotes doubled), reals in their shortest exact
//             text, blobs as base64, NULL as an empty field
//   TSV       the same with tabs; a field holding a tab, quote or line break is quoted
//   JSON      an array of objects, one per row, keys in column order: integers and reals
//             as numbers (non-finite reals as null), text as strings (invalid UTF-8 as
//             U+FFFD), blobs as base64 strings, NULL as null
//   Markdown  a pipe table of the values as the grid shows them; "|" and "\" escaped, line
//             breaks as <br>, number columns right-aligned, NULL as an empty cell
//   SQL       CREATE TABLE and one INSERT per row in a transaction, which sqlite3 reads
//             back to the same rows: integers, text, blobs and NULLs exactly, reals as
//             the shortest text that reads back to them (SQLite's own reader is one unit
//             in the last place off for a few values, nearly all below 1e-300), NaN as
//             NULL; a NUL inside a table or column name is left out
class TableExportWriter {
 public:
  static std::unique_ptr<TableExportWriter> make(ExportFormat format, std::string tableName,
                                                 std::vector<DataColumn> columns);
  virtual ~TableExportWriter() = default;

  virtual void writeBegin(std::string& out) = 0;
  virtual void writeRow(const RowView& row, std::string& out) = 0;
  virtual void writeEnd(std::string& out) = 0;

  // The same for copied rows (a query's result), as text.
  std::string begin();
  std::string rows(const DataTable& page);
  std::string end();

  // For the formats' own classes; callers use make.
  TableExportWriter(std::string tableName, std::vector<DataColumn> columns)
      : tableName_(std::move(tableName)), columns_(std::move(columns)) {}

 protected:
  std::string tableName_;
  std::vector<DataColumn> columns_;
};

}  // namespace tabvora::internal
