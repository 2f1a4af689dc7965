#include <sqlite3.h>

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "drivers/sqlscript/sql_script_driver.hpp"
#include "model/driver_error.hpp"
#include "platform/ascii_case.hpp"
#include "platform/atomic_file.hpp"
#include "platform/double_format.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kDomain = "SQLScriptDriver";

constexpr const char* kObjectsQuery =
    "SELECT type, name, sql FROM sqlite_master\n"
    "WHERE sql IS NOT NULL AND name NOT LIKE 'sqlite_%'\n"
    "ORDER BY CASE type WHEN 'table' THEN 0 WHEN 'index' THEN 1 WHEN 'view' THEN 2 ELSE 3 END, rowid";

std::string columnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

// A value as an SQL literal that reads back as the same value.
void appendLiteral(std::string& out, sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER: out += std::to_string(sqlite3_column_int64(statement, column)); return;
    case SQLITE_FLOAT: {
      const double value = sqlite3_column_double(statement, column);
      out += std::isfinite(value) ? shortestDoubleText(value) : "NULL";
      return;
    }
    case SQLITE_TEXT: appendSQLStringLiteral(out, columnText(statement, column)); return;
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
      const int size = sqlite3_column_bytes(statement, column);
      appendSQLBlobLiteral(out, size > 0 ? std::string_view(bytes, static_cast<std::size_t>(size)) : "");
      return;
    }
    default: out += "NULL";
  }
}

const char* dialectName(SQLDialect dialect) {
  switch (dialect) {
    case SQLDialect::mysql: return "MySQL";
    case SQLDialect::postgres: return "PostgreSQL";
    case SQLDialect::generic: break;
  }
  return "another SQL dialect";
}

struct SchemaObject {
  std::string type;
  std::string name;
  std::string sql;
};

}  // namespace

void SQLScriptDriver::saveChanges() {
  if (!currentURL_) return;
  if (failedStatementCount_ >= 1)
    throw DriverError(kDomain, -2,
                      std::to_string(failedStatementCount_) +
                          " statement(s) in this script could not be run (other SQL dialect?). Saving would drop "
                          "them, so the file was left untouched. Use Export instead.");
  if (dialectConverted_)
    throw DriverError(kDomain, -2,
                      std::string("This script was converted from ") + dialectName(dialect_) +
                          " to be displayed; saving it back is not supported. Use Export instead.");

  std::lock_guard guard(internalSQLite.mutex());
  std::vector<SchemaObject> objects;
  internalSQLite.withPreparedStatement(kObjectsQuery, [&](sqlite3_stmt* statement) {
    while (sqlite3_step(statement) == SQLITE_ROW)
      objects.push_back({columnText(statement, 0), columnText(statement, 1), columnText(statement, 2)});
  });
  for (const SchemaObject& object : objects) {
    if (startsWithIgnoringASCIICase(object.sql, "CREATE VIRTUAL"))
      throw DriverError(kDomain, -2, "Scripts with virtual tables cannot be saved back. Use Export instead.");
  }

  std::string text;
  std::string others;
  for (const SchemaObject& object : objects) {
    if (object.type != "table") {
      others += object.sql + ";\n";
      continue;
    }
    text += object.sql + ";\n";
    const std::string name = quoteIdentifier(object.name);
    internalSQLite.withPreparedStatement("SELECT * FROM " + name + ";", [&](sqlite3_stmt* statement) {
      const int columns = sqlite3_column_count(statement);
      int rc;
      while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        text += "INSERT INTO " + name + " VALUES (";
        for (int column = 0; column < columns; ++column) {
          if (column > 0) text += ", ";
          appendLiteral(text, statement, column);
        }
        text += ");\n";
      }
      // A table read only in part would be written back short.
      if (rc != SQLITE_DONE)
        throw DriverError(
            kDomain, -1,
            "Failed to read table " + object.name + " to save it: " + sqlite3_errmsg(sqlite3_db_handle(statement)));
    });
  }
  text += others;
  if (text.empty()) text.push_back('\n');

  try {
    writeFileAtomically(*currentURL_, std::string_view(text));
  } catch (const std::exception& error) {
    throw DriverError(kDomain, -1, "Failed to write file at " + currentURL_->string() + ": " + error.what());
  }
}

}  // namespace tabvora::internal
