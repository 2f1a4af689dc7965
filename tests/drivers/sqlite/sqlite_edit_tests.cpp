#include <gtest/gtest.h>
#include <sqlite3.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"
#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

const char* kUpdateNotLocated = "The row could not be located, so nothing was changed. Refresh the table and try again.";
const char* kDeleteNotLocated = "The row could not be located, so nothing was deleted. Refresh the table and try again.";

DriverError editError(const std::function<void()>& edit) {
  try {
    edit();
  } catch (const DriverError& error) {
    return error;
  }
  ADD_FAILURE() << "the edit succeeded";
  return DriverError("", 0, "");
}

class SQLiteEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    driver_.openInMemory();
    driver_.executeRawSQL(
        "CREATE TABLE plain(a, b);"
        "INSERT INTO plain VALUES (1, 'x'), (2, 'y'), (3, NULL);"
        "CREATE TABLE keyed(code TEXT, part INTEGER, v, PRIMARY KEY (code, part)) WITHOUT ROWID;"
        "INSERT INTO keyed VALUES ('a', 1, 'first'), ('a', 2, 'second');"
        "CREATE TABLE bare(rowid, _rowid_, oid, v);"
        "INSERT INTO bare VALUES (1, 1, 1, NULL), (1, 1, 1, NULL), (2, 2, 2, 'z');");
  }
  DataRow row(const std::string& table, std::int64_t index) { return driver_.fetchTableData(table).rows.at(index); }
  CellValue cell(const std::string& sql) { return driver_.query(sql).rows.at(0).values.at(0); }

  SQLiteDriver driver_;
};

TEST_F(SQLiteEdit, UpdatesFindTheRowByItsIdentityAndBindEveryKindOfValue) {
  DataRow second = row("plain", 1);
  ASSERT_EQ(second.rowid, 2);
  const DataColumn b{"b", ColumnType::text, false, true, std::nullopt, 1};
  const std::pair<CellValue, std::string> cases[] = {
      {CellValue::integer(-42), "integer -42"},
      {CellValue::real(0.25), "real 0.25"},
      {CellValue::text("it's \"quoted\""), "text it's \"quoted\""},
      {CellValue::json("{\"k\":1}"), "text {\"k\":1}"},
      {CellValue::boolean(true), "integer 1"},
      {CellValue::date(Date{1705314600.25}), "text 2024-01-15T10:30:00Z"},
      {CellValue::blob({1, 2}), "blob 0102"},
      {CellValue::blob({}), "blob "},
      {CellValue::null(), "null "},
  };
  for (const auto& [value, expected] : cases) {
    driver_.updateCell("plain", second, b, value);
    EXPECT_EQ(cell("SELECT typeof(b) || ' ' || CASE typeof(b) WHEN 'blob' THEN hex(b) ELSE ifnull(b, '') END "
                   "FROM plain WHERE rowid = 2"),
              CellValue::text(expected));
  }
  EXPECT_EQ(cell("SELECT count(*) FROM plain WHERE b IS NULL"), CellValue::integer(2)) << "one row changed";
}

TEST_F(SQLiteEdit, RowsWithoutIdentityAreFoundByPrimaryKeyOrByEveryValue) {
  DataRow second = row("keyed", 1);
  ASSERT_EQ(second.rowid, std::nullopt);
  driver_.updateCell("keyed", second, DataColumn{"v", ColumnType::text, false, true, std::nullopt, 2},
                     CellValue::text("changed"));
  EXPECT_EQ(cell("SELECT group_concat(v, ',') FROM keyed"), CellValue::text("first,changed"));
  driver_.deleteRow("keyed", row("keyed", 0));
  EXPECT_EQ(cell("SELECT group_concat(v, ',') FROM keyed"), CellValue::text("changed"));

  // No alias and no key: every column, NULLs compared with IS NULL.
  DataRow distinct = row("bare", 2);
  driver_.deleteRow("bare", distinct);
  EXPECT_EQ(cell("SELECT count(*) FROM bare"), CellValue::integer(2));
}

TEST_F(SQLiteEdit, IdenticalRowsAreNeverChangedTogether) {
  DataRow twin = row("bare", 0);
  DriverError deleted = editError([&] { driver_.deleteRow("bare", twin); });
  EXPECT_EQ(deleted.code(), -1);
  EXPECT_STREQ(deleted.what(),
               "The row could not be told apart from other rows with the same values, so nothing was deleted.");
  DriverError updated = editError([&] {
    driver_.updateCell("bare", twin, DataColumn{"v", ColumnType::text, false, true, std::nullopt, 3},
                       CellValue::text("both?"));
  });
  EXPECT_EQ(updated.code(), -1);
  EXPECT_EQ(cell("SELECT count(*) FROM bare WHERE v IS NULL"), CellValue::integer(2));
  EXPECT_EQ(cell("SELECT count(*) FROM bare"), CellValue::integer(3));
}

TEST_F(SQLiteEdit, ARowThatWentAwaySaysItCouldNotBeLocatedAndChangesNothing) {
  DataRow first = row("plain", 0);
  DataRow keyedFirst = row("keyed", 0);
  driver_.executeRawSQL("DELETE FROM plain WHERE a = 1; DELETE FROM keyed WHERE part = 1;");
  const DataColumn a{"a", ColumnType::integer, false, true, std::nullopt, 0};

  DriverError updated = editError([&] { driver_.updateCell("plain", first, a, CellValue::integer(9)); });
  EXPECT_EQ(updated.code(), -1);
  EXPECT_STREQ(updated.what(), kUpdateNotLocated);
  DriverError deleted = editError([&] { driver_.deleteRow("keyed", keyedFirst); });
  EXPECT_STREQ(deleted.what(), kDeleteNotLocated);
  DriverError byValue = editError([&] { driver_.deleteRow("plain", DataRow{0, std::nullopt, {CellValue::integer(1)}}); });
  EXPECT_STREQ(byValue.what(), kDeleteNotLocated);
  EXPECT_EQ(cell("SELECT group_concat(a, ',') FROM plain"), CellValue::text("2,3"));
  EXPECT_STREQ(editError([&] { driver_.deleteRow("absent", first); }).what(), "no such table: absent");
}

TEST_F(SQLiteEdit, InsertsBindInTheGivenOrderAndReportConstraintFailures) {
  driver_.insertRow("plain", {{"b", CellValue::text("new")}, {"a", CellValue::integer(4)}});
  EXPECT_EQ(cell("SELECT a || b FROM plain WHERE rowid = 4"), CellValue::text("4new"));
  driver_.insertRow("plain", {});
  EXPECT_EQ(cell("SELECT count(*) FROM plain WHERE a IS NULL AND b IS NULL"), CellValue::integer(1));

  DriverError duplicate = editError([&] {
    driver_.insertRow("keyed", {{"code", CellValue::text("a")}, {"part", CellValue::integer(1)}});
  });
  EXPECT_EQ(duplicate.code(), SQLITE_CONSTRAINT);
  EXPECT_EQ(editError([&] { driver_.insertRow("plain", {{"nope", CellValue::null()}}); }).code(), -1);
}

TEST(SQLiteSave, ChangesReachTheFileAndTheWALIsCheckpointed) {
  testing::TempDir dir;
  testing::makeDatabase(dir / "w.db", "PRAGMA journal_mode = WAL; CREATE TABLE t(a); INSERT INTO t VALUES (1);");
  SQLiteDriver driver;
  driver.open(dir / "w.db");
  driver.updateCell("t", driver.fetchTableData("t").rows.at(0), DataColumn{"a", ColumnType::integer, false, true, std::nullopt, 0},
                    CellValue::integer(2));
  EXPECT_GT(std::filesystem::file_size(dir / "w.db-wal"), 0u);
  driver.saveChanges();
  // After a full checkpoint the main file alone holds the change.
  testing::writeFile(dir / "copy.db", testing::readFile(dir / "w.db"));
  SQLiteDriver copy;
  copy.open(dir / "copy.db");
  EXPECT_EQ(copy.query("SELECT a FROM t").rows.at(0).values.at(0), CellValue::integer(2));
}

}  // namespace
}  // namespace tabvora
