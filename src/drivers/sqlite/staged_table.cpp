#include "drivers/sqlite/staged_table.hpp"

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

}  // namespace tabvora
