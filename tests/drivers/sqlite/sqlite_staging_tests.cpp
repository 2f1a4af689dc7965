#include <gtest/gtest.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"
#include "platform/large_page_pool.hpp"

namespace tabvora::internal {
namespace {

using testing::errorOf;

// The loading pattern of every staging driver: create, one transaction, one reused INSERT.
void load(SQLiteDriver& staging, const std::vector<std::pair<std::int64_t, const char*>>& rows) {
  staging.executeRawSQL("CREATE TABLE \"t\" (\"id\" INTEGER NOT NULL, \"name\" TEXT CHECK (name <> 'bad'));");
  staging.executeRawSQL("BEGIN TRANSACTION;");
  staging.withPreparedStatement("INSERT INTO \"t\" VALUES (?, ?);", [&](sqlite3_stmt* insert) {
    for (const auto& [id, name] : rows) {
      id < 0 ? sqlite3_bind_null(insert, 1) : sqlite3_bind_int64(insert, 1, id);
      sqlite3_bind_text(insert, 2, name, -1, SQLITE_TRANSIENT);
      staging.stepAndReset(insert);
    }
  });
  staging.executeRawSQL("COMMIT;");
}

TEST(SQLiteStaging, LoadsRowsAndOpeningAgainStartsEmpty) {
  SQLiteDriver staging;
  staging.openInMemory();
  load(staging, {{1, "a"}, {2, "b"}, {3, "c"}});
  EXPECT_EQ(staging.fetchTables().at(0).rowCount, 3) << "an in-memory database is always counted";
  EXPECT_EQ(staging.fetchTableData("t", 2, 1).rows.at(0).values.at(1), CellValue::text("b"));
  staging.openInMemory();
  EXPECT_TRUE(staging.fetchTables().empty());
  EXPECT_THROW(staging.fetchTableData("t"), DriverError) << "the cached total went with the old database";
  staging.close();
  for (const auto& operation : std::vector<std::function<void()>>{
           [&] { staging.fetchTables(); }, [&] { staging.fetchTableData("t"); }, [&] { staging.query("SELECT 1"); },
           [&] { staging.deleteRow("t", DataRow{}); }, [&] { staging.executeRawSQL("SELECT 1"); }})
    EXPECT_STREQ(errorOf(operation).what(), "Database is not open");
  EXPECT_EQ(staging.getDDL(std::nullopt), std::nullopt);
}

TEST(SQLiteStaging, ConstraintViolationsSurfaceWithTheirResultCode) {
  for (auto [id, name] : {std::pair<std::int64_t, const char*>{-1, "null id"}, {2, "bad"}}) {
    SQLiteDriver staging;
    staging.openInMemory();
    DriverError error = errorOf([&] { load(staging, {{1, "a"}, {id, name}}); });
    EXPECT_EQ(error.code(), SQLITE_CONSTRAINT);
    EXPECT_NE(std::string(error.what()).find("constraint failed"), std::string::npos) << error.what();
  }
}

TEST(SQLiteStaging, NoStatementCanReachAFile) {
  testing::TempDir dir;
  SQLiteDriver staging;
  staging.openInMemory();
  const std::string attach = "ATTACH DATABASE '" + (dir / "leak.db").string() + "' AS other;";
  EXPECT_STREQ(errorOf([&] { staging.executeRawSQL(attach); }).what(), "too many attached databases - max 0");
  EXPECT_THROW(staging.query(attach), DriverError);
  // Large sorts still spill to anonymous temporary files.
  staging.executeRawSQL("CREATE TABLE t AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
                        "SELECT i, randomblob(200) AS b FROM n");
  staging.executeRawSQL("PRAGMA temp_store = FILE; PRAGMA cache_size = 10; CREATE TEMP TABLE s AS SELECT * FROM t ORDER BY b");
  EXPECT_STREQ(errorOf([&] { staging.executeRawSQL("VACUUM INTO '" + (dir / "copy.db").string() + "'"); }).what(),
               "too many attached databases - max 0");
  EXPECT_EQ(testing::listDirectory(dir.path()), std::vector<std::string>{});
}

TEST(SQLiteStaging, PreparedStatementsFailBeforeTheBodyAndAlwaysFinalize) {
  SQLiteDriver staging;
  staging.openInMemory();
  bool called = false;
  for (const char* sql : {"", "  -- nothing\n", "INSERT INTO missing VALUES (?)"})
    EXPECT_EQ(errorOf([&] { staging.withPreparedStatement(sql, [&](sqlite3_stmt*) { called = true; }); }).code(), -1);
  EXPECT_FALSE(called);
  // The body's error propagates; the statement is finalized all the same. A statement left
  // mid-read would keep its table locked, and the DROP below would fail with "database
  // table is locked".
  staging.executeRawSQL("CREATE TABLE t(x); INSERT INTO t VALUES (1), (2);");
  EXPECT_THROW(staging.withPreparedStatement("SELECT x FROM t",
                                             [](sqlite3_stmt* statement) {
                                               ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
                                               throw std::runtime_error("body");
                                             }),
               std::runtime_error);
  EXPECT_NO_THROW(staging.executeRawSQL("DROP TABLE t;"));
}

// SQLite's memory: pages come from the pool, other sizes from malloc, and a reallocation
// across the two keeps the bytes.
TEST(SQLiteStaging, MemoryKeepsItsBytesAcrossThePoolAndMalloc) {
  auto* memory = static_cast<unsigned char*>(sqlite3_malloc(100));
  ASSERT_NE(memory, nullptr);
  for (int i = 0; i < 100; ++i) memory[i] = static_cast<unsigned char>(i);
  for (const int size : {65536 + 150, 200'000, 4096, 50}) {
    memory = static_cast<unsigned char*>(sqlite3_realloc(memory, size));
    ASSERT_NE(memory, nullptr);
    EXPECT_GE(sqlite3_msize(memory), static_cast<sqlite3_uint64>(size));
    for (int i = 0; i < 50; ++i) EXPECT_EQ(memory[i], i) << size;
  }
  sqlite3_free(memory);
  // Past the pool's first requests of a size, a page takes a pool slot.
  std::vector<void*> pages;
  for (std::size_t i = 0; i <= LargePagePool::kWarmUpBytes / 65536; ++i) pages.push_back(sqlite3_malloc(65536 + 150));
  EXPECT_EQ(sqlite3_msize(pages.back()), LargePagePool::slotSize(65536 + 150 + 8) - 8);
  for (void* page : pages) sqlite3_free(page);
}

}  // namespace
}  // namespace tabvora::internal
