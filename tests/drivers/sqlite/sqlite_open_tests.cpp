#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(SQLiteOpen, BadInputFailsWithAClearErrorAndChangesNothing) {
  TempDir dir;
  writeFile(dir / "notes.db", std::string(4096, 'x'));
  makeDatabase(dir / "good.db", numberedRows(3000));
  const std::string good = readFile(dir / "good.db");
  writeFile(dir / "truncated.db", good.substr(0, good.size() / 2));
  std::string corrupt = good;
  for (std::size_t i = 100; i < corrupt.size(); ++i) corrupt[i] = static_cast<char>(i * 7);
  writeFile(dir / "corrupt.db", corrupt);
  std::filesystem::create_directory(dir / "folder.db");
  ASSERT_EQ(mkfifo((dir / "pipe.db").c_str(), 0600), 0);  // nobody writes: a read would block forever
  writeFile(dir / "empty.db", "");

  const std::pair<const char*, const char*> cases[] = {
      {"notes.db", "file is not a database"},
      {"corrupt.db", "database disk image is malformed"},
      {"truncated.db", "database disk image is malformed"},  // fails when the page past the end is read
      {"folder.db", "\"folder.db\" is a folder, not a file"},
      {"pipe.db", "\"pipe.db\" is not a regular file (a pipe, socket or device) and cannot be read"},
      {"missing.db", "unable to open database file"},
  };
  for (bool preview : {false, true}) {
    for (const auto& [name, message] : cases) {
      SCOPED_TRACE(std::string(name) + (preview ? " in a preview" : ""));
      const bool exists = std::filesystem::is_regular_file(dir / name);
      FileState before = exists ? captureState(dir / name) : FileState{};
      SQLiteDriver driver;
      driver.previewReadOnly = preview;
      DriverError error = errorOf([&] {
        driver.open(dir / name);
        driver.fetchTableData("t", 5000);
      });
      EXPECT_EQ(error.domain(), "SQLiteDriver");
      EXPECT_STREQ(error.what(), message);
      driver.close();
      if (exists) {
        EXPECT_EQ(captureState(dir / name), before);
      }
    }
    // A zero-byte file is what SQLite calls an empty database: no tables, and it stays empty.
    SQLiteDriver driver;
    driver.previewReadOnly = preview;
    EXPECT_TRUE(driver.open(dir / "empty.db").tables.empty());
    driver.close();
    EXPECT_EQ(std::filesystem::file_size(dir / "empty.db"), 0u);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.db")) << "open never creates a file";
  EXPECT_EQ(listDirectory(dir.path()).size(), 7u) << "no sidecar was left";
}

}  // namespace
}  // namespace tabvora::internal
