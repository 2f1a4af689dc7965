#include "drivers/spreadsheet/xls/xls_driver.hpp"

#include <mutex>

#include "drivers/spreadsheet/xls/biff_workbook.hpp"
#include "drivers/spreadsheet/ole2/compound_file.hpp"
#include "drivers/spreadsheet/sheet/sheet_staging.hpp"
#include "model/driver_error.hpp"
#include "platform/file_reader.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kDomain = "XLSDriver";

ByteBuffer readWorkbookFile(const std::filesystem::path& url) {
  try {
    return FileReader(url).readAll();
  } catch (const FileReadError& error) {
    if (error.reason() == FileReadError::Reason::cannotOpen)
      throw DriverError(kDomain, -1, "Failed to read Excel workbook at " + url.string());
    throw DriverError(kDomain, -1, error.what());
  }
}

}  // namespace

XLSDriver::~XLSDriver() { close(); }

XLSDriver::XLSDriver() : WorkbookDriver(kDomain) {}

DatabaseMetadata XLSDriver::open(const std::filesystem::path& url) {
  beginOpen(url);

  std::optional<std::vector<std::uint8_t>> stream;
  {  // the file's bytes are released once the stream is out of them
    const ByteBuffer file = readWorkbookFile(url);
    const CompoundFile container(file.bytes());
    stream = container.stream("Workbook");
    if (!stream) stream = container.stream("Book");
    if (!stream) throw DriverError(kDomain, -1, "This file is an OLE2 document but contains no Excel workbook");
  }
  WorkbookBudget budget(budgetBytes(), kDomain, budgetSizedByFile());
  BIFFWorkbook workbook(*stream, &budget);
  workbook.parseGlobals();

  std::vector<TableMetadata> tables;
  {
    std::lock_guard guard(internalSQLite.mutex());
    internalSQLite.openInMemory();
    SheetStaging staging(internalSQLite, &budget);
    for (const BIFFWorkbook::Sheet& sheet : workbook.sheets()) {
      const BIFFWorkbook::SheetContents contents = workbook.parseSheet(sheet.offset, sheet.name);
      if (contents.grid.empty()) continue;
      std::vector<std::optional<ColumnType>> types(contents.width);
      for (std::size_t i = 0; i < contents.width; ++i)
        if (contents.dateColumns[i]) types[i] = ColumnType::date;
      tables.push_back(
          staging.stage(sheet.name, contents.grid, contents.width, types, SheetStaging::ValueBinding::columnType));
    }
  }
  return finishOpen(url, std::move(tables));
}

}  // namespace tabvora::internal
