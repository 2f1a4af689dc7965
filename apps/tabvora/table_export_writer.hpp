#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/data_column.hpp"
#include "model/data_table.hpp"
#include "model/export_format.hpp"

namespace tabvora::cli {

// Writes a table in one export format a page of rows at a time: the text before the rows,
// each page's rows, then the text after them. Holds nothing between pages but the format's
// own state, so a table of any size streams through it.
//   CSV       a header of column names, then one line per row; values as the value model
//             escapes them for CSV (NULL as an empty field)
//   TSV       the same with tabs; a field holding a tab, quote or line break is quoted
//   JSON      an array of objects, one per row, keys in column order: integers, reals
//             (non-finite ones as null), booleans and nulls as such, blobs as base64 text,
//             JSON cells as the JSON they hold, everything else as text
//   Markdown  a pipe table; "|" escaped, line breaks as <br>, number columns right-aligned
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

  virtual std::string begin() = 0;
  virtual std::string rows(const DataTable& page) = 0;
  virtual std::string end() = 0;

  // For the formats' own classes; callers use make.
  TableExportWriter(std::string tableName, std::vector<DataColumn> columns)
      : tableName_(std::move(tableName)), columns_(std::move(columns)) {}

 protected:
  std::string tableName_;
  std::vector<DataColumn> columns_;
};

}  // namespace tabvora::cli
