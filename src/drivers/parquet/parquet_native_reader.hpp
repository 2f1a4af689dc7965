#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/parquet/parquet_cell_format.hpp"
#include "drivers/parquet/parquet_column_reader.hpp"
#include "drivers/parquet/parquet_metadata.hpp"
#include "drivers/parquet/parquet_schema_node.hpp"
#include "model/data_column.hpp"
#include "platform/byte_buffer.hpp"

namespace tabvora::internal {

class FileReader;
class SQLiteDriver;

// Reads a Parquet file's rows without any other program and stages them as the DuckDB
// route would: the same table, column names and order, declared types (merged from the
// cells as DuckDBRows merges them) and values (see ParquetCellFormat). Row groups are
// decoded one at a time, so memory holds one row group's columns (at most
// parquet_limits::kLargestDecodedRowGroup bytes of values) and a few batches of cells on
// their way to SQLite besides the staged rows. A preview (a row limit) reads only the
// pages its rows lie in and decodes only their levels and values.
// Every failure is a DriverError: a file whose metadata or pages do not hold, or that uses
// a codec, encoding or type the reader lacks, is refused whole, never staged in part.
class ParquetNativeReader {
 public:
  // Reads and checks the footer and the schema. `file` must outlive the reader.
  ParquetNativeReader(const FileReader& file, std::uint64_t fileSize);
  ParquetNativeReader(const ParquetNativeReader&) = delete;
  ParquetNativeReader& operator=(const ParquetNativeReader&) = delete;

  // The row count the footer states, which its row groups hold together.
  std::int64_t rowCount() const { return metadata_.numRows; }
  // The number of the table's columns: the schema's top-level fields.
  std::size_t columnCount() const { return fields_.size(); }

  // Creates `table` in `staging` and inserts the rows, at most `rowLimit`; without a limit
  // the rows are decoded and formatted on a second thread while this one inserts them, in
  // order (the first row group's columns, before, decoded on both). With a limit, the columns' types are those the
  // first `typedRows` rows give when that is more rows (a preview staging fewer rows than its types are taken from),
  // else those of the rows staged. Errors of the staging database propagate; on any error the staging database may hold
  // part of the table and is to be discarded.
  void stage(SQLiteDriver& staging, const std::string& table, std::optional<std::int64_t> rowLimit,
             std::int64_t typedRows = 0);

  // The table's columns with the declared types the cells of every row merge to, which
  // stage gives a full table. Decodes and formats every row group (one at a time), so a
  // file whose rows cannot all be read fails here.
  std::vector<DataColumn> columnsOfAllRows() const;
  // Creates `table` in `staging` with `columns` (as columnsOfAllRows gives them) and goes
  // through the rows a row group at a time: calls `turn()` first with the table empty, then
  // once for every row group while the table holds that group's rows and no other, deleting
  // them after; `turn` returns false to stop. Each cell is stored as stage would store it
  // in a table of these types. Besides the staged row group, memory holds at most two row
  // groups' decoded values and a few batches of cells. Errors as for stage; the table is
  // left empty or holding one row group, and the transaction it is filled in may be left
  // open (to be rolled back).
  void stageInTurns(SQLiteDriver& staging, const std::string& table, std::span<const DataColumn> columns,
                    const std::function<bool()>& turn);

 private:
  struct Leaf {
    ParquetColumnReader::Leaf leaf;
    ParquetCellFormat format;
  };

  void collectLeaves(const ParquetSchemaNode& node);
  // Whether no later cell can change the type of column `c`, `merged` from its cells so far:
  // a nested field's cells are all JSON, and a flat column's take one type but for the
  // whole numbers among a column's reals.
  bool typeSettled(std::size_t c, const std::optional<ColumnType>& merged) const;
  // Room reused from one column chunk to the next: its bytes, and its pages decompressed.
  struct ChunkBuffers {
    ByteBuffer bytes;
    ParquetColumnReader::Buffers pages;
  };

  // stage with a row limit, and without.
  void stageFirstRows(SQLiteDriver& staging, const std::string& table, std::int64_t rowLimit,
                      std::int64_t typedRows) const;
  void stageAll(SQLiteDriver& staging, const std::string& table) const;

  // Decodes row group `index` as far as its first `rows` rows need. With `beside`, the
  // column chunks are shared out between this thread and a second one that uses that room.
  // With `leavesRead`, only the leaves it marks are decoded (the others are left empty).
  void readRowGroup(std::size_t index, std::int64_t rows, std::vector<ParquetColumnData>& out, ChunkBuffers& buffers,
                    ChunkBuffers* beside = nullptr, const std::vector<bool>* leavesRead = nullptr) const;

  // Decodes each row group that holds rows, in order, and calls `body(data, rows)` with it;
  // the body returns false to stop.
  template <typename Body>
  void forEachRowGroup(Body&& body) const;

  // Calls `body(c, cell)` for the cells of rows 0 ... rows - 1 of a decoded row group, row
  // after row, and `endRow()` after each row. The cells of the flat columns `skipped` marks
  // (at the time of the cell) are not formatted, nor their levels read: they come as nulls,
  // and a column once skipped is not read again in the row group; with `skipsNested`, nor
  // are those of the nested fields it marks, which are then not assembled (nor their levels
  // checked) for the rest of the row group.
  template <typename Body, typename EndRow>
  void forEachCellOf(const std::vector<ParquetColumnData>& data, std::size_t rows, const std::vector<bool>& skipped,
                     Body&& body, EndRow&& endRow, bool skipsNested = false) const;

  class RowGroupCells;

  const FileReader& file_;
  std::uint64_t dataEnd_ = 0;  // where the footer begins
  ParquetMetadata metadata_;
  std::vector<ParquetSchemaNode> fields_;  // the top-level fields: the table's columns
  std::vector<DataColumn> columns_;
  std::vector<Leaf> leaves_;  // in schema order, as the column chunks
  std::vector<const ParquetCellFormat*> formats_;  // the leaves' formats and maximum definition levels
  std::vector<int> maxDefinitions_;
};

}  // namespace tabvora::internal
