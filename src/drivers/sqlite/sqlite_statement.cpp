#include "drivers/sqlite/sqlite_statement.hpp"

#include <sqlite3.h>

#include <climits>

namespace tabvora::internal {

SQLiteStatement::~SQLiteStatement() { finalize(); }

SQLiteStatement& SQLiteStatement::operator=(SQLiteStatement&& other) noexcept {
  if (this != &other) {
    finalize();
    statement_ = other.statement_;
    other.statement_ = nullptr;
  }
  return *this;
}

int SQLiteStatement::prepare(sqlite3* db, std::string_view sql, std::size_t* tail) {
  finalize();
  if (sql.size() > static_cast<std::size_t>(INT_MAX)) return SQLITE_TOOBIG;
  const char* end = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, &end);
  if (tail) *tail = end ? static_cast<std::size_t>(end - sql.data()) : sql.size();
  return rc;
}

void SQLiteStatement::finalize() {
  if (statement_) sqlite3_finalize(statement_);
  statement_ = nullptr;
}

}  // namespace tabvora::internal
