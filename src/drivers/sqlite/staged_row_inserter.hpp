#pragma once

#include <cstddef>
#include <string_view>

#include "drivers/sqlite/sqlite_statement.hpp"

struct sqlite3_stmt;

namespace tabvora::internal {

class SQLiteDriver;

// Puts rows that come in batches into a staged table several to a statement: one INSERT
// with StagedTable::kRowsPerInsert rows of parameters (fewer when that many would pass the
// connection's limit on parameters), and the table's one-row INSERT for what is left of a
// batch. The table's rows are the same, in the same order, as with one statement per row;
// a row costs about two thirds as much. Runs inside the withPreparedStatement body that
// owns the one-row statement, under the staging driver's lock. While a batch goes in, the
// connection's own mutex is held once rather than taken by every bind and step.
class StagedRowInserter {
 public:
  StagedRowInserter(SQLiteDriver& staging, sqlite3_stmt* single, std::string_view table, std::size_t columnCount);

  // Inserts rows 0 ... rowCount - 1 in order: `bindRow(insert, offset, row)` binds the values
  // of row `row` to parameters offset + 1 ... offset + columnCount of `insert`. The bindings
  // are cleared before it returns, so they may point into what goes after the call.
  template <typename BindRow>
  void insert(std::size_t rowCount, BindRow&& bindRow) {
    const HeldConnection held(single_);
    std::size_t row = 0;
    if (rowsPerInsert_ > 1) {
      for (; rowCount - row >= rowsPerInsert_; row += rowsPerInsert_) {
        for (std::size_t i = 0; i < rowsPerInsert_; ++i) bindRow(batch_.get(), static_cast<int>(i * columns_), row + i);
        step(batch_.get());
      }
    }
    for (; row < rowCount; ++row) {
      bindRow(single_, 0, row);
      step(single_);
    }
    clearBindings();
  }

 private:
  // Holds the connection's mutex for its lifetime (a recursive one: the calls under it take
  // it again at the cost of a counter).
  class HeldConnection {
   public:
    explicit HeldConnection(sqlite3_stmt* statement);
    ~HeldConnection();
    HeldConnection(const HeldConnection&) = delete;
    HeldConnection& operator=(const HeldConnection&) = delete;

   private:
    void* mutex_;
  };

  void step(sqlite3_stmt* statement);
  void clearBindings();

  SQLiteDriver& staging_;
  sqlite3_stmt* single_;
  SQLiteStatement batch_;
  std::size_t columns_;
  std::size_t rowsPerInsert_ = 1;
};

}  // namespace tabvora::internal
