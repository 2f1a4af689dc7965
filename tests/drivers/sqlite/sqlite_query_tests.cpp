#include <gtest/gtest.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"

namespace tabvora::internal {
namespace {

using testing::errorOf;

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
  // NUMERIC, VARCHAR, no type and expressions all show as text in a result.
  EXPECT_EQ(types, (std::vector<ColumnType>{ColumnType::integer, ColumnType::text, ColumnType::real, ColumnType::blob,
                                            ColumnType::boolean, ColumnType::text, ColumnType::text, ColumnType::text}));
  ASSERT_EQ(result.rows.size(), 3u);
  EXPECT_EQ(result.rows[0].values[3], CellValue::blob({0x00, 0xff}));
  EXPECT_EQ(result.rows[1].values[0], CellValue::text("text in int"));
  EXPECT_EQ(result.rows[1].values[1], CellValue::integer(7));
  EXPECT_EQ(result.rows[1].values[2], CellValue::real(1.0));
  EXPECT_EQ(result.rows[1].values[3], CellValue::blob({})) << "an empty blob is not NULL";
  EXPECT_EQ(result.rows[2].values[1], CellValue::null());
  EXPECT_EQ(driver_.query("SELECT 'a' || char(0) || 'b'").rows.at(0).values.at(0).stringValue(), std::string("a\0b", 3));

  DataTable identified = driver_.query("SELECT rowid AS __tabvora_rowid, note FROM t WHERE note IS NOT NULL");
  EXPECT_EQ(identified.columns.size(), 1u);
  EXPECT_EQ(identified.rows.at(1).rowid, 3);
  EXPECT_EQ(driver_.query("SELECT 'x' AS __tabvora_rowid").rows.at(0).rowid, std::nullopt) << "integers only";
}

TEST_F(SQLiteQuery, TheLimitIsPushedIntoTheSQLOnlyWhenTheColumnsCannotChange) {
  auto ran = [&](const std::string& sql, std::int64_t limit, std::int64_t offset = 0) {
    DataTable result = driver_.query(sql, limit, offset);
    EXPECT_EQ(result.rows.size(), static_cast<std::size_t>(std::min<std::int64_t>(limit, 3 - offset))) << sql;
    return *result.query;
  };
  EXPECT_EQ(ran("SELECT id, note FROM t;;  ", 2), "SELECT * FROM (\nSELECT id, note FROM t\n) LIMIT 2");
  EXPECT_EQ(ran("SELECT id FROM t -- remark", 1), "SELECT * FROM (\nSELECT id FROM t -- remark\n) LIMIT 1");
  EXPECT_EQ(ran("SELECT id, id FROM t", 2), "SELECT id, id FROM t");
  EXPECT_EQ(ran("PRAGMA table_info(t)", 3), "PRAGMA table_info(t)");
  EXPECT_EQ(ran("SELECT id FROM t", 5, 1), "SELECT id FROM t");
  EXPECT_EQ(driver_.query("SELECT id FROM t", 5, 1).rows.at(0).id, 1);
  // A statement that writes is never wrapped: it runs once, whole.
  EXPECT_EQ(driver_.query("INSERT INTO t(id) VALUES (9), (10) RETURNING id", 1).rows.size(), 1u);
  EXPECT_EQ(driver_.query("SELECT count(*) FROM t").rows.at(0).values.at(0), CellValue::integer(5));
}

TEST_F(SQLiteQuery, SeveralStatementsRunInTurnAndTheLastResultIsReturned) {
  DataTable result = driver_.query(
      "CREATE TABLE made(a); INSERT INTO made VALUES (1), (2); -- remark\n"
      "SELECT a FROM made; SELECT a * 10 AS b FROM made ORDER BY a DESC; /* closing */", 1);
  EXPECT_EQ(result.query, "SELECT * FROM (\nSELECT a * 10 AS b FROM made ORDER BY a DESC\n) LIMIT 1");
  EXPECT_EQ(result.rows.at(0).values, std::vector<CellValue>{CellValue::integer(20)});
  EXPECT_TRUE(driver_.query("SELECT 1; DELETE FROM made").columns.empty());
  EXPECT_EQ(driver_.query("  -- only a remark\n").query, "  -- only a remark\n");

  // A statement that does not prepare stops the walk after the statements before it ran.
  DriverError syntax = errorOf([&] { driver_.query("INSERT INTO made VALUES (3); SELEC 1; INSERT INTO made VALUES (4);"); });
  EXPECT_EQ(syntax.code(), -1);
  EXPECT_STREQ(syntax.what(), "near \"SELEC\": syntax error");
  EXPECT_EQ(driver_.query("SELECT group_concat(a) FROM made").rows.at(0).values.at(0), CellValue::text("3"));

  DriverError step = errorOf([&] { driver_.query("CREATE TABLE u(a UNIQUE); INSERT INTO u VALUES (1), (1);"); });
  EXPECT_EQ(step.code(), SQLITE_CONSTRAINT);
  EXPECT_STREQ(step.what(), "UNIQUE constraint failed: u.a");
}

}  // namespace
}  // namespace tabvora::internal
