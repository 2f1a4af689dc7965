// The compact grid (rows built cell by cell read back as set, shared-string references
// resolved once the table is known, rows larger than a block, trimming to a text budget),
// its staging (numeric columns store exactly what SQLite stores for the same text bound as
// text; wide rows; table limits), and what the XLSX and XLS drivers share, said once for
// both over workbooks built here: a shared string counts each time a cell names it, and
// nothing is ever written back. How sheets become tables (safe unique names, typed columns)
// and empty files are refused is in the golden corpus (tests/data/spreadsheet).
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/spreadsheet/sheet/sheet_grid.hpp"
#include "drivers/spreadsheet/sheet/sheet_staging.hpp"
#include "drivers/spreadsheet/sheet/workbook_limits.hpp"
#include "drivers/spreadsheet/xls/xls_driver.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_driver.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"
#include "platform/limits.hpp"
#include "platform/sql_quoting.hpp"
#include "platform/unicode_text.hpp"
#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {


TEST(SheetGrid, CasesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/spreadsheet/sheet/sheet_grid.cases")) {
    SheetGrid grid;
    std::vector<std::string> found, strings;
    for (const std::string& line : c.input) {
      SheetGrid::RowBuilder row;
      std::istringstream cells(line == "-" ? "" : line);
      for (std::string cell; std::getline(cells, cell, '|');) {
        const std::size_t at = cell.find_first_of("=@");
        (row.*(cell[at] == '=' ? &SheetGrid::RowBuilder::setText : &SheetGrid::RowBuilder::setSharedString))(
            std::stoul(cell.substr(0, at)), cell.substr(at + 1));
      }
      const std::string shape = std::to_string(row.width()) + " " + std::to_string(row.textBytes());
      found.push_back(grid.append(row) ? shape : "not kept");
    }
    const auto addRows = [&] {
      found.push_back("--");
      for (const std::vector<std::string>& row : grid.toStrings()) {
        std::string joined;
        for (std::size_t i = 0; i < row.size(); ++i) joined += (i ? "|" : "") + row[i];
        found.push_back(joined);
      }
    };
    addRows();
    std::size_t word = 1;
    for (; word < c.words.size() && c.words[word] != "within" && c.words[word] != "truncate"; ++word) strings.push_back(c.words[word]);
    grid.resolveSharedStrings(strings);
    addRows();
    found.push_back("width " + std::to_string(grid.maxWidth()) + ", past it \"" + std::string(grid.cell(0, grid.maxWidth())) + "\"");
    for (std::string mode; word < c.words.size(); ++word) {
      if (c.words[word] == "within" || c.words[word] == "truncate") mode = c.words[word];
      else if (mode == "within") found.push_back("within " + c.words[word] + ": " + std::to_string(grid.rowsWithinTextBytes(std::stoll(c.words[word]))));
      else grid.truncate(std::stoul(c.words[word])), addRows(), found.push_back("width " + std::to_string(grid.maxWidth()));
    }
    EXPECT_EQ(found, c.expected) << c.where;
  }
}

TEST(SheetGrid, RowsLargerThanABlockAndManyBlocks) {
  SheetGrid grid;
  SheetGrid::RowBuilder row;
  const std::string large(3 << 20, 'x');
  for (int i = 0; i < 40'000; ++i) {
    row.clear();
    row.setText(0, std::to_string(i) + std::string(200, '.'));
    if (i % 10'000 == 5) row.setText(1, large);
    ASSERT_TRUE(grid.append(row));
  }
  ASSERT_EQ(grid.rowCount(), 40'000u);
  for (const std::size_t i : {0, 5, 6, 19'999, 20'005, 39'999}) {
    EXPECT_EQ(grid.cell(i, 0), std::to_string(i) + std::string(200, '.'));
    EXPECT_EQ(grid.cell(i, 1), i % 10'000 == 5 ? large : "") << i;
  }
}

TEST(SheetStaging, NumericColumnsStoreWhatTheirTextWould) {
  const std::vector<std::string> texts = {
      "12", "-12", "0", "-0", "007", "-007", " 12 ", "\t7\t", "+5", "1.0", "1.5", "1e3", "1e-400", "1.5e400",
      "0x10", "5.", ".5", "12abc", "1 2", "-", "--1", "NaN", "inf", "999999999999999999", "-999999999999999999",
      "000000000000000001", "0000000000000000001", "1000000000000000000", "9223372036854775807",
      "-9223372036854775808", "9223372036854775808", "-9223372036854775809", "4503599627370497",
      "9007199254740993", "123456789012345679", "12\n", std::string("1\0" "2", 3), "\u00A05", "6\u2003",
      "\u20072.5", "\u00A0"};
  SheetGrid grid;
  SheetGrid::RowBuilder row;
  row.setText(0, "i");
  row.setText(1, "r");
  grid.append(row);
  for (const std::string& text : texts) {
    row.clear();
    row.setText(0, text);
    row.setText(1, text);
    grid.append(row);
  }

  SQLiteDriver database;
  database.openInMemory();
  SheetStaging(database).stage("staged", grid, 2, {ColumnType::integer, ColumnType::real});
  // The reference inserts each text as text, after the trimming and NUL removal staging does;
  // a row whose types or values differ names its text.
  database.executeRawSQL("CREATE TABLE reference (i INTEGER, r REAL);");
  for (const std::string& text : texts) {
    std::string bound;
    for (const char c : text)
      if (c != '\0') bound += c;
    if (!trimWhitespace(bound).empty()) bound = std::string(trimWhitespace(bound));
    database.executeRawSQL("INSERT INTO reference VALUES (" + sqlStringLiteral(bound) + ", " + sqlStringLiteral(bound) + ");");
  }
  EXPECT_EQ(database.query("SELECT count(*) FROM staged s JOIN reference r ON r.rowid = s.rowid").rows.at(0).values.at(0),
            CellValue::integer(static_cast<std::int64_t>(texts.size())));
  for (const DataRow& row : database.query("SELECT s.rowid FROM staged s JOIN reference r ON r.rowid = s.rowid WHERE "
                                           "typeof(s.i) <> typeof(r.i) OR s.i IS NOT r.i OR typeof(s.r) <> typeof(r.r) "
                                           "OR s.r IS NOT r.r").rows)
    ADD_FAILURE() << "staged unlike SQLite: " << ::testing::PrintToString(texts.at(row.values.at(0).integerValue() - 1));
}

TEST(SheetStaging, WideRowsGoInAsManyToAStatementAsParametersAllow) {
  constexpr std::size_t kColumns = 1100, kRows = 40;  // 29 rows to a statement, then 11 alone
  SheetGrid grid;
  SheetGrid::RowBuilder row;
  for (std::size_t r = 0; r <= kRows; ++r) {
    row.clear();
    for (std::size_t c = 0; c < kColumns; ++c)
      row.setText(c, r == 0 ? "c" + std::to_string(c) : std::to_string(r * 10'000 + c));
    grid.append(row);
  }
  SQLiteDriver database;
  database.openInMemory();
  database.withPreparedStatement("SELECT 1;", [](sqlite3_stmt* any) {
    sqlite3_limit(sqlite3_db_handle(any), SQLITE_LIMIT_VARIABLE_NUMBER, 32'766);
  });
  SheetStaging(database).stage("wide", grid, kColumns);
  EXPECT_EQ(database.query("SELECT count(*) FROM wide WHERE c0 = rowid * 10000 AND c1099 = rowid * 10000 + 1099 AND "
                           "c550 = c0 + 550").rows.at(0).values.at(0),
            CellValue::integer(kRows));
}

// Past either limit the staging is refused, naming it, and nothing more is staged.
TEST(SheetStaging, RefusesASheetWiderThanATableAndATableMoreThanAWorkbookHolds) {
  SheetGrid grid;
  SheetGrid::RowBuilder row;
  for (std::size_t c = 0; c <= limits::kMaxColumns; ++c) row.setText(c, "c" + std::to_string(c));
  grid.append(row);
  SQLiteDriver database;
  database.openInMemory();
  SheetStaging staging(database);
  auto refusal = [&](const std::string& name, std::size_t columns) {
    return testing::errorOf([&] { staging.stage(name, grid, columns); });
  };
  EXPECT_EQ(staging.stage("fits", grid, limits::kMaxColumns).columnCount, 2000);
  const DriverError tooWide = refusal("too wide", limits::kMaxColumns + 1);
  EXPECT_EQ(tooWide.domain(), "SQLiteDriver");
  EXPECT_STREQ(tooWide.what(), "The sheet \"too wide\" has 2001 columns, more than the 2000 a table can hold");
  EXPECT_EQ(database.fetchTables().size(), 1u);

  for (std::size_t i = 1; i < SheetStaging::kMaxTables; ++i) staging.stage("S", grid, 1);
  EXPECT_STREQ(refusal("S", 1).what(), "The workbook has more than 1024 sheets with cells, more than can be staged");
  EXPECT_EQ(database.fetchTables().size(), SheetStaging::kMaxTables);
}

using testing::errorOf;
using testing::readFile;

struct WorkbookForm {
  const char* name;
  const char* extension;
  std::unique_ptr<WorkbookDriver> (*driver)();
  const char* domain;
};

const WorkbookForm kForms[] = {
    {"XLSX", ".xlsx", []() -> std::unique_ptr<WorkbookDriver> { return std::make_unique<XLSXDriver>(); }, "XLSXDriver"},
    {"XLS", ".xls", []() -> std::unique_ptr<WorkbookDriver> { return std::make_unique<XLSDriver>(); }, "XLSDriver"},
};

// Workbooks of both forms (tests/data/spreadsheet/make_files.py): one sheet "S" whose
// header "h" is followed by `cells` cells naming one shared string of 8,000 characters.
class WorkbookDriverTest : public ::testing::TestWithParam<WorkbookForm> {
 protected:
  static std::filesystem::path book(int cells) {
    return testing::testData("spreadsheet/repeated_string_" + std::to_string(cells) + GetParam().extension);
  }
  testing::TempDir dir;
  std::unique_ptr<WorkbookDriver> driver = GetParam().driver();
};

TEST_P(WorkbookDriverTest, AnEditIsNeverSavedBack) {
  const std::string before = readFile(book(100));
  const std::filesystem::path path = dir.write(std::string("book") + GetParam().extension, before);
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

// 100 cells naming the string fit in 1 MB, 200 do not.
TEST_P(WorkbookDriverTest, ASharedStringCountsEachTimeACellNamesIt) {
  driver->memoryBudgetBytes = 1 << 20;
  EXPECT_EQ(driver->open(book(100)).tables.at(0).rowCount, 100);
  EXPECT_EQ(errorOf([&] { driver->open(book(200)); }).message(),
            "The workbook needs more than 1 MB of memory to stage (sheet \"S\")");
}

// A full open's budget: 256 bytes for each byte of the file, in whole megabytes, from the
// preview's 256 MB (files up to 1 MB) to 2 GB (files from 8 MB on).
constexpr std::int64_t kMB = std::int64_t{1} << 20;
static_assert(workbook_limits::fullBudgetBytes(0) == 256 * kMB && workbook_limits::fullBudgetBytes(kMB) == 256 * kMB);
static_assert(workbook_limits::fullBudgetBytes(kMB + 4095) == 256 * kMB);
static_assert(workbook_limits::fullBudgetBytes(kMB + 4096) == 257 * kMB);
static_assert(workbook_limits::fullBudgetBytes(8 * kMB - 1) == 2047 * kMB);
static_assert(workbook_limits::fullBudgetBytes(8 * kMB) == 2048 * kMB && workbook_limits::fullBudgetBytes(kMB << 20) == 2048 * kMB);

INSTANTIATE_TEST_SUITE_P(Forms, WorkbookDriverTest, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tabvora::internal
