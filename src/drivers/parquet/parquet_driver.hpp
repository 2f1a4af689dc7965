#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drivers/parquet/parquet_limits.hpp"
#include "drivers/sqlite/staging_driver.hpp"
#include "model/driver_error.hpp"
#include "platform/child_process.hpp"

namespace tabvora::internal {

class FileReader;
class ParquetNativeReader;

// Driver for Apache Parquet files, staged in a table named after the file. The rows come,
// in this order, from:
//   1. the DuckDB command-line program, when one is found: asked for the rows as JSON (see
//      DuckDBRows), all of them in batches of kDuckDBBatchRows, or the first 5000 for a
//      preview (previewRowLimit set);
//   2. the native reader (ParquetNativeReader), when there is no DuckDB or it fails, times
//      out, floods its output, prints anything but rows, or gives another row count than
//      the footer; a preview stages its first previewRowLimit rows (at most 5000), with
//      the types the first 5000 rows give, as the DuckDB route's; a full open reads the
//      footer and leaves the rows in the file until a call needs them: the first read of
//      the staged data stages them all, or an export reads them a row group at a time
//      (readInTurns);
//   3. neither: a preview lists the file's top-level columns and types from its footer (see
//      ParquetFooter) with a summary row saying why the rows could not be read, or, without
//      a readable footer, one row naming the format and the size; a full open lists the
//      table with the footer's counts, stages nothing, and every read fails with that
//      reason.
// The table's row count is the footer's, whichever route staged it (the preview page
// counts the file's rows, not those staged).
// Reads and edits are answered by the staging database; the file is never written.
// Errors have the domain "ParquetDriver": -1 when the file cannot be read or lacks the
// leading magic, -2 for every saveChanges.
class ParquetDriver final : public StagingDriver {
 public:
  // Where a driver made without its own list looks for DuckDB, in order: the preferred
  // path (see preferDuckDBAt), then /opt/homebrew/bin, /usr/local/bin and /usr/bin. The
  // search path of the environment is not consulted. A preferred path of "none" means no
  // DuckDB at all (an empty list).
  static std::vector<std::filesystem::path> defaultDuckDBLocations();
  // Puts `path` before the default locations; an empty path removes it. Meant for a host
  // at start-up, before drivers are made.
  static void preferDuckDBAt(std::filesystem::path path);

  // `duckDBLocations` are tried in order, now and at every open; the first executable
  // regular file is used.
  explicit ParquetDriver(std::vector<std::filesystem::path> duckDBLocations = defaultDuckDBLocations());
  ~ParquetDriver() override;

  DatabaseFormat format() const override { return DatabaseFormat::parquet; }
  using StagingDriver::open;
  DatabaseMetadata open(const std::filesystem::path& url) override;
  DataTable query(const std::string& sql, std::optional<std::int64_t> limit = std::nullopt,
                  std::optional<std::int64_t> offset = std::nullopt) override;
  DataTable fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit = std::nullopt,
                           std::optional<std::int64_t> offset = std::nullopt,
                           std::optional<std::string> sortColumn = std::nullopt, bool ascending = true,
                           std::optional<std::string> filter = std::nullopt) override;
  DataTable fetchFirstFilteredRows(const std::string& tableName, std::int64_t limit,
                                   const std::string& filter) override;
  std::vector<TableMetadata> fetchTables() override;
  std::vector<DataColumn> fetchSchema(const std::string& tableName) override;
  std::optional<std::string> getDDL(std::optional<std::string> tableName) override;
  void updateCell(const std::string& tableName, const DataRow& row, const DataColumn& column,
                  const CellValue& newValue) override;
  void deleteRow(const std::string& tableName, const DataRow& row) override;
  void insertRow(const std::string& tableName, const ColumnValues& values) override;
  void streamRows(const std::string& sql, const std::vector<CellValue>& parameters, std::int64_t pageRows,
                  const std::function<bool(const DataTable& page)>& body) override;
  void forEachRow(const std::string& sql, const std::vector<CellValue>& parameters,
                  const std::function<bool(const RowView& row)>& body) override;
  void saveChanges() override;
  void close() noexcept override;

  // Whether every row of `table` can be read in turns: a full open by the native reader
  // whose rows no call has staged yet.
  bool readsInTurns(const std::string& table) const override { return pending_ && table == primaryTableName_; }
  // For a caller that needs each row once, in order (an export): stages the rows a row group
  // at a time. Calls `turn()` first with the file's table created empty, with the declared
  // types staging every row gives it, then once for each row group while the table holds
  // that group's rows and no other; `turn` returns false to stop. Every row group is
  // decoded once before the first turn, so a file whose rows cannot be read fails before
  // any turn (and stays unreadable). After the last turn the table is dropped and its rows
  // wait in the file again. Only while readsInTurns.
  void readInTurns(const std::string& table, const std::function<bool()>& turn) override;

  // Which route staged the rows of the last open.
  enum class Route : std::uint8_t { none, duckDB, native, footer };
  Route route() const { return route_; }

  // The DuckDB program last found; kept when a later search finds none.
  const std::optional<std::filesystem::path>& duckDBPath() const { return duckDBPath_; }
  // The staged table's name: "parquet_data" until open names it after the file.
  const std::string& primaryTableName() const { return primaryTableName_; }

  // Bounds of one DuckDB run; past either the footer table is shown.
  ChildProcess::Limits duckDBLimits{parquet_limits::kDuckDBTimeLimit, parquet_limits::kDuckDBOutputLimit,
                                    parquet_limits::kDuckDBErrorLimit};

  // Set for a preview: at most 5000 rows are staged through DuckDB, at most this many (and
  // 5000) by the native reader.
  std::optional<std::int64_t> previewRowLimit;
  // Rows one DuckDB run gives a full open.
  std::int64_t duckDBBatchRows = parquet_limits::kDuckDBBatchRows;

  // SELECT * FROM '<path with apostrophes doubled>' LIMIT 5000; or, with an offset,
  // ... LIMIT <limit> OFFSET <offset>;
  static std::string duckDBQuery(const std::string& path, std::int64_t limit = parquet_limits::kDuckDBRowLimit,
                                 std::int64_t offset = 0);
  // Whether DuckDB would read exactly the file at `path`: not when the path holds
  // characters it expands as a glob (* ? [) or looks like a URL.
  static bool isPlainPathForDuckDB(const std::string& path);

 private:
  void takeOptions(const OpenOptions& options) override { previewRowLimit = options.previewRowLimit; }
  void locateDuckDB();
  void resetStaging();
  void throwIfUnreadable() const;
  // Stages the rows a full open left in the file, when a call first needs them.
  void stagePendingRows();
  // Marks the rows unreadable for the native reader's `error` and throws the reason.
  [[noreturn]] void failPendingRows(const DriverError& error);
  // Rolls back a staging left halfway and drops its table.
  void discardPrimaryTable() noexcept;
  // Throws when DuckDB cannot give the rows; the staging database may then hold part of them.
  void loadThroughDuckDB(const std::filesystem::path& url, std::optional<std::int64_t> footerRows);
  void stageSchemaTable(const FileReader& file, std::uint64_t fileSize, const std::string& why);

  std::vector<std::filesystem::path> duckDBLocations_;
  std::optional<std::filesystem::path> duckDBPath_;
  std::string primaryTableName_ = "parquet_data";
  Route route_ = Route::none;
  std::optional<std::int64_t> footerRows_;  // the row count of a decodable footer
  std::int64_t stagedRows_ = 0;
  std::optional<std::string> unreadable_;  // why a full open staged no rows
  // The rows of a full open by the native reader, until staged; the file it reads.
  std::unique_ptr<FileReader> pendingFile_;
  std::unique_ptr<ParquetNativeReader> pending_;
  bool inTurns_ = false;  // readInTurns is running
};

}  // namespace tabvora::internal
