#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "drivers/delimited/delimited_byte_parser.hpp"

struct sqlite3_stmt;

namespace tabvora::internal {

class SQLiteDriver;

// The second pass over a delimited file: skips the header and inserts every data record
// through one prepared INSERT with a parameter per column. Short rows and empty fields are
// bound as NULL; numeric columns get their text without surrounding spaces, tabs and line
// breaks, other columns the bytes exactly as delivered. The staging table's column affinity
// turns numeric text into numbers. Passed to DelimitedByteParser::parse as the consumer,
// inside the withPreparedStatement body that owns `insert`.
class DelimitedRowLoader {
 public:
  using ColumnKind = DelimitedByteParser::ColumnKind;

  DelimitedRowLoader(SQLiteDriver& staging, sqlite3_stmt* insert, const std::vector<ColumnKind>& kinds,
                     std::optional<std::int64_t> rowLimit)
      : staging_(staging), insert_(insert), kinds_(kinds), rowLimit_(rowLimit) {}

  // False once the row limit is reached: the record handed over is not inserted.
  bool operator()(const DelimitedByteParser::Record& record);

  std::int64_t rowsInserted() const { return rowsInserted_; }

 private:
  SQLiteDriver& staging_;
  sqlite3_stmt* insert_;
  const std::vector<ColumnKind>& kinds_;
  std::optional<std::int64_t> rowLimit_;
  bool headerSkipped_ = false;
  std::int64_t rowsInserted_ = 0;
};

}  // namespace tabvora::internal
