#include "drivers/delimited/delimited_driver.hpp"

#include <algorithm>
#include <mutex>
#include <system_error>

#include "drivers/delimited/delimited_byte_parser.hpp"
#include "drivers/delimited/delimited_input.hpp"
#include "drivers/delimited/delimited_row_loader.hpp"
#include "drivers/delimited/delimited_schema_scan.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "model/driver_error.hpp"
#include "model/statistics_gatherer.hpp"
#include "model/table_naming.hpp"
#include "platform/file_probe.hpp"
#include "platform/file_reader.hpp"
#include "platform/limits.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kDomain = "DelimitedDriver";

// Reads what the open parses, reporting a failed read in the driver's words.
DelimitedInput readInput(const std::filesystem::path& url, DatabaseFormat format,
                         std::optional<std::int64_t> rowLimit) {
  try {
    const FileReader reader(url);
    return DelimitedInput::read(reader, format, rowLimit);
  } catch (const FileReadError& error) {
    if (error.reason() == FileReadError::Reason::cannotOpen)
      throw DriverError(kDomain, -1, "Failed to read file at " + url.string());
    throw DriverError(kDomain, -1, error.what());
  }
}

}  // namespace

DelimitedDriver::DelimitedDriver(DatabaseFormat format) : format_(format) {}
DelimitedDriver::~DelimitedDriver() { close(); }

DatabaseMetadata DelimitedDriver::open(const std::filesystem::path& url) {
  internalSQLite.close();
  allColumns_.clear();
  totalRows_ = 0;
  currentURL_ = url;
  completeness_ = Completeness::openFailed;
  lineIndexByRowid_.reset();
  gathered_.reset();

  // A negative limit stages nothing, like a limit of zero.
  const std::optional<std::int64_t> rowLimit =
      previewRowLimit ? std::optional<std::int64_t>(std::max<std::int64_t>(*previewRowLimit, 0)) : std::nullopt;
  DelimitedInput input = readInput(url, format_, rowLimit);
  sourceEncoding_ = input.encoding();
  hasUTF8BOM_ = input.hasUTF8Mark();
  activeDelimiter_ = input.delimiter();
  usesCRLF_ = input.usesCRLF();
  openedModificationDate_ = FileProbe::of(url).modificationTime;
  primaryTableName_ = stagedTableName(tableStem(url), "t_");

  const DelimitedSchemaScan& scan = input.scan();
  if (!scan.foundHeader()) throw DriverError(kDomain, -1, "File is empty");
  if (scan.columnCount() > limits::kMaxColumns) {
    throw DriverError(kDomain, -1,
                      "Too many columns: the file has " + std::to_string(scan.columnCount()) + " and at most " +
                          std::to_string(limits::kMaxColumns) + " can be loaded");
  }
  std::vector<DataColumn> columns = scan.columns();

  bool stoppedByLimit = false;
  std::int64_t rowsStaged = 0;
  std::string ddl;
  std::optional<StatisticsGatherer> gatherer;
  if (openOptions_.gatherStatistics && !rowLimit) {
    try {
      gatherer.emplace(columns);
    } catch (const std::system_error&) {  // no thread to be had: statistics will read the table
    }
  }
  {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.openInMemory();
    ddl = StagedTable::stage(internalSQLite, primaryTableName_, columns, [&](sqlite3_stmt* statement) {
      const DelimitedRowLoader::Outcome outcome =
          DelimitedRowLoader::load(internalSQLite, statement, primaryTableName_, input, rowLimit, openOptions_.progress,
                                   gatherer ? &*gatherer : nullptr);
      stoppedByLimit = outcome.stoppedByLimit;
      rowsStaged = outcome.rowsInserted;
    });
  }
  totalRows_ = rowsStaged;
  rowsStagedAtOpen_ = rowsStaged;
  if (gatherer) {
    if (std::optional<std::vector<ColumnStatistics>> statistics = gatherer->finish())
      gathered_ = GatheredStatistics{primaryTableName_, std::move(*statistics)};
  }
  allColumns_ = columns;
  completeness_ = stoppedByLimit || !input.wholeFile() ? Completeness::rowLimited
                  : scan.droppedContent()              ? Completeness::fieldsDropped
                                                       : Completeness::complete;

  const auto fileSize = static_cast<std::int64_t>(input.fileSize());
  TableMetadata table;
  table.name = primaryTableName_;
  table.type = TableType::table;
  table.rowCount = totalRows_;
  table.rowCountIsLowerBound = completeness_ == Completeness::rowLimited;
  table.columnCount = static_cast<std::int64_t>(columns.size());
  table.sizeBytes = fileSize;
  table.sqlDDL = ddl;

  DatabaseMetadata metadata;
  metadata.name = url.filename().string();
  metadata.format = activeDelimiter_ == '\t' ? DatabaseFormat::tsv : DatabaseFormat::csv;
  metadata.fileURL = url;
  metadata.fileSize = fileSize;
  metadata.schemaDDL = ddl;
  metadata.tables.push_back(std::move(table));
  return metadata;
}

void DelimitedDriver::close() noexcept {
  internalSQLite.close();
  allColumns_.clear();
  totalRows_ = 0;
}

}  // namespace tabvora::internal
