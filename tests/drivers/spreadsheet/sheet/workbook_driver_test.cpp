// What the XLSX and XLS drivers share, said once for both over workbooks built here: a
// shared string counts each time a cell names it, and nothing is ever written back. How
// sheets become tables (safe unique names, typed columns) and empty files are refused is
// in the golden corpus (tests/data/spreadsheet/sheet_names.*, refused.cases).
#include <gtest/gtest.h>

#include <memory>

#include "drivers/spreadsheet/sheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xls/xls_driver.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_driver.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::errorOf;
using testing::readFile;
using testing::TestSheets;

struct WorkbookForm {
  const char* name;
  const char* extension;
  std::string (*book)(const TestSheets&, const std::vector<std::string>&);
  std::unique_ptr<WorkbookDriver> (*driver)();
  const char* domain;
};

const WorkbookForm kForms[] = {
    {"XLSX", ".xlsx", testing::xlsxBook, []() -> std::unique_ptr<WorkbookDriver> { return std::make_unique<XLSXDriver>(); },
     "XLSXDriver"},
    {"XLS", ".xls", testing::xlsBook, []() -> std::unique_ptr<WorkbookDriver> { return std::make_unique<XLSDriver>(); },
     "XLSDriver"},
};

class WorkbookDriverTest : public ::testing::TestWithParam<WorkbookForm> {
 protected:
  std::filesystem::path write(const TestSheets& sheets, const std::vector<std::string>& shared = {}) {
    return dir.write(std::string("book") + GetParam().extension, GetParam().book(sheets, shared));
  }
  testing::TempDir dir;
  std::unique_ptr<WorkbookDriver> driver = GetParam().driver();
};

TEST_P(WorkbookDriverTest, AnEditIsNeverSavedBack) {
  const std::filesystem::path path = write({{"S", {{"a"}, {"#1"}}}});
  const std::string before = readFile(path);
  driver->open(path);
  driver->updateCell("S", driver->fetchTableData("S", 1, 0).rows.at(0), driver->fetchSchema("S").at(0),
                     CellValue::integer(9));
  const DriverError refusal = errorOf([&] { driver->saveChanges(); });
  EXPECT_EQ(refusal.domain(), GetParam().domain);
  EXPECT_EQ(refusal.code(), -2);
  EXPECT_EQ(refusal.message(),
            "Saving back to Excel files is not supported. Use Export to write your changes to CSV, JSON or SQL.");
  EXPECT_EQ(readFile(path), before);
}

// 100 cells naming an 8,000-character string fit in 1 MB, 200 do not.
TEST_P(WorkbookDriverTest, ASharedStringCountsEachTimeACellNamesIt) {
  driver->memoryBudgetBytes = 1 << 20;
  for (const int cells : {100, 200}) {
    testing::CellRows rows = {{"h"}};
    rows.resize(cells + 1, {"@0"});
    const std::filesystem::path path = write({{"S", rows}}, {std::string(8000, 'x')});
    if (cells == 100)
      EXPECT_EQ(driver->open(path).tables.at(0).rowCount, 100);
    else
      EXPECT_EQ(errorOf([&] { driver->open(path); }).message(),
                "The workbook needs more than 1 MB of memory to stage (sheet \"S\")");
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, WorkbookDriverTest, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tabvora::internal
