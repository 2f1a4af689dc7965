#include <gtest/gtest.h>
#include <sqlite3.h>

#include <thread>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staging_driver.hpp"
#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

// The loading pattern every staging driver follows: create, one transaction, one
// reused INSERT bound per row.
void load(SQLiteDriver& staging, const std::vector<std::pair<std::int64_t, const char*>>& rows) {
  staging.executeRawSQL("CREATE TABLE \"t\" (\"id\" INTEGER NOT NULL, \"name\" TEXT CHECK (name <> 'bad'));");
  staging.executeRawSQL("BEGIN TRANSACTION;");
  staging.withPreparedStatement("INSERT INTO \"t\" VALUES (?, ?);", [&](sqlite3_stmt* insert) {
    for (const auto& [id, name] : rows) {
      if (id < 0)
        sqlite3_bind_null(insert, 1);
      else
        sqlite3_bind_int64(insert, 1, id);
      sqlite3_bind_text(insert, 2, name, -1, SQLITE_TRANSIENT);
      staging.stepAndReset(insert);
    }
  });
  staging.executeRawSQL("COMMIT;");
}

TEST(SQLiteStaging, LoadsRowsAndAnswersLikeAFile) {
  SQLiteDriver staging;
  staging.openInMemory();
  load(staging, {{1, "a"}, {2, "b"}, {3, "c"}});
  std::vector<TableMetadata> tables = staging.fetchTables();
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rowCount, 3) << "an in-memory database is always counted";
  DataTable page = staging.fetchTableData("t", 2, 1);
  EXPECT_EQ(page.totalRowCount, 3);
  EXPECT_EQ(page.rows.at(0).values.at(1), CellValue::text("b"));
  EXPECT_EQ(page.rows.at(0).rowid, 2);
  EXPECT_EQ(staging.currentURL(), std::nullopt);
}

TEST(SQLiteStaging, OpeningAgainStartsFromAnEmptyDatabase) {
  SQLiteDriver staging;
  staging.openInMemory();
  load(staging, {{1, "a"}});
  EXPECT_EQ(staging.fetchTableData("t").totalRowCount, 1);
  staging.openInMemory();
  EXPECT_TRUE(staging.fetchTables().empty());
  EXPECT_THROW(staging.fetchTableData("t"), DriverError) << "the cached total went with the old database";
}

TEST(SQLiteStaging, ConstraintViolationsSurfaceWithTheirResultCode) {
  for (const char* bad : {"null id", "check"}) {
    SCOPED_TRACE(bad);
    SQLiteDriver staging;
    staging.openInMemory();
    try {
      load(staging, {{1, "a"}, {std::string(bad) == "null id" ? -1 : 2, std::string(bad) == "check" ? "bad" : "b"}});
      FAIL() << "the violation was accepted";
    } catch (const DriverError& error) {
      EXPECT_EQ(error.domain(), "SQLiteDriver");
      EXPECT_EQ(error.code(), SQLITE_CONSTRAINT);
      EXPECT_NE(std::string(error.what()).find("constraint failed"), std::string::npos) << error.what();
    }
    // The failed load left its transaction open; the next open discards everything.
    staging.openInMemory();
    EXPECT_TRUE(staging.fetchTables().empty());
  }
}

TEST(SQLiteStaging, NoStatementCanReachAFileThroughAttach) {
  testing::TempDir dir;
  SQLiteDriver staging;
  staging.openInMemory();
  const std::string attach = "ATTACH DATABASE '" + (dir / "leak.db").string() + "' AS other;";
  try {
    staging.executeRawSQL(attach);
    FAIL() << "ATTACH was allowed";
  } catch (const DriverError& error) {
    EXPECT_EQ(error.code(), SQLITE_ERROR);
    EXPECT_STREQ(error.what(), "too many attached databases - max 0");
  }
  EXPECT_THROW(staging.query(attach), DriverError);
  EXPECT_FALSE(std::filesystem::exists(dir / "leak.db"));
}

TEST(SQLiteStaging, PreparedStatementsFailCleanlyAndAlwaysFinalize) {
  SQLiteDriver staging;
  staging.openInMemory();
  bool called = false;
  for (const char* empty : {"", "  -- nothing\n"}) {
    try {
      staging.withPreparedStatement(empty, [&](sqlite3_stmt*) { called = true; });
      ADD_FAILURE() << "an empty text prepared";
    } catch (const DriverError& error) {
      EXPECT_EQ(error.code(), -1);
    }
  }
  EXPECT_FALSE(called);
  try {
    staging.withPreparedStatement("INSERT INTO missing VALUES (?)", [&](sqlite3_stmt*) { called = true; });
    ADD_FAILURE() << "prepared against a missing table";
  } catch (const DriverError& error) {
    EXPECT_STREQ(error.what(), "no such table: missing");
  }
  EXPECT_FALSE(called);

  // A body's own error propagates and the statement is still finalized, so the
  // connection closes cleanly (the sanitizer build would report a leaked statement).
  EXPECT_THROW(staging.withPreparedStatement("SELECT 1", [](sqlite3_stmt*) { throw std::runtime_error("body"); }),
               std::runtime_error);
  EXPECT_THROW(staging.executeRawSQL("NOT SQL"), DriverError);
  staging.close();
}

TEST(SQLiteStaging, AStagingDriverHoldsTheLockAcrossForwardedCalls) {
  struct Staged : StagingDriver {
    DatabaseFormat format() const override { return DatabaseFormat::csv; }
    DatabaseMetadata open(const std::filesystem::path&) override { return {}; }
    void saveChanges() override {}
    void close() noexcept override { internalSQLite.close(); }
  } driver;
  driver.internalSQLite.openInMemory();
  load(driver.internalSQLite, {{1, "a"}});
  std::unique_lock held(driver.internalSQLite.mutex());
  // The lock is recursive: the holder can still call through.
  EXPECT_EQ(driver.fetchTableData("t").rows.size(), 1u);
  bool otherThreadGotIn = true;
  std::thread other([&] { otherThreadGotIn = driver.internalSQLite.mutex().try_lock(); });
  other.join();
  EXPECT_FALSE(otherThreadGotIn);
}

}  // namespace
}  // namespace tabvora
