#pragma once

#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tabvora::internal {

// Owns one prepared statement and finalizes it when it goes away, on every path.
class SQLiteStatement {
 public:
  SQLiteStatement() = default;
  explicit SQLiteStatement(sqlite3_stmt* statement) : statement_(statement) {}
  ~SQLiteStatement();
  SQLiteStatement(SQLiteStatement&& other) noexcept : statement_(other.statement_) { other.statement_ = nullptr; }
  SQLiteStatement& operator=(SQLiteStatement&& other) noexcept;
  SQLiteStatement(const SQLiteStatement&) = delete;
  SQLiteStatement& operator=(const SQLiteStatement&) = delete;

  // Prepares the first statement of `sql`. Returns SQLite's result code; on success the
  // statement may still be empty (text of only white space or comments). `tail`, when
  // given, receives the offset in `sql` just past the prepared statement.
  int prepare(sqlite3* db, std::string_view sql, std::size_t* tail = nullptr);

  sqlite3_stmt* get() const { return statement_; }
  explicit operator bool() const { return statement_ != nullptr; }
  void finalize();

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace tabvora::internal
