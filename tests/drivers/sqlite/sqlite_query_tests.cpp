#include <gtest/gtest.h>
#include <sqlite3.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"

namespace tabvora {
namespace {

class SQLiteQuery : public ::testing::Test {
 protected:
  void SetUp() override {
    driver_.openInMemory();
    driver_.executeRawSQL(
        "CREATE TABLE t(id INTEGER, amount NUMERIC, ratio DOUBLE, raw BLOB, ok BOOLEAN, note VARCHAR(9), any_);"
        "INSERT INTO t VALUES (1, 2.5, 0.5, x'00ff', 1, 'one', NULL),"
        "  ('text in int', 7, 1, x'', 0, NULL, 3.25), (3, NULL, NULL, NULL, NULL, 'three', 'x');");
  }
  SQLiteDriver driver_;
};

TEST_F(SQLiteQuery, ValuesFollowTheirStorageClassAndColumnsTheDeclaredType) {
  DataTable result = driver_.query("SELECT *, id + 1 AS next FROM t ORDER BY rowid");
  std::vector<ColumnType> types;
  for (const DataColumn& c : result.columns) types.push_back(c.type);
  // NUMERIC and VARCHAR show as text in a result, as does any expression.
  EXPECT_EQ(types, (std::vector<ColumnType>{ColumnType::integer, ColumnType::text, ColumnType::real, ColumnType::blob,
                                            ColumnType::boolean, ColumnType::text, ColumnType::text,
                                            ColumnType::text}));
  EXPECT_EQ(result.columns[7].name, "next");
  EXPECT_EQ(result.columns[7].index, 7);
  ASSERT_EQ(result.rows.size(), 3u);
  EXPECT_EQ(result.rows[0].values[0], CellValue::integer(1));
  EXPECT_EQ(result.rows[0].values[1], CellValue::real(2.5));
  EXPECT_EQ(result.rows[0].values[3], CellValue::blob({0x00, 0xff}));
  EXPECT_EQ(result.rows[0].values[6], CellValue::null());
  EXPECT_EQ(result.rows[1].values[0], CellValue::text("text in int"));
  EXPECT_EQ(result.rows[1].values[1], CellValue::integer(7));
  EXPECT_EQ(result.rows[1].values[2], CellValue::real(1.0)) << "a REAL column stores 1 as a float";
  EXPECT_EQ(result.rows[1].values[3], CellValue::blob({})) << "an empty blob is not NULL";
  EXPECT_EQ(result.rows[1].values[6], CellValue::real(3.25));
  EXPECT_EQ(result.rows[2].values[1], CellValue::null());
  EXPECT_EQ(result.rows[1].rowid, std::nullopt);
  EXPECT_EQ(result.rows[2].id, 2);
  EXPECT_EQ(result.name, "Query Result");
  EXPECT_EQ(result.totalRowCount, 3);
  EXPECT_GE(result.executionTimeMs, 0.0);

  DataTable embedded = driver_.query("SELECT 'a' || char(0) || 'b' AS s");
  EXPECT_EQ(embedded.rows.at(0).values.at(0).stringValue(), std::string("a\0b", 3));
}

TEST_F(SQLiteQuery, TheIdentityColumnFillsRowidsAndIsNotShown) {
  DataTable result = driver_.query("SELECT rowid AS __tabvora_rowid, note FROM t WHERE note IS NOT NULL");
  ASSERT_EQ(result.columns.size(), 1u);
  EXPECT_EQ(result.columns[0].index, 0);
  EXPECT_EQ(result.rows.at(1).rowid, 3);
  EXPECT_EQ(result.rows.at(1).values, std::vector<CellValue>{CellValue::text("three")});
  EXPECT_EQ(driver_.query("SELECT 'x' AS __tabvora_rowid").rows.at(0).rowid, std::nullopt)
      << "only an integer identity counts";
  EXPECT_EQ(driver_.query("SELECT 1 AS a, 2 AS __tabvora_rowid").columns.size(), 2u) << "only the first column";
}

TEST_F(SQLiteQuery, TheLimitIsPushedIntoTheSQLOnlyWhenTheColumnsCannotChange) {
  DataTable simple = driver_.query("SELECT id, note FROM t;;  ", 2);
  EXPECT_EQ(simple.query, "SELECT * FROM (\nSELECT id, note FROM t\n) LIMIT 2");
  EXPECT_EQ(simple.rows.size(), 2u);

  DataTable commented = driver_.query("SELECT id FROM t -- trailing remark", 1);
  EXPECT_EQ(commented.query, "SELECT * FROM (\nSELECT id FROM t -- trailing remark\n) LIMIT 1");
  EXPECT_EQ(commented.rows.size(), 1u);

  DataTable duplicate = driver_.query("SELECT id, id FROM t", 2);
  EXPECT_EQ(duplicate.query, "SELECT id, id FROM t");
  EXPECT_EQ(duplicate.rows.size(), 2u) << "stepping stops at the limit instead";
  EXPECT_EQ(duplicate.columns.at(1).name, "id");

  DataTable pragma = driver_.query("PRAGMA table_info(t)", 3);
  EXPECT_EQ(pragma.query, "PRAGMA table_info(t)");
  EXPECT_EQ(pragma.rows.size(), 3u);

  DataTable paged = driver_.query("SELECT id FROM t", 5, 1);
  EXPECT_EQ(paged.query, "SELECT id FROM t") << "an offset is stepped over, never wrapped";
  ASSERT_EQ(paged.rows.size(), 2u);
  EXPECT_EQ(paged.rows[0].id, 1);
  EXPECT_EQ(paged.rows[0].values[0], CellValue::text("text in int"));

  // Wrapping a statement that writes would hide its effect behind a SELECT.
  DataTable returning = driver_.query("INSERT INTO t(id) VALUES (9), (10) RETURNING id", 1);
  EXPECT_EQ(returning.query, "INSERT INTO t(id) VALUES (9), (10) RETURNING id");
  EXPECT_EQ(driver_.query("SELECT count(*) FROM t").rows.at(0).values.at(0), CellValue::integer(5));
}

TEST_F(SQLiteQuery, SeveralStatementsRunInTurnAndTheLastResultIsReturned) {
  DataTable result = driver_.query(
      "CREATE TABLE made(a); INSERT INTO made VALUES (1), (2); -- remark\n"
      "SELECT a FROM made; SELECT a * 10 AS b FROM made ORDER BY a DESC; /* closing comment */",
      1);
  ASSERT_EQ(result.columns.size(), 1u);
  EXPECT_EQ(result.columns[0].name, "b");
  EXPECT_EQ(result.query, "SELECT * FROM (\nSELECT a * 10 AS b FROM made ORDER BY a DESC\n) LIMIT 1");
  EXPECT_EQ(result.rows.at(0).values.at(0), CellValue::integer(20));

  DataTable last = driver_.query("SELECT 1; DELETE FROM made");
  EXPECT_TRUE(last.columns.empty());
  EXPECT_TRUE(last.rows.empty());

  DataTable nothing = driver_.query("  -- only a remark\n ");
  EXPECT_TRUE(nothing.columns.empty());
  EXPECT_EQ(nothing.query, "  -- only a remark\n ");
  EXPECT_EQ(nothing.name, "Query Result");

  // A statement that does not prepare stops the walk after the statements before it ran.
  try {
    driver_.query("INSERT INTO made VALUES (3); SELEC oops; INSERT INTO made VALUES (4);");
    FAIL() << "a syntax error was accepted";
  } catch (const DriverError& error) {
    EXPECT_EQ(error.code(), -1);
    EXPECT_STREQ(error.what(), "near \"SELEC\": syntax error");
  }
  EXPECT_EQ(driver_.query("SELECT group_concat(a) FROM made").rows.at(0).values.at(0), CellValue::text("3"));
}

TEST_F(SQLiteQuery, ErrorsWhileSteppingCarryTheSQLiteResultCode) {
  driver_.executeRawSQL("CREATE TABLE u(a UNIQUE); INSERT INTO u VALUES (1);");
  try {
    driver_.query("INSERT INTO u VALUES (1)");
    FAIL() << "a constraint violation was accepted";
  } catch (const DriverError& error) {
    EXPECT_EQ(error.code(), SQLITE_CONSTRAINT);
    EXPECT_STREQ(error.what(), "UNIQUE constraint failed: u.a");
  }
}

}  // namespace
}  // namespace tabvora
