#include "drivers/sqlite/staged_row_inserter.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <string>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staged_table.hpp"

namespace tabvora::internal {

StagedRowInserter::StagedRowInserter(SQLiteDriver& staging, sqlite3_stmt* single, std::string_view table,
                                     std::size_t columnCount)
    : staging_(staging), single_(single), columns_(columnCount) {
  sqlite3* db = sqlite3_db_handle(single);
  const auto parameters = static_cast<std::size_t>(sqlite3_limit(db, SQLITE_LIMIT_VARIABLE_NUMBER, -1));
  const std::size_t rows = std::min(StagedTable::kRowsPerInsert, parameters / std::max<std::size_t>(columnCount, 1));
  // Without the several-row statement every row takes the one-row one: slower, the same rows.
  if (rows > 1 && batch_.prepare(db, StagedTable::insertSQL(table, columnCount, rows)) == SQLITE_OK && batch_)
    rowsPerInsert_ = rows;
}

StagedRowInserter::HeldConnection::HeldConnection(sqlite3_stmt* statement)
    : mutex_(sqlite3_db_mutex(sqlite3_db_handle(statement))) {
  sqlite3_mutex_enter(static_cast<sqlite3_mutex*>(mutex_));
}

StagedRowInserter::HeldConnection::~HeldConnection() { sqlite3_mutex_leave(static_cast<sqlite3_mutex*>(mutex_)); }

void StagedRowInserter::step(sqlite3_stmt* statement) { staging_.stepAndReset(statement); }

void StagedRowInserter::clearBindings() {
  sqlite3_clear_bindings(single_);
  if (batch_) sqlite3_clear_bindings(batch_.get());
}

}  // namespace tabvora::internal
