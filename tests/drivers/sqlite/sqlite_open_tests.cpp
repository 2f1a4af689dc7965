#include <gtest/gtest.h>

#include <fstream>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"
#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::captureState;
using testing::makeDatabase;
using testing::RawConnection;
using testing::TempDir;

const char* kShop =
    "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT NOT NULL DEFAULT 'x', price NUMERIC, photo BLOB,"
    "  added DATETIME, flag BOOLEAN, meta JSON, code VARCHAR(5), odd);"
    "INSERT INTO items(name, price) VALUES ('a', 1), ('b', 2), ('c', 3);"
    "CREATE VIEW cheap AS SELECT * FROM items WHERE price < 3;"
    "CREATE TABLE \"say \"\"hi\"\" it's\"(v);"
    "INSERT INTO \"say \"\"hi\"\" it's\" VALUES (1), (2);"
    "CREATE INDEX items_name ON items(name);";

DriverError openError(const std::filesystem::path& path, bool previewReadOnly = false) {
  SQLiteDriver driver;
  driver.previewReadOnly = previewReadOnly;
  try {
    driver.open(path);
  } catch (const DriverError& error) {
    EXPECT_EQ(error.domain(), "SQLiteDriver");
    EXPECT_THROW(driver.fetchTables(), DriverError) << "a failed open leaves no connection";
    return error;
  }
  ADD_FAILURE() << "open succeeded on " << path;
  return DriverError("", 0, "");
}

TEST(SQLiteOpen, ListsTablesAndViewsWithCountsSchemaTextAndFileFacts) {
  TempDir dir;
  makeDatabase(dir / "shop.db", kShop);
  SQLiteDriver driver;
  DatabaseMetadata metadata = driver.open(dir / "shop.db");

  EXPECT_EQ(metadata.name, "shop.db");
  EXPECT_EQ(metadata.format, DatabaseFormat::sqlite);
  EXPECT_EQ(metadata.fileSize, static_cast<std::int64_t>(std::filesystem::file_size(dir / "shop.db")));
  ASSERT_EQ(metadata.tables.size(), 3u);  // by name; the index is not listed
  EXPECT_EQ(metadata.tables[0].name, "cheap");
  EXPECT_EQ(metadata.tables[0].type, TableType::view);
  EXPECT_FALSE(metadata.tables[0].rowCount) << "views are never counted";
  EXPECT_EQ(metadata.tables[1].name, "items");
  EXPECT_EQ(metadata.tables[1].rowCount, 3);
  EXPECT_EQ(metadata.tables[2].name, "say \"hi\" it's");
  EXPECT_EQ(metadata.tables[2].rowCount, 2);
  EXPECT_NE(metadata.tables[1].sqlDDL->find("CREATE TABLE items"), std::string::npos);

  // Tables before views and indexes ("table" > "view" > "index" descending), each ending in ";".
  ASSERT_TRUE(metadata.schemaDDL);
  EXPECT_EQ(metadata.schemaDDL->find("CREATE TABLE \"say"), metadata.schemaDDL->find("CREATE TABLE items") +
                                                                metadata.tables[1].sqlDDL->size() + 3);
  EXPECT_LT(metadata.schemaDDL->find("CREATE VIEW"), metadata.schemaDDL->find("CREATE INDEX"));
  EXPECT_EQ(driver.getDDL("say \"hi\" it's"), "CREATE TABLE \"say \"\"hi\"\" it's\"(v);");
  EXPECT_EQ(driver.getDDL("missing"), std::nullopt);
  EXPECT_EQ(driver.currentURL(), dir / "shop.db");
}

TEST(SQLiteOpen, SchemaMapsDeclaredTypesAndConstraints) {
  TempDir dir;
  makeDatabase(dir / "shop.db", kShop);
  SQLiteDriver driver;
  driver.open(dir / "shop.db");
  std::vector<DataColumn> columns = driver.fetchSchema("items");
  ASSERT_EQ(columns.size(), 9u);
  std::vector<ColumnType> types;
  for (const DataColumn& c : columns) types.push_back(c.type);
  EXPECT_EQ(types, (std::vector<ColumnType>{ColumnType::integer, ColumnType::text, ColumnType::real,
                                            ColumnType::blob, ColumnType::date, ColumnType::boolean,
                                            ColumnType::json, ColumnType::text, ColumnType::unknown}));
  EXPECT_TRUE(columns[0].isPrimaryKey);
  EXPECT_FALSE(columns[1].isPrimaryKey);
  EXPECT_FALSE(columns[1].isNullable);
  EXPECT_EQ(columns[1].defaultValue, "'x'");
  EXPECT_EQ(columns[2].defaultValue, std::nullopt);
  EXPECT_EQ(columns[8].index, 8);
  EXPECT_TRUE(driver.fetchSchema("no such table").empty());
}

TEST(SQLiteOpen, TablesOfALargeFileAreListedWithoutCounts) {
  TempDir dir;
  makeDatabase(dir / "big.db", "CREATE TABLE t(a); INSERT INTO t VALUES (1);");
  // A sparse tail makes the file larger than the counting limit without using the disk;
  // SQLite still trusts the page count in the header.
  std::filesystem::resize_file(dir / "big.db", 1'000'000'001);
  SQLiteDriver driver;
  DatabaseMetadata metadata = driver.open(dir / "big.db");
  ASSERT_EQ(metadata.tables.size(), 1u);
  EXPECT_FALSE(metadata.tables[0].rowCount);
  EXPECT_EQ(driver.fetchTableData("t").totalRowCount, 1) << "a page still counts its own table";

  std::filesystem::resize_file(dir / "big.db", 1'000'000'000);
  EXPECT_EQ(driver.fetchTables()[0].rowCount, 1) << "the limit itself is still counted";
}

TEST(SQLiteOpen, ReopensImmutableWhenAnotherConnectionHoldsAnExclusiveLock) {
  TempDir dir;
  makeDatabase(dir / "locked.db", "CREATE TABLE t(a); INSERT INTO t VALUES (1), (2);");
  RawConnection writer(dir / "locked.db");
  writer.exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;");

  SQLiteDriver driver;
  DatabaseMetadata metadata = driver.open(dir / "locked.db");
  ASSERT_EQ(metadata.tables.size(), 1u);
  EXPECT_EQ(metadata.tables[0].rowCount, 2);
  EXPECT_EQ(driver.fetchTableData("t").rows.size(), 2u);
  // The immutable snapshot is read-only.
  EXPECT_THROW(driver.insertRow("t", {{"a", CellValue::integer(3)}}), DriverError);
  writer.exec("COMMIT;");
}

TEST(SQLiteOpen, OpensReadOnlyWhenTheFileCannotBeWritten) {
  TempDir dir;
  makeDatabase(dir / "ro.db", "CREATE TABLE t(a); INSERT INTO t VALUES (1);");
  // Tests run as root, who can write any file; a read-only open is forced through the URI.
  SQLiteDriver driver;
  std::filesystem::path uri = "file:" + (dir / "ro.db").string() + "?mode=ro";
  DatabaseMetadata metadata = driver.open(uri);
  EXPECT_EQ(metadata.tables.at(0).rowCount, 1);
  try {
    driver.insertRow("t", {{"a", CellValue::integer(2)}});
    FAIL() << "a read-only database accepted a row";
  } catch (const DriverError& error) {
    EXPECT_EQ(error.code(), SQLITE_READONLY);
  }
}

TEST(SQLiteOpen, BadInputFailsWithAClearErrorAndChangesNothing) {
  TempDir dir;
  testing::writeFile(dir / "notes.db", std::string(4096, 'x') + "this is a text file\n");
  makeDatabase(dir / "good.db", "CREATE TABLE t(a); WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < 3000) INSERT INTO t SELECT x FROM s;");
  std::string good = testing::readFile(dir / "good.db");
  testing::writeFile(dir / "truncated.db", good.substr(0, good.size() / 2));
  std::string corrupt = good;
  for (std::size_t i = 100; i < corrupt.size(); ++i) corrupt[i] = static_cast<char>(i * 7);
  testing::writeFile(dir / "corrupt.db", corrupt);
  std::filesystem::create_directory(dir / "folder.db");

  for (bool preview : {false, true}) {
    SCOPED_TRACE(preview ? "preview" : "editor");
    for (auto [name, message] : {std::pair{"notes.db", "file is not a database"},
                                 std::pair{"corrupt.db", "database disk image is malformed"}}) {
      testing::FileState before = captureState(dir / name);
      DriverError error = openError(dir / name, preview);
      EXPECT_EQ(std::string(error.what()), message) << name;
      EXPECT_EQ(captureState(dir / name), before) << name;
    }
    EXPECT_EQ(std::string(openError(dir / "folder.db", preview).what()), "\"folder.db\" is a folder, not a database file");
    DriverError missing = openError(dir / "missing.db", preview);
    EXPECT_EQ(std::string(missing.what()), "unable to open database file");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.db")) << "open never creates a file";
  }

  // A truncated file opens (its schema page is intact) but reading past its end fails.
  SQLiteDriver driver;
  testing::FileState before = captureState(dir / "truncated.db");
  try {
    driver.open(dir / "truncated.db");
    driver.fetchTableData("t", 5000);
    ADD_FAILURE() << "reading a truncated table succeeded";
  } catch (const DriverError& error) {
    EXPECT_STREQ(error.what(), "database disk image is malformed");
  }
  driver.close();
  EXPECT_EQ(captureState(dir / "truncated.db"), before);
}

TEST(SQLiteOpen, AZeroByteFileIsAnEmptyDatabaseAndStaysZeroBytes) {
  TempDir dir;
  testing::writeFile(dir / "empty.sqlite", "");
  for (bool preview : {false, true}) {
    SQLiteDriver driver;
    driver.previewReadOnly = preview;
    DatabaseMetadata metadata = driver.open(dir / "empty.sqlite");
    EXPECT_TRUE(metadata.tables.empty());
    EXPECT_EQ(metadata.schemaDDL, std::nullopt);
    EXPECT_THROW(driver.fetchTableData("data", 50, 0), DriverError);
    driver.close();
    EXPECT_EQ(std::filesystem::file_size(dir / "empty.sqlite"), 0u);
    EXPECT_EQ(testing::listDirectory(dir.path()), std::vector<std::string>{"empty.sqlite"});
  }
}

TEST(SQLiteOpen, EveryOperationOfAClosedDriverSaysTheDatabaseIsNotOpen) {
  SQLiteDriver driver;
  auto expectNotOpen = [](auto operation) {
    try {
      operation();
      ADD_FAILURE() << "succeeded without a database";
    } catch (const DriverError& error) {
      EXPECT_EQ(error.code(), -1);
      EXPECT_STREQ(error.what(), "Database is not open");
    }
  };
  expectNotOpen([&] { driver.fetchTables(); });
  expectNotOpen([&] { driver.fetchSchema("t"); });
  expectNotOpen([&] { driver.query("SELECT 1"); });
  expectNotOpen([&] { driver.fetchTableData("t"); });
  expectNotOpen([&] { driver.updateCell("t", DataRow{}, DataColumn{}, CellValue::null()); });
  expectNotOpen([&] { driver.deleteRow("t", DataRow{}); });
  expectNotOpen([&] { driver.insertRow("t", {}); });
  expectNotOpen([&] { driver.executeRawSQL("SELECT 1"); });
  expectNotOpen([&] { driver.withPreparedStatement("SELECT 1", [](sqlite3_stmt*) {}); });
  EXPECT_EQ(driver.getDDL(std::nullopt), std::nullopt);
  EXPECT_NO_THROW(driver.saveChanges());
  driver.close();
  driver.close();
}

}  // namespace
}  // namespace tabvora
