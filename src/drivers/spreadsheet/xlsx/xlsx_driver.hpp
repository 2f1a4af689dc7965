#pragma once

#include <string>
#include <vector>

#include "drivers/spreadsheet/sheet/workbook_driver.hpp"

namespace tabvora::internal {

class SheetStaging;

// Driver for Excel workbooks in the XLSX form, a ZIP package of XML parts. open reads the
// package, the shared strings, the date styles, the sheet list and every worksheet, and
// stages each sheet that has cells as one table (see SheetStaging); reads and edits are
// then answered by the staging database. The workbook is never written back. A worksheet's
// part is inflated a chunk at a time into its reader, never held whole.
// With previewRowLimit, each worksheet is read only as far as its header row and that many
// rows below it: its part is inflated a chunk at a time and no further, the columns and
// their types are those of the rows staged, and a table with rows left unread has
// rowCountIsLowerBound. A damaged part shows only when the rows read reach the damage.
// Errors have the domain "XLSXDriver": -1 when the package or its workbook part cannot be
// read or the workbook needs more memory than its budget, -2 for every saveChanges. A sheet
// whose part cannot be extracted or parsed stays listed and fails when read (see
// WorkbookDriver).
class XLSXDriver final : public WorkbookDriver {
 public:
  XLSXDriver();
  ~XLSXDriver() override;

  DatabaseMetadata open(const std::filesystem::path& url) override;

 private:
  void listUnread(SheetStaging& staging, std::vector<TableMetadata>& tables, const std::string& sheetName,
                  const std::string& reason);
};

}  // namespace tabvora::internal
