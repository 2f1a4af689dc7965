#include <gtest/gtest.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"

namespace tabvora::internal {
namespace {

using namespace tabvora::testing;

TEST(SQLiteOpen, ListsTablesAndViewsWithCountsSchemaAndSchemaText) {
  TempDir dir;
  makeDatabase(dir / "shop.db",
               "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT NOT NULL DEFAULT 'x', price NUMERIC, photo BLOB,"
               "  added DATETIME, flag BOOLEAN, meta JSON, code VARCHAR(5), odd);"
               "INSERT INTO items(name, price) VALUES ('a', 1), ('b', 2), ('c', 3);"
               "CREATE VIEW cheap AS SELECT * FROM items WHERE price < 3; CREATE INDEX by_name ON items(name);"
               "CREATE TABLE \"say \"\"hi\"\" it's\"(v); INSERT INTO \"say \"\"hi\"\" it's\" VALUES (1), (2);");
  SQLiteDriver driver;
  DatabaseMetadata metadata = driver.open(dir / "shop.db");
  ASSERT_EQ(metadata.tables.size(), 3u);  // by name; the index is not listed
  EXPECT_EQ(metadata.tables[0].type, TableType::view);
  EXPECT_EQ(metadata.tables[0].rowCount, std::nullopt) << "views are never counted";
  EXPECT_EQ(metadata.tables[1].rowCount, 3);
  EXPECT_EQ(metadata.tables[2].name, "say \"hi\" it's");
  EXPECT_EQ(metadata.tables[2].rowCount, 2);
  // Views, then tables, then indexes (by type, descending), each closed by ";".
  EXPECT_EQ(metadata.schemaDDL->find("price < 3;\n\nCREATE TABLE items"), 47u) << "the view comes first";
  EXPECT_EQ(driver.getDDL("say \"hi\" it's"), "CREATE TABLE \"say \"\"hi\"\" it's\"(v);");
  EXPECT_EQ(driver.getDDL("missing"), std::nullopt);

  std::vector<DataColumn> columns = driver.fetchSchema("items");
  std::vector<ColumnType> types;
  for (const DataColumn& c : columns) types.push_back(c.type);
  EXPECT_EQ(types, (std::vector<ColumnType>{ColumnType::integer, ColumnType::text, ColumnType::real, ColumnType::blob,
                                            ColumnType::date, ColumnType::boolean, ColumnType::json, ColumnType::text,
                                            ColumnType::unknown}));
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
