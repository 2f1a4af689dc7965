#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "drivers/delimited/delimited_byte_parser.hpp"
#include "drivers/delimited/delimited_input.hpp"
#include "tabvora/progress.hpp"

struct sqlite3_stmt;

namespace tabvora::internal {

class SQLiteDriver;
class StatisticsGatherer;

// The second pass over a delimited file: skips the header and inserts every data record
// into `table`, whose one-row INSERT is `insert` (several rows go in one statement, see
// StagedRowInserter). Short rows and empty fields are
// bound as NULL; numeric columns get their text without surrounding spaces, tabs and line
// breaks (bound as StagedTable::bindText binds it), other columns the bytes exactly as
// delivered. The staging table's column affinity turns numeric text into numbers. Runs
// inside the withPreparedStatement body that owns `insert`.
class DelimitedRowLoader {
 public:
  using ColumnKind = DelimitedByteParser::ColumnKind;

  struct Outcome {
    std::int64_t rowsInserted = 0;
    bool stoppedByLimit = false;  // a record past the row limit was left out
  };

  // Records handed from the parsing thread to the inserting one at a time.
  static constexpr std::size_t kBatchRows = 4096;

  // With a row limit everything runs on the calling thread. Without one, a second thread
  // splits and converts the records while the calling thread inserts them, in file order.
  // `progress` (when set) hears the input bytes staged, on the calling thread. Errors of
  // either side propagate; the other side stops.
  // The records are those of input.bytes(), split by input.delimiter(), typed by
  // input.scan(); what every inserted batch has passed is released from `input`.
  // `gatherer` (when set) is handed every row as the table will hold it, from the parsing
  // thread, or abandoned where that cannot be told before SQLite stores it.
  static Outcome load(SQLiteDriver& staging, sqlite3_stmt* insert, std::string_view table, DelimitedInput& input,
                      std::optional<std::int64_t> rowLimit, const ProgressCallback& progress,
                      StatisticsGatherer* gatherer = nullptr);
};

}  // namespace tabvora::internal
