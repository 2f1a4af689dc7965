#include <gtest/gtest.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"

namespace tabvora::internal {
namespace {

using namespace tabvora::testing;

// The tables, counts and column types a database lists are a command-line case
// (apps/tabvora/cases/tables_and_query.test); here its schema text and column details.
TEST(SQLiteOpen, SchemaTextAndColumnDetails) {
  TempDir dir;
  makeDatabase(dir / "shop.db",
               "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT NOT NULL DEFAULT 'x', price NUMERIC);"
               "CREATE VIEW cheap AS SELECT * FROM items WHERE price < 3; CREATE INDEX by_name ON items(name);"
               "CREATE TABLE \"say \"\"hi\"\" it's\"(v);");
  SQLiteDriver driver;
  DatabaseMetadata metadata = driver.open(dir / "shop.db");
  // Views, then tables, then indexes (by type, descending), each closed by ";".
  EXPECT_EQ(metadata.schemaDDL->find("price < 3;\n\nCREATE TABLE items"), 47u) << "the view comes first";
  EXPECT_NE(metadata.schemaDDL->find("(v);\n\nCREATE INDEX by_name ON items(name);"), std::string::npos);
  EXPECT_EQ(driver.getDDL("say \"hi\" it's"), "CREATE TABLE \"say \"\"hi\"\" it's\"(v);");
  EXPECT_EQ(driver.getDDL("missing"), std::nullopt);
  std::vector<DataColumn> columns = driver.fetchSchema("items");
  EXPECT_EQ(columns[1], (DataColumn{"name", ColumnType::text, false, false, "'x'", 1}));
  EXPECT_TRUE(columns[0].isPrimaryKey);
  EXPECT_TRUE(driver.fetchSchema("no such table").empty());
}

TEST(SQLiteOpen, TablesOfAFileAboveOneGigabyteAreNotCounted) {
  TempDir dir;
  makeDatabase(dir / "big.db", "CREATE TABLE t(a); INSERT INTO t VALUES (1);");
  // A sparse tail grows the file without using the disk; SQLite trusts the header's page count.
  std::filesystem::resize_file(dir / "big.db", 1'000'000'001);
  SQLiteDriver driver;
  EXPECT_EQ(driver.open(dir / "big.db").tables.at(0).rowCount, std::nullopt);
  EXPECT_EQ(driver.fetchTableData("t").totalRowCount, 1) << "a page still counts its table";
  std::filesystem::resize_file(dir / "big.db", 1'000'000'000);
  EXPECT_EQ(driver.fetchTables().at(0).rowCount, 1);
}

TEST(SQLiteOpen, ReopensImmutableWhenAnotherConnectionHoldsAnExclusiveLock) {
  TempDir dir;
  makeDatabase(dir / "locked.db", numberedRows(2));
  RawConnection writer(dir / "locked.db");
  writer.exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;");
  SQLiteDriver driver;
  EXPECT_EQ(driver.open(dir / "locked.db").tables.at(0).rowCount, 2);
  EXPECT_EQ(driver.fetchTableData("t").rows.size(), 2u);
  EXPECT_EQ(errorOf([&] { driver.insertRow("t", {{"n", CellValue::integer(3)}}); }).code(), SQLITE_READONLY);
}

// Files that cannot be read are command-line cases (apps/tabvora/cases/bad_databases.test).

}  // namespace
}  // namespace tabvora::internal
