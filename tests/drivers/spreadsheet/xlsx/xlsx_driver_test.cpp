// The XLSX driver over packages built by the tests: hostile packages and parts refused,
// and the memory and size bounds. What both workbook drivers share is in sheet_test.cpp;
// real workbooks, sheet parts found through the relationships and broken packages are in
// the golden corpus (tests/data/spreadsheet).
#include <gtest/gtest.h>

#include "drivers/spreadsheet/sheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_driver.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::errorOf;
using testing::rowTexts;
using testing::sheetXML;
using testing::tableNames;
using testing::workbookXML;
using testing::ZipTestArchive;

class XLSXDriverTest : public ::testing::Test {
 protected:
  std::filesystem::path write(const ZipTestArchive& archive, const std::string& name = "book.xlsx") {
    return dir.write(name, archive.bytes());
  }

  testing::TempDir dir;
  XLSXDriver driver;
};

TEST_F(XLSXDriverTest, ASheetThatCannotBeReadStaysListedAndFailsWithItsReason) {
  ZipTestArchive archive;
  archive.stored("xl/workbook.xml", workbookXML({{"fine", "rId1"}, {"bzip", "rId2"}, {"lies", "rId3"}, {"locked", "rId4"},
                                                 {"laughs", "rId5"}, {"garbage", "rId6"}, {"gone", "rId7"},
                                                 {"cut", "rId8"}}));
  archive.stored("xl/worksheets/sheet1.xml", sheetXML({{"a"}, {"#1"}}));
  archive.stored("xl/worksheets/sheet2.xml", sheetXML({{"a"}})).last().method = 12;
  archive.deflated("xl/worksheets/sheet3.xml", "x").last().uncompressedSize = 2'000'000'000;
  archive.stored("xl/worksheets/sheet4.xml", sheetXML({{"a"}})).last().flags = 1;
  archive.stored("xl/worksheets/sheet5.xml", testing::entityBombPrologue("worksheet") +
                                                 "]><worksheet><sheetData><row><c t=\"inlineStr\"><is><t>&l9;</t>"
                                                 "</is></c></row></sheetData></worksheet>");
  archive.stored("xl/worksheets/sheet6.xml", "no XML at all");
  const std::string whole = sheetXML({{"a"}, {"#1"}, {"#2"}});
  archive.stored("xl/worksheets/sheet8.xml", whole.substr(0, whole.find("<v>2")));
  const DatabaseMetadata metadata = driver.open(write(archive));
  EXPECT_EQ(tableNames(metadata),
            (std::vector<std::string>{"fine", "bzip", "lies", "locked", "laughs", "garbage", "gone", "cut"}));
  EXPECT_EQ(driver.fetchTables(), metadata.tables);

  const std::string reasons[] = {
      "The sheet \"bzip\" cannot be read: its part xl/worksheets/sheet2.xml is compressed with method 12, which is not "
      "supported",
      "The sheet \"lies\" cannot be read: its part xl/worksheets/sheet3.xml does not inflate to its recorded size (the "
      "package is damaged)",
      "The sheet \"locked\" cannot be read: its part xl/worksheets/sheet4.xml is encrypted",
      "The sheet \"laughs\" cannot be read: its part xl/worksheets/sheet5.xml holds a document type declaration, which "
      "no worksheet has",
      "The sheet \"garbage\" cannot be read: its part xl/worksheets/sheet6.xml is not well-formed worksheet XML",
      "The sheet \"gone\" cannot be read: its part xl/worksheets/sheet7.xml is missing from the package",
  };
  for (std::size_t i = 0; i < std::size(reasons); ++i) {
    const std::string& table = metadata.tables.at(i + 1).name;
    EXPECT_EQ(errorOf([&] { driver.fetchTableData(table, 50, 0); }).message(), reasons[i]);
    EXPECT_EQ(errorOf([&] { driver.fetchSchema(table); }).domain(), "XLSXDriver");
  }
  // A part that breaks off keeps the rows before the break, and says so.
  EXPECT_EQ(metadata.tables.back().rowCount, 1);
  std::vector<std::string> warnings(std::begin(reasons), std::end(reasons));
  warnings.push_back("The sheet \"cut\" shows only its first 2 rows: its part xl/worksheets/sheet8.xml is not "
                     "well-formed worksheet XML");
  EXPECT_EQ(driver.warnings(), warnings);
  EXPECT_EQ(rowTexts(driver, "fine"), std::vector<std::string>{"1"});

  // The command line lists every sheet and names on standard error what it could not read;
  // a file none of whose sheets can be read fails, and its preview is the error page.
  const testing::CommandResult tables = testing::runTabvora({"tables", write(archive).string()});
  EXPECT_EQ(tables.exitStatus, 0) << tables.err;
  EXPECT_TRUE(testing::contains(tables.out, "gone\tSheet\t")) << tables.out;
  EXPECT_TRUE(testing::contains(tables.err, reasons[5])) << tables.err;
  ZipTestArchive unreadable;
  unreadable.stored("xl/workbook.xml", workbookXML({{"gone", "rId1"}}));
  const std::filesystem::path gone = write(unreadable, "gone.xlsx");
  EXPECT_EQ(testing::runTabvora({"tables", gone.string()}).exitStatus, 1);
  const std::string page = testing::runTabvora({"preview", gone.string()}).out;
  EXPECT_TRUE(testing::contains(page, "Unable to preview") && testing::contains(page, "cannot be read: its part"))
      << page;

  // Shared strings that are there but cannot be extracted fail the open: every text cell
  // would be wrong without them.
  archive.stored("xl/sharedStrings.xml", "<sst/>").last().method = 12;
  EXPECT_EQ(errorOf([&] { driver.open(write(archive)); }).message(),
            "The workbook's shared strings cannot be read: its part xl/sharedStrings.xml is compressed with method 12, "
            "which is not supported");
}

TEST_F(XLSXDriverTest, AmplifyingWorkbooksRunOutOfTheirMemoryBudget) {
  // One shared string named by many cells counts each time it is staged: the 200 cells of
  // a preview naming a 2 MB string need more than its 256 MB.
  testing::CellRows refs = {{"@1"}};
  refs.resize(301, {"@0"});
  const std::string amplified = testing::xlsxBook({{"refs", refs}}, {std::string(2 << 20, 's'), "h"});
  driver.previewRowLimit = 200;
  EXPECT_EQ(errorOf([&] { driver.open(dir.write("refs.xlsx", amplified)); }).message(),
            "The workbook needs more than 256 MB of memory to stage (sheet \"refs\")");
  driver.previewRowLimit.reset();

  // Twenty sheets of one part count together: a 1 MB budget holds the staged rows of two
  // sheets of 300 KB, not three.
  driver.memoryBudgetBytes = 1 << 20;
  std::vector<std::pair<std::string, std::string>> sheets;
  std::string relationships = "<Relationships>";
  for (int k = 1; k <= 20; ++k) {
    sheets.emplace_back("s" + std::to_string(k), "rId" + std::to_string(k));
    relationships += "<Relationship Id=\"rId" + std::to_string(k) + "\" Target=\"worksheets/one.xml\"/>";
  }
  ZipTestArchive shared;
  shared.stored("xl/workbook.xml", workbookXML(sheets));
  shared.stored("xl/_rels/workbook.xml.rels", relationships + "</Relationships>");
  shared.deflated("xl/worksheets/one.xml", sheetXML({{"h"}, {std::string(300'000, 'x')}}));
  EXPECT_EQ(errorOf([&] { driver.open(write(shared)); }).message(),
            "The workbook needs more than 1 MB of memory to stage (sheet \"s3\")");

  // A workbook part of more sheets than can be staged, or a part larger than any workbook
  // needs, is refused before any sheet is read; at the limits, the open goes on (the
  // sheets' parts are missing, and a styles part whose size lies is no styles part).
  std::string many;
  for (int k = 0; k < 1024; ++k) many += "<sheet/>";
  ZipTestArchive listing;
  listing.stored("xl/workbook.xml", "<workbook><sheets>" + many + "</sheets></workbook>");
  EXPECT_EQ(driver.open(write(listing)).tables.size(), 1024u);
  listing = ZipTestArchive().stored("xl/workbook.xml", "<workbook><sheets><sheet/>" + many + "</sheets></workbook>");
  EXPECT_EQ(errorOf([&] { driver.open(write(listing)); }).message(),
            "The workbook lists more than 1024 sheets, more than can be staged");
  for (const std::uint32_t size : {64u << 20, (64u << 20) + 1}) {
    ZipTestArchive styled;
    styled.stored("xl/workbook.xml", workbookXML({{"a", "rId1"}}));
    styled.deflated("xl/styles.xml", "x").last().uncompressedSize = size;
    if (size == 64u << 20)
      EXPECT_EQ(tableNames(driver.open(write(styled))), std::vector<std::string>{"a"});
    else
      EXPECT_EQ(errorOf([&] { driver.open(write(styled)); }).message(),
                "The part xl/styles.xml of the workbook is larger than 64 MB, more than a workbook needs");
  }
}

// Rows 1..count of an id, a label and a number, under a header row.
testing::CellRows numberedRows(int count) {
  testing::CellRows rows = {{"id", "label", "v"}};
  for (int i = 1; i <= count; ++i) rows.push_back({"#" + std::to_string(i), "item-" + std::to_string(i), "#" + std::to_string(i)});
  return rows;
}

TEST_F(XLSXDriverTest, APreviewStagesTheFirstRowsOfEachSheetWithTheirColumns) {
  // Past the first 200 rows, a text in a number column and a fourth column, which only a
  // full open sees.
  testing::CellRows big = numberedRows(1000);
  big[300][2] = "text";
  big[500].push_back("#1");
  const std::filesystem::path path =
      dir.write("book.xlsx", testing::xlsxBook({{"big", big}, {"exact", numberedRows(200)}}));
  driver.previewRowLimit = 200;
  DatabaseMetadata metadata = driver.open(path);
  EXPECT_EQ(metadata.tables.at(0).rowCount, 200);
  EXPECT_TRUE(metadata.tables.at(0).rowCountIsLowerBound);
  EXPECT_EQ(testing::schemaLines(driver, "big"), (std::vector<std::string>{"id INTEGER", "label TEXT", "v INTEGER"}));
  EXPECT_EQ(rowTexts(driver, "big", 199), (std::vector<std::string>{"200", "item-200", "200"}));
  EXPECT_EQ(metadata.tables.at(1).rowCount, 200);
  EXPECT_FALSE(metadata.tables.at(1).rowCountIsLowerBound) << "no row is left after the 200th";
  const testing::CommandResult page = testing::runTabvora({"preview", "--text", path.string()});
  EXPECT_TRUE(testing::contains(page.out, "200+")) << page.out;

  driver.previewRowLimit.reset();
  metadata = driver.open(path);
  EXPECT_EQ(metadata.tables.at(0).rowCount, 1000);
  EXPECT_FALSE(metadata.tables.at(0).rowCountIsLowerBound);
  EXPECT_EQ(testing::schemaLines(driver, "big"),
            (std::vector<std::string>{"id INTEGER", "label TEXT", "v TEXT", "col_4 INTEGER"}));

  // Only a chunk of a part is held: a 1 MB budget previews a sheet whose part is larger,
  // which a full open cannot inflate; the preview reads no more of the parts together than
  // the budget holds to find their rows.
  driver.memoryBudgetBytes = 1 << 20;
  const std::string tall = sheetXML(numberedRows(40'000));
  ASSERT_GT(tall.size(), 1u << 20);
  ZipTestArchive archive;
  archive.stored("xl/workbook.xml", workbookXML({{"tall", "rId1"}}));
  archive.deflated("xl/worksheets/sheet1.xml", tall);
  EXPECT_EQ(errorOf([&] { driver.open(write(archive)); }).message(),
            "The workbook needs more than 1 MB of memory to stage (sheet \"tall\")");
  driver.previewRowLimit = 200;
  EXPECT_EQ(driver.open(write(archive)).tables.at(0).rowCount, 200);
  const std::string padded = tall.substr(0, tall.find("<row>")) + std::string(1 << 20, ' ') + tall.substr(tall.find("<row>"));
  archive = ZipTestArchive().stored("xl/workbook.xml", workbookXML({{"padded", "rId1"}}));
  archive.deflated("xl/worksheets/sheet1.xml", padded);
  EXPECT_EQ(errorOf([&] { driver.open(write(archive)); }).message(),
            "The workbook needs more than 1 MB of memory to stage (sheet \"padded\")");
  const std::string half = tall.substr(0, tall.find("<row>")) + std::string(600'000, ' ') + tall.substr(tall.find("<row>"));
  archive = ZipTestArchive().stored("xl/workbook.xml", workbookXML({{"first", "rId1"}, {"second", "rId2"}}));
  archive.deflated("xl/worksheets/sheet1.xml", half).deflated("xl/worksheets/sheet2.xml", half);
  EXPECT_EQ(errorOf([&] { driver.open(write(archive)); }).message(),
            "The workbook needs more than 1 MB of memory to stage (sheet \"second\")");
}

TEST_F(XLSXDriverTest, APreviewFailsOnDamageWithinWhatItReads) {
  const std::string small = sheetXML({{"a"}, {"#1"}, {"#2"}});
  ZipTestArchive archive;
  archive.stored("xl/workbook.xml", workbookXML({{"cut", "rId1"}, {"lies", "rId2"}, {"checksum", "rId3"}, {"late", "rId4"}}));
  archive.deflated("xl/worksheets/sheet1.xml", small).last().bytes.resize(ZipTestArchive::deflate(small).size() / 2);
  archive.deflated("xl/worksheets/sheet2.xml", small).last().uncompressedSize += 5;
  archive.deflated("xl/worksheets/sheet3.xml", small).last().crc ^= 1;
  // More than a chunk: the first holds the rows a preview reads.
  archive.deflated("xl/worksheets/sheet4.xml", sheetXML(numberedRows(6000))).last().crc ^= 1;
  const std::string damaged = " (the package is damaged)";
  const std::vector<std::string> reasons = {
      "The sheet \"cut\" cannot be read: its part xl/worksheets/sheet1.xml does not inflate to its recorded size" + damaged,
      "The sheet \"lies\" cannot be read: its part xl/worksheets/sheet2.xml does not inflate to its recorded size" + damaged,
      "The sheet \"checksum\" cannot be read: its part xl/worksheets/sheet3.xml does not match its recorded checksum" +
          damaged};
  driver.previewRowLimit = 200;
  const DatabaseMetadata preview = driver.open(write(archive));
  EXPECT_EQ(driver.warnings(), reasons);
  EXPECT_EQ(errorOf([&] { driver.fetchTableData("checksum", 50, 0); }).message(), reasons[2]);
  EXPECT_EQ(preview.tables.at(3).rowCount, 200) << "the damage lies past the rows a preview reads";

  driver.previewRowLimit.reset();
  driver.open(write(archive));
  EXPECT_EQ(driver.warnings().back(),
            "The sheet \"late\" cannot be read: its part xl/worksheets/sheet4.xml does not match its recorded checksum" +
                damaged);
}

TEST_F(XLSXDriverTest, TheLargestSheetsExcelAllowsAreReadOrRefusedClearly) {
  // 1,048,576 rows of one cell: every row is staged.
  std::string tall = std::string("<worksheet xmlns=\"") + testing::kSpreadsheetML + "\"><sheetData>";
  tall.reserve(30u << 20);
  for (int row = 0; row < 1'048'576; ++row) tall += "<row><c><v>1</v></c></row>";
  tall += "</sheetData></worksheet>";
  ZipTestArchive tallBook;
  tallBook.stored("xl/workbook.xml", workbookXML({{"tall", "rId1"}}));
  tallBook.stored("xl/worksheets/sheet1.xml", tall);
  EXPECT_EQ(driver.open(write(tallBook, "tall.xlsx")).tables.at(0).rowCount, 1'048'575);
  driver.close();

  // 16,384 columns are more than a staged table can have: the open fails, saying why.
  std::string wide = std::string("<worksheet xmlns=\"") + testing::kSpreadsheetML + "\"><sheetData><row>";
  for (int column = 0; column < 16'384; ++column) wide += "<c><v>" + std::to_string(column) + "</v></c>";
  wide += "</row></sheetData></worksheet>";
  ZipTestArchive wideBook;
  wideBook.stored("xl/workbook.xml", workbookXML({{"wide", "rId1"}}));
  wideBook.deflated("xl/worksheets/sheet1.xml", wide);
  const DriverError error = errorOf([&] { driver.open(write(wideBook, "wide.xlsx")); });
  EXPECT_STREQ(error.what(), "The sheet \"wide\" has 16384 columns, more than the 2000 a table can hold");
}

}  // namespace
}  // namespace tabvora::internal
