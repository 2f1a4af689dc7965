// Staging a grid: what numeric columns store must be exactly what SQLite stores for the
// same text bound as text, however the staging binds it.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "drivers/spreadsheet/sheet/sheet_grid.hpp"
#include "drivers/spreadsheet/sheet/sheet_staging.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"
#include "platform/limits.hpp"
#include "platform/unicode_text.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

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

}  // namespace
}  // namespace tabvora::internal
