#include "drivers/spreadsheet/sheet/workbook_driver.hpp"

#include <mutex>

#include "drivers/spreadsheet/sheet/workbook_limits.hpp"
#include "model/driver_error.hpp"
#include "platform/file_probe.hpp"

namespace tabvora::internal {

void WorkbookDriver::beginOpen(const std::filesystem::path& url) {
  close();
  currentURL_ = url;
}

std::int64_t WorkbookDriver::budgetBytes() const {
  if (memoryBudgetBytes) return *memoryBudgetBytes;
  if (previewRowLimit) return workbook_limits::kPreviewBudgetBytes;
  return workbook_limits::fullBudgetBytes(currentURL_ ? FileProbe::of(*currentURL_).size : 0,
                                          leastFullBudgetBytes.value_or(workbook_limits::kPreviewBudgetBytes));
}

bool WorkbookDriver::budgetSizedByFile() const {
  return !memoryBudgetBytes && !previewRowLimit && budgetBytes() < workbook_limits::kFullBudgetBytes;
}

void WorkbookDriver::recordUnread(const std::string& table, const std::string& reason) {
  unreadTables_.insert_or_assign(table, reason);
  warnings_.push_back(reason);
}

std::optional<std::string> WorkbookDriver::unreadableReason(const std::string& tableName) const {
  const auto unread = unreadTables_.find(tableName);
  return unread == unreadTables_.end() ? std::nullopt : std::optional<std::string>(unread->second);
}

void WorkbookDriver::refuseUnread(const std::string& tableName) const {
  if (const auto unread = unreadTables_.find(tableName); unread != unreadTables_.end())
    throw DriverError(errorDomain_, -1, unread->second);
}

std::vector<DataColumn> WorkbookDriver::fetchSchema(const std::string& tableName) {
  refuseUnread(tableName);
  return StagingDriver::fetchSchema(tableName);
}

DataTable WorkbookDriver::fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit,
                                         std::optional<std::int64_t> offset, std::optional<std::string> sortColumn,
                                         bool ascending, std::optional<std::string> filter) {
  refuseUnread(tableName);
  return StagingDriver::fetchTableData(tableName, limit, offset, std::move(sortColumn), ascending, std::move(filter));
}

DataTable WorkbookDriver::fetchFirstFilteredRows(const std::string& tableName, std::int64_t limit,
                                                 const std::string& filter) {
  refuseUnread(tableName);
  return StagingDriver::fetchFirstFilteredRows(tableName, limit, filter);
}

std::optional<std::string> WorkbookDriver::getDDL(std::optional<std::string> tableName) {
  if (tableName) refuseUnread(*tableName);
  return StagingDriver::getDDL(std::move(tableName));
}

DatabaseMetadata WorkbookDriver::finishOpen(const std::filesystem::path& url, std::vector<TableMetadata> tables) {
  sheetTables_ = tables;
  DatabaseMetadata metadata;
  metadata.name = url.filename().string();
  metadata.format = DatabaseFormat::xlsx;
  metadata.fileURL = url;
  metadata.fileSize = FileProbe::of(url).size;
  metadata.tables = std::move(tables);
  std::lock_guard guard(internalSQLite.mutex());
  metadata.schemaDDL = internalSQLite.getDDL(std::nullopt);
  return metadata;
}

void WorkbookDriver::saveChanges() {
  throw DriverError(errorDomain_, -2,
                    "Saving back to Excel files is not supported. Use Export to write your changes to CSV, JSON or "
                    "SQL.");
}

void WorkbookDriver::close() noexcept {
  internalSQLite.close();
  sheetTables_.clear();
  unreadTables_.clear();
  warnings_.clear();
}

}  // namespace tabvora::internal
