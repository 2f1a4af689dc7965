#include "preview/unsupported_format_driver.hpp"

#include <string>

#include "model/driver_error.hpp"

namespace tabvora {

UnsupportedFormatDriver::UnsupportedFormatDriver(DriverKind intended) : intended_(intended) {}

std::string UnsupportedFormatDriver::message() const {
  switch (intended_) {
    case DriverKind::xlsx: return "Excel workbooks (XLSX) are not supported by this build yet";
    case DriverKind::xls: return "Legacy Excel workbooks (XLS) are not supported by this build yet";
    case DriverKind::parquet: return "Parquet files are not supported by this build yet";
    case DriverKind::sqlScript: return "SQL scripts and dumps are not supported by this build yet";
    default: break;
  }
  return std::string(driverName(intended_)) + " is not available in this build";
}

DatabaseFormat UnsupportedFormatDriver::format() const {
  switch (intended_) {
    case DriverKind::xlsx:
    case DriverKind::xls: return DatabaseFormat::xlsx;
    case DriverKind::parquet: return DatabaseFormat::parquet;
    case DriverKind::sqlScript: return DatabaseFormat::sql;
    default: return DatabaseFormat::unknown;
  }
}

void UnsupportedFormatDriver::fail() const {
  throw DriverError(std::string(driverName(intended_)), -1, message());
}

DatabaseMetadata UnsupportedFormatDriver::open(const std::filesystem::path&) { fail(); }
std::vector<TableMetadata> UnsupportedFormatDriver::fetchTables() { fail(); }
std::vector<DataColumn> UnsupportedFormatDriver::fetchSchema(const std::string&) { fail(); }
DataTable UnsupportedFormatDriver::query(const std::string&, std::optional<std::int64_t>,
                                         std::optional<std::int64_t>) {
  fail();
}
DataTable UnsupportedFormatDriver::fetchTableData(const std::string&, std::optional<std::int64_t>,
                                                  std::optional<std::int64_t>, std::optional<std::string>, bool,
                                                  std::optional<std::string>) {
  fail();
}
std::optional<std::string> UnsupportedFormatDriver::getDDL(std::optional<std::string>) { fail(); }
void UnsupportedFormatDriver::updateCell(const std::string&, const DataRow&, const DataColumn&, const CellValue&) {
  fail();
}
void UnsupportedFormatDriver::deleteRow(const std::string&, const DataRow&) { fail(); }
void UnsupportedFormatDriver::insertRow(const std::string&, const ColumnValues&) { fail(); }
void UnsupportedFormatDriver::saveChanges() { fail(); }

}  // namespace tabvora
