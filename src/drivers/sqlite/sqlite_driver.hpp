#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "drivers/sqlite/filter_sql.hpp"
#include "model/database_driver.hpp"
#include "model/row_view.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace tabvora::internal {

class InspectionLimits;

// The driver over SQLite database files, and the in-memory staging engine behind every
// other driver. Every public operation holds `lock` from start to end (recursive, so one
// operation may call another); stepAndReset takes no lock because it runs inside a
// withPreparedStatement body. Errors have the domain "SQLiteDriver".
class SQLiteDriver final : public DatabaseDriver {
 public:
  SQLiteDriver();
  ~SQLiteDriver() override;
  SQLiteDriver(const SQLiteDriver&) = delete;
  SQLiteDriver& operator=(const SQLiteDriver&) = delete;

  // When set before open, the connection only inspects: the file, its folder, its sidecar
  // files and every other file are left exactly as they were whatever the file or a
  // statement asks for (see InspectionVFS and InspectionLimits); values, statement text
  // and SQLite's memory are bounded. Without it open tries read-write first, as an editor
  // needs.
  bool previewReadOnly = false;
  // Set before open, with previewReadOnly: every statement is interrupted after this long.
  std::optional<std::chrono::milliseconds> statementTimeLimit;
  // When set, text values longer than this many bytes are cut (at a character boundary)
  // as they are read, and one result may hold at most kMaxCutResultBytes of values; for a
  // page that shows only the start of each value.
  std::optional<std::size_t> cellByteLimit;
  static constexpr std::size_t kMaxCutResultBytes = std::size_t{256} << 20;

  DatabaseFormat format() const override { return DatabaseFormat::sqlite; }
  std::optional<std::filesystem::path> currentURL() const override { return currentURL_; }

  DatabaseMetadata open(const std::filesystem::path& url) override;
  std::vector<TableMetadata> fetchTables() override;
  std::vector<DataColumn> fetchSchema(const std::string& tableName) override;
  DataTable query(const std::string& sql, std::optional<std::int64_t> limit = std::nullopt,
                  std::optional<std::int64_t> offset = std::nullopt) override;
  DataTable fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit = std::nullopt,
                           std::optional<std::int64_t> offset = std::nullopt,
                           std::optional<std::string> sortColumn = std::nullopt, bool ascending = true,
                           std::optional<std::string> filter = std::nullopt) override;
  // Counted when a kept selection of the filter holds the count; otherwise the rows read
  // directly, stopping at the one past the page.
  DataTable fetchFirstFilteredRows(const std::string& tableName, std::int64_t limit,
                                   const std::string& filter) override;
  std::optional<std::string> getDDL(std::optional<std::string> tableName) override;
  void updateCell(const std::string& tableName, const DataRow& row, const DataColumn& column,
                  const CellValue& newValue) override;
  void deleteRow(const std::string& tableName, const DataRow& row) override;
  void insertRow(const std::string& tableName, const ColumnValues& values) override;
  void saveChanges() override;
  void close() noexcept override;

  // Staging primitives. openInMemory replaces any connection with a private, empty
  // in-memory database that cannot ATTACH files, nor create, write or delete one.
  void openInMemory();
  // openInMemory for a script someone else wrote: every statement stops after
  // `statementTime`, the whole run at the deadline limitRunUntil sets, and SQLite's heap
  // (process-wide) is capped at `heapBytes` until close (see InspectionLimits).
  void openInMemoryForScript(std::chrono::milliseconds statementTime, std::int64_t heapBytes);
  // With openInMemoryForScript: statements stop at `deadline` as well.
  void limitRunUntil(std::chrono::steady_clock::time_point deadline);
  // Whether a transaction is open (one BEGIN, or a failure that rolled it back, tells).
  bool inTransaction();
  // Runs every statement of the text, discarding results.
  void executeRawSQL(const std::string& sql);
  // Prepares the first statement of the text, calls body with it while holding the lock,
  // and finalizes it on every path; the body's error propagates.
  void withPreparedStatement(const std::string& sql, const std::function<void(sqlite3_stmt*)>& body);
  // Steps a bound statement once and resets it (bindings stay); fails unless the step is done.
  void stepAndReset(sqlite3_stmt* statement);

  // Runs one read-only statement whose parameters ?1, ?2 ... take `parameters` (never
  // spliced into its text), handing its rows to `body` `pageRows` at a time, the last page
  // possibly shorter and an empty result giving no call. Only the current page is held;
  // the body returns false to stop reading.
  void streamRows(const std::string& sql, const std::vector<CellValue>& parameters, std::int64_t pageRows,
                  const std::function<bool(const DataTable& page)>& body) override;

  // The same without copying: `body` sees each row where SQLite holds it.
  void forEachRow(const std::string& sql, const std::vector<CellValue>& parameters,
                  const std::function<bool(const RowView& row)>& body) override;

  // Up to `limit` rows from row `offset` of the rows of `table` that `condition` keeps (every
  // row when its text is empty), ordered by `sortColumn` and then by row identity, with
  // totalRowCount the number kept. The first call for a description collects the identities
  // of its rows, in order, in a temporary table that its later pages read by position; the
  // last kKeptSelections are kept until an edit, a statement or a save. Nothing when the
  // table has no row identity or the connection cannot hold a temporary table.
  std::optional<DataTable> fetchSelectionPage(const std::string& table, const BoundSQL& condition,
                                              const std::optional<std::string>& sortColumn, bool ascending,
                                              std::int64_t offset, std::int64_t limit);
  static constexpr std::size_t kKeptSelections = 4;

  // The lock every operation holds; forwarding drivers hold it around forwarded calls.
  std::recursive_mutex& mutex() { return lock_; }

 protected:
  // Inspection, time and cell limits come from the options.
  void takeOptions(const OpenOptions& options) override;

 private:
  struct Impl;
  friend struct Impl;

  std::optional<std::filesystem::path> currentURL_;
  sqlite3* dbPointer_ = nullptr;
  std::unordered_map<std::string, std::int64_t> rowCountCache_;
  // A selection's rows by identity in a temporary table, most recently used first.
  struct Selection {
    std::string table;
    BoundSQL condition;
    std::optional<std::string> sortColumn;
    bool ascending = true;
    std::string store;  // the temporary table, quoted
    std::int64_t count = 0;
  };
  std::list<Selection> selections_;
  std::uint64_t selectionSerial_ = 0;
  // Forgets the counted rows and drops the kept selections: the data may have changed.
  void forgetPages() noexcept;
  std::recursive_mutex lock_;
  // A private copy of a database read for a preview, removed by close.
  std::optional<std::filesystem::path> previewCopyDirectory_;
  // The bounds of an inspecting connection; released after the connection is closed.
  std::unique_ptr<InspectionLimits> inspection_;
};

}  // namespace tabvora::internal
