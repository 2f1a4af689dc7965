#pragma once

#include <mutex>

#include "drivers/sqlite/sqlite_driver.hpp"

namespace tabvora::internal {

// Base of every driver that parses its file once and stages the rows in a private
// in-memory SQLite database. The read and edit operations are answered by that database,
// each holding its lock (the row streams hold the engine's own); subclasses implement open,
// saveChanges and close.
class StagingDriver : public DatabaseDriver {
 public:
  std::optional<std::filesystem::path> currentURL() const override { return currentURL_; }

  std::vector<TableMetadata> fetchTables() override {
    std::lock_guard guard(internalSQLite.mutex());
    return internalSQLite.fetchTables();
  }
  std::vector<DataColumn> fetchSchema(const std::string& tableName) override {
    std::lock_guard guard(internalSQLite.mutex());
    return internalSQLite.fetchSchema(tableName);
  }
  DataTable query(const std::string& sql, std::optional<std::int64_t> limit = std::nullopt,
                  std::optional<std::int64_t> offset = std::nullopt) override {
    std::lock_guard guard(internalSQLite.mutex());
    return internalSQLite.query(sql, limit, offset);
  }
  DataTable fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit = std::nullopt,
                           std::optional<std::int64_t> offset = std::nullopt,
                           std::optional<std::string> sortColumn = std::nullopt, bool ascending = true,
                           std::optional<std::string> filter = std::nullopt) override {
    std::lock_guard guard(internalSQLite.mutex());
    return internalSQLite.fetchTableData(tableName, limit, offset, std::move(sortColumn), ascending, std::move(filter));
  }
  DataTable fetchFirstFilteredRows(const std::string& tableName, std::int64_t limit,
                                   const std::string& filter) override {
    std::lock_guard guard(internalSQLite.mutex());
    return internalSQLite.fetchFirstFilteredRows(tableName, limit, filter);
  }
  std::optional<std::string> getDDL(std::optional<std::string> tableName) override {
    std::lock_guard guard(internalSQLite.mutex());
    return internalSQLite.getDDL(std::move(tableName));
  }
  void updateCell(const std::string& tableName, const DataRow& row, const DataColumn& column,
                  const CellValue& newValue) override {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.updateCell(tableName, row, column, newValue);
  }
  void deleteRow(const std::string& tableName, const DataRow& row) override {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.deleteRow(tableName, row);
  }
  void insertRow(const std::string& tableName, const ColumnValues& values) override {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.insertRow(tableName, values);
  }

  void streamRows(const std::string& sql, const std::vector<CellValue>& parameters, std::int64_t pageRows,
                  const std::function<bool(const DataTable& page)>& body) override {
    internalSQLite.streamRows(sql, parameters, pageRows, body);
  }
  void forEachRow(const std::string& sql, const std::vector<CellValue>& parameters,
                  const std::function<bool(const RowView& row)>& body) override {
    internalSQLite.forEachRow(sql, parameters, body);
  }

 protected:
  // The staging database: created closed with the driver, emptied by every open. Only the
  // driver that stages into it reaches it.
  SQLiteDriver internalSQLite;
  std::optional<std::filesystem::path> currentURL_;
};

}  // namespace tabvora::internal
