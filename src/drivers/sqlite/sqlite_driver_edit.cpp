// Write-back: edits located by row identity, primary key, or every column's value.

#include "drivers/sqlite/sqlite_cell_values.hpp"
#include "drivers/sqlite/sqlite_driver_impl.hpp"
#include "drivers/sqlite/sqlite_statement.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

namespace {
constexpr const char* kUpdateNotLocated =
    "The row could not be located, so nothing was changed. Refresh the table and try again.";
constexpr const char* kDeleteNotLocated =
    "The row could not be located, so nothing was deleted. Refresh the table and try again.";
constexpr const char* kUpdateAmbiguous =
    "The row could not be told apart from other rows with the same values, so nothing was changed.";
constexpr const char* kDeleteAmbiguous =
    "The row could not be told apart from other rows with the same values, so nothing was deleted.";

// The WHERE clause that finds a row and the values its "?" parameters take, in order.
struct RowLocator {
  std::string condition;
  std::vector<CellValue> parameters;
  // True when the condition compares every column's value and may match identical rows.
  bool mayMatchSeveral = false;
};
}  // namespace

struct SQLiteDriver::Impl::Edit {
  static RowLocator locate(SQLiteDriver& driver, const std::string& table, const DataRow& row) {
    RowLocator locator;
    if (row.rowid) {
      if (std::optional<std::string> alias = rowidAlias(driver, table)) {
        locator.condition = *alias + " = ?";
        locator.parameters.push_back(CellValue::integer(*row.rowid));
        return locator;
      }
    }
    const std::vector<DataColumn> schema = driver.fetchSchema(table);
    bool hasPrimaryKey = false;
    for (const DataColumn& column : schema) {
      if (!column.isPrimaryKey) continue;
      if (hasPrimaryKey) locator.condition += " AND ";
      locator.condition += quoteIdentifier(column.name) + " = ?";
      locator.parameters.push_back(row[column.index]);
      hasPrimaryKey = true;
    }
    if (hasPrimaryKey) return locator;

    locator.mayMatchSeveral = true;
    for (const DataColumn& column : schema) {
      if (!locator.condition.empty()) locator.condition += " AND ";
      CellValue value = row[column.index];
      if (value.isNull()) {
        locator.condition += quoteIdentifier(column.name) + " IS NULL";
      } else {
        locator.condition += quoteIdentifier(column.name) + " = ?";
        locator.parameters.push_back(std::move(value));
      }
    }
    // A table with no columns in its schema (it does not exist): nothing can match.
    // (assign, not = "0", which GCC 12 misreads as an overlapping copy: -Wrestrict)
    if (locator.condition.empty()) locator.condition.assign(1, '0');
    return locator;
  }

  // Runs an UPDATE or DELETE that must change exactly one row. When the row is found only
  // by its values, identical rows would all be changed; that is undone and refused.
  static void runLocated(SQLiteDriver& driver, const std::string& sql, const std::vector<CellValue>& parameters,
                         const RowLocator& locator, const char* notLocated, const char* ambiguous) {
    sqlite3* db = connection(driver);
    SQLiteStatement statement;
    if (statement.prepare(db, sql) != SQLITE_OK || !statement) failWithSQLite(db, -1);
    int index = 1;
    for (const CellValue& value : parameters) bindCellValue(statement.get(), index++, value);
    for (const CellValue& value : locator.parameters) bindCellValue(statement.get(), index++, value);

    if (locator.mayMatchSeveral) driver.executeRawSQL("SAVEPOINT tabvora_edit;");
    int rc = sqlite3_step(statement.get());
    const int changed = sqlite3_changes(db);
    if (rc != SQLITE_DONE) {
      std::string message = sqlite3_errmsg(db);
      statement.finalize();
      if (locator.mayMatchSeveral) rollBack(db);
      fail(rc, message);
    }
    statement.finalize();
    if (locator.mayMatchSeveral) {
      if (changed > 1) {
        rollBack(db);
        fail(-1, ambiguous);
      }
      driver.executeRawSQL("RELEASE tabvora_edit;");
    }
    if (changed == 0) fail(-1, notLocated);
  }

  static void rollBack(sqlite3* db) {
    sqlite3_exec(db, "ROLLBACK TO tabvora_edit; RELEASE tabvora_edit;", nullptr, nullptr, nullptr);
  }
};

void SQLiteDriver::updateCell(const std::string& tableName, const DataRow& row, const DataColumn& column,
                              const CellValue& newValue) {
  std::lock_guard guard(lock_);
  forgetPages();  // a changed value may change what a filter keeps, or a sort's order
  Impl::connection(*this);
  const RowLocator locator = Impl::Edit::locate(*this, tableName, row);
  const std::string sql = "UPDATE " + quoteIdentifier(tableName) + " SET " + quoteIdentifier(column.name) +
                          " = ? WHERE " + locator.condition + ";";
  Impl::Edit::runLocated(*this, sql, {newValue}, locator, kUpdateNotLocated, kUpdateAmbiguous);
}

void SQLiteDriver::deleteRow(const std::string& tableName, const DataRow& row) {
  std::lock_guard guard(lock_);
  forgetPages();
  Impl::connection(*this);
  const RowLocator locator = Impl::Edit::locate(*this, tableName, row);
  const std::string sql = "DELETE FROM " + quoteIdentifier(tableName) + " WHERE " + locator.condition + ";";
  Impl::Edit::runLocated(*this, sql, {}, locator, kDeleteNotLocated, kDeleteAmbiguous);
}

void SQLiteDriver::insertRow(const std::string& tableName, const ColumnValues& values) {
  std::lock_guard guard(lock_);
  forgetPages();
  sqlite3* db = Impl::connection(*this);
  std::string sql = "INSERT INTO " + quoteIdentifier(tableName);
  if (values.empty()) {
    // A row of defaults; "() VALUES ()" is not SQL.
    sql += " DEFAULT VALUES;";
  } else {
    std::string columns;
    std::string placeholders;
    for (const auto& [name, value] : values) {
      if (!columns.empty()) {
        columns += ", ";
        placeholders += ", ";
      }
      columns += quoteIdentifier(name);
      placeholders += "?";
    }
    sql += " (" + columns + ") VALUES (" + placeholders + ");";
  }
  SQLiteStatement statement;
  if (statement.prepare(db, sql) != SQLITE_OK || !statement) Impl::failWithSQLite(db, -1);
  int index = 1;
  for (const auto& entry : values) bindCellValue(statement.get(), index++, entry.second);
  int rc = sqlite3_step(statement.get());
  if (rc != SQLITE_DONE) Impl::failWithSQLite(db, rc);
}

}  // namespace tabvora::internal
