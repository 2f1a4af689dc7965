#include "drivers/json/json_driver.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <new>

#include "drivers/json/json_columns.hpp"
#include "drivers/json/json_document_source.hpp"
#include "drivers/json/json_edit_log.hpp"
#include "drivers/json/json_lines_source.hpp"
#include "drivers/json/ordered_pipeline.hpp"
#include "drivers/json/schema_accumulator.hpp"
#include "drivers/json/staged_rows.hpp"
#include "drivers/sqlite/staged_row_inserter.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "model/driver_error.hpp"
#include "model/table_naming.hpp"
#include "platform/byte_count.hpp"
#include "platform/file_probe.hpp"
#include "platform/limits.hpp"

namespace tabvora::internal {

namespace {

// Units read ahead of the inserting thread, per worker: enough to keep the workers busy
// while rows are inserted, few enough to bound memory (a unit is about 2 MB of records).
constexpr std::size_t kUnitsAheadPerWorker = 2;

// Share of the load the schema pass stands for in the progress reported; the staging pass,
// which inserts every row, is the rest.
constexpr double kSchemaShare = 0.2;

// Reports the bytes of the file the load has got through, counting the units of each pass.
class LoadProgress {
 public:
  LoadProgress(const ProgressCallback& callback, std::uint64_t fileSize, std::size_t units)
      : callback_(callback), fileSize_(fileSize), units_(std::max<std::size_t>(units, 1)) {}
  void schemaUnitDone(std::size_t unit) { report(kSchemaShare * static_cast<double>(unit + 1) / units()); }
  void stagedUnitDone(std::size_t unit) {
    report(kSchemaShare + (1 - kSchemaShare) * static_cast<double>(unit + 1) / units());
  }

 private:
  double units() const { return static_cast<double>(units_); }
  void report(double share) {
    if (callback_)
      callback_(Progress{Progress::Unit::bytes, static_cast<std::uint64_t>(share * static_cast<double>(fileSize_)),
                         fileSize_});
  }
  const ProgressCallback& callback_;
  std::uint64_t fileSize_;
  std::size_t units_;
};

JSONDriver::SchemaAccumulator readSchema(const JSONRecordSource& source, LoadProgress& progress) {
  JSONDriver::SchemaAccumulator schema;
  unsigned workers = OrderedPipeline<JSONDriver::SchemaAccumulator>::defaultWorkerCount();
  OrderedPipeline<JSONDriver::SchemaAccumulator>::run(
      source.unitCount(), workers, workers * kUnitsAheadPerWorker, [&] { return source.makeSchemaReader(); },
      [&](std::size_t unit, JSONDriver::SchemaAccumulator& part) {
        schema.absorb(part);
        progress.schemaUnitDone(unit);
      });
  return schema;
}

}  // namespace

JSONDriver::JSONDriver(DatabaseFormat format) : format_(format) {}

JSONDriver::~JSONDriver() { close(); }

void JSONDriver::close() noexcept {
  internalSQLite.close();
  originals_.clear();
}

void JSONDriver::resetSchema() {
  sourceKeys_.clear();
  columnTypes_.clear();
  columnIndexes_.clear();
  wrapperObject_.reset();
  wrapperKey_.reset();
  skippedLineCount_ = 0;
  originals_.clear();
  linesLeftUnstaged_ = false;
}

DatabaseMetadata JSONDriver::open(const std::filesystem::path& url) {
  close();
  currentURL_ = url;
  jsonLines_ = format_ == DatabaseFormat::jsonl;
  openedForPreview_ = previewRowLimit.has_value();
  openedToInspect_ = !openedForPreview_ && !keepForSaving_;
  resetSchema();
  try {
    return stage(url);
  } catch (const std::bad_alloc&) {
    std::string size;
    if (const FileProbe probe = FileProbe::of(url); probe.isRegular()) size = " of " + formatByteCount(probe.size);
    throw DriverError("JSONDriver", -1, "Not enough memory to open this file" + size);
  }
}

DatabaseMetadata JSONDriver::stage(const std::filesystem::path& url) {
  std::unique_ptr<JSONRecordSource> source;
  if (jsonLines_) {
    std::optional<std::size_t> lineLimit;
    if (previewRowLimit) lineLimit = static_cast<std::size_t>(std::max<std::int64_t>(0, *previewRowLimit));
    auto lines = std::make_unique<JSONLinesSource>(url, lineLimit);
    linesLeftUnstaged_ = lines->linesLeftOut();
    source = std::move(lines);
  } else {
    auto document = std::make_unique<JSONDocumentSource>(url, openedForPreview_, !openedForPreview_ && keepForSaving_);
    wrapperObject_ = document->wrapperObject();
    wrapperKey_ = document->wrapperKey();
    source = std::move(document);
  }
  const std::uint64_t byteCount = source->fileSize();
  LoadProgress progress(openOptions_.progress, byteCount, source->unitCount());

  SchemaAccumulator schema = readSchema(*source, progress);
  if (jsonLines_) {
    skippedLineCount_ = schema.invalidRecords + schema.nonObjectRecords;
  } else {
    // A document is invalid as a whole before its shape is judged.
    if (schema.invalidRecords > 0) throw DriverError("JSONDriver", -1, "Invalid JSON format");
    if (schema.nonObjectRecords > 0)
      throw DriverError("JSONDriver", -1, "JSON root must be an object or array of objects");
  }
  if (schema.recordCount < 1 || schema.keyOrder.empty())
    throw DriverError("JSONDriver", -1, "No JSON records found in file");
  if (schema.keyOrder.size() > limits::kMaxColumns)
    throw DriverError("JSONDriver", -1,
                      "The records have " + std::to_string(schema.keyOrder.size()) + " different keys; at most " +
                          std::to_string(limits::kMaxColumns) + " columns can be shown");

  primaryTableName_ = stagedTableName(tableStem(url), "t_");
  std::vector<JSONColumn> columns =
      makeJSONColumns(orderKeysByFirstOccurrence(schema.keyOrder, source->orderingText()), schema);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    sourceKeys_[columns[i].name] = columns[i].key;
    columnTypes_[columns[i].name] = columns[i].type;
    columnIndexes_[columns[i].name] = i;
  }

  // Stage: rows are converted on worker threads and inserted here, in file order, through
  // one statement inside one transaction. What saving needs is kept only by an open that
  // may save.
  const bool keepOriginals = !openedForPreview_ && keepForSaving_;
  std::vector<DataColumn> stagedColumns(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    stagedColumns[i].name = columns[i].name;
    stagedColumns[i].type = columns[i].type;
  }
  const JSONKeyIndex index = makeKeyIndex(columns);
  std::int64_t rowCount = 0;
  std::string ddl;
  {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.openInMemory();
    ddl = StagedTable::stage(internalSQLite, primaryTableName_, stagedColumns, [&](sqlite3_stmt* statement) {
      StagedRowInserter inserter(internalSQLite, statement, primaryTableName_, columns.size());
      unsigned workers = OrderedPipeline<StagedRows>::defaultWorkerCount();
      OrderedPipeline<StagedRows>::run(
          source->unitCount(), workers, workers * kUnitsAheadPerWorker,
          [&] { return source->makeRowReader(columns, index, keepOriginals); },
          [&](std::size_t unit, StagedRows& rows) {
            inserter.insert(rows.rowCount(),
                            [&](sqlite3_stmt* insert, int offset, std::size_t row) { rows.bind(insert, offset, row); });
            std::size_t nextString = 0;
            for (const StagedRows::Original& original : rows.originals) {
              std::string whole;
              if (original.kind == JSONOriginalValues::Kind::string)
                whole = std::move(rows.originalStrings[nextString++]);
              originals_.record(original.column, rowCount + original.row + 1, original.kind, std::move(whole));
            }
            rowCount += static_cast<std::int64_t>(rows.rowCount());
            progress.stagedUnitDone(unit);
          });
    });
    std::vector<std::pair<std::size_t, std::string>> watched;
    for (std::size_t column : originals_.columns()) watched.emplace_back(column, columns[column].name);
    if (!watched.empty()) JSONEditLog::install(internalSQLite, primaryTableName_, watched);
  }

  const FileProbe probe = FileProbe::of(url);
  const std::int64_t fileSize = probe.isRegular() ? probe.size : static_cast<std::int64_t>(byteCount);
  DatabaseMetadata metadata;
  metadata.name = url.filename().string();
  metadata.format = jsonLines_ ? DatabaseFormat::jsonl : DatabaseFormat::json;
  metadata.fileURL = url;
  metadata.fileSize = fileSize;
  metadata.schemaDDL = ddl;
  TableMetadata table{
      primaryTableName_, TableType::table, rowCount, static_cast<std::int64_t>(columns.size()), fileSize, ddl,
      linesLeftUnstaged_};
  metadata.tables.push_back(std::move(table));
  return metadata;
}

}  // namespace tabvora::internal
