#include <gtest/gtest.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"
#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::makeDatabase;
using testing::TempDir;

// 5000 rows with contiguous rowids 1..5000 ("dense") and the same rows with every
// seventh rowid missing ("gappy"); "k" repeats so that sorting needs the rowid tiebreak.
const char* kTables =
    "CREATE TABLE dense(n INTEGER, k INTEGER, label TEXT);"
    "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < 5000)"
    "  INSERT INTO dense SELECT x, x % 10, 'row ' || x FROM s;"
    "CREATE TABLE gappy(n INTEGER, k INTEGER, label TEXT);"
    "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < 5833)"
    "  INSERT INTO gappy(rowid, n, k, label) SELECT x, x, x % 10, CASE WHEN x % 3 THEN 'row ' || x END"
    "  FROM s WHERE x % 7 != 0;";

class SQLitePaging : public ::testing::Test {
 protected:
  void SetUp() override {
    makeDatabase(dir_ / "pages.db", kTables);
    driver_.open(dir_ / "pages.db");
  }

  // The same page through nothing but LIMIT/OFFSET, as the reference.
  std::vector<DataRow> reference(const std::string& table, const std::string& order, std::int64_t limit,
                                 std::int64_t offset) {
    DataTable plain = driver_.query("SELECT rowid AS __tabvora_rowid, * FROM " + table + order + " LIMIT " +
                                    std::to_string(limit) + " OFFSET " + std::to_string(offset));
    for (std::size_t i = 0; i < plain.rows.size(); ++i) plain.rows[i].id = offset + static_cast<std::int64_t>(i);
    return plain.rows;
  }

  TempDir dir_;
  SQLiteDriver driver_;
};

TEST_F(SQLitePaging, DeepPagesOfContiguousRowidsSeekAndEqualTheOffsetPage) {
  DataTable page = driver_.fetchTableData("dense", 500, 2000);
  EXPECT_EQ(page.name, "dense");
  EXPECT_EQ(page.totalRowCount, 5000);
  EXPECT_EQ(page.query, "SELECT rowid AS __tabvora_rowid, * FROM \"dense\" WHERE rowid >= 2001 ORDER BY rowid ASC LIMIT 500");
  ASSERT_EQ(page.rows.size(), 500u);
  EXPECT_EQ(page.rows.front().id, 2000);
  EXPECT_EQ(page.rows.front().rowid, 2001);
  EXPECT_EQ(page.rows, reference("dense", "", 500, 2000));
  ASSERT_EQ(page.columns.size(), 3u) << "the identity column is not shown";
  EXPECT_EQ(page.columns[0].name, "n");
  EXPECT_EQ(page.columns[0].type, ColumnType::integer);

  EXPECT_EQ(driver_.fetchTableData("dense", 500, 4900).rows, reference("dense", "", 500, 4900));
  EXPECT_TRUE(driver_.fetchTableData("dense", 500, 5000).rows.empty());
  EXPECT_TRUE(driver_.fetchTableData("dense", 500, 99999).rows.empty());
}

TEST_F(SQLitePaging, DeepPagesWithGapsReadBackwardsAndComeBackInOrder) {
  DataTable page = driver_.fetchTableData("gappy", 500, 4800);
  EXPECT_EQ(page.totalRowCount, 5000);
  EXPECT_NE(page.query->find("ORDER BY rowid DESC LIMIT 200 OFFSET 0"), std::string::npos) << *page.query;
  ASSERT_EQ(page.rows.size(), 200u);
  EXPECT_EQ(page.rows.front().id, 4800);
  EXPECT_EQ(page.rows.back().rowid, 5833);
  EXPECT_EQ(page.rows, reference("gappy", "", 500, 4800));

  // In the first half the plain page runs.
  DataTable early = driver_.fetchTableData("gappy", 500, 2000);
  EXPECT_NE(early.query->find("LIMIT 500 OFFSET 2000"), std::string::npos);
  EXPECT_EQ(early.rows, reference("gappy", "", 500, 2000));
  EXPECT_EQ(driver_.fetchTableData("gappy", 300, 2600).rows, reference("gappy", "", 300, 2600));
}

TEST_F(SQLitePaging, SortedPagesMatchInBothDirectionsAndBothHalves) {
  for (const char* table : {"dense", "gappy"}) {
    for (bool ascending : {true, false}) {
      SCOPED_TRACE(std::string(table) + (ascending ? " ascending" : " descending"));
      const std::string order = std::string(" ORDER BY \"k\" ") + (ascending ? "ASC" : "DESC") + ", rowid ASC";
      for (std::int64_t offset : {0, 1200, 2499, 2501, 3700, 4950}) {
        DataTable page = driver_.fetchTableData(table, 100, offset, "k", ascending);
        EXPECT_EQ(page.rows, reference(table, order, 100, offset)) << "offset " << offset;
      }
      // NULL labels sort first ascending and last descending, in both strategies.
      const std::string byLabel = std::string(" ORDER BY \"label\" ") + (ascending ? "ASC" : "DESC") + ", rowid ASC";
      EXPECT_EQ(driver_.fetchTableData(table, 100, 4000, "label", ascending).rows,
                reference(table, byLabel, 100, 4000));
      EXPECT_EQ(driver_.fetchTableData(table, 100, 10, "label", ascending).rows, reference(table, byLabel, 100, 10));
    }
  }
  // An empty sort column sorts nothing, even on the reverse path.
  EXPECT_EQ(driver_.fetchTableData("gappy", 100, 4000, "").rows, reference("gappy", "", 100, 4000));
}

TEST_F(SQLitePaging, FiltersCountAndPageOnlyMatchingRows) {
  DataTable page = driver_.fetchTableData("gappy", 10, 3, std::nullopt, true, "k = 3 AND n > 100");
  EXPECT_EQ(page.totalRowCount, 492);
  EXPECT_EQ(page.query, "SELECT rowid AS __tabvora_rowid, * FROM \"gappy\" WHERE k = 3 AND n > 100 LIMIT 10 OFFSET 3");
  ASSERT_EQ(page.rows.size(), 10u);
  EXPECT_EQ(page.rows[0].values[0], CellValue::integer(143));
  EXPECT_EQ(page.rows[0].id, 3);

  // A deep filtered page never takes a shortcut, which would ignore the filter.
  DataTable deep = driver_.fetchTableData("dense", 10, 4000, std::nullopt, true, "n > 4500");
  EXPECT_EQ(deep.totalRowCount, 500);
  EXPECT_TRUE(deep.rows.empty());

  EXPECT_THROW(driver_.fetchTableData("dense", 10, 0, std::nullopt, true, "no_such_column = 1"), DriverError);
}

TEST_F(SQLitePaging, TotalsAreCachedUntilTheTableMayHaveChanged) {
  EXPECT_EQ(driver_.fetchTableData("dense", 1).totalRowCount, 5000);
  // Another connection adds rows: the cached total stays, as a page does not recount.
  testing::RawConnection other(dir_ / "pages.db");
  other.exec("INSERT INTO dense VALUES (0, 0, 'new');");
  EXPECT_EQ(driver_.fetchTableData("dense", 1, 0, std::nullopt, true, " \n\t ").totalRowCount, 5000)
      << "a blank filter is no filter and uses the cached total";
  EXPECT_EQ(driver_.fetchTableData("dense", 1, 0, std::nullopt, true, "1").totalRowCount, 5001);
  driver_.insertRow("dense", {{"n", CellValue::integer(-1)}});
  EXPECT_EQ(driver_.fetchTableData("dense", 1).totalRowCount, 5002);
}

TEST_F(SQLitePaging, WithoutALimitEveryRowFromTheOffsetComes) {
  DataTable all = driver_.fetchTableData("gappy");
  EXPECT_EQ(all.rows.size(), 5000u);
  EXPECT_EQ(all.query, "SELECT rowid AS __tabvora_rowid, * FROM \"gappy\"");
  DataTable rest = driver_.fetchTableData("gappy", std::nullopt, 100, "n", true, "n < 200");
  ASSERT_EQ(rest.rows.size(), 71u);
  EXPECT_EQ(rest.rows[0].id, 100);
  EXPECT_EQ(rest.rows[0].values[0], CellValue::integer(117)) << "rows start at the offset they are numbered from";
  // Negative positions read as the first page.
  EXPECT_EQ(driver_.fetchTableData("dense", -5, -10).rows.size(), 0u);
  EXPECT_EQ(driver_.fetchTableData("dense", 2, -10).rows.at(0).id, 0);
}

TEST(SQLiteRowIdentity, AliasesAvoidColumnNamesAndVanishWhenNoneIsFree) {
  TempDir dir;
  makeDatabase(dir / "ids.db",
               "CREATE TABLE r(rowid TEXT, v);         INSERT INTO r VALUES ('x', 1), ('y', 2);"
               "CREATE TABLE all3(rowid, _rowid_, OID, v); INSERT INTO all3 VALUES (1, 2, 3, 4);"
               "CREATE TABLE keyed(code TEXT PRIMARY KEY, v) WITHOUT ROWID; INSERT INTO keyed VALUES ('k', 1);"
               "CREATE TABLE \"we\"\"ird's\"(v); INSERT INTO \"we\"\"ird's\" VALUES (7), (8);"
               "CREATE VIEW seen AS SELECT v FROM r;");
  SQLiteDriver driver;
  driver.open(dir / "ids.db");

  DataTable r = driver.fetchTableData("r");
  EXPECT_EQ(r.query, "SELECT _rowid_ AS __tabvora_rowid, * FROM \"r\"");
  EXPECT_EQ(r.rows.at(1).rowid, 2);
  EXPECT_EQ(r.rows.at(1).values.at(0), CellValue::text("y")) << "the column named rowid keeps its own values";

  DataTable all3 = driver.fetchTableData("all3");
  EXPECT_EQ(all3.query, "SELECT * FROM \"all3\"");
  EXPECT_EQ(all3.rows.at(0).rowid, std::nullopt);
  EXPECT_EQ(all3.columns.size(), 4u);

  DataTable keyed = driver.fetchTableData("keyed");
  EXPECT_EQ(keyed.rows.at(0).rowid, std::nullopt);
  EXPECT_EQ(keyed.rows.at(0).values.at(0), CellValue::text("k"));

  DataTable weird = driver.fetchTableData("we\"ird's", 1, 1, "v", false);
  EXPECT_EQ(weird.totalRowCount, 2);
  EXPECT_EQ(weird.rows.at(0).values.at(0), CellValue::integer(7));
  EXPECT_EQ(weird.rows.at(0).rowid, 1);

  DataTable view = driver.fetchTableData("seen");
  EXPECT_EQ(view.query, "SELECT * FROM \"seen\"");
  EXPECT_EQ(view.totalRowCount, 2);

  try {
    driver.fetchTableData("absent");
    FAIL() << "paged a table that does not exist";
  } catch (const DriverError& error) {
    EXPECT_EQ(error.code(), -1);
    EXPECT_STREQ(error.what(), "no such table: absent");
  }
}

}  // namespace
}  // namespace tabvora
