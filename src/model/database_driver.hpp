#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/cell_value.hpp"
#include "model/data_column.hpp"
#include "model/data_row.hpp"
#include "model/data_table.hpp"
#include "model/database_format.hpp"
#include "model/database_metadata.hpp"
#include "model/open_options.hpp"
#include "model/row_view.hpp"
#include "model/table_metadata.hpp"
#include "tabvora/column_statistics.hpp"

namespace tabvora::internal {

// Column name -> value, bound in this order by insertRow.
using ColumnValues = std::vector<std::pair<std::string, CellValue>>;

// The statistics of each column of one table, in the table's column order.
struct GatheredStatistics {
  std::string table;
  std::vector<ColumnStatistics> columns;
};

// The protocol every format driver implements. Calls of one caller come one after the
// other; open comes first and every other operation works on the file it opened. Failures
// are thrown as DriverError.
class DatabaseDriver {
 public:
  virtual ~DatabaseDriver() = default;

  virtual DatabaseFormat format() const = 0;
  virtual std::optional<std::filesystem::path> currentURL() const = 0;

  virtual DatabaseMetadata open(const std::filesystem::path& url) = 0;
  // The same with `options`: the driver takes the fields it understands first. The options
  // hold for this open and the reads after it.
  DatabaseMetadata open(const std::filesystem::path& url, const OpenOptions& options) {
    openOptions_ = options;
    takeOptions(options);
    return open(url);
  }
  virtual std::vector<TableMetadata> fetchTables() = 0;
  virtual std::vector<DataColumn> fetchSchema(const std::string& tableName) = 0;
  virtual DataTable query(const std::string& sql, std::optional<std::int64_t> limit = std::nullopt,
                          std::optional<std::int64_t> offset = std::nullopt) = 0;
  virtual DataTable fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit = std::nullopt,
                                   std::optional<std::int64_t> offset = std::nullopt,
                                   std::optional<std::string> sortColumn = std::nullopt, bool ascending = true,
                                   std::optional<std::string> filter = std::nullopt) = 0;
  // fetchTableData's first page of the rows `filter` keeps, in the table's order, without
  // first counting all of them when that count is not at hand: totalRowCount is then the
  // rows given, and one more when more follow (totalRowCountIsLowerBound set). A large
  // table's first filtered rows show at once; fetchTableData counts them later. By default
  // the counted page.
  virtual DataTable fetchFirstFilteredRows(const std::string& tableName, std::int64_t limit,
                                           const std::string& filter) {
    return fetchTableData(tableName, limit, 0, std::nullopt, true, filter);
  }
  virtual std::optional<std::string> getDDL(std::optional<std::string> tableName) = 0;
  virtual void updateCell(const std::string& tableName, const DataRow& row, const DataColumn& column,
                          const CellValue& newValue) = 0;
  virtual void deleteRow(const std::string& tableName, const DataRow& row) = 0;
  virtual void insertRow(const std::string& tableName, const ColumnValues& values) = 0;
  virtual void saveChanges() = 0;
  virtual void close() noexcept = 0;

  // What the last open met without failing (a sheet it could not read, rows it left out),
  // one sentence each; close forgets them. None by default.
  virtual std::vector<std::string> warnings() const { return {}; }
  // Why a listed table cannot be read (reading it fails with that reason), or nothing.
  virtual std::optional<std::string> unreadableReason(const std::string& /*tableName*/) const { return std::nullopt; }

  // Runs one read-only statement over the open file's tables (parameters ?1, ?2 ... take
  // `parameters`, never spliced into its text), handing its rows to `body` `pageRows` at a
  // time; only the current page is held and the body returns false to stop. Drivers that
  // answer from SQLite (all of them) implement it; the default refuses.
  virtual void streamRows(const std::string& sql, const std::vector<CellValue>& parameters, std::int64_t pageRows,
                          const std::function<bool(const DataTable& page)>& body);
  // The same one row at a time, each seen where the engine holds it.
  virtual void forEachRow(const std::string& sql, const std::vector<CellValue>& parameters,
                          const std::function<bool(const RowView& row)>& body);

  // Whether the rows of `tableName` can be read in turns, so that a reader needing each row
  // once, in order (an export), does not make the driver hold the table whole. No by default.
  virtual bool readsInTurns(const std::string& /*tableName*/) const { return false; }
  // Where readsInTurns: calls `turn()` first with the table empty, then once for each part of
  // its rows while the table holds that part and no other, in order; `turn` returns false to
  // stop. The default refuses.
  virtual void readInTurns(const std::string& tableName, const std::function<bool()>& turn);

  // Statistics of every column of a whole table that the open worked out while it staged the
  // rows (OpenOptions::gatherStatistics), handed over once; none by default.
  virtual std::optional<GatheredStatistics> takeGatheredStatistics() { return std::nullopt; }

 protected:
  // Sets the driver's own fields from the options given to open; none by default.
  virtual void takeOptions(const OpenOptions& /*options*/) {}
  // The stem the staged table's name is made from: the options' stem or the file's.
  std::string tableStem(const std::filesystem::path& url) const {
    return openOptions_.tableStem.empty() ? url.stem().string() : openOptions_.tableStem;
  }

  OpenOptions openOptions_;
};

}  // namespace tabvora::internal
