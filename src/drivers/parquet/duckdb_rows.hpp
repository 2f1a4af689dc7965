#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/data_column.hpp"

namespace tabvora::internal {

class SQLiteDriver;
}  // namespace tabvora::internal

struct sqlite3_stmt;

namespace tabvora::internal {

// The rows DuckDB printed for "-json": one JSON array of row objects. Columns are the
// member names in the order first met (DuckDB writes every row's members in its column
// order, so that is the file's order); names equal but for case are told apart with
// "_1", "_2", ... as the staging table needs distinct names.
//
// Types: the first non-null value of a column fixes its type (true/false: BOOLEAN; a number
// whose value is a 64-bit integer: INTEGER; other numbers: REAL; arrays and objects: JSON;
// strings: TEXT); a later value of another type makes it REAL when the two are INTEGER and
// REAL, and TEXT for any other pair. A column of nulls only is TEXT.
//
// Values keep their exact text: numbers as written (so 64-bit integers and long decimals
// lose nothing), strings unescaped, booleans as 1/0 in a BOOLEAN column and "true"/"false"
// elsewhere, arrays and objects as their JSON text. DuckDB writes a float that is not a
// number or infinite as NaN, Infinity or -Infinity, which JSON lacks: those are REAL
// values (NaN stages as NULL, as SQLite keeps no NaN).
class DuckDBRows {
 public:
  // Parses DuckDB's output, which is given padding room and must not be used meanwhile.
  // Throws DriverError ("DuckDB query produced no records") for output that is not JSON,
  // not an array of objects, or an array without a row or a
  // column.
  // With `allowEmpty`, an empty array is rows none (without columns).
  static DuckDBRows parse(std::string& output, bool allowEmpty = false);

  const std::vector<DataColumn>& columns() const { return columns_; }
  std::size_t rowCount() const { return rows_.size(); }
  // Per column, the type its values merge to; nothing for a column of nulls only.
  const std::vector<std::optional<ColumnType>>& mergedTypes() const { return types_; }
  // Merges `next` into `current` as the types of a column's values merge.
  static void mergeType(std::optional<ColumnType>& current, std::optional<ColumnType> next);

  // Creates `table` in the staging database and inserts the rows (see StagedTable). Errors
  // of the staging database are thrown.
  void stage(SQLiteDriver& staging, std::string_view table) const;
  // Inserts the rows into `table`, made before with `declared` (of the same columns), each
  // value bound as it is for a column of its declared type.
  void insertInto(SQLiteDriver& staging, std::string_view table, std::span<const DataColumn> declared) const;

 private:
  enum class Kind : std::uint8_t { null, boolean, integer, real, text, json };
  struct Cell {
    Kind kind = Kind::null;
    std::string text;  // the value's text; for booleans "true" or "false"
  };

  void bindRow(sqlite3_stmt* insert, int offset, std::size_t row, std::span<const DataColumn> declared) const;

  std::vector<DataColumn> columns_;
  std::vector<std::optional<ColumnType>> types_;
  std::vector<std::vector<Cell>> rows_;  // a row ends before the columns first met after it
};

}  // namespace tabvora::internal
