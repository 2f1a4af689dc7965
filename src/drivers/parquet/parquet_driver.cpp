#include "drivers/parquet/parquet_driver.hpp"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <system_error>

#include "drivers/parquet/duckdb_rows.hpp"
#include "drivers/parquet/parquet_footer.hpp"
#include "drivers/parquet/parquet_limits.hpp"
#include "drivers/parquet/parquet_native_reader.hpp"
#include "drivers/parquet/table_retyping.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "model/driver_error.hpp"
#include "model/table_naming.hpp"
#include "platform/byte_count.hpp"
#include "platform/file_reader.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kDomain = "ParquetDriver";
constexpr const char* kNoFooterName = "Apache Parquet file";
constexpr const char* kSummaryMark = "\xE2\x80\x94";  // an em dash, U+2014
constexpr const char* kMiddleDot = " \xC2\xB7 ";      // " · "

std::mutex& preferredLocationMutex() {
  static std::mutex mutex;
  return mutex;
}
std::filesystem::path& preferredLocation() {
  static std::filesystem::path path;
  return path;
}

bool isExecutableFile(const std::filesystem::path& path) {
  return FileProbe::of(path).isRegular() && ::access(path.c_str(), X_OK) == 0;
}

// A count with "," between groups of three digits: 7,000.
std::string groupedDigits(std::int64_t count) {
  const std::string digits = std::to_string(count);
  const std::size_t sign = count < 0 ? 1 : 0;
  std::string out = digits.substr(0, sign);
  for (std::size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string withoutNul(std::string text) {
  std::erase(text, '\0');
  return text;
}

}  // namespace

std::vector<std::filesystem::path> ParquetDriver::defaultDuckDBLocations() {
  std::vector<std::filesystem::path> locations;
  {
    std::lock_guard guard(preferredLocationMutex());
    if (preferredLocation() == "none") return locations;
    if (!preferredLocation().empty()) locations.push_back(preferredLocation());
  }
  for (const char* path : {"/opt/homebrew/bin/duckdb", "/usr/local/bin/duckdb", "/usr/bin/duckdb"})
    locations.emplace_back(path);
  return locations;
}

void ParquetDriver::preferDuckDBAt(std::filesystem::path path) {
  std::lock_guard guard(preferredLocationMutex());
  preferredLocation() = std::move(path);
}

ParquetDriver::ParquetDriver(std::vector<std::filesystem::path> duckDBLocations)
    : duckDBLocations_(std::move(duckDBLocations)) {
  locateDuckDB();
}

ParquetDriver::~ParquetDriver() { close(); }

void ParquetDriver::locateDuckDB() {
  for (const std::filesystem::path& location : duckDBLocations_) {
    if (isExecutableFile(location)) {
      duckDBPath_ = location;
      return;
    }
  }
}

std::string ParquetDriver::duckDBQuery(const std::string& path, std::int64_t limit, std::int64_t offset) {
  std::string query = "SELECT * FROM " + sqlStringLiteral(path);
  query += " LIMIT " + std::to_string(limit);
  if (offset > 0) query += " OFFSET " + std::to_string(offset);
  return query + ";";
}

bool ParquetDriver::isPlainPathForDuckDB(const std::string& path) {
  return path.find_first_of("*?[") == std::string::npos && path.find("://") == std::string::npos;
}

DatabaseMetadata ParquetDriver::open(const std::filesystem::path& url) {
  internalSQLite.close();
  currentURL_ = url;
  const FileProbe probe = FileProbe::of(url);
  const auto fileSize = static_cast<std::uint64_t>(probe.isRegular() ? probe.size : 0);

  pending_.reset();
  pendingFile_.reset();
  std::unique_ptr<FileReader> file;
  try {
    file = std::make_unique<FileReader>(url);
  } catch (const FileReadError& error) {
    if (error.reason() == FileReadError::Reason::cannotOpen)
      throw DriverError(kDomain, -1, "Failed to read Parquet file at " + url.string());
    throw DriverError(kDomain, -1, error.what());
  }
  ByteBuffer magic;
  try {
    file->readAt(0, parquet_limits::kMagic.size(), magic);
  } catch (const FileReadError& error) {
    throw DriverError(kDomain, -1, error.what());
  }
  if (magic.text() != parquet_limits::kMagic)
    throw DriverError(kDomain, -1, "Invalid Parquet file: missing 'PAR1' magic header");

  // "sqlite_" names are reserved by SQLite: such a file would have no table at all.
  primaryTableName_ = stagedTableName(tableStem(url), "p_", true);
  std::lock_guard guard(internalSQLite.mutex());
  internalSQLite.openInMemory();

  footerRows_.reset();
  unreadable_.reset();
  route_ = Route::none;
  stagedRows_ = 0;
  std::string why;
  std::unique_ptr<ParquetNativeReader> native;
  try {
    native = std::make_unique<ParquetNativeReader>(*file, fileSize);
    footerRows_ = native->rowCount();
  } catch (const DriverError& error) {
    why = error.message();
  }

  locateDuckDB();
  bool loaded = false;
  if (duckDBPath_) {
    try {
      loadThroughDuckDB(url, footerRows_);
      loaded = true;
      route_ = Route::duckDB;
    } catch (const std::exception&) {
      resetStaging();
    }
  }
  if (!loaded && native && !previewRowLimit) {
    // A full open: the rows wait in the file until a call needs them.
    pending_ = std::move(native);
    pendingFile_ = std::move(file);
    loaded = true;
    route_ = Route::native;
  }
  if (!loaded && native) {
    try {
      // A preview stages the rows it was asked for, typed as the DuckDB route types them
      // (from the first 5000 rows).
      std::optional<std::int64_t> rows;
      if (previewRowLimit) rows = std::clamp<std::int64_t>(*previewRowLimit, 0, parquet_limits::kDuckDBRowLimit);
      native->stage(internalSQLite, primaryTableName_, rows, parquet_limits::kDuckDBRowLimit);
      loaded = true;
      route_ = Route::native;
    } catch (const DriverError& error) {
      why = error.message();
      resetStaging();
    }
  }
  if (!loaded) {
    if (!duckDBPath_) why += " (and no DuckDB program was found to read it instead)";
    if (previewRowLimit)
      stageSchemaTable(*file, fileSize, why);
    else
      unreadable_ = "The rows of this Parquet file cannot be read: " + why;
  }

  DatabaseMetadata metadata;
  metadata.name = url.filename().string();
  metadata.format = DatabaseFormat::parquet;
  metadata.fileURL = url;
  metadata.fileSize = static_cast<std::int64_t>(fileSize);
  metadata.tables = internalSQLite.fetchTables();
  metadata.schemaDDL = internalSQLite.getDDL(std::nullopt);
  if (pending_) {
    metadata.tables.push_back({primaryTableName_, TableType::table, footerRows_,
                               static_cast<std::int64_t>(pending_->columnCount()), std::nullopt, std::nullopt});
  } else if (loaded) {
    for (TableMetadata& table : metadata.tables) {
      if (table.name != primaryTableName_) continue;
      stagedRows_ = table.rowCount.value_or(0);
      if (footerRows_) table.rowCount = footerRows_;
    }
  } else if (unreadable_) {
    TableMetadata table{primaryTableName_, TableType::table, footerRows_, std::nullopt, std::nullopt, std::nullopt};
    if (std::optional<ParquetFooter> footer = ParquetFooter::read(*file, fileSize)) {
      table.rowCount = footer->rowCount;
      table.columnCount = static_cast<std::int64_t>(footer->columns.size());
    }
    metadata.tables.push_back(std::move(table));
  }
  return metadata;
}

void ParquetDriver::resetStaging() {
  // Rows staged before a failure would stand in the way of the next route's table.
  internalSQLite.close();
  internalSQLite.openInMemory();
}

void ParquetDriver::throwIfUnreadable() const {
  if (unreadable_) throw DriverError(kDomain, -1, *unreadable_);
}

void ParquetDriver::discardPrimaryTable() noexcept {
  for (const std::string& sql :
       {std::string("ROLLBACK;"), "DROP TABLE IF EXISTS " + quoteIdentifier(primaryTableName_) + ";"}) {
    try {
      internalSQLite.executeRawSQL(sql);
    } catch (const std::exception&) {
      // No transaction was open, or the connection is gone.
    }
  }
}

void ParquetDriver::failPendingRows(const DriverError& error) {
  pending_.reset();
  pendingFile_.reset();
  unreadable_ = "The rows of this Parquet file cannot be read: " + error.message();
  if (!duckDBPath_) *unreadable_ += " (and no DuckDB program was found to read it instead)";
  throw DriverError(kDomain, -1, *unreadable_);
}

void ParquetDriver::stagePendingRows() {
  if (!pending_ || inTurns_) return;
  std::lock_guard guard(internalSQLite.mutex());
  try {
    pending_->stage(internalSQLite, primaryTableName_, std::nullopt);
  } catch (const DriverError& error) {
    discardPrimaryTable();
    // The staging database's own failure (an interruption) leaves the rows to a later call.
    if (error.domain() != kDomain) throw;
    failPendingRows(error);
  } catch (...) {
    discardPrimaryTable();
    throw;
  }
  pending_.reset();
  pendingFile_.reset();
  stagedRows_ = footerRows_.value_or(0);
}

void ParquetDriver::readInTurns(const std::string& table, const std::function<bool()>& turn) {
  throwIfUnreadable();
  if (!readsInTurns(table)) throw DriverError(kDomain, -1, "The table \"" + table + "\" is not read in turns");
  std::lock_guard guard(internalSQLite.mutex());
  std::vector<DataColumn> columns;
  try {
    columns = pending_->columnsOfAllRows();
  } catch (const DriverError& error) {
    if (error.domain() != kDomain) throw;
    failPendingRows(error);
  }
  inTurns_ = true;
  try {
    pending_->stageInTurns(internalSQLite, primaryTableName_, columns, turn);
  } catch (...) {
    inTurns_ = false;
    discardPrimaryTable();
    throw;
  }
  inTurns_ = false;
  discardPrimaryTable();
}

std::vector<TableMetadata> ParquetDriver::fetchTables() {
  stagePendingRows();
  return StagingDriver::fetchTables();
}

std::vector<DataColumn> ParquetDriver::fetchSchema(const std::string& tableName) {
  stagePendingRows();
  return StagingDriver::fetchSchema(tableName);
}

std::optional<std::string> ParquetDriver::getDDL(std::optional<std::string> tableName) {
  stagePendingRows();
  return StagingDriver::getDDL(std::move(tableName));
}

void ParquetDriver::updateCell(const std::string& tableName, const DataRow& row, const DataColumn& column,
                               const CellValue& newValue) {
  stagePendingRows();
  StagingDriver::updateCell(tableName, row, column, newValue);
}

void ParquetDriver::deleteRow(const std::string& tableName, const DataRow& row) {
  stagePendingRows();
  StagingDriver::deleteRow(tableName, row);
}

void ParquetDriver::insertRow(const std::string& tableName, const ColumnValues& values) {
  stagePendingRows();
  StagingDriver::insertRow(tableName, values);
}

DataTable ParquetDriver::query(const std::string& sql, std::optional<std::int64_t> limit,
                               std::optional<std::int64_t> offset) {
  throwIfUnreadable();
  stagePendingRows();
  return StagingDriver::query(sql, limit, offset);
}

DataTable ParquetDriver::fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit,
                                        std::optional<std::int64_t> offset, std::optional<std::string> sortColumn,
                                        bool ascending, std::optional<std::string> filter) {
  throwIfUnreadable();
  stagePendingRows();
  const bool whole = !filter || filter->empty();
  DataTable data =
      StagingDriver::fetchTableData(tableName, limit, offset, std::move(sortColumn), ascending, std::move(filter));
  // A preview staged the first rows only: the page counts the file's.
  if (whole && route_ != Route::footer && tableName == primaryTableName_ && footerRows_ &&
      data.totalRowCount == stagedRows_ && *footerRows_ > stagedRows_)
    data.totalRowCount = *footerRows_;
  return data;
}

DataTable ParquetDriver::fetchFirstFilteredRows(const std::string& tableName, std::int64_t limit,
                                                const std::string& filter) {
  throwIfUnreadable();
  stagePendingRows();
  return StagingDriver::fetchFirstFilteredRows(tableName, limit, filter);
}

void ParquetDriver::streamRows(const std::string& sql, const std::vector<CellValue>& parameters, std::int64_t pageRows,
                               const std::function<bool(const DataTable& page)>& body) {
  throwIfUnreadable();
  stagePendingRows();
  StagingDriver::streamRows(sql, parameters, pageRows, body);
}

void ParquetDriver::forEachRow(const std::string& sql, const std::vector<CellValue>& parameters,
                               const std::function<bool(const RowView& row)>& body) {
  throwIfUnreadable();
  StagingDriver::forEachRow(sql, parameters, body);
}

void ParquetDriver::loadThroughDuckDB(const std::filesystem::path& url, std::optional<std::int64_t> footerRows) {
  // DuckDB is given the file's real path: absolute, so that "~" or a URL scheme at the
  // start means nothing, and without "//", "." or ".." parts.
  const std::string path = std::filesystem::canonical(url).string();
  if (!isPlainPathForDuckDB(path)) throw DriverError(kDomain, -1, "The path cannot be given to DuckDB as it is");
  auto run = [&](std::int64_t limit, std::int64_t offset) {
    ChildProcess::Result result =
        ChildProcess::run(*duckDBPath_, {"-json", "-c", duckDBQuery(path, limit, offset)}, duckDBLimits);
    if (!result.succeeded()) throw DriverError(kDomain, -1, "DuckDB query produced no records");
    return DuckDBRows::parse(result.output, true);
  };
  if (previewRowLimit) {
    const DuckDBRows rows = run(parquet_limits::kDuckDBRowLimit, 0);
    // No rows give no columns: the native reader stages the empty table.
    if (rows.rowCount() == 0) throw DriverError(kDomain, -1, "DuckDB query produced no records");
    rows.stage(internalSQLite, primaryTableName_);
    return;
  }
  // Every row, a batch at a time; the columns' types merge over all batches.
  const std::int64_t batch = std::max<std::int64_t>(duckDBBatchRows, 1);
  std::vector<DataColumn> columns;
  std::vector<std::optional<ColumnType>> types;
  std::int64_t staged = 0;
  for (;;) {
    const DuckDBRows rows = run(batch, staged);
    if (rows.rowCount() == 0) break;
    if (columns.empty()) {
      rows.stage(internalSQLite, primaryTableName_);
      columns = rows.columns();
      types = rows.mergedTypes();
    } else {
      if (rows.columns().size() != columns.size()) throw DriverError(kDomain, -1, "DuckDB's batches differ");
      for (std::size_t i = 0; i < columns.size(); ++i) {
        if (rows.columns()[i].name != columns[i].name) throw DriverError(kDomain, -1, "DuckDB's batches differ");
        DuckDBRows::mergeType(types[i], rows.mergedTypes()[i]);
      }
      rows.insertInto(internalSQLite, primaryTableName_, columns);
    }
    staged += static_cast<std::int64_t>(rows.rowCount());
    if (static_cast<std::int64_t>(rows.rowCount()) < batch || staged == footerRows) break;
  }
  if (columns.empty()) throw DriverError(kDomain, -1, "DuckDB query produced no records");
  // What DuckDB gave must be the whole file, or the native reader is asked instead.
  if (footerRows && staged != *footerRows) throw DriverError(kDomain, -1, "DuckDB gave another number of rows");
  for (std::size_t i = 0; i < columns.size(); ++i) columns[i].type = types[i].value_or(ColumnType::text);
  retypeStagedTable(internalSQLite, primaryTableName_, columns);
}

void ParquetDriver::stageSchemaTable(const FileReader& file, std::uint64_t fileSize, const std::string& why) {
  std::vector<std::pair<std::string, std::string>> rows;
  if (std::optional<ParquetFooter> footer = ParquetFooter::read(file, fileSize)) {
    for (std::size_t i = 0; i < footer->columns.size() && i < parquet_limits::kMostSchemaRows; ++i)
      rows.emplace_back(withoutNul(footer->columns[i].name), withoutNul(footer->columns[i].typeName));
    rows.emplace_back(kSummaryMark, groupedDigits(footer->rowCount) + " rows" + kMiddleDot +
                                        formatByteCount(static_cast<std::int64_t>(fileSize)) + kMiddleDot +
                                        "rows not readable: " + withoutNul(why));
  } else {
    rows.emplace_back(kNoFooterName, formatByteCount(static_cast<std::int64_t>(fileSize)));
  }
  std::vector<DataColumn> columns(2);
  columns[0].name = "column";
  columns[1].name = "type";
  columns[1].index = 1;
  StagedTable::stage(internalSQLite, primaryTableName_, columns, rows.size(),
                     [&](sqlite3_stmt* insert, int offset, std::size_t row) {
                       StagedTable::bindText(insert, offset + 1, rows[row].first, ColumnType::text);
                       StagedTable::bindText(insert, offset + 2, rows[row].second, ColumnType::text);
                     });
}

void ParquetDriver::saveChanges() {
  throw DriverError(kDomain, -2,
                    "Saving back to Parquet files is not supported. Use Export to write your changes to CSV, JSON or "
                    "SQL.");
}

void ParquetDriver::close() noexcept {
  pending_.reset();
  pendingFile_.reset();
  internalSQLite.close();
}

}  // namespace tabvora::internal
