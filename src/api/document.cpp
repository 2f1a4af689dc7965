#include "tabvora/document.hpp"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "api/statement_interrupter.hpp"
#include "export/table_export_writer.hpp"
#include "model/block_pipeline.hpp"
#include "model/column_statistics.hpp"
#include "model/driver_error.hpp"
#include "model/statistics_gatherer.hpp"
#include "opening/opened_file.hpp"
#include "drivers/sqlite/filter_sql.hpp"
#include "opening/table_reader.hpp"
#include "tabvora/error.hpp"

namespace tabvora {

// The API is built from the internals below it.
using namespace internal;

namespace {

constexpr std::string_view kDomain = "Document";

// Runs a driver call with its failures as the public Error, naming `file`: a driver's own
// error keeps its domain and codes; anything else becomes a read failure of this Document.
template <typename Call>
auto translated(const std::filesystem::path& file, Call&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const Error& error) {
    if (!error.file().empty() || file.empty()) throw;
    Error named = error;
    throw named.setFile(file);
  } catch (const std::exception& error) {
    throw Error(std::string(kDomain), -1, error.what()).setFile(file);
  } catch (...) {
    throw Error(std::string(kDomain), -1, "The file could not be read.").setFile(file);
  }
}

// Thrown through the driver's code when the caller's sink failed; the sink's own exception
// is then rethrown unchanged.
struct SinkFailed {};

// Calls `body` with a sink that forwards to `sink`; what `sink` throws reaches the caller
// as it was thrown, not as a failure of the file.
template <typename Body>
void withSink(const TextSink& sink, Body&& body) {
  std::exception_ptr failure;
  const TextSink guarded = [&](std::string_view text) {
    try {
      sink(text);
    } catch (...) {
      failure = std::current_exception();
      throw SinkFailed{};
    }
  };
  try {
    body(guarded);
  } catch (...) {
    if (failure) std::rethrow_exception(failure);
    throw;
  }
}

[[noreturn]] void refuse(const std::string& message) {
  throw Error(std::string(kDomain), ErrorCode::invalidArgument, -1, message);
}

Value::Kind publicKind(CellValue::Kind kind) {
  switch (kind) {
    case CellValue::Kind::integer: return Value::Kind::integer;
    case CellValue::Kind::real: return Value::Kind::real;
    case CellValue::Kind::text: return Value::Kind::text;
    case CellValue::Kind::boolean: return Value::Kind::boolean;
    case CellValue::Kind::date: return Value::Kind::date;
    case CellValue::Kind::blob: return Value::Kind::blob;
    case CellValue::Kind::json: return Value::Kind::json;
    case CellValue::Kind::null: return Value::Kind::null;
  }
  return Value::Kind::null;
}

Value publicValue(const CellValue& cell) {
  Value value;
  value.kind = publicKind(cell.kind());
  value.text = cell.displayString();
  switch (cell.kind()) {
    case CellValue::Kind::integer: value.data = cell.integerValue(); break;
    case CellValue::Kind::real: value.data = cell.realValue(); break;
    case CellValue::Kind::date: value.data = cell.dateValue().secondsSince1970; break;
    case CellValue::Kind::boolean: value.data = cell.booleanValue(); break;
    case CellValue::Kind::text:
    case CellValue::Kind::json: value.data = cell.stringValue(); break;
    case CellValue::Kind::blob: value.data = cell.blobValue(); break;
    case CellValue::Kind::null: break;
  }
  return value;
}

CellValue internalValue(const Value& value) {
  switch (value.kind) {
    case Value::Kind::null: return CellValue::null();
    case Value::Kind::integer:
      if (auto* integer = std::get_if<std::int64_t>(&value.data)) return CellValue::integer(*integer);
      break;
    case Value::Kind::real:
      if (auto* real = std::get_if<double>(&value.data)) return CellValue::real(*real);
      break;
    case Value::Kind::date:
      if (auto* seconds = std::get_if<double>(&value.data)) return CellValue::date(Date{*seconds});
      break;
    case Value::Kind::boolean:
      if (auto* boolean = std::get_if<bool>(&value.data)) return CellValue::boolean(*boolean);
      break;
    case Value::Kind::text:
      if (auto* text = std::get_if<std::string>(&value.data)) return CellValue::text(*text);
      break;
    case Value::Kind::json:
      if (auto* text = std::get_if<std::string>(&value.data)) return CellValue::json(*text);
      break;
    case Value::Kind::blob:
      if (auto* bytes = std::get_if<Value::Bytes>(&value.data)) return CellValue::blob(*bytes);
      break;
  }
  refuse("The value's data does not match its kind.");
}

Rows publicRows(const DataTable& table) {
  Rows rows;
  rows.totalRowCount = table.totalRowCount;
  rows.totalRowCountIsLowerBound = table.totalRowCountIsLowerBound;
  rows.positions.reserve(table.rows.size());
  rows.rowids.reserve(table.rows.size());
  rows.columns.reserve(table.columns.size());
  for (const DataColumn& column : table.columns)
    rows.columns.push_back({column.name, std::string(column.type.rawValue())});
  rows.rows.reserve(table.rows.size());
  for (const DataRow& row : table.rows) {
    std::vector<Value> values;
    values.reserve(table.columns.size());
    for (std::size_t j = 0; j < table.columns.size(); ++j)
      values.push_back(publicValue(row[static_cast<std::ptrdiff_t>(j)]));
    rows.rows.push_back(std::move(values));
    rows.positions.push_back(row.id);
    rows.rowids.push_back(row.rowid);
  }
  return rows;
}

void checkLimit(std::int64_t limit) {
  if (limit < 0 || limit > Document::kMaxRows) {
    refuse("The row limit must be from 0 to " + std::to_string(Document::kMaxRows) + ", not " + std::to_string(limit) +
           ".");
  }
}

void checkOffset(std::int64_t offset) {
  if (offset < 0) refuse("The row offset must be 0 or more, not " + std::to_string(offset) + ".");
}

// The row of a page an edit names, as the driver located it when it read the page.
DataRow internalRow(const Rows& page, std::size_t row) {
  if (row >= page.rows.size()) refuse("The page has no row " + std::to_string(row) + ".");
  DataRow located;
  if (row < page.positions.size()) located.id = page.positions[row];
  if (row < page.rowids.size()) located.rowid = page.rowids[row];
  for (const Value& value : page.rows[row]) located.values.push_back(internalValue(value));
  return located;
}

// Reports rows gone through to a progress callback, a block at a time. The total is the
// table's row count when every row is read and the count is known, else unknown.
class RowProgress {
 public:
  RowProgress(const ProgressCallback& callback, const DatabaseMetadata& metadata, const std::string& table,
              const RowSelection& selection)
      : callback_(callback) {
    if (!callback_ || !selection.filters.empty()) return;
    for (const TableMetadata& entry : metadata.tables) {
      if (entry.name == table && entry.rowCount && !entry.rowCountIsLowerBound)
        total_ = static_cast<std::uint64_t>(*entry.rowCount);
    }
    if (selection.limit)
      total_ = std::min(total_, static_cast<std::uint64_t>(std::max<std::int64_t>(*selection.limit, 0)));
  }
  void add(std::size_t rows) {
    done_ += rows;
    if (callback_) callback_(Progress{Progress::Unit::rows, done_, std::max(total_, done_)});
  }

 private:
  const ProgressCallback& callback_;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
};

// Writes the rows TableReaders hand over in an export format, up to a limit over all of
// them: this thread reads the rows out of SQLite, a second one writes them as text.
class ExportStream {
 public:
  ExportStream(ExportFormat format, const TableReader& reader, const TextSink& sink, RowProgress& progress,
               std::optional<std::int64_t> limit)
      : writer_(TableExportWriter::make(format, reader.table(), reader.columns())),
        sink_(sink),
        progress_(progress),
        left_(limit),
        pipeline_(reader.columns().size(), [this](const RowBlock& block) {
          block.forEachRow([&](const RowView& row) { writer_->writeRow(row, text_); });
          sink_(text_);
          text_.clear();
        }) {
    writer_->writeBegin(text_);
  }

  // Whether more rows are wanted: the limit is not reached and the writing goes on.
  bool wantsMore() const { return writing_ && (!left_ || *left_ > 0); }
  // Writes the rows `reader` hands over, as many as the limit leaves; then wantsMore.
  bool write(TableReader& reader) {
    if (!wantsMore()) return false;
    reader.forEachRow(left_, [&](const RowView& row) {
      if (left_) --*left_;
      pipeline_.filling().append(row);
      if (!pipeline_.filling().full()) return true;
      progress_.add(pipeline_.filling().rows());
      writing_ = pipeline_.handOver();
      return writing_;
    });
    return wantsMore();
  }
  // Writes what is left and the text after the rows; rethrows a failure of the writing.
  void finish() {
    progress_.add(pipeline_.filling().rows());
    pipeline_.finish();
    writer_->writeEnd(text_);
    sink_(text_);
  }

 private:
  std::unique_ptr<TableExportWriter> writer_;
  const TextSink& sink_;
  RowProgress& progress_;
  std::optional<std::int64_t> left_;
  bool writing_ = true;
  std::string text_;
  BlockPipeline pipeline_;  // last: its second thread stops before the rest goes
};

}  // namespace

struct Document::State {
  // Declared first: outlives the driver's connections it interrupts.
  StatementInterrupter interrupter;
  std::filesystem::path path;
  std::unique_ptr<InputSource> input;  // where the driver reads from; released after it
  std::unique_ptr<DatabaseDriver> driver;
  DatabaseMetadata metadata;
  ProgressCallback progress;
  // Statistics of a whole table worked out while the file was loaded; dropped by anything
  // that might change the table (a statement or an edit).
  std::optional<GatheredStatistics> gathered;

  ~State() {
    if (driver) driver->close();
  }

  template <typename Call>
  auto run(Call&& call) -> decltype(call()) {
    return translated(path, std::forward<Call>(call));
  }
};

Document::Document(std::unique_ptr<State> state) : state_(std::move(state)) {}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

Document::State& Document::state() const {
  if (!state_) refuse("The document was moved away.");
  return *state_;
}

Document Document::open(const std::filesystem::path& path, const OpenOptions& options) {
  return translated(path, [&] {
    auto state = std::make_unique<State>();
    state->path = path;
    OpenedFile opened = [&] {
      const StatementInterrupter::Collecting collecting(state->interrupter);
      return OpenedFile::open(path, options);
    }();
    state->input = std::move(opened.input);
    state->driver = std::move(opened.driver);
    state->metadata = std::move(opened.metadata);
    state->progress = options.progress;
    state->gathered = state->driver->takeGatheredStatistics();
    return Document(std::move(state));
  });
}

void Document::cancel() noexcept {
  if (state_) state_->interrupter.interrupt();
}

std::string Document::format() const { return std::string(state().metadata.format.displayName()); }

std::vector<TableInfo> Document::tables() const {
  State& current = state();
  return current.run([&] {
    std::vector<TableInfo> tables;
    for (const TableMetadata& table : current.metadata.tables) {
      std::optional<std::int64_t> columns = table.columnCount;
      // Drivers that do not count columns when listing still describe each table's schema.
      if (!columns) {
        try {
          columns = static_cast<std::int64_t>(current.driver->fetchSchema(table.name).size());
        } catch (const std::exception&) {
        }
      }
      tables.push_back({table.name, std::string(table.type.rawValue()), table.rowCount, columns,
                        current.driver->unreadableReason(table.name)});
    }
    return tables;
  });
}

std::vector<std::string> Document::warnings() const { return state().driver->warnings(); }

Rows Document::page(const std::string& table, std::int64_t limit, std::int64_t offset) {
  PageRequest request;
  request.limit = limit;
  request.offset = offset;
  return page(table, request);
}

Rows Document::page(const std::string& table, const PageRequest& request) {
  checkLimit(request.limit);
  checkOffset(request.offset);
  State& current = state();
  return current.run([&] {
    const bool filtered =
        !request.search.empty() || std::any_of(request.filters.begin(), request.filters.end(),
                                               [](const ColumnFilter& filter) { return filter.isActive(); });
    if (!filtered && !request.sortColumn) {
      return publicRows(
          current.driver->fetchTableData(table, request.limit, request.offset, std::nullopt, true, std::nullopt));
    }
    TableReader reader(*current.driver, table, request.filters, request.combination);
    reader.setSearch(request.search);
    if (request.sortColumn) reader.requireColumn(*request.sortColumn);
    if (!filtered) {
      return publicRows(current.driver->fetchTableData(table, request.limit, request.offset, request.sortColumn,
                                                       request.ascending, std::nullopt));
    }
    // The driver's page keeps what it selected for the filter for its later pages.
    if (std::optional<std::string> condition = inlinedCondition(reader.condition())) {
      if (!request.countRows && request.offset == 0 && !request.sortColumn)
        return publicRows(current.driver->fetchFirstFilteredRows(table, request.limit, *condition));
      return publicRows(current.driver->fetchTableData(table, request.limit, request.offset, request.sortColumn,
                                                       request.ascending, *condition));
    }
    return publicRows(reader.page(request.offset, request.limit, request.sortColumn, request.ascending));
  });
}

Rows Document::query(const std::string& sql, std::int64_t limit) {
  checkLimit(limit);
  State& current = state();
  current.gathered.reset();
  return current.run([&] { return publicRows(current.driver->query(sql, limit, std::nullopt)); });
}

Rows Document::select(const std::string& sql, std::int64_t limit) {
  checkLimit(limit);
  State& current = state();
  current.gathered.reset();
  return current.run([&] {
    DataTable result("Query Result", {}, {});
    bool described = false;
    // One row past the limit tells whether rows were left out.
    current.driver->streamRows(sql, {}, std::min<std::int64_t>(limit + 1, TableReader::kPageRows),
                               [&](const DataTable& page) {
                                 if (!described) result.columns = page.columns;
                                 described = true;
                                 for (const DataRow& row : page.rows) {
                                   if (static_cast<std::int64_t>(result.rows.size()) == limit) {
                                     result.totalRowCountIsLowerBound = true;
                                     return false;
                                   }
                                   result.rows.push_back(row);
                                 }
                                 return true;
                               });
    for (std::size_t i = 0; i < result.rows.size(); ++i) result.rows[i].id = static_cast<std::int64_t>(i);
    result.totalRowCount = static_cast<std::int64_t>(result.rows.size());
    return publicRows(result);
  });
}

std::optional<std::string> Document::createStatement(const std::string& table) {
  State& current = state();
  return current.run([&] { return current.driver->getDDL(table); });
}

std::vector<ColumnStatistics> Document::statistics(const std::string& table, const RowSelection& selection) {
  State& current = state();
  return current.run([&] {
    const bool wholeTable = selection.filters.empty() && selection.search.empty() && !selection.limit;
    if (current.gathered && wholeTable && current.gathered->table == table) return current.gathered->columns;
    TableReader reader(*current.driver, table, selection.filters, selection.combination);
    reader.setSearch(selection.search);
    std::vector<StatisticsAccumulator> accumulators = statisticsAccumulators(reader.columns());
    // One pass on two cores: this thread reads the rows out of SQLite and adds up every
    // third column of each block before handing it over; a second thread adds up the
    // other columns of the block meanwhile (reading costs about as much as a column).
    const auto mine = [](std::size_t column) { return column % 3 == 2; };
    // Column by column, so one column's tables stay in the cache for a whole block.
    const auto addUp = [&](const RowBlock& block, bool here) {
      for (std::size_t j = 0; j < accumulators.size(); ++j) {
        if (mine(j) == here) accumulators[j].addColumn(block, j);
      }
    };
    BlockPipeline pipeline(accumulators.size(), [&](const RowBlock& block) { addUp(block, false); });
    RowProgress progress(current.progress, current.metadata, table, selection);
    reader.forEachRow(selection.limit, [&](const RowView& row) {
      pipeline.filling().append(row);
      if (!pipeline.filling().full()) return true;
      addUp(pipeline.filling(), true);
      progress.add(pipeline.filling().rows());
      return pipeline.handOver();
    });
    addUp(pipeline.filling(), true);
    progress.add(pipeline.filling().rows());
    pipeline.finish();
    return finishStatistics(accumulators);
  });
}

void Document::exportTable(const std::string& table, ExportFormat format, const TextSink& sink,
                           const RowSelection& selection) {
  State& current = state();
  withSink(sink, [&](const TextSink& sink) {
    current.run([&] {
      RowProgress progress(current.progress, current.metadata, table, selection);
      auto reader = [&] {
        TableReader reader(*current.driver, table, selection.filters, selection.combination);
        reader.setSearch(selection.search);
        reader.setOrder(selection.sortColumn, selection.ascending);
        return reader;
      };
      // In the table's order, a driver that reads in turns (a Parquet file by the built-in
      // reader: a row group at a time) gives each part to write, so memory holds a part, not
      // the table.
      if (current.driver->readsInTurns(table) && !selection.sortColumn) {
        std::optional<TableReader> turns;
        std::optional<ExportStream> stream;
        current.driver->readInTurns(table, [&] {
          if (!turns) {
            stream.emplace(format, turns.emplace(reader()), sink, progress, selection.limit);
            return stream->wantsMore();
          }
          return stream->write(*turns);
        });
        // Made by the first turn; a driver that gave none still answers with an empty table.
        if (!stream) stream.emplace(format, turns.emplace(reader()), sink, progress, selection.limit);
        stream->finish();
        return;
      }
      TableReader all = reader();
      ExportStream stream(format, all, sink, progress, selection.limit);
      stream.write(all);
      stream.finish();
    });
  });
}

void Document::exportQuery(const std::string& sql, ExportFormat format, const TextSink& sink,
                           std::optional<std::int64_t> limit) {
  if (limit && *limit < 0) refuse("The row limit must be 0 or more, not " + std::to_string(*limit) + ".");
  State& current = state();
  current.gathered.reset();
  withSink(sink, [&](const TextSink& sink) {
    current.run([&] {
      const DataTable result = current.driver->query(sql, limit, std::nullopt);
      auto writer = TableExportWriter::make(format, result.name, result.columns);
      sink(writer->begin());
      sink(writer->rows(result));
      sink(writer->end());
    });
  });
}

void Document::updateCell(const std::string& table, const Rows& page, std::size_t row, const std::string& column,
                          const Value& value) {
  State& current = state();
  current.gathered.reset();
  current.run([&] {
    const DataRow located = internalRow(page, row);
    const std::vector<DataColumn> columns = current.driver->fetchSchema(table);
    auto named = std::find_if(columns.begin(), columns.end(), [&](const DataColumn& c) { return c.name == column; });
    if (named == columns.end()) refuse("The table \"" + table + "\" has no column \"" + column + "\".");
    current.driver->updateCell(table, located, *named, internalValue(value));
  });
}

void Document::deleteRow(const std::string& table, const Rows& page, std::size_t row) {
  State& current = state();
  current.gathered.reset();
  current.run([&] { current.driver->deleteRow(table, internalRow(page, row)); });
}

void Document::insertRow(const std::string& table, const std::vector<std::pair<std::string, Value>>& values) {
  State& current = state();
  current.gathered.reset();
  current.run([&] {
    ColumnValues columns;
    for (const auto& [name, value] : values) columns.emplace_back(name, internalValue(value));
    current.driver->insertRow(table, columns);
  });
}

void Document::saveChanges() {
  State& current = state();
  current.run([&] { current.driver->saveChanges(); });
}

}  // namespace tabvora
