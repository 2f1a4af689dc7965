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
#include <string>
#include <vector>

#include "drivers/spreadsheet/sheet/sheet_grid.hpp"
#include "drivers/spreadsheet/sheet/sheet_staging.hpp"
#include "drivers/spreadsheet/sheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xls/xls_driver.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_driver.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"
#include "platform/limits.hpp"
#include "platform/unicode_text.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using Rows = std::vector<std::vector<std::string>>;

TEST(SheetGrid, RowsReadBackAsBuiltWithReferencesResolvedOnceTheTableIsKnown) {
  const std::vector<std::string> table = {"alpha", "beta"};
  SheetGrid grid;
  SheetGrid::RowBuilder row;
  EXPECT_FALSE(grid.append(row)) << "a row without cells";

  row.setText(2, "c");
  row.setText(0, "a");
  row.setText(2, "replaced");
  row.setSharedString(3, "1");
  EXPECT_EQ(row.width(), 4u);
  EXPECT_EQ(row.textBytes(), 9) << "references count once resolved";
  ASSERT_TRUE(grid.append(row));
  row.clear();
  // Index texts as the file gives them: parsed whole, in range or kept as written.
  for (const char* index : {"0", "+1", "01", "2", "-1", " 1", "", "99999999999999999999"})
    row.setSharedString(row.width(), index);
  ASSERT_TRUE(grid.append(row));
  row.clear();
  row.setText(1, "");
  ASSERT_TRUE(grid.append(row));

  EXPECT_EQ(grid.toStrings(), (Rows{{"a", "", "replaced", "1"},
                                    {"0", "+1", "01", "2", "-1", " 1", "", "99999999999999999999"},
                                    {"", ""}}));
  grid.resolveSharedStrings(table);
  EXPECT_EQ(grid.toStrings(), (Rows{{"a", "", "replaced", "beta"},
                                    {"alpha", "beta", "beta", "2", "-1", " 1", "", "99999999999999999999"},
                                    {"", ""}}));
  EXPECT_EQ(grid.cell(0, 9), "");
  EXPECT_EQ(grid.maxWidth(), 8u);
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

TEST(SheetGrid, KeepsTheRowsThatFitATextBudget) {
  const std::vector<std::string> table = {"0123456789"};
  SheetGrid grid;
  SheetGrid::RowBuilder row;
  row.setText(0, "abc");
  grid.append(row);
  row.setSharedString(3, "0");
  grid.append(row);
  row.clear();
  row.setText(0, "d");
  grid.append(row);
  grid.resolveSharedStrings(table);

  const struct {
    std::int64_t budget;
    std::size_t rows;
  } cases[] = {{17, 3}, {16, 2}, {15, 1}, {3, 1}, {2, 0}};
  for (const auto& c : cases) EXPECT_EQ(grid.rowsWithinTextBytes(c.budget), c.rows) << c.budget;
  grid.truncate(1);
  EXPECT_EQ(grid.toStrings(), Rows{{"abc"}});
  EXPECT_EQ(grid.maxWidth(), 1u);
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
  // The reference binds each text as text, after the trimming and NUL removal staging does.
  database.executeRawSQL("CREATE TABLE reference (i INTEGER, r REAL);");
  database.withPreparedStatement("INSERT INTO reference VALUES (?, ?);", [&](sqlite3_stmt* insert) {
    for (const std::string& text : texts) {
      std::string bound;
      for (const char c : text)
        if (c != '\0') bound += c;
      if (!trimWhitespace(bound).empty()) bound = std::string(trimWhitespace(bound));
      for (int parameter = 1; parameter <= 2; ++parameter)
        sqlite3_bind_text(insert, parameter, bound.data(), static_cast<int>(bound.size()), SQLITE_TRANSIENT);
      database.stepAndReset(insert);
    }
  });

  database.withPreparedStatement(
      "SELECT s.rowid, typeof(s.i), typeof(r.i), s.i IS r.i, typeof(s.r), typeof(r.r), s.r IS r.r "
      "FROM staged s JOIN reference r ON r.rowid = s.rowid ORDER BY s.rowid;",
      [&](sqlite3_stmt* select) {
        std::size_t rows = 0;
        while (sqlite3_step(select) == SQLITE_ROW) {
          const std::string& text = texts.at(static_cast<std::size_t>(sqlite3_column_int64(select, 0)) - 1);
          auto column = [&](int i) {
            return std::string(reinterpret_cast<const char*>(sqlite3_column_text(select, i)));
          };
          EXPECT_EQ(column(1), column(2)) << "INTEGER column, " << text;
          EXPECT_EQ(sqlite3_column_int(select, 3), 1) << "INTEGER column, " << text;
          EXPECT_EQ(column(4), column(5)) << "REAL column, " << text;
          EXPECT_EQ(sqlite3_column_int(select, 6), 1) << "REAL column, " << text;
          ++rows;
        }
        EXPECT_EQ(rows, texts.size());
      });
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
  database.withPreparedStatement(
      "SELECT count(*) FROM wide WHERE c0 = rowid * 10000 AND c1099 = rowid * 10000 + 1099 AND c550 = c0 + 550;",
      [](sqlite3_stmt* count) {
        ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int64(count, 0), static_cast<std::int64_t>(kRows));
      });
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
