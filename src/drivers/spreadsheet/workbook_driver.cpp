#include "drivers/spreadsheet/workbook_driver.hpp"

#include <mutex>

#include "model/driver_error.hpp"
#include "platform/file_probe.hpp"

namespace tabvora {

void WorkbookDriver::beginOpen(const std::filesystem::path& url) {
  internalSQLite.close();
  sheetTables_.clear();
  currentURL_ = url;
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
}

}  // namespace tabvora
