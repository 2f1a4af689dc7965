#pragma once

#include "model/database_driver.hpp"
#include "preview/driver_choice.hpp"

namespace tabvora {

// Stands in for a format driver this build does not contain (workbooks, Parquet, SQL
// scripts), so that every file still gets a driver. Every operation fails with code -1
// under the intended driver's name as domain, with a message naming the format; close
// does nothing.
class UnsupportedFormatDriver final : public DatabaseDriver {
 public:
  explicit UnsupportedFormatDriver(DriverKind intended);

  DriverKind intendedKind() const { return intended_; }
  // The user-visible text of every failure.
  std::string message() const;

  DatabaseFormat format() const override;
  std::optional<std::filesystem::path> currentURL() const override { return std::nullopt; }

  DatabaseMetadata open(const std::filesystem::path& url) override;
  std::vector<TableMetadata> fetchTables() override;
  std::vector<DataColumn> fetchSchema(const std::string& tableName) override;
  DataTable query(const std::string& sql, std::optional<std::int64_t> limit = std::nullopt,
                  std::optional<std::int64_t> offset = std::nullopt) override;
  DataTable fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit = std::nullopt,
                           std::optional<std::int64_t> offset = std::nullopt,
                           std::optional<std::string> sortColumn = std::nullopt, bool ascending = true,
                           std::optional<std::string> filter = std::nullopt) override;
  std::optional<std::string> getDDL(std::optional<std::string> tableName) override;
  void updateCell(const std::string& tableName, const DataRow& row, const DataColumn& column,
                  const CellValue& newValue) override;
  void deleteRow(const std::string& tableName, const DataRow& row) override;
  void insertRow(const std::string& tableName, const ColumnValues& values) override;
  void saveChanges() override;
  void close() noexcept override {}

 private:
  [[noreturn]] void fail() const;

  DriverKind intended_;
};

}  // namespace tabvora
