#include "drivers/sqlite/staged_table.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <mutex>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staged_row_inserter.hpp"
#include "platform/number_parsing.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

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

std::string StagedTable::insertSQL(std::string_view table, std::size_t columnCount, std::size_t rowCount) {
  std::string sql = "INSERT INTO " + quoteIdentifier(table) + " VALUES ";
  for (std::size_t row = 0; row < rowCount; ++row) {
    sql += row > 0 ? ", (" : "(";
    for (std::size_t i = 0; i < columnCount; ++i) sql += i > 0 ? ", ?" : "?";
    sql += ")";
  }
  sql += ";";
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

std::string StagedTable::stage(SQLiteDriver& staging, std::string_view table, std::span<const DataColumn> columns,
                               std::size_t rowCount,
                               const std::function<void(sqlite3_stmt*, int offset, std::size_t row)>& bindRow) {
  return stage(staging, table, columns, [&](sqlite3_stmt* single) {
    StagedRowInserter(staging, single, table, columns.size()).insert(rowCount, bindRow);
  });
}

std::optional<std::int64_t> StagedTable::integerBinding(std::string_view text, ColumnType type) {
  // 18 digits never overflow, and such text is an integer to both affinities: it converts
  // to exactly this value, and a REAL column keeps a whole value the same way whether it
  // came as text or as an integer.
  constexpr std::size_t kMaxDigits = 18;
  if (type != ColumnType::integer && type != ColumnType::real) return std::nullopt;
  // Only "-" may lead: "+5" stays text, as the file wrote it.
  const std::size_t sign = !text.empty() && text.front() == '-' ? 1 : 0;
  const std::size_t digits = text.size() - sign;
  if (digits == 0 || digits > kMaxDigits || text.front() == '+') return std::nullopt;
  return parseInt64(text);
}

void StagedTable::bindText(sqlite3_stmt* insert, int parameter, std::string_view text, ColumnType type) {
  if (const std::optional<std::int64_t> value = integerBinding(text, type)) {
    sqlite3_bind_int64(insert, parameter, *value);
    return;
  }
  if (text.size() > static_cast<std::size_t>(INT_MAX)) text = {};  // beyond any text a reader keeps
  sqlite3_bind_text(insert, parameter, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

}  // namespace tabvora::internal
