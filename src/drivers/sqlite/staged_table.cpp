#include "drivers/sqlite/staged_table.hpp"

#include <sqlite3.h>

#include <climits>
#include <mutex>

#include "drivers/sqlite/sql_quoting.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"

namespace tabvora {

std::string StagedTable::createSQL(std::string_view table, std::span<const DataColumn> columns) {
  std::string sql = "CREATE TABLE " + quoteIdentifier(table) + " (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += quoteIdentifier(columns[i].name);
    sql += ' ';
    sql += columns[i].type.rawValue();
  }
  sql += ");";
  return sql;
}

std::string StagedTable::insertSQL(std::string_view table, std::size_t columnCount) {
  std::string sql = "INSERT INTO " + quoteIdentifier(table) + " VALUES (";
  for (std::size_t i = 0; i < columnCount; ++i) sql += i > 0 ? ", ?" : "?";
  sql += ");";
  return sql;
}

std::string StagedTable::stage(SQLiteDriver& staging, std::string_view table, std::span<const DataColumn> columns,
                               const std::function<void(sqlite3_stmt*)>& insertRows) {
  std::lock_guard guard(staging.mutex());
  std::string ddl = createSQL(table, columns);
  staging.executeRawSQL(ddl);
  staging.executeRawSQL("BEGIN TRANSACTION;");
  staging.withPreparedStatement(insertSQL(table, columns.size()), insertRows);
  staging.executeRawSQL("COMMIT;");
  return ddl;
}

void StagedTable::bindText(sqlite3_stmt* insert, int parameter, std::string_view text, ColumnType type) {
  // 18 digits never overflow, and such text is an integer to both affinities: it converts
  // to exactly this value, and a REAL column keeps a whole value the same way whether it
  // came as text or as an integer.
  constexpr std::size_t kMaxDigits = 18;
  if (type == ColumnType::integer || type == ColumnType::real) {
    const std::size_t sign = !text.empty() && text.front() == '-' ? 1 : 0;
    const std::size_t digits = text.size() - sign;
    if (digits > 0 && digits <= kMaxDigits) {
      std::int64_t value = 0;
      std::size_t i = sign;
      for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
      if (i == text.size()) {
        sqlite3_bind_int64(insert, parameter, sign == 1 ? -value : value);
        return;
      }
    }
  }
  if (text.size() > static_cast<std::size_t>(INT_MAX)) text = {};  // beyond any text a reader keeps
  sqlite3_bind_text(insert, parameter, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

}  // namespace tabvora
