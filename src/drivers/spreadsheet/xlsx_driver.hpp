#pragma once

#include "drivers/spreadsheet/workbook_driver.hpp"

namespace tabvora {

// Driver for Excel workbooks in the XLSX form, a ZIP package of XML parts. open reads the
// package, the shared strings, the date styles, the sheet list and every worksheet, and
// stages each sheet that has cells as one table (see SheetStaging); reads and edits are
// then answered by the staging database. The workbook is never written back.
// Errors have the domain "XLSXDriver": -1 when the package or its workbook part cannot be
// read, -2 for every saveChanges.
class XLSXDriver final : public WorkbookDriver {
 public:
  XLSXDriver();
  ~XLSXDriver() override;

  DatabaseMetadata open(const std::filesystem::path& url) override;
};

}  // namespace tabvora
