#include "drivers/delimited/delimited_row_loader.hpp"

#include <sqlite3.h>

#include <bit>
#include <cmath>
#include <exception>
#include <string>
#include <system_error>
#include <thread>

#include "drivers/sqlite/real_affinity_converter.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staged_row_inserter.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "model/statistics_gatherer.hpp"
#include "platform/hand_off.hpp"

namespace tabvora::internal {

namespace {

// Batches converted ahead of the inserting thread: enough to ride out an uneven record,
// few enough to stay a few megabytes.
constexpr std::size_t kBatchesAhead = 4;

bool isTrimmedByte(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Numeric text without its padding; a field made only of padding is left whole, so it
// stays text in the numeric column rather than turning into an empty string.
std::string_view numericText(std::string_view bytes) {
  std::size_t first = 0, last = bytes.size();
  while (first < last && isTrimmedByte(bytes[first])) ++first;
  while (last > first && isTrimmedByte(bytes[last - 1])) --last;
  return first == last ? bytes : bytes.substr(first, last - first);
}

// Records ready to bind: a cell per column, texts pointing into the input or, for fields
// the parser rewrote, into the batch's own bytes.
struct RowBatch {
  struct Cell {
    enum class Kind : std::uint8_t { null, integer, real, input, own };
    Kind kind = Kind::null;
    std::int64_t value = 0;  // integer, the bits of a real, or the offset of the text
    std::size_t size = 0;
  };
  std::vector<Cell> cells;
  std::string own;
  std::size_t rows = 0;
  std::size_t inputEnd = 0;  // input bytes its records reach, as far as known

  void clear() {
    cells.clear();
    own.clear();
    rows = 0;
  }
  std::string_view text(const Cell& cell, const char* input) const {
    const char* base = cell.kind == Cell::Kind::own ? own.data() : input;
    return {base + cell.value, cell.size};
  }
};

// A decimal written with a point or an exponent: the cells of a REAL column that the
// column's affinity turns into reals (the others are integers, bound as such, or texts too
// long for one).
bool hasPointOrExponent(std::string_view text) { return text.find_first_of(".eE") != std::string_view::npos; }

class BatchBuilder {
 public:
  BatchBuilder(std::span<const std::uint8_t> input, const std::vector<DelimitedRowLoader::ColumnKind>& kinds)
      : input_(reinterpret_cast<const char*>(input.data())) {
    for (DelimitedRowLoader::ColumnKind kind : kinds) types_.push_back(DelimitedByteParser::columnType(kind));
  }

  void append(const DelimitedByteParser::Record& record, RowBatch& batch) {
    using Cell = RowBatch::Cell;
    const std::size_t n = record.size();
    for (std::size_t i = 0; i < types_.size(); ++i) {
      Cell& cell = batch.cells.emplace_back();
      if (i >= n) continue;
      const DelimitedByteParser::Field& field = record.field(i);
      if (field.start == field.end) continue;
      std::string_view text = record.bytes(i);
      if (!field.inScratch) batch.inputEnd = std::max(batch.inputEnd, field.end);
      const bool numeric = types_[i] != ColumnType::text;
      if (numeric) {
        text = numericText(text);
        if (const std::optional<std::int64_t> integer = StagedTable::integerBinding(text, types_[i])) {
          cell.kind = Cell::Kind::integer;
          cell.value = *integer;
          continue;
        }
      }
      cell.size = text.size();
      if (types_[i] == ColumnType::real && hasPointOrExponent(text) &&
          DelimitedByteParser::classify(text) == DelimitedRowLoader::ColumnKind::real) {
        reals_.push_back(batch.cells.size() - 1);
      }
      if (field.inScratch) {
        cell.kind = Cell::Kind::own;
        cell.value = static_cast<std::int64_t>(batch.own.size());
        batch.own.append(text);
      } else {
        cell.kind = Cell::Kind::input;
        cell.value = text.data() - input_;
      }
    }
    ++batch.rows;
  }

  const std::vector<ColumnType>& types() const { return types_; }
  const char* input() const { return input_; }

  // Gives the batch's decimals of REAL columns their numbers, so the inserting thread binds
  // those instead of having SQLite convert the texts; where the conversion fails they stay
  // texts, which store the same.
  void settle(RowBatch& batch) {
    using Cell = RowBatch::Cell;
    texts_.clear();
    for (const std::size_t index : reals_) texts_.push_back(batch.text(batch.cells[index], input_));
    values_.resize(texts_.size());
    if (texts_.empty()) return;
    if (!converter_) converter_.emplace();
    if (converter_->convert(texts_, values_)) {
      for (std::size_t i = 0; i < reals_.size(); ++i) {
        Cell& cell = batch.cells[reals_[i]];
        cell.kind = Cell::Kind::real;
        cell.value = std::bit_cast<std::int64_t>(values_[i]);
      }
    }
    reals_.clear();
  }

 private:
  const char* input_;
  std::vector<ColumnType> types_;
  std::optional<RealAffinityConverter> converter_;  // opened at the first decimal
  std::vector<std::size_t> reals_;                  // cells of the batch being built to settle
  std::vector<std::string_view> texts_;
  std::vector<double> values_;
};

// One row of a batch as the staged table holds it, for a StatisticsGatherer: a whole number
// in a REAL column is read back as a real.
class StagedBatchRow final : public RowView {
 public:
  StagedBatchRow(const RowBatch& batch, const std::vector<ColumnType>& types, const char* input)
      : batch_(batch), types_(types), input_(input) {}
  void moveTo(std::size_t row) { cells_ = batch_.cells.data() + row * types_.size(); }

  std::size_t size() const override { return types_.size(); }
  CellValue::Kind kind(std::size_t column) const override {
    using Kind = RowBatch::Cell::Kind;
    switch (cells_[column].kind) {
      case Kind::null: return CellValue::Kind::null;
      case Kind::integer: return types_[column] == ColumnType::real ? CellValue::Kind::real : CellValue::Kind::integer;
      case Kind::real: return CellValue::Kind::real;
      default: return CellValue::Kind::text;
    }
  }
  std::int64_t integer(std::size_t column) const override { return cells_[column].value; }
  double real(std::size_t column) const override {
    const RowBatch::Cell& cell = cells_[column];
    return cell.kind == RowBatch::Cell::Kind::integer ? static_cast<double>(cell.value)
                                                      : std::bit_cast<double>(cell.value);
  }
  std::string_view bytes(std::size_t column) const override { return batch_.text(cells_[column], input_); }

 private:
  const RowBatch& batch_;
  const std::vector<ColumnType>& types_;
  const char* input_;
  const RowBatch::Cell* cells_ = nullptr;
};

// Hands the batch's rows to `gatherer`, or abandons it at a value whose stored form SQLite
// alone decides: text in a numeric column (the affinity may turn it into a number), a NaN
// (stored as NULL) or a negative zero (stored as a whole number, read back as 0.0).
void gather(StatisticsGatherer& gatherer, const RowBatch& batch, const std::vector<ColumnType>& types,
            const char* input) {
  using Kind = RowBatch::Cell::Kind;
  if (gatherer.abandoned()) return;
  if (types.empty()) {
    gatherer.abandon();
    return;
  }
  for (std::size_t i = 0; i < batch.cells.size(); ++i) {
    const RowBatch::Cell& cell = batch.cells[i];
    const bool textInNumbers =
        (cell.kind == Kind::input || cell.kind == Kind::own) && types[i % types.size()] != ColumnType::text;
    const double real = std::bit_cast<double>(cell.value);
    const bool changedReal = cell.kind == Kind::real && (std::isnan(real) || (real == 0 && std::signbit(real)));
    if (textInNumbers || changedReal) {
      gatherer.abandon();
      return;
    }
  }
  StagedBatchRow row(batch, types, input);
  for (std::size_t r = 0; r < batch.rows; ++r) {
    row.moveTo(r);
    gatherer.add(row);
  }
}

class BatchInserter {
 public:
  BatchInserter(SQLiteDriver& staging, sqlite3_stmt* insert, std::string_view table, DelimitedInput& input,
                std::size_t columns, const ProgressCallback& progress)
      : rows_(staging, insert, table, columns),
        input_(input),
        bytes_(reinterpret_cast<const char*>(input.bytes().data())),
        inputSize_(input.bytes().size()),
        columns_(columns),
        progress_(progress) {}

  void insert(const RowBatch& batch) {
    using Kind = RowBatch::Cell::Kind;
    rows_.insert(batch.rows, [&](sqlite3_stmt* statement, int offset, std::size_t row) {
      const RowBatch::Cell* cell = batch.cells.data() + row * columns_;
      for (std::size_t i = 0; i < columns_; ++i, ++cell) {
        const int parameter = offset + static_cast<int>(i) + 1;
        switch (cell->kind) {
          case Kind::null: sqlite3_bind_null(statement, parameter); break;
          case Kind::integer: sqlite3_bind_int64(statement, parameter, cell->value); break;
          case Kind::real: sqlite3_bind_double(statement, parameter, std::bit_cast<double>(cell->value)); break;
          // The bytes stay valid until the step has run the statement, which is the only
          // time SQLite reads them; a static binding saves a copy of every cell.
          case Kind::input:
            sqlite3_bind_text64(statement, parameter, bytes_ + cell->value, cell->size, SQLITE_STATIC, SQLITE_UTF8);
            break;
          case Kind::own:
            sqlite3_bind_text64(statement, parameter, batch.own.data() + cell->value, cell->size, SQLITE_STATIC,
                                SQLITE_UTF8);
            break;
        }
      }
    });
    rowsInserted_ += static_cast<std::int64_t>(batch.rows);
    // Later batches hold only later records, and the parsing side is past these bytes.
    if (releasesInput) input_.release(batch.inputEnd);
    if (progress_) progress_(Progress{Progress::Unit::bytes, batch.inputEnd, inputSize_});
  }

  std::int64_t rowsInserted() const { return rowsInserted_; }

  // False while a parsing thread releases what the batches it gets back have passed.
  bool releasesInput = true;

 private:
  StagedRowInserter rows_;
  DelimitedInput& input_;
  const char* bytes_;
  std::size_t inputSize_;
  std::size_t columns_;
  const ProgressCallback& progress_;
  std::int64_t rowsInserted_ = 0;
};

DelimitedRowLoader::Outcome loadHere(BatchBuilder& builder, BatchInserter& inserter,
                                     std::span<const std::uint8_t> input, std::uint8_t delimiter,
                                     std::optional<std::int64_t> rowLimit) {
  RowBatch batch;
  bool headerSkipped = false;
  std::int64_t rows = 0;
  const bool stopped = DelimitedByteParser::parse(input, delimiter, [&](const DelimitedByteParser::Record& record) {
                         if (!headerSkipped) return headerSkipped = true;
                         if (rowLimit && rows >= *rowLimit) return false;
                         builder.append(record, batch);
                         ++rows;
                         if (batch.rows >= DelimitedRowLoader::kBatchRows) {
                           builder.settle(batch);
                           inserter.insert(batch);
                           batch.clear();
                         }
                         return true;
                       }).stopped;
  builder.settle(batch);
  inserter.insert(batch);
  return {inserter.rowsInserted(), stopped};
}

}  // namespace

DelimitedRowLoader::Outcome DelimitedRowLoader::load(SQLiteDriver& staging, sqlite3_stmt* insert,
                                                     std::string_view table, DelimitedInput& source,
                                                     std::optional<std::int64_t> rowLimit,
                                                     const ProgressCallback& progress, StatisticsGatherer* gatherer) {
  const std::span<const std::uint8_t> input = source.bytes();
  const auto delimiter = static_cast<std::uint8_t>(source.delimiter());
  const std::vector<ColumnKind>& kinds = source.scan().kinds();
  BatchBuilder builder(input, kinds);
  BatchInserter inserter(staging, insert, table, source, kinds.size(), progress);
  if (rowLimit) {
    if (gatherer) gatherer->abandon();
    return loadHere(builder, inserter, input, delimiter, rowLimit);
  }

  inserter.releasesInput = false;
  const bool pipelined = consumeFromSecondThread<RowBatch>(
      kBatchesAhead,
      [&](HandOff<RowBatch>& handOff) {
        RowBatch batch;
        bool headerSkipped = false;
        DelimitedByteParser::parse(input, delimiter, [&](const DelimitedByteParser::Record& record) {
          if (!headerSkipped) return headerSkipped = true;
          builder.append(record, batch);
          if (batch.rows < kBatchRows) return true;
          builder.settle(batch);
          if (gatherer) gather(*gatherer, batch, builder.types(), builder.input());
          if (!handOff.put(std::move(batch))) return false;
          batch = handOff.reuse().value_or(RowBatch{});
          // A batch given back is inserted, and so is every one before it: the system
          // takes back the pages they passed here rather than on the inserting thread.
          source.release(batch.inputEnd);
          batch.clear();
          return true;
        });
        if (batch.rows > 0) {
          builder.settle(batch);
          if (gatherer) gather(*gatherer, batch, builder.types(), builder.input());
          handOff.put(std::move(batch));
        }
      },
      [&](RowBatch& batch) { inserter.insert(batch); });
  inserter.releasesInput = true;
  if (!pipelined) {  // no second thread to be had
    if (gatherer) gatherer->abandon();
    return loadHere(builder, inserter, input, delimiter, rowLimit);
  }
  return {inserter.rowsInserted(), false};
}

}  // namespace tabvora::internal
