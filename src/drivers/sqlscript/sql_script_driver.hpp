#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drivers/sqlite/staging_driver.hpp"
#include "drivers/sqlscript/sql_dialect.hpp"

namespace tabvora::internal {

// Driver for SQL scripts and dumps (.sql): open runs the whole script, statement by
// statement, against the staging database, converting MySQL/MariaDB and PostgreSQL syntax
// only where a statement needs it and counting what it skipped or could not run; every
// read is then answered by the staging database. saveChanges writes the database back
// as a plain script, and refuses whenever that would lose what the script said.
//
// Tables of several databases or schemas keep their own rows: a name that another
// database or schema staged first is staged as "schema.name" (see TableNamespaces). A view
// whose first row cannot be read once the script ran is reported and left out.
//
// A script is someone else's program. Its staging connection reaches no file and changes
// no process setting (InspectionLimits::ScriptStaging), each statement and the whole open
// run for a bounded time, and values, statements and SQLite's heap (all the script stages
// together) are bounded; a statement stopped by a bound counts as one that could not be
// run, and its warning names the bound.
//
// Errors have the domain "SQLScriptDriver": code -1 for a file that cannot be read or
// decoded, -2 for a refused save; errors of the staging database keep their own.
class SQLScriptDriver : public StagingDriver {
 public:
  // Columns (name, SQLite type) of a table re-created from a parsed CREATE TABLE.
  using RebuiltColumns = std::vector<std::pair<std::string, std::string>>;

  // Bounds of one open (see the class comment). Tests may lower them.
  struct Limits {
    std::chrono::milliseconds statementTime{kStatementTimeLimit};
    std::chrono::milliseconds openTime{kOpenTimeLimit};
    // The whole open for a preview (previewRowLimit set).
    std::chrono::milliseconds previewOpenTime{kPreviewOpenTimeLimit};
    // SQLite's heap may grow to the larger of this and kHeapBytesPerScriptByte times the
    // script's size.
    std::int64_t minHeapBytes = kMinHeapLimitBytes;
    // SQLite's heap for a preview, whatever the script's size: what 3 s can build fits, and
    // a value too large for it fails at once instead of paging in gigabytes first.
    std::int64_t previewHeapBytes = kPreviewHeapLimitBytes;
  };
  // A dump's statements (extended INSERTs, COPY batches of 500 rows, CREATE TABLE) run in
  // milliseconds; only a runaway computation needs seconds.
  static constexpr std::chrono::milliseconds kStatementTimeLimit{5'000};
  // About 25 times what a 1,000,000-row dump takes.
  static constexpr std::chrono::milliseconds kOpenTimeLimit{120'000};
  // A preview answers while someone waits: a release build stages a 100,000-row dump in
  // about a tenth of this. What a longer script has not built by then is left out, and the
  // warning says so.
  static constexpr std::chrono::milliseconds kPreviewOpenTimeLimit{3'000};
  static constexpr std::int64_t kMinHeapLimitBytes = std::int64_t{1} << 30;
  static constexpr std::int64_t kPreviewHeapLimitBytes = std::int64_t{256} << 20;
  // A staged row takes less room than its INSERT or COPY text; four times leaves room for
  // indexes and the page cache.
  static constexpr std::int64_t kHeapBytesPerScriptByte = 4;
  // Largest script read (it is held whole while it runs).
  static constexpr std::size_t kMaxScriptBytes = std::size_t{4} << 30;
  // Failures past this many are counted but not reported one by one.
  static constexpr std::int64_t kReportedFailures = 20;
  // Bytes of a failed statement quoted in its warning.
  static constexpr std::size_t kWarningStatementBytes = 80;
  // A script that builds nothing is its own schema text up to this size.
  static constexpr std::size_t kScriptAsSchemaMaxBytes = 1'048'576;

  SQLScriptDriver();
  ~SQLScriptDriver() override;

  DatabaseFormat format() const override { return DatabaseFormat::sql; }
  DatabaseMetadata open(const std::filesystem::path& url) override;
  void saveChanges() override;
  void close() noexcept override;

  Limits limits;
  // Set for a preview (from the open's options): the script then runs within
  // limits.previewOpenTime. Rows are not limited (a script may change any row it inserted).
  std::optional<std::int64_t> previewRowLimit;
  // Receives each warning line (without line end); standard error when unset.
  std::function<void(const std::string&)> warningSink;

  // What the last open found; close resets it.
  std::int64_t failedStatementCount() const { return failedStatementCount_; }
  std::int64_t skippedStatementCount() const { return skippedStatementCount_; }
  // Some statement was converted or skipped: the database no longer mirrors the text.
  bool dialectConverted() const { return dialectConverted_; }
  SQLDialect dialect() const { return dialect_; }
  // Lower-cased names of the schemas (PostgreSQL, with pg_catalog) and databases (MySQL)
  // the script creates or uses: the qualifiers of its table names.
  const std::set<std::string>& schemas() const { return schemas_; }
  const std::map<std::string, RebuiltColumns>& rebuiltTables() const { return rebuiltTables_; }

 protected:
  // The preview's row limit comes from the options.
  void takeOptions(const OpenOptions& options) override { previewRowLimit = options.previewRowLimit; }

 private:
  class Run;
  friend class Run;

  void resetState() noexcept;
  void warn(const std::string& line) const;

  std::int64_t failedStatementCount_ = 0;
  std::int64_t skippedStatementCount_ = 0;
  bool dialectConverted_ = false;
  SQLDialect dialect_ = SQLDialect::generic;
  std::set<std::string> schemas_;
  std::map<std::string, RebuiltColumns> rebuiltTables_;
  // The staging connection's bounds; released after the connection is closed.
};

}  // namespace tabvora::internal
