#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drivers/sqlite/filter_sql.hpp"
#include "model/column_filter.hpp"
#include "model/database_driver.hpp"
#include "model/filter_combination.hpp"
#include "model/row_view.hpp"

namespace tabvora::internal {

// Reads one table of an open driver from start to end, page by page, narrowed by column
// filters. The filtering runs in the driver's SQLite engine (the file's own database, or
// the staging database of every other format) with the values bound as parameters.
// Failures are DriverError.
class TableReader {
 public:
  // Rows handed over at a time by forEachPage: large enough that the per-page cost
  // vanishes, small enough to stay a few megabytes.
  static constexpr std::int64_t kPageRows = 2000;

  // Fails when the table has no such column as a filter names (the message lists them).
  TableReader(DatabaseDriver& driver, std::string table, std::vector<ColumnFilter> filters = {},
              FilterCombination combination = FilterCombination::all);

  // Keeps, besides, only the rows in which some column contains `text` (ignoring case);
  // an empty text keeps all.
  void setSearch(std::string text) { search_ = std::move(text); }
  // Hands rows over by `sortColumn` (a column the table lacks fails, listing them) instead
  // of in the table's order.
  void setOrder(std::optional<std::string> sortColumn, bool ascending);

  const std::string& table() const { return table_; }
  // The table's columns, in order.
  const std::vector<DataColumn>& columns() const { return columns_; }
  // The number of rows the filters keep.
  std::int64_t count();
  // What the filters and the search keep, as a condition with its parameters; empty text
  // when they keep every row.
  BoundSQL condition() const;
  // Hands the rows over in order, at most `pageRows` at a time and `limit` in all; the body
  // returns false to stop.
  void forEachPage(std::optional<std::int64_t> limit, const std::function<bool(const DataTable& page)>& body,
                   std::int64_t pageRows = kPageRows);
  // The same one row at a time, without copying the values; the fastest way through a
  // table.
  void forEachRow(std::optional<std::int64_t> limit, const std::function<bool(const RowView& row)>& body);
  // The first `rows` rows, with totalRowCount the number the filters keep.
  DataTable firstRows(std::int64_t rows);
  // Fails unless the table has a column of that name (the message lists them).
  void requireColumn(const std::string& name) const;
  // Up to `limit` rows from row `offset` of the rows the filters keep, ordered by
  // `sortColumn` when given (a column the table lacks fails, listing them), with
  // totalRowCount the number the filters keep.
  DataTable page(std::int64_t offset, std::int64_t limit, const std::optional<std::string>& sortColumn, bool ascending);

 private:
  // The SELECT (or COUNT) narrowed by the filters and the search, ordered when asked.
  BoundSQL narrowed(bool counting, bool ordered) const;

  DatabaseDriver& driver_;
  std::string table_;
  std::vector<ColumnFilter> filters_;
  FilterCombination combination_;
  std::vector<DataColumn> columns_;
  std::string search_;
  std::optional<std::string> sortColumn_;
  bool ascending_ = true;
};

}  // namespace tabvora::internal
