#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "drivers/sqlite/staging_driver.hpp"

namespace tabvora::internal {

// What the drivers of both workbook forms share: each stages the worksheets that have
// cells as tables, lists them in workbook order, reports the format xlsx, and never writes
// a workbook back (saveChanges fails with -2 in the driver's own error domain).
//
// A sheet that cannot be read (its part cannot be extracted or is no worksheet XML) is not
// dropped: it stays listed as a table without columns or rows, and reading it
// (fetchSchema, fetchTableData, getDDL of it) fails with DriverError(domain, -1, its
// reason). Each such sheet, and each sheet of which only the first rows could be read, is
// also told in warnings().
class WorkbookDriver : public StagingDriver {
 public:
  DatabaseFormat format() const override { return DatabaseFormat::xlsx; }
  // The sheets in workbook order, as listed at open, unread ones included.
  std::vector<TableMetadata> fetchTables() override { return sheetTables_; }
  std::vector<DataColumn> fetchSchema(const std::string& tableName) override;
  DataTable fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit = std::nullopt,
                           std::optional<std::int64_t> offset = std::nullopt,
                           std::optional<std::string> sortColumn = std::nullopt, bool ascending = true,
                           std::optional<std::string> filter = std::nullopt) override;
  DataTable fetchFirstFilteredRows(const std::string& tableName, std::int64_t limit,
                                   const std::string& filter) override;
  std::optional<std::string> getDDL(std::optional<std::string> tableName) override;
  void saveChanges() override;
  void close() noexcept override;

  // Present when the open is for a preview (previews set limits::kPreviewRows): the open then has the
  // smaller memory budget, workbook_limits::kPreviewBudgetBytes, instead of one in proportion
  // to the file's size (workbook_limits::fullBudgetBytes), and the XLSX driver stages only
  // this many rows of each sheet below its header row (see XLSXDriver).
  std::optional<std::int64_t> previewRowLimit;
  // Replaces the budget previewRowLimit chooses (tests lower it).
  std::optional<std::int64_t> memoryBudgetBytes;
  // Replaces the least budget of a full open, the preview's (tests lower it).
  std::optional<std::int64_t> leastFullBudgetBytes;

  // What the last open could not read, one sentence each, in workbook order; close
  // forgets them.
  std::vector<std::string> warnings() const override { return warnings_; }
  // The reason a listed table could not be read; nothing for a staged one.
  std::optional<std::string> unreadableReason(const std::string& tableName) const override;

 protected:
  // The preview's row limit, which selects its budget, comes from the options.
  void takeOptions(const OpenOptions& options) override { previewRowLimit = options.previewRowLimit; }
  explicit WorkbookDriver(const char* errorDomain) : errorDomain_(errorDomain) {}
  // Forgets the last open and remembers `url` as the file being opened.
  void beginOpen(const std::filesystem::path& url);
  // Bytes the open may take to read and stage the workbook (the file being opened), and
  // whether they were set in proportion to the file's size.
  std::int64_t budgetBytes() const;
  bool budgetSizedByFile() const;
  // Records that `table` (listed) could not be read, for `reason`.
  void recordUnread(const std::string& table, const std::string& reason);
  void warn(const std::string& warning) { warnings_.push_back(warning); }
  // Keeps `tables` as the sheets and answers open with them.
  DatabaseMetadata finishOpen(const std::filesystem::path& url, std::vector<TableMetadata> tables);

 private:
  void refuseUnread(const std::string& tableName) const;

  const char* errorDomain_;
  std::vector<TableMetadata> sheetTables_;
  std::map<std::string, std::string> unreadTables_;  // table name -> reason
  std::vector<std::string> warnings_;
};

}  // namespace tabvora::internal
