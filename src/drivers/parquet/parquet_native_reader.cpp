#include "drivers/parquet/parquet_native_reader.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <utility>
#include <system_error>
#include <thread>

#include "drivers/parquet/parquet_limits.hpp"
#include "drivers/parquet/parquet_nested_assembler.hpp"
#include "drivers/parquet/table_retyping.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staged_row_inserter.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "model/driver_error.hpp"
#include "model/table_naming.hpp"
#include "platform/byte_buffer.hpp"
#include "platform/byte_cursor.hpp"
#include "platform/file_reader.hpp"
#include "platform/hand_off.hpp"
#include "platform/sql_quoting.hpp"
#include "platform/text_arena.hpp"

namespace tabvora::internal {

namespace {

using Kind = ParquetCellFormat::Kind;

constexpr const char* kDomain = "ParquetDriver";

[[noreturn]] void throwDamaged(const std::string& what) {
  throw DriverError(kDomain, -1, "The Parquet file is damaged: " + what);
}

// Reads the bytes into `bytes` (replacing what it held).
void readBytes(const FileReader& file, std::uint64_t offset, std::uint64_t count, ByteBuffer& bytes) {
  bytes.shrink(0);
  try {
    if (file.readAt(offset, static_cast<std::size_t>(count), bytes) < count) throwDamaged("it ends early");
  } catch (const FileReadError& error) {
    throw DriverError(kDomain, -1, error.what());
  }
}

ByteBuffer readBytes(const FileReader& file, std::uint64_t offset, std::uint64_t count) {
  ByteBuffer bytes;
  readBytes(file, offset, count, bytes);
  return bytes;
}

std::optional<ColumnType> typeOf(Kind kind) {
  switch (kind) {
    case Kind::null: return std::nullopt;
    case Kind::boolean: return ColumnType::boolean;
    case Kind::integer: return ColumnType::integer;
    case Kind::real: return ColumnType::real;
    case Kind::text: return ColumnType::text;
    case Kind::json: return ColumnType::json;
  }
  return std::nullopt;
}

// The first type met fixes a column's type; INTEGER and REAL make REAL, any other pair TEXT.
void merge(std::optional<ColumnType>& current, Kind kind) {
  const std::optional<ColumnType> next = typeOf(kind);
  if (!next || current == next) return;
  if (!current) {
    current = next;
    return;
  }
  const bool numeric = (*current == ColumnType::integer || *current == ColumnType::real) &&
                       (*next == ColumnType::integer || *next == ColumnType::real);
  current = numeric ? ColumnType::real : ColumnType::text;
}

void bindCell(sqlite3_stmt* insert, int parameter, const ParquetCellFormat::Cell& cell) {
  switch (cell.kind) {
    case Kind::null: sqlite3_bind_null(insert, parameter); break;
    case Kind::boolean:
    case Kind::integer: sqlite3_bind_int64(insert, parameter, cell.integer); break;
    case Kind::real: sqlite3_bind_double(insert, parameter, cell.real); break;
    case Kind::text:
    case Kind::json:
      sqlite3_bind_text64(insert, parameter, cell.text.data(), cell.text.size(), SQLITE_STATIC, SQLITE_UTF8);
      break;
  }
}

// Rows of cells made ready for insertion, their text in an arena of their own.
struct CellBatch {
  // A batch holds at most this many cells, and its rows' text stops at about this many bytes
  // (past them only by one row's).
  static constexpr std::size_t kCells = 16'384;
  static constexpr std::size_t kTextBytes = 8u << 20;
  std::vector<ParquetCellFormat::Cell> cells;  // row after row
  TextArena text;
  std::size_t rows = 0;
  bool endsRowGroup = false;  // its last row is its row group's last

  void add(ParquetCellFormat::Cell cell) {
    if (cell.kind == Kind::text || cell.kind == Kind::json) cell.text = text.append(cell.text);
    cells.push_back(cell);
  }
  CellBatch cleared() && {
    cells.clear();
    rows = 0;
    endsRowGroup = false;
    text.clear();
    return std::move(*this);
  }
};
// Binds the cells of a batch's rows for StagedRowInserter::insert.
struct BindCells {
  const CellBatch& batch;
  std::size_t width;
  void operator()(sqlite3_stmt* statement, int offset, std::size_t row) const {
    const ParquetCellFormat::Cell* cells = batch.cells.data() + row * width;
    for (std::size_t c = 0; c < width; ++c) bindCell(statement, offset + static_cast<int>(c) + 1, cells[c]);
  }
};

// Batches formatted ahead of the insertion (with the one being formatted and the one being
// inserted, what the two threads hold besides a row group's values).
constexpr std::size_t kBatchesAhead = 4;

// Runs `produce(put, fresh)` on a second thread, which formats batches while this one hands
// them to `insert`; or, when no second thread is to be had, here, each batch inserted as it
// is made.
template <typename Produce, typename Insert>
void produceBeside(const Produce& produce, const Insert& insert) {
  const bool pipelined = consumeFromSecondThread<CellBatch>(
      kBatchesAhead,
      [&](HandOff<CellBatch>& handOff) {
        produce([&](CellBatch&& batch) { return handOff.put(std::move(batch)); },
                [&] { return handOff.reuse().value_or(CellBatch()).cleared(); });
      },
      insert);
  if (pipelined) return;
  produce(
      [&](CellBatch&& batch) {
        insert(batch);
        return true;
      },
      [] { return CellBatch(); });
}

// Thrown through the consumer of the staging in turns to end it when a turn says so.
struct TurnsStopped {};

}  // namespace

ParquetNativeReader::ParquetNativeReader(const FileReader& file, std::uint64_t fileSize) : file_(file) {
  if (fileSize < parquet_limits::kSmallestFileWithFooter) throwDamaged("it is too small to hold its metadata");
  const ByteBuffer tail = readBytes(file, fileSize - 8, 8);
  ByteCursor cursor(tail.bytes());
  std::uint32_t length = 0;
  cursor.readU32LE(length);
  if (tail.text().substr(4) != parquet_limits::kMagic) throwDamaged("it does not end with 'PAR1'");
  if (length == 0 || length >= parquet_limits::kFooterLengthLimit || length + 12ull > fileSize)
    throwDamaged("its metadata length does not fit the file");
  dataEnd_ = fileSize - 8 - length;
  metadata_ = ParquetMetadata::decode(readBytes(file, dataEnd_, length).bytes());

  fields_ = ParquetSchemaNode::build(metadata_.schema);
  if (fields_.empty()) throwDamaged("it has no columns");
  ColumnNamer namer(false);
  for (const ParquetSchemaNode& field : fields_) {
    DataColumn column;
    column.name = namer.accept(field.element->name, columns_.size() + 1);
    column.index = static_cast<int>(columns_.size());
    columns_.push_back(std::move(column));
    collectLeaves(field);
  }
  for (const Leaf& leaf : leaves_) {
    formats_.push_back(&leaf.format);
    maxDefinitions_.push_back(leaf.leaf.maxDefinition);
  }
  std::int64_t rows = 0;
  for (const ParquetMetadata::RowGroup& group : metadata_.rowGroups) {
    if (group.numRows < 0 || group.columns.size() != leaves_.size())
      throwDamaged("a row group does not match the schema");
    if (__builtin_add_overflow(rows, group.numRows, &rows)) throwDamaged("its row count is out of range");
  }
  if (rows != metadata_.numRows) throwDamaged("its row groups hold another number of rows than it states");
}

void ParquetNativeReader::collectLeaves(const ParquetSchemaNode& node) {
  if (node.children.empty()) {
    const ParquetMetadata::SchemaElement& element = *node.element;
    Leaf leaf{{}, ParquetCellFormat(element)};
    leaf.leaf.physical = {*element.type, element.typeLength};
    leaf.leaf.maxDefinition = node.definitionLevel;
    leaf.leaf.maxRepetition = node.repetitionLevel;
    leaves_.push_back(std::move(leaf));
    return;
  }
  for (const ParquetSchemaNode& child : node.children) collectLeaves(child);
}

void ParquetNativeReader::readRowGroup(std::size_t index, std::int64_t rowsNeeded, std::vector<ParquetColumnData>& out,
                                       ChunkBuffers& buffers, ChunkBuffers* beside,
                                       const std::vector<bool>* leavesRead) const {
  const ParquetMetadata::RowGroup& group = metadata_.rowGroups[index];
  DecodeBudget budget(parquet_limits::kLargestDecodedRowGroup);
  // The columns' room is kept from one row group to the next rather than taken afresh.
  out.resize(leaves_.size());
  for (ParquetColumnData& column : out) {
    column.definitionLevels.clear();
    column.repetitionLevels.clear();
    column.slots = 0;
    column.values.clear();
  }
  auto readChunk = [&](std::size_t c, ChunkBuffers& room) {
    const ParquetMetadata::ColumnChunk& chunk = group.columns[c];
    const ParquetColumnReader::Leaf& leaf = leaves_[c].leaf;
    if (chunk.inOtherFile) throw DriverError(kDomain, -1, "The Parquet file keeps columns in other files");
    if (chunk.type != leaf.physical.type) throwDamaged("a column chunk's type differs from the schema's");
    std::int64_t start = chunk.dataPageOffset;
    if (chunk.dictionaryPageOffset && *chunk.dictionaryPageOffset > 0 && *chunk.dictionaryPageOffset < start)
      start = *chunk.dictionaryPageOffset;
    const std::int64_t size = chunk.totalCompressedSize;
    if (start < 4 || size < 0 || static_cast<std::uint64_t>(start) > dataEnd_ ||
        static_cast<std::uint64_t>(size) > dataEnd_ - static_cast<std::uint64_t>(start))
      throwDamaged("a column chunk lies outside the file's data");
    if (static_cast<std::uint64_t>(size) > parquet_limits::kLargestColumnChunk)
      throw DriverError(kDomain, -1, "A column chunk of the Parquet file is larger than the reader's limit");
    // All rows: the chunk is read at once. The first rows only: each page as it is needed,
    // so that a preview reads what it shows whatever the size of the chunk.
    const bool all = rowsNeeded >= group.numRows;
    ByteBuffer& bytes = room.bytes;
    ParquetColumnReader::Source source{static_cast<std::uint64_t>(size), {}};
    if (all) {
      budget.take(source.size);
      readBytes(file_, static_cast<std::uint64_t>(start), source.size, bytes);
      source.bytes = [&](std::uint64_t offset, std::uint64_t count) {
        return bytes.bytes().subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
      };
    } else {
      source.bytes = [&](std::uint64_t offset, std::uint64_t count) {
        budget.take(count);
        readBytes(file_, static_cast<std::uint64_t>(start) + offset, count, bytes);
        return bytes.bytes();
      };
    }
    const bool whole = ParquetColumnReader::read(chunk, source, leaf, out[c], budget, room.pages,
                                                 all ? UINT64_MAX : static_cast<std::uint64_t>(rowsNeeded));
    // Rows start where the repetition level is 0.
    const std::vector<std::uint8_t>& repetition = out[c].repetitionLevels;
    const std::size_t rows = leaf.maxRepetition == 0
                                 ? out[c].slots
                                 : static_cast<std::size_t>(std::count(repetition.begin(), repetition.end(), 0));
    const bool rowsHold = rows == static_cast<std::uint64_t>(whole ? group.numRows : rowsNeeded);
    if (!rowsHold || (!repetition.empty() && repetition.front() != 0))
      throwDamaged("a column holds another number of rows than its row group");
  };
  // Column chunks are taken in order, each by the first thread free; a thread stops at its
  // first failure, and the others take no chunk past it. The failure of the first chunk
  // that fails is thrown, as when they are read one after another.
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> failedAt{leaves_.size()};
  auto work = [&](ChunkBuffers& room) -> std::pair<std::size_t, std::exception_ptr> {
    for (std::size_t c = next++; c < leaves_.size() && c < failedAt; c = next++) {
      if (leavesRead && !(*leavesRead)[c]) continue;
      try {
        readChunk(c, room);
      } catch (...) {
        std::size_t first = failedAt;
        while (c < first && !failedAt.compare_exchange_weak(first, c)) {
        }
        return {c, std::current_exception()};
      }
    }
    return {leaves_.size(), nullptr};
  };
  std::future<std::pair<std::size_t, std::exception_ptr>> other;
  if (beside && leaves_.size() > 1) {
    try {
      other = std::async(std::launch::async, work, std::ref(*beside));
    } catch (const std::system_error&) {
      // This thread reads every chunk.
    }
  }
  const auto mine = work(buffers);
  const auto theirs = other.valid() ? other.get() : std::pair<std::size_t, std::exception_ptr>{leaves_.size(), nullptr};
  const std::exception_ptr failure = mine.first <= theirs.first ? mine.second : theirs.second;
  if (failure) std::rethrow_exception(failure);
}

// Formats the rows of a decoded row group into batches of cells, column by column, so that
// a column's conversion is chosen once for all of a batch's cells of it rather than cell
// by cell.
class ParquetNativeReader::RowGroupCells {
 public:
  RowGroupCells(const ParquetNativeReader& reader, const std::vector<ParquetColumnData>& data, std::size_t rows)
      : reader_(reader),
        data_(data),
        rows_(rows),
        next_(reader.leaves_.size(), 0),
        assembler_(data, reader.formats_, reader.maxDefinitions_) {
    // Every defined slot of a flat column has its value: the cells are taken without a check.
    for (const ParquetSchemaNode& field : reader.fields_) {
      if (field.isNested()) continue;
      const ParquetColumnData& column = data[field.firstLeaf];
      const int maxDefinition = reader.maxDefinitions_[field.firstLeaf];
      const std::size_t defined =
          maxDefinition == 0 ? column.slots
                             : static_cast<std::size_t>(std::count(column.definitionLevels.begin(),
                                                                   column.definitionLevels.end(), maxDefinition));
      if (column.slots != rows || column.values.size() != defined)
        throwDamaged("a column's values do not match its levels");
    }
  }

  bool done() const { return row_ == rows_; }

  // Fills `batch` (empty) with the next rows, as many as CellBatch holds, and merges the
  // types of their cells into `merged`.
  void fill(CellBatch& batch, std::vector<std::optional<ColumnType>>& merged) {
    const std::vector<ParquetSchemaNode>& fields = reader_.fields_;
    const std::size_t width = fields.size();
    std::size_t count = std::min(rows_ - row_, std::max<std::size_t>(1, CellBatch::kCells / width));
    // Fewer rows when the flat columns' text would pass the batch's bound; the nested
    // fields' JSON has the rest of it.
    std::size_t flatBytes = flatTextAtMost(count);
    for (; count > 1 && flatBytes > CellBatch::kTextBytes; flatBytes = flatTextAtMost(count)) count /= 2;
    const std::size_t nestedBytes = CellBatch::kTextBytes - std::min(flatBytes, CellBatch::kTextBytes);
    batch.cells.resize(count * width);
    ParquetCellFormat::Cell* cells = batch.cells.data();
    // Nested fields row by row: the JSON of a row is only known once built, and may end
    // the batch early.
    bool nested = false;
    for (const ParquetSchemaNode& field : fields) nested = nested || field.isNested();
    for (std::size_t k = 0; nested && k < count; ++k) {
      for (std::size_t c = 0; c < width; ++c) {
        if (!fields[c].isNested()) continue;
        ParquetCellFormat::Cell& cell = cells[k * width + c];
        cell = {};
        if (assembler_.nextValue(fields[c], scratch_)) {
          cell.kind = Kind::json;
          cell.text = batch.text.append(scratch_);
        }
      }
      if (batch.text.size() >= nestedBytes) count = k + 1;
    }
    batch.cells.resize(count * width);
    for (std::size_t c = 0; c < width; ++c) {
      if (!fields[c].isNested()) {
        const std::size_t leaf = fields[c].firstLeaf;
        const int maxDefinition = reader_.maxDefinitions_[leaf];
        const std::uint8_t* levels = maxDefinition == 0 ? nullptr : data_[leaf].definitionLevels.data() + row_;
        reader_.leaves_[leaf].format.fillCells(data_[leaf].values, levels, static_cast<std::uint8_t>(maxDefinition),
                                               next_[leaf], count, cells + c, width, batch.text);
      }
      for (std::size_t k = 0; k < count && merged[c] != ColumnType::text; ++k)
        merge(merged[c], cells[k * width + c].kind);
    }
    row_ += count;
    batch.rows = count;
  }

 private:
  // At most how many bytes of text the flat columns' cells of the next `count` rows take.
  std::size_t flatTextAtMost(std::size_t count) const {
    std::size_t bytes = 0;
    for (const ParquetSchemaNode& field : reader_.fields_) {
      if (field.isNested()) continue;
      const std::size_t leaf = field.firstLeaf;
      const int maxDefinition = reader_.maxDefinitions_[leaf];
      const auto& levels = data_[leaf].definitionLevels;
      const std::size_t defined = maxDefinition == 0
                                      ? count
                                      : static_cast<std::size_t>(std::count(
                                            levels.begin() + static_cast<std::ptrdiff_t>(row_),
                                            levels.begin() + static_cast<std::ptrdiff_t>(row_ + count), maxDefinition));
      bytes += reader_.leaves_[leaf].format.textBytesAtMost(data_[leaf].values, next_[leaf], defined);
    }
    return bytes;
  }

  const ParquetNativeReader& reader_;
  const std::vector<ParquetColumnData>& data_;
  const std::size_t rows_;
  std::size_t row_ = 0;
  std::vector<std::size_t> next_;  // by leaf, the index of its next value
  ParquetNestedAssembler assembler_;
  std::string scratch_;
};

bool ParquetNativeReader::typeSettled(std::size_t c, const std::optional<ColumnType>& merged) const {
  if (!merged) return false;
  if (fields_[c].isNested()) return true;
  return *merged != ColumnType::integer || !leaves_[fields_[c].firstLeaf].format.mayBeReal();
}

void ParquetNativeReader::stage(SQLiteDriver& staging, const std::string& table, std::optional<std::int64_t> rowLimit,
                                std::int64_t typedRows) {
  if (rowLimit)
    stageFirstRows(staging, table, *rowLimit, typedRows);
  else
    stageAll(staging, table);
}

void ParquetNativeReader::stageFirstRows(SQLiteDriver& staging, const std::string& table, std::int64_t rowLimit,
                                         std::int64_t typedRows) const {
  const std::size_t width = fields_.size();
  std::vector<std::optional<ColumnType>> merged(width);
  std::vector<ParquetColumnData> data;
  ChunkBuffers buffers;
  // Calls body(rows) for the first `wanted` rows, decoded a row group's part at a time (only
  // the leaves `leavesRead` marks, when given).
  auto forFirstRows = [&](std::int64_t wanted, const std::vector<bool>* leavesRead, const auto& body) {
    for (std::size_t group = 0; group < metadata_.rowGroups.size() && wanted > 0; ++group) {
      const std::int64_t rows = std::min(metadata_.rowGroups[group].numRows, wanted);
      if (rows == 0) continue;
      readRowGroup(group, rows, data, buffers, nullptr, leavesRead);
      body(static_cast<std::size_t>(rows));
      wanted -= rows;
    }
  };
  CellBatch shown;
  const std::vector<bool> noneSkipped(width, false);
  forFirstRows(rowLimit, nullptr, [&](std::size_t rows) {
    forEachCellOf(
        data, rows, noneSkipped,
        [&](std::size_t c, const ParquetCellFormat::Cell& cell) {
          merge(merged[c], cell.kind);
          shown.add(cell);
        },
        [&] { ++shown.rows; });
  });
  // The types are those the first typedRows rows give, when more. Only the columns whose type
  // may still change are read again, from the start (a cell merged twice changes nothing),
  // each until its type is settled: the others' pages are not read past the rows shown.
  std::vector<bool> settled(width, false);
  std::vector<bool> leavesRead(leaves_.size(), false);
  bool reread = false;
  for (std::size_t c = 0; c < width; ++c) {
    settled[c] = typeSettled(c, merged[c]);
    if (settled[c]) continue;
    reread = true;
    for (std::size_t leaf = 0; leaf < fields_[c].leafCount; ++leaf) leavesRead[fields_[c].firstLeaf + leaf] = true;
  }
  if (typedRows > rowLimit && reread) {
    forFirstRows(typedRows, &leavesRead, [&](std::size_t rows) {
      forEachCellOf(
          data, rows, settled,
          [&](std::size_t c, const ParquetCellFormat::Cell& cell) {
            if (settled[c]) return;
            merge(merged[c], cell.kind);
            settled[c] = typeSettled(c, merged[c]);
          },
          [] {}, true);
    });
  }
  std::vector<DataColumn> created = columns_;
  for (std::size_t c = 0; c < width; ++c) created[c].type = merged[c].value_or(ColumnType::text);
  std::lock_guard guard(staging.mutex());
  StagedTable::stage(staging, table, created, [&](sqlite3_stmt* single) {
    StagedRowInserter(staging, single, table, width).insert(shown.rows, BindCells{shown, width});
  });
}

void ParquetNativeReader::stageAll(SQLiteDriver& staging, const std::string& table) const {
  const std::size_t width = fields_.size();
  std::vector<std::size_t> groups;  // the row groups that hold rows
  for (std::size_t g = 0; g < metadata_.rowGroups.size(); ++g)
    if (metadata_.rowGroups[g].numRows > 0) groups.push_back(g);
  auto rowsOf = [&](std::size_t k) { return static_cast<std::size_t>(metadata_.rowGroups[groups[k]].numRows); };
  std::vector<ParquetColumnData> data;
  ChunkBuffers buffers;
  auto decode = [&](std::size_t k, ChunkBuffers* beside = nullptr) {
    readRowGroup(groups[k], static_cast<std::int64_t>(rowsOf(k)), data, buffers, beside);
  };

  // The first row group's cells give the types the table is created with. A column's cells
  // are formatted only until its type is settled (any type but INTEGER, or INTEGER where no
  // value is a real): the rows are formatted again, and checked, when they are staged.
  std::vector<std::optional<ColumnType>> merged(width);
  auto mayBeReal = [&](std::size_t c) {
    return !fields_[c].isNested() && leaves_[fields_[c].firstLeaf].format.mayBeReal();
  };
  if (!groups.empty()) {
    // Before the table exists there are no rows to insert: another thread decodes half the
    // first row group's columns beside this one.
    ChunkBuffers beside;
    decode(0, &beside);
    std::vector<bool> settled(width, false);
    forEachCellOf(
        data, rowsOf(0), settled,
        [&](std::size_t c, const ParquetCellFormat::Cell& cell) {
          merge(merged[c], cell.kind);
          settled[c] = typeSettled(c, merged[c]);
        },
        [] {}, true);
  }
  // Formats every row into batches of cells, handing each to `put` (false: stop), and
  // merges the types of all of them.
  auto produce = [&](const std::function<bool(CellBatch &&)>& put, const std::function<CellBatch()>& fresh) {
    for (std::size_t k = 0; k < groups.size(); ++k) {
      if (k > 0) decode(k);
      for (RowGroupCells cells(*this, data, rowsOf(k)); !cells.done();) {
        CellBatch batch = fresh();
        cells.fill(batch, merged);
        if (!put(std::move(batch))) return;
      }
    }
  };

  std::vector<DataColumn> created = columns_;
  for (std::size_t c = 0; c < width; ++c) {
    // A column without a value yet whose later values may be reals is made untyped until
    // the retyping: a TEXT column would keep only 15 digits of them.
    created[c].type = merged[c].value_or(mayBeReal(c) ? ColumnType::blob : ColumnType::text);
  }
  std::lock_guard guard(staging.mutex());
  // Pages of 64 KiB rather than 4 KiB hold the rows in less memory, with a sixteenth as many
  // pages to allocate and balance. The staging database holds nothing before the file's
  // rows (else its page size stays as it is).
  staging.executeRawSQL("PRAGMA page_size = 65536;");
  StagedTable::stage(staging, table, created, [&](sqlite3_stmt* single) {
    StagedRowInserter inserter(staging, single, table, width);
    produceBeside(produce, [&](const CellBatch& batch) { inserter.insert(batch.rows, BindCells{batch, width}); });
  });
  // A later row group may have changed a type (whole numbers, then a fraction).
  for (std::size_t c = 0; c < width; ++c) created[c].type = merged[c].value_or(ColumnType::text);
  retypeStagedTable(staging, table, created);
}

template <typename Body, typename EndRow>
void ParquetNativeReader::forEachCellOf(const std::vector<ParquetColumnData>& data, std::size_t rows,
                                        const std::vector<bool>& skipped, Body&& body, EndRow&& endRow,
                                        bool skipsNested) const {
  const std::vector<int>& maxDefinition = maxDefinitions_;
  std::vector<std::string> scratch(fields_.size());
  ParquetNestedAssembler assembler(data, formats_, maxDefinitions_);
  std::vector<std::size_t> nextValue(leaves_.size(), 0);
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t c = 0; c < fields_.size(); ++c) {
      const ParquetSchemaNode& field = fields_[c];
      ParquetCellFormat::Cell cell;
      if (field.isNested()) {
        if (skipsNested && skipped[c]) {
        } else if (assembler.nextValue(field, scratch[c])) {
          cell.kind = Kind::json;
          cell.text = scratch[c];
        }
      } else {
        const std::size_t leaf = field.firstLeaf;
        const ParquetColumnData& column = data[leaf];
        if (!skipped.empty() && skipped[c]) {
          // Not read again in this row group: its values need not be counted.
        } else if (maxDefinition[leaf] != 0 && column.definitionLevels[r] != maxDefinition[leaf]) {
        } else {
          cell = leaves_[leaf].format.cell(column.values, nextValue[leaf]++, scratch[c]);
        }
      }
      body(c, cell);
    }
    endRow();
  }
}

template <typename Body>
void ParquetNativeReader::forEachRowGroup(Body&& body) const {
  std::vector<ParquetColumnData> data;
  ChunkBuffers buffers;
  for (std::size_t group = 0; group < metadata_.rowGroups.size(); ++group) {
    const std::int64_t rows = metadata_.rowGroups[group].numRows;
    if (rows == 0) continue;
    readRowGroup(group, rows, data, buffers);
    if (!body(data, rows)) return;
  }
}

std::vector<DataColumn> ParquetNativeReader::columnsOfAllRows() const {
  std::vector<std::optional<ColumnType>> merged(fields_.size());
  forEachRowGroup([&](const std::vector<ParquetColumnData>& data, std::int64_t rows) {
    // A flat column's type is settled once no later cell can change it (any type but
    // INTEGER, or INTEGER where no value is a real): its cells are then only formatted where
    // that may refuse one. Nested columns are always assembled, which checks their levels.
    std::vector<bool> skipped(fields_.size(), false);
    for (std::size_t c = 0; c < fields_.size(); ++c)
      skipped[c] = !fields_[c].isNested() && typeSettled(c, merged[c]) &&
                   !leaves_[fields_[c].firstLeaf].format.refusesSomeValues();
    forEachCellOf(
        data, static_cast<std::size_t>(rows), skipped,
        [&](std::size_t c, const ParquetCellFormat::Cell& cell) { merge(merged[c], cell.kind); }, [] {});
    return true;
  });
  std::vector<DataColumn> columns = columns_;
  for (std::size_t c = 0; c < columns.size(); ++c) columns[c].type = merged[c].value_or(ColumnType::text);
  return columns;
}

void ParquetNativeReader::stageInTurns(SQLiteDriver& staging, const std::string& table,
                                       std::span<const DataColumn> columns, const std::function<bool()>& turn) {
  const std::size_t width = fields_.size();
  if (columns.size() != width) throw DriverError(kDomain, -1, "The columns do not match the Parquet file's");
  // Formats each row group's rows into batches, the last of a group marked; false: stop.
  auto produce = [&](const std::function<bool(CellBatch &&)>& put, const std::function<CellBatch()>& fresh) {
    std::vector<std::optional<ColumnType>> merged(width);  // the columns' types are given
    forEachRowGroup([&](const std::vector<ParquetColumnData>& data, std::int64_t rows) {
      for (RowGroupCells cells(*this, data, static_cast<std::size_t>(rows)); !cells.done();) {
        CellBatch batch = fresh();
        cells.fill(batch, merged);
        batch.endsRowGroup = cells.done();
        if (!put(std::move(batch))) return false;
      }
      return true;
    });
  };

  std::lock_guard guard(staging.mutex());
  const std::string clear = "DELETE FROM " + quoteIdentifier(table) + ";";
  StagedTable::stage(staging, table, columns, [&](sqlite3_stmt* single) {
    if (!turn()) return;
    StagedRowInserter inserter(staging, single, table, width);
    // Inserts a batch; after a row group's last, its turn, then the table is emptied.
    auto insert = [&](const CellBatch& batch) {
      inserter.insert(batch.rows, BindCells{batch, width});
      if (!batch.endsRowGroup) return;
      const bool more = turn();
      staging.executeRawSQL(clear);
      if (!more) throw TurnsStopped{};
    };
    try {
      produceBeside(produce, insert);
    } catch (const TurnsStopped&) {
    }
  });
}

}  // namespace tabvora::internal
