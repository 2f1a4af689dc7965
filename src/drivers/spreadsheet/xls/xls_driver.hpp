#pragma once

#include "drivers/spreadsheet/sheet/workbook_driver.hpp"

namespace tabvora::internal {

// Driver for legacy Excel workbooks (.xls): a BIFF5/7 or BIFF8 record stream, named
// "Workbook" (or "Book" in BIFF5), inside an OLE2 compound file. open reads the whole file
// and stages each worksheet that has cells as one table (see SheetStaging): columns whose
// data cells all show dates are DATETIME, and numbers are bound as numbers. Reads and edits
// are then answered by the staging database; the workbook is never written back. Metadata
// reports the format xlsx, the one workbook format there is.
// Errors have the domain "XLSDriver": -1 when the file cannot be read, is no workbook, is
// damaged, too old or encrypted; -2 for every saveChanges.
class XLSDriver final : public WorkbookDriver {
 public:
  XLSDriver();
  ~XLSDriver() override;

  DatabaseMetadata open(const std::filesystem::path& url) override;
};

}  // namespace tabvora::internal
