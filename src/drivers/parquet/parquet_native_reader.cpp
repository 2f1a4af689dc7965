#include "drivers/parquet/parquet_native_reader.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <mutex>

#include "drivers/parquet/parquet_limits.hpp"
#include "drivers/parquet/table_retyping.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "model/driver_error.hpp"
#include "model/table_naming.hpp"
#include "platform/byte_buffer.hpp"
#include "platform/byte_cursor.hpp"
#include "platform/file_reader.hpp"

namespace tabvora::internal {

namespace {

using Kind = ParquetCellFormat::Kind;

constexpr const char* kDomain = "ParquetDriver";

[[noreturn]] void throwDamaged(const std::string& what) {
  throw DriverError(kDomain, -1, "The Parquet file is damaged: " + what);
}

ByteBuffer readBytes(const FileReader& file, std::uint64_t offset, std::uint64_t count) {
  ByteBuffer bytes;
  try {
    if (file.readAt(offset, static_cast<std::size_t>(count), bytes) < count) throwDamaged("it ends early");
  } catch (const FileReadError& error) {
    throw DriverError(kDomain, -1, error.what());
  }
  return bytes;
}

std::optional<ColumnType> typeOf(Kind kind) {
  switch (kind) {
    case Kind::null: return std::nullopt;
    case Kind::boolean: return ColumnType::boolean;
    case Kind::integer: return ColumnType::integer;
    case Kind::real: return ColumnType::real;
    case Kind::text: return ColumnType::text;
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
      sqlite3_bind_text64(insert, parameter, cell.text.data(), cell.text.size(), SQLITE_STATIC, SQLITE_UTF8);
      break;
  }
}

// Walks the rows of one decoded row group of flat columns.
class RowGroupCells {
 public:
  RowGroupCells(const std::vector<ParquetColumnData>& data, std::size_t width) : data_(data), next_(width, 0) {}

  // The cell of column `c` in the next row; columns are taken in order, each once per row.
  ParquetCellFormat::Cell next(std::size_t c, const ParquetCellFormat& format, std::size_t row, int maxDefinition,
                               std::string& scratch) {
    const ParquetColumnData& column = data_[c];
    if (maxDefinition > 0 && column.definitionLevels[row] != maxDefinition) return {};
    return format.cell(column.values, next_[c]++, scratch);
  }

 private:
  const std::vector<ParquetColumnData>& data_;
  std::vector<std::size_t> next_;
};

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

  // Flat schemas only: the root's children are all leaves, none repeated.
  const std::vector<ParquetMetadata::SchemaElement>& schema = metadata_.schema;
  if (schema.size() < 2 || static_cast<std::size_t>(schema[0].numChildren) != schema.size() - 1)
    throw DriverError(kDomain, -1, "The Parquet file has nested columns, which the reader does not support");
  ColumnNamer namer(false);
  for (std::size_t i = 1; i < schema.size(); ++i) {
    const ParquetMetadata::SchemaElement& element = schema[i];
    if (element.numChildren > 0 || element.repetition == ParquetMetadata::Repetition::repeated || !element.type)
      throw DriverError(kDomain, -1, "The Parquet file has nested columns, which the reader does not support");
    Column column{{}, i, {}, ParquetCellFormat(element)};
    column.column.name = namer.accept(element.name, columns_.size() + 1);
    column.column.index = static_cast<int>(columns_.size());
    column.leaf.physical = {*element.type, element.typeLength};
    column.leaf.maxDefinition = element.repetition == ParquetMetadata::Repetition::optional ? 1 : 0;
    columns_.push_back(std::move(column));
  }
  for (const ParquetMetadata::RowGroup& group : metadata_.rowGroups) {
    if (group.numRows < 0 || group.columns.size() != columns_.size())
      throwDamaged("a row group does not match the schema");
  }
}

void ParquetNativeReader::readRowGroup(std::size_t index, std::vector<ParquetColumnData>& out) const {
  const ParquetMetadata::RowGroup& group = metadata_.rowGroups[index];
  DecodeBudget budget(parquet_limits::kLargestDecodedRowGroup);
  out.assign(columns_.size(), {});
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    const ParquetMetadata::ColumnChunk& chunk = group.columns[c];
    if (chunk.inOtherFile) throw DriverError(kDomain, -1, "The Parquet file keeps columns in other files");
    if (chunk.type != columns_[c].leaf.physical.type) throwDamaged("a column chunk's type differs from the schema's");
    std::int64_t start = chunk.dataPageOffset;
    if (chunk.dictionaryPageOffset && *chunk.dictionaryPageOffset > 0 && *chunk.dictionaryPageOffset < start)
      start = *chunk.dictionaryPageOffset;
    const std::int64_t size = chunk.totalCompressedSize;
    if (start < 4 || size < 0 || static_cast<std::uint64_t>(start) > dataEnd_ ||
        static_cast<std::uint64_t>(size) > dataEnd_ - static_cast<std::uint64_t>(start))
      throwDamaged("a column chunk lies outside the file's data");
    if (static_cast<std::uint64_t>(size) > parquet_limits::kLargestColumnChunk)
      throw DriverError(kDomain, -1, "A column chunk of the Parquet file is larger than the reader's limit");
    budget.take(static_cast<std::uint64_t>(size));
    const ByteBuffer bytes = readBytes(file_, static_cast<std::uint64_t>(start), static_cast<std::uint64_t>(size));
    ParquetColumnReader::read(chunk, bytes.bytes(), columns_[c].leaf, out[c], budget);
    if (out[c].slots != static_cast<std::uint64_t>(group.numRows))
      throwDamaged("a column holds another number of values than its row group has rows");
  }
}

void ParquetNativeReader::stage(SQLiteDriver& staging, const std::string& table, std::optional<std::int64_t> rowLimit) {
  const std::size_t width = columns_.size();
  std::vector<std::optional<ColumnType>> merged(width);
  std::vector<DataColumn> created;
  std::vector<ParquetColumnData> data;
  std::vector<std::string> scratch(width);
  std::vector<ParquetCellFormat::Cell> cells(width);
  std::int64_t rowsLeft = rowLimit.value_or(std::numeric_limits<std::int64_t>::max());
  std::size_t group = 0;

  // The first row group is decoded before the table is made, its cells giving the types
  // the table is created with.
  auto decodeNext = [&]() -> std::size_t {
    while (group < metadata_.rowGroups.size() && rowsLeft > 0) {
      const ParquetMetadata::RowGroup& rowGroup = metadata_.rowGroups[group];
      readRowGroup(group++, data);
      if (rowGroup.numRows > 0) return static_cast<std::size_t>(std::min(rowGroup.numRows, rowsLeft));
    }
    return 0;
  };
  auto forEachRow = [&](std::size_t rows, const auto& body) {
    RowGroupCells walker(data, width);
    for (std::size_t r = 0; r < rows; ++r) {
      for (std::size_t c = 0; c < width; ++c) {
        cells[c] = walker.next(c, columns_[c].format, r, columns_[c].leaf.maxDefinition, scratch[c]);
        merge(merged[c], cells[c].kind);
      }
      body();
    }
  };

  std::size_t rows = decodeNext();
  forEachRow(rows, [] {});
  for (std::size_t c = 0; c < width; ++c) {
    created.push_back(columns_[c].column);
    created.back().type = merged[c].value_or(ColumnType::text);
  }
  std::lock_guard guard(staging.mutex());
  StagedTable::stage(staging, table, created, [&](sqlite3_stmt* insert) {
    while (rows > 0) {
      forEachRow(rows, [&] {
        for (std::size_t c = 0; c < width; ++c) bindCell(insert, static_cast<int>(c) + 1, cells[c]);
        staging.stepAndReset(insert);
      });
      rowsLeft -= static_cast<std::int64_t>(rows);
      rows = decodeNext();
    }
  });

  // A later row group may have changed a type (whole numbers, then a fraction).
  for (std::size_t c = 0; c < width; ++c) created[c].type = merged[c].value_or(ColumnType::text);
  retypeStagedTable(staging, table, created);
}

}  // namespace tabvora::internal
