#include "drivers/parquet/parquet_driver.hpp"

#include <sqlite3.h>
#include <unistd.h>

#include <mutex>
#include <system_error>

#include "drivers/parquet/duckdb_rows.hpp"
#include "drivers/parquet/parquet_footer.hpp"
#include "drivers/parquet/parquet_limits.hpp"
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

std::string ParquetDriver::duckDBQuery(const std::string& path) {
  std::string query = "SELECT * FROM " + sqlStringLiteral(path);
  query += " LIMIT " + std::to_string(parquet_limits::kDuckDBRowLimit) + ";";
  return query;
}

bool ParquetDriver::isPlainPathForDuckDB(const std::string& path) {
  return path.find_first_of("*?[") == std::string::npos && path.find("://") == std::string::npos;
}

DatabaseMetadata ParquetDriver::open(const std::filesystem::path& url) {
  internalSQLite.close();
  currentURL_ = url;
  const FileProbe probe = FileProbe::of(url);
  const auto fileSize = static_cast<std::uint64_t>(probe.isRegular() ? probe.size : 0);

  std::optional<FileReader> file;
  try {
    file.emplace(url);
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

  locateDuckDB();
  bool loaded = false;
  if (duckDBPath_) {
    try {
      loadThroughDuckDB(url);
      loaded = true;
    } catch (const std::exception&) {
      // Rows staged before the failure would stand in the way of the footer table.
      internalSQLite.close();
      internalSQLite.openInMemory();
    }
  }
  if (!loaded) stageSchemaTable(*file, fileSize);

  DatabaseMetadata metadata;
  metadata.name = url.filename().string();
  metadata.format = DatabaseFormat::parquet;
  metadata.fileURL = url;
  metadata.fileSize = static_cast<std::int64_t>(fileSize);
  metadata.tables = internalSQLite.fetchTables();
  metadata.schemaDDL = internalSQLite.getDDL(std::nullopt);
  return metadata;
}

void ParquetDriver::loadThroughDuckDB(const std::filesystem::path& url) {
  // DuckDB is given the file's real path: absolute, so that "~" or a URL scheme at the
  // start means nothing, and without "//", "." or ".." parts.
  const std::string path = std::filesystem::canonical(url).string();
  if (!isPlainPathForDuckDB(path)) throw DriverError(kDomain, -1, "The path cannot be given to DuckDB as it is");
  ChildProcess::Result result = ChildProcess::run(*duckDBPath_, {"-json", "-c", duckDBQuery(path)}, duckDBLimits);
  if (!result.succeeded()) throw DriverError(kDomain, -1, "DuckDB query produced no records");
  const DuckDBRows rows = DuckDBRows::parse(result.output);
  result.output = {};
  rows.stage(internalSQLite, primaryTableName_);
}

void ParquetDriver::stageSchemaTable(const FileReader& file, std::uint64_t fileSize) {
  std::vector<std::pair<std::string, std::string>> rows;
  if (std::optional<ParquetFooter> footer = ParquetFooter::read(file, fileSize)) {
    for (std::size_t i = 0; i < footer->columns.size() && i < parquet_limits::kMostSchemaRows; ++i)
      rows.emplace_back(withoutNul(footer->columns[i].name), withoutNul(footer->columns[i].typeName));
    rows.emplace_back(kSummaryMark, groupedDigits(footer->rowCount) + " rows" + kMiddleDot +
                                        formatByteCount(static_cast<std::int64_t>(fileSize)) + kMiddleDot +
                                        "open in Tabvora to browse the data");
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

void ParquetDriver::close() noexcept { internalSQLite.close(); }

}  // namespace tabvora::internal
