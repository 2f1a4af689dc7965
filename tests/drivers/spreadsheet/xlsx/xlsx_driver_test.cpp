// The XLSX driver's bounds, over workbooks of tests/data/spreadsheet (made by make_files.py;
// those in limits/ are opened only here, with budgets of their own): memory and size bounds,
// what a preview stages, and damage within what it reads. What both workbook drivers share
// is in sheet_test.cpp; what the workbooks read as is in the golden corpus.
#include <gtest/gtest.h>

#include "drivers/spreadsheet/xlsx/xlsx_driver.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::errorOf;
using testing::rowTexts;
using testing::tableNames;

std::filesystem::path book(const std::string& name) { return testing::testData("spreadsheet/" + name); }

class XLSXDriverTest : public ::testing::Test {
 protected:
  std::string openError(const std::string& name) { return errorOf([&] { driver.open(book(name)); }).message(); }
  XLSXDriver driver;
};

// What each sheet of unreadable_sheets.xlsx cannot be read for (a method not supported, a
// size that lies, encryption, a document type, no XML, a missing part, a part that breaks
// off) is in its .expected text, as is unreadable_shared_strings.xlsx failing the open; the
// command line's handling is in cases/workbooks.test. Each reason is the driver's error.
TEST_F(XLSXDriverTest, ASheetThatCannotBeReadStaysListedAndFailsWithItsReason) {
  const DatabaseMetadata metadata = driver.open(book("unreadable_sheets.xlsx"));
  EXPECT_EQ(driver.fetchTables(), metadata.tables);
  ASSERT_EQ(metadata.tables.size(), 8u);
  for (std::size_t i = 1; i < 7; ++i) {
    const std::string& table = metadata.tables[i].name;
    EXPECT_EQ(errorOf([&] { driver.fetchTableData(table, 50, 0); }).message(), driver.warnings().at(i - 1));
    EXPECT_EQ(errorOf([&] { driver.fetchSchema(table); }).domain(), "XLSXDriver");
  }
}

TEST_F(XLSXDriverTest, AmplifyingWorkbooksRunOutOfTheirMemoryBudget) {
  // One shared string named by many cells counts each time it is staged: the 200 cells of
  // a preview naming a 2 MB string need more than its 256 MB.
  driver.previewRowLimit = 200;
  EXPECT_EQ(openError("limits/amplified_string.xlsx"),
            "The workbook needs more than 256 MB of memory to stage (sheet \"refs\")");
  driver.previewRowLimit.reset();

  // A full open may take 256 bytes for each byte of the file: the 1 MB that 50 cells naming
  // a string of 20,000 characters stage pass the least budget given to a package of 809
  // bytes, and fit that of the same package beside 16 KB that do not compress (4 MB).
  driver.leastFullBudgetBytes = 512 << 10;
  EXPECT_EQ(openError("limits/amplified_small.xlsx"),
            "The workbook needs more than 524288 bytes of memory to stage (sheet \"refs\"): it asks for far more "
            "memory than its size suggests");
  EXPECT_EQ(driver.open(book("limits/amplified_padded.xlsx")).tables.at(0).rowCount, 50);
  driver.leastFullBudgetBytes.reset();

  // Twenty sheets of one part count together: a 1 MB budget holds the staged rows of two
  // sheets of 300 KB, not three.
  driver.memoryBudgetBytes = 1 << 20;
  EXPECT_EQ(openError("limits/one_part_twenty_sheets.xlsx"),
            "The workbook needs more than 1 MB of memory to stage (sheet \"s3\")");

  // A workbook part of more sheets than can be staged, or a part larger than any workbook
  // needs, is refused before any sheet is read; at the limits, the open goes on (the
  // sheets' parts are missing, and a styles part whose size lies is no styles part).
  EXPECT_EQ(driver.open(book("limits/sheets_1024.xlsx")).tables.size(), 1024u);
  EXPECT_EQ(openError("limits/sheets_1025.xlsx"), "The workbook lists more than 1024 sheets, more than can be staged");
  EXPECT_EQ(tableNames(driver.open(book("limits/styles_67108864.xlsx"))), std::vector<std::string>{"a"});
  EXPECT_EQ(openError("limits/styles_67108865.xlsx"),
            "The part xl/styles.xml of the workbook is larger than 64 MB, more than a workbook needs");
}

// The full open of preview_rows.xlsx, which sees what lies past the first 200 rows, is in
// the golden corpus; the command line's "200+" in cases/workbooks.test.
TEST_F(XLSXDriverTest, APreviewStagesTheFirstRowsOfEachSheetWithTheirColumns) {
  driver.previewRowLimit = 200;
  const DatabaseMetadata metadata = driver.open(book("preview_rows.xlsx"));
  EXPECT_EQ(metadata.tables.at(0).rowCount, 200);
  EXPECT_TRUE(metadata.tables.at(0).rowCountIsLowerBound);
  EXPECT_EQ(testing::schemaLines(driver, "big"), (std::vector<std::string>{"id INTEGER", "label TEXT", "v INTEGER"}));
  EXPECT_EQ(rowTexts(driver, "big", 199), (std::vector<std::string>{"200", "item-200", "200"}));
  EXPECT_EQ(metadata.tables.at(1).rowCount, 200);
  EXPECT_FALSE(metadata.tables.at(1).rowCountIsLowerBound) << "no row is left after the 200th";
  driver.previewRowLimit.reset();

  // Only a chunk of a part is held: a 1 MB budget previews a sheet whose part is larger,
  // which a full open cannot inflate; the preview reads no more of the parts together than
  // the budget holds to find their rows.
  driver.memoryBudgetBytes = 1 << 20;
  const std::string kNeeds = "The workbook needs more than 1 MB of memory to stage (sheet ";
  EXPECT_EQ(openError("limits/tall_part.xlsx"), kNeeds + "\"tall\")");
  driver.previewRowLimit = 200;
  EXPECT_EQ(driver.open(book("limits/tall_part.xlsx")).tables.at(0).rowCount, 200);
  EXPECT_EQ(openError("limits/padded_part.xlsx"), kNeeds + "\"padded\")");
  EXPECT_EQ(openError("limits/two_halves_part.xlsx"), kNeeds + "\"second\")");
}

TEST_F(XLSXDriverTest, APreviewFailsOnDamageWithinWhatItReads) {
  const std::string damaged = " (the package is damaged)";
  const std::vector<std::string> reasons = {
      "The sheet \"cut\" cannot be read: its part xl/worksheets/sheet1.xml does not inflate to its recorded size" + damaged,
      "The sheet \"lies\" cannot be read: its part xl/worksheets/sheet2.xml does not inflate to its recorded size" + damaged,
      "The sheet \"checksum\" cannot be read: its part xl/worksheets/sheet3.xml does not match its recorded checksum" +
          damaged};
  driver.previewRowLimit = 200;
  const DatabaseMetadata preview = driver.open(book("limits/damaged_parts.xlsx"));
  EXPECT_EQ(driver.warnings(), reasons);
  EXPECT_EQ(errorOf([&] { driver.fetchTableData("checksum", 50, 0); }).message(), reasons[2]);
  EXPECT_EQ(preview.tables.at(3).rowCount, 200) << "the damage lies past the rows a preview reads";

  driver.previewRowLimit.reset();
  driver.open(book("limits/damaged_parts.xlsx"));
  EXPECT_EQ(driver.warnings().back(),
            "The sheet \"late\" cannot be read: its part xl/worksheets/sheet4.xml does not match its recorded checksum" +
                damaged);
}

// The largest sheets Excel allows (excel_most_rows.xlsx, excel_most_columns.xlsx) are
// golden corpus files.

}  // namespace
}  // namespace tabvora::internal
