#include <gtest/gtest.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"

namespace tabvora::internal {
namespace {

using namespace tabvora::testing;

// 5000 rows with rowids 1..5000 ("dense") and with every seventh rowid missing ("gappy");
// "k" repeats and "label" has NULLs, so sorted pages depend on the rowid tiebreak.
class SQLitePaging : public ::testing::Test {
 protected:
  void SetUp() override {
    driver_.openInMemory();
    for (const char* table : {"dense", "gappy"})
      driver_.executeRawSQL(std::string("CREATE TABLE ") + table + "(n INTEGER, k INTEGER, label TEXT);");
    driver_.executeRawSQL(
        "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < 5833)"
        "  INSERT INTO gappy(rowid, n, k, label) SELECT x, x, x % 10, CASE WHEN x % 3 THEN 'r' || x END"
        "  FROM s WHERE x % 7 != 0;"
        "INSERT INTO dense SELECT n, k, label FROM gappy ORDER BY rowid;");
  }

  // The same page read with nothing but LIMIT/OFFSET.
  std::vector<DataRow> reference(const std::string& table, const std::string& order, std::int64_t limit,
                                 std::int64_t offset) {
    DataTable plain = driver_.query("SELECT rowid AS __tabvora_rowid, * FROM " + table + order + " LIMIT " +
                                    std::to_string(limit) + " OFFSET " + std::to_string(offset));
    for (std::size_t i = 0; i < plain.rows.size(); ++i) plain.rows[i].id = offset + static_cast<std::int64_t>(i);
    return plain.rows;
  }

  SQLiteDriver driver_;
};

TEST_F(SQLitePaging, DeepPagesSeekOnContiguousRowidsAndReadBackwardsOverGaps) {
  DataTable seek = driver_.fetchTableData("dense", 500, 2000);
  EXPECT_EQ(seek.query, "SELECT rowid AS __tabvora_rowid, * FROM \"dense\" WHERE rowid >= 2001 ORDER BY rowid ASC LIMIT 500");
  EXPECT_EQ(seek.totalRowCount, 5000);
  EXPECT_EQ(seek.rows, reference("dense", "", 500, 2000));
  EXPECT_EQ(seek.columns.size(), 3u) << "the identity column is not shown";

  DataTable reverse = driver_.fetchTableData("gappy", 500, 4800);
  EXPECT_EQ(reverse.query, "SELECT rowid AS __tabvora_rowid, * FROM \"gappy\" ORDER BY rowid DESC LIMIT 200 OFFSET 0");
  ASSERT_EQ(reverse.rows.size(), 200u);
  EXPECT_EQ(reverse.rows.front().id, 4800);
  EXPECT_EQ(reverse.rows, reference("gappy", "", 500, 4800));
  EXPECT_EQ(driver_.fetchTableData("gappy", 500, 2500).query->find("DESC"), std::string::npos) << "first half: plain";

  for (std::int64_t offset : {1, 2000, 2600, 4999, 5000, 99999})
    for (const char* table : {"dense", "gappy"})
      EXPECT_EQ(driver_.fetchTableData(table, 300, offset).rows, reference(table, "", 300, offset))
          << table << " at " << offset;
}

TEST_F(SQLitePaging, SortedPagesMatchInBothDirectionsAndBothHalves) {
  for (const char* column : {"k", "label"})
    for (bool ascending : {true, false}) {
      const std::string order = std::string(" ORDER BY \"") + column + "\" " + (ascending ? "ASC" : "DESC") +
                                ", rowid ASC";
      for (std::int64_t offset : {0, 2499, 2501, 4950})
        EXPECT_EQ(driver_.fetchTableData("gappy", 100, offset, column, ascending).rows,
                  reference("gappy", order, 100, offset))
            << column << (ascending ? " ascending at " : " descending at ") << offset;
    }
  // An empty sort column sorts nothing, also when the page is read backwards.
  EXPECT_EQ(driver_.fetchTableData("gappy", 100, 4000, "").rows, reference("gappy", "", 100, 4000));
}

TEST_F(SQLitePaging, FiltersAndTotals) {
  DataTable filtered = driver_.fetchTableData("gappy", 10, 3, std::nullopt, true, "k = 3 AND n > 100");
  EXPECT_EQ(filtered.totalRowCount, 492);
  EXPECT_EQ(filtered.rows.at(0).values.at(0), CellValue::integer(143));
  EXPECT_EQ(filtered.rows.at(0).id, 3);
  // A deep filtered page takes no shortcut, which would ignore the filter.
  EXPECT_TRUE(driver_.fetchTableData("dense", 10, 4000, std::nullopt, true, "n > 4500").rows.empty());

  // Unfiltered totals are cached; a blank filter is no filter.
  EXPECT_EQ(driver_.fetchTableData("dense", 1).totalRowCount, 5000);
  // A change the driver does not see: stepped outside stepAndReset.
  driver_.withPreparedStatement("INSERT INTO dense VALUES (0, 0, 'new')", [&](sqlite3_stmt* s) { sqlite3_step(s); });
  EXPECT_EQ(driver_.fetchTableData("dense", 1, 0, std::nullopt, true, " \n\t ").totalRowCount, 5000);
  EXPECT_EQ(driver_.fetchTableData("dense", 1, 0, std::nullopt, true, "1").totalRowCount, 5001);
  driver_.insertRow("dense", {{"n", CellValue::integer(-1)}});
  EXPECT_EQ(driver_.fetchTableData("dense", 1).totalRowCount, 5002) << "an insert drops the cached total";
}

TEST_F(SQLitePaging, WithoutALimitEveryRowFromTheOffsetOn) {
  EXPECT_EQ(driver_.fetchTableData("gappy").rows.size(), 5000u);
  DataTable rest = driver_.fetchTableData("gappy", std::nullopt, 100, "n", true, "n < 200");
  ASSERT_EQ(rest.rows.size(), 71u);
  EXPECT_EQ(rest.rows[0].id, 100);
  EXPECT_EQ(rest.rows[0].values[0], CellValue::integer(117)) << "rows start where their numbering does";
  EXPECT_EQ(driver_.fetchTableData("dense", 2, -10).rows.at(0).id, 0) << "a negative offset reads as 0";
}

TEST(SQLiteRowIdentity, AliasesAvoidColumnNamesAndVanishWhenNoneIsFree) {
  SQLiteDriver driver;
  driver.openInMemory();
  driver.executeRawSQL(
      "CREATE TABLE r(rowid TEXT, v); INSERT INTO r VALUES ('x', 1), ('y', 2);"
      "CREATE TABLE all3(rowid, _rowid_, OID, v); INSERT INTO all3 VALUES (1, 2, 3, 4);"
      "CREATE TABLE keyed(code TEXT PRIMARY KEY, v) WITHOUT ROWID; INSERT INTO keyed VALUES ('k', 1);"
      "CREATE TABLE \"we\"\"ird's\"(v); INSERT INTO \"we\"\"ird's\" VALUES (7), (8);"
      "CREATE VIEW seen AS SELECT v FROM r;");
  DataTable r = driver.fetchTableData("r");
  EXPECT_EQ(r.query, "SELECT _rowid_ AS __tabvora_rowid, * FROM \"r\"");
  EXPECT_EQ(r.rows.at(1).rowid, 2);
  EXPECT_EQ(r.rows.at(1).values.at(0), CellValue::text("y")) << "the column named rowid keeps its values";
  for (const char* table : {"all3", "keyed", "seen"}) {
    DataTable page = driver.fetchTableData(table);
    EXPECT_EQ(page.query, "SELECT * FROM \"" + std::string(table) + "\"");
    EXPECT_EQ(page.rows.at(0).rowid, std::nullopt) << table;
  }
  DataTable weird = driver.fetchTableData("we\"ird's", 1, 1, "v", false);
  EXPECT_EQ(weird.totalRowCount, 2);
  EXPECT_EQ(weird.rows.at(0).values.at(0), CellValue::integer(7));
  EXPECT_EQ(weird.rows.at(0).rowid, 1);
  EXPECT_STREQ(errorOf([&] { driver.fetchTableData("absent"); }).what(), "no such table: absent");
}

}  // namespace
}  // namespace tabvora::internal
