// The XLSX driver over real workbooks and packages built by the tests: sheets become
// tables, dates and booleans read as text, broken or hostile packages are refused.
#include <gtest/gtest.h>

#include "drivers/spreadsheet/xlsx_driver.hpp"
#include "drivers/spreadsheet/zip_test_archive.hpp"
#include "drivers/spreadsheet/workbook_test_support.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::errorOf;
using testing::readFile;
using testing::TempDir;
using testing::testData;
using testing::rowTexts;
using testing::tableNames;
using testing::writeFile;
using testing::ZipTestArchive;

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

std::string workbookXML(const std::vector<std::pair<std::string, std::string>>& sheets, const std::string& extra = "") {
  std::string xml = std::string("<workbook xmlns=\"") + kMain +
                    "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" + extra +
                    "<sheets>";
  for (const auto& [name, rId] : sheets) xml += "<sheet name=\"" + name + "\" sheetId=\"1\" r:id=\"" + rId + "\"/>";
  return xml + "</sheets></workbook>";
}

// A worksheet from rows of inline-string cells ("" leaves the cell out, "#n" writes the number n).
std::string sheetXML(const std::vector<std::vector<std::string>>& rows) {
  std::string xml = std::string("<worksheet xmlns=\"") + kMain + "\"><sheetData>";
  for (const auto& row : rows) {
    xml += "<row>";
    for (std::size_t i = 0; i < row.size(); ++i) {
      const std::string ref = std::string(1, static_cast<char>('A' + i)) + "1";
      if (row[i].empty()) continue;
      if (row[i][0] == '#') xml += "<c r=\"" + ref + "\"><v>" + row[i].substr(1) + "</v></c>";
      else xml += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + row[i] + "</t></is></c>";
    }
    xml += "</row>";
  }
  return xml + "</sheetData></worksheet>";
}

class XLSXDriverTest : public ::testing::Test {
 protected:
  std::filesystem::path write(const ZipTestArchive& archive, const std::string& name = "book.xlsx") {
    writeFile(dir / name, archive.bytes());
    return dir / name;
  }

  TempDir dir;
  XLSXDriver driver;
};

TEST_F(XLSXDriverTest, RealWorkbooksFromLibreOfficeAndGnumeric) {
  for (const char* producer : {"spreadsheet/libreoffice.xlsx", "spreadsheet/gnumeric.xlsx"}) {
    SCOPED_TRACE(producer);
    const DatabaseMetadata metadata = driver.open(testData(producer));
    // The empty sheet is not staged; colliding and numeric names are made unique and safe.
    EXPECT_EQ(tableNames(metadata), testing::kCorpusTables);
    const TableMetadata& sales = metadata.tables.at(0);
    EXPECT_EQ(sales.type, TableType::sheet);
    EXPECT_EQ(sales.rowCount, 30);
    EXPECT_EQ(sales.columnCount, 10);
    std::vector<std::string> columns;
    for (const DataColumn& column : driver.fetchSchema("Sales_2024")) columns.push_back(column.name);
    EXPECT_EQ(columns, (std::vector<std::string>{"Region", "Product", "Units", "Unit Price", "Revenue", "Order Date",
                                                 "Shipped", "Ship Time", "Status", "Updated"}));
    EXPECT_EQ(rowTexts(driver, "Sales_2024"), testing::kCorpusFirstSale);
    EXPECT_EQ(rowTexts(driver, "Sales_2024", 29), testing::kCorpusLastSale);
    // Rows without cells leave no gap; missing cells are NULL.
    EXPECT_EQ(metadata.tables.at(4).rowCount, 2);
    EXPECT_EQ(driver.query("SELECT count(*) FROM Long_Text WHERE length(\"" +
                           driver.fetchSchema("Long_Text").at(1).name + "\") >= 3000")
                  .rows.at(0)[0],
              CellValue::integer(8));
    driver.close();
  }
}

TEST_F(XLSXDriverTest, InlineStringsOfAStreamingWriter) {
  const DatabaseMetadata metadata = driver.open(testData("spreadsheet/xlsxwriter_inline_6000.xlsx"));
  ASSERT_EQ(tableNames(metadata), std::vector<std::string>{"Rows"});
  EXPECT_EQ(metadata.tables[0].rowCount, 6000);
  EXPECT_EQ(rowTexts(driver, "Rows"), (std::vector<std::string>{"1", "item-1", "0.125", "2023-01-02"}));
  EXPECT_EQ(rowTexts(driver, "Rows", 5999), (std::vector<std::string>{"6000", "item-6000", "750.0", "2023-06-10"}));
  EXPECT_EQ(driver.fetchSchema("Rows").at(0).type, ColumnType::integer);
}

TEST_F(XLSXDriverTest, SheetAndColumnNamesTypesAndShapes) {
  ZipTestArchive archive;
  archive.stored("xl/workbook.xml", workbookXML({{"Sales 2024", "rId1"}, {"sales-2024", "rId2"},
                                                 {"sqlite_stats", "rId3"}, {"%%", "rId4"}}));
  archive.stored("xl/_rels/workbook.xml.rels",
                 "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/a.xml\"/>"
                 "<Relationship Id=\"rId2\" Target=\"/xl/worksheets/b.xml\"/>"
                 "<Relationship Id=\"rId3\" Target=\"worksheets/c.xml\"/>"
                 "<Relationship Id=\"rId4\" Target=\"worksheets/d.xml\"/></Relationships>");
  archive.deflated("xl/worksheets/a.xml", sheetXML({{"Name", " name ", "", "flag"}, {"x", "#1", "#2.5", "TRUE"},
                                                    {"y", "", "#3", "FALSE"}}));
  archive.stored("xl/worksheets/b.xml", sheetXML({{"only", "header"}}));
  archive.stored("xl/worksheets/c.xml", sheetXML({{"a"}, {"#1"}}));
  archive.stored("xl/worksheets/d.xml", sheetXML({{"a", "", "c"}, {"1", "", "3"}}));
  const std::filesystem::path path = write(archive);
  const std::string before = readFile(path);

  const DatabaseMetadata metadata = driver.open(path);
  EXPECT_EQ(tableNames(metadata),
            (std::vector<std::string>{"Sales_2024", "sales_2024_2", "Sheet_sqlite_stats", "Sheet_"}));
  std::vector<std::pair<std::string, ColumnType>> columns;
  for (const DataColumn& column : driver.fetchSchema("Sales_2024")) columns.emplace_back(column.name, column.type);
  EXPECT_EQ(columns, (std::vector<std::pair<std::string, ColumnType>>{{"Name", ColumnType::text},
                                                                      {"name_1", ColumnType::integer},
                                                                      {"col_3", ColumnType::real},
                                                                      {"flag", ColumnType::text}}));
  EXPECT_EQ(rowTexts(driver, "Sales_2024", 1), (std::vector<std::string>{"y", "NULL", "3.0", "FALSE"}));
  EXPECT_EQ(metadata.tables[1].rowCount, 0) << "a header alone is a table without rows";
  EXPECT_EQ(rowTexts(driver, "Sheet_"), (std::vector<std::string>{"1", "NULL", "3"}));

  driver.updateCell("Sheet_", driver.fetchTableData("Sheet_", 1, 0).rows.at(0),
                    driver.fetchSchema("Sheet_").at(0), CellValue::integer(9));
  const DriverError refusal = errorOf([&] { driver.saveChanges(); });
  EXPECT_EQ(refusal.code(), -2);
  EXPECT_STREQ(refusal.what(),
               "Saving back to Excel files is not supported. Use Export to write your changes to CSV, JSON or SQL.");
  EXPECT_EQ(readFile(path), before);
}

TEST_F(XLSXDriverTest, AWorkbookWithoutSheetElementsReadsTheFirstSheetPart) {
  ZipTestArchive archive;
  archive.stored("xl/workbook.xml", std::string("<workbook xmlns=\"") + kMain + "\"><sheets/></workbook>");
  archive.stored("xl/worksheets/sheet1.xml", sheetXML({{"a"}, {"#7"}}));
  EXPECT_EQ(tableNames(driver.open(write(archive))), std::vector<std::string>{"Sheet1"});
}

TEST_F(XLSXDriverTest, BrokenAndHostilePackagesAreRefusedOrSkipped) {
  const std::string billionLaughs = testing::entityBombPrologue("worksheet") +
                                    "]><worksheet><sheetData><row><c t=\"inlineStr\"><is><t>&l9;</t></is></c></row>"
                                    "</sheetData></worksheet>";
  ZipTestArchive hostile;
  hostile.stored("xl/workbook.xml", workbookXML({{"laughs", "rId1"}, {"bomb", "rId2"}, {"fine", "rId3"}}));
  hostile.stored("xl/worksheets/sheet1.xml", billionLaughs);
  hostile.deflated("xl/worksheets/sheet2.xml", "x").last().uncompressedSize = 2'000'000'000;
  hostile.stored("xl/worksheets/sheet3.xml", sheetXML({{"a"}, {"#1"}}));
  EXPECT_EQ(tableNames(driver.open(write(hostile))), std::vector<std::string>{"fine"});

  const std::pair<std::string, std::string> refused[] = {
      {readFile(testData("preview/truncated_half.xlsx")), "Failed to decompress XLSX archive"},
      {"", "Failed to decompress XLSX archive"},
      {ZipTestArchive().stored("word/document.xml", "<w/>").bytes(), "Invalid XLSX workbook structure"},
      {ZipTestArchive().stored("xl/workbook.xml", "<workbook><sheets>").bytes(), "Invalid XLSX workbook structure"},
  };
  for (const auto& [bytes, message] : refused) {
    writeFile(dir / "bad.xlsx", bytes);
    const DriverError error = errorOf([&] { driver.open(dir / "bad.xlsx"); });
    EXPECT_EQ(error.domain(), "XLSXDriver");
    EXPECT_STREQ(error.what(), message.c_str());
  }
}

TEST_F(XLSXDriverTest, TheLargestSheetsExcelAllowsAreReadOrRefusedClearly) {
  // 1,048,576 rows of one cell: every row is staged.
  std::string tall = std::string("<worksheet xmlns=\"") + kMain + "\"><sheetData>";
  tall.reserve(30u << 20);
  for (int row = 0; row < 1'048'576; ++row) tall += "<row><c><v>1</v></c></row>";
  tall += "</sheetData></worksheet>";
  ZipTestArchive tallBook;
  tallBook.stored("xl/workbook.xml", workbookXML({{"tall", "rId1"}}));
  tallBook.stored("xl/worksheets/sheet1.xml", tall);
  EXPECT_EQ(driver.open(write(tallBook, "tall.xlsx")).tables.at(0).rowCount, 1'048'575);
  driver.close();

  // 16,384 columns are more than a staged table can have: the open fails, saying why.
  std::string wide = std::string("<worksheet xmlns=\"") + kMain + "\"><sheetData><row>";
  for (int column = 0; column < 16'384; ++column) wide += "<c><v>" + std::to_string(column) + "</v></c>";
  wide += "</row></sheetData></worksheet>";
  ZipTestArchive wideBook;
  wideBook.stored("xl/workbook.xml", workbookXML({{"wide", "rId1"}}));
  wideBook.deflated("xl/worksheets/sheet1.xml", wide);
  const DriverError error = errorOf([&] { driver.open(write(wideBook, "wide.xlsx")); });
  EXPECT_STREQ(error.what(), "The sheet \"wide\" has 16384 columns, more than the 2000 a table can hold");
}

}  // namespace
}  // namespace tabvora
