#pragma once

#include <filesystem>
#include <vector>

#include "drivers/sqlite/staging_driver.hpp"

namespace tabvora {

// What the drivers of both workbook forms share: each stages the worksheets that have
// cells as tables, lists them in workbook order, reports the format xlsx, and never writes
// a workbook back (saveChanges fails with -2 in the driver's own error domain).
class WorkbookDriver : public StagingDriver {
 public:
  DatabaseFormat format() const override { return DatabaseFormat::xlsx; }
  // The staged sheets in workbook order, as listed at open.
  std::vector<TableMetadata> fetchTables() override { return sheetTables_; }
  void saveChanges() override;
  void close() noexcept override;

 protected:
  explicit WorkbookDriver(const char* errorDomain) : errorDomain_(errorDomain) {}
  // Forgets the last open and remembers `url` as the file being opened.
  void beginOpen(const std::filesystem::path& url);
  // Keeps `tables` as the staged sheets and answers open with them.
  DatabaseMetadata finishOpen(const std::filesystem::path& url, std::vector<TableMetadata> tables);

 private:
  const char* errorDomain_;
  std::vector<TableMetadata> sheetTables_;
};

}  // namespace tabvora
