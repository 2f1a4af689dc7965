#include <gtest/gtest.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"

namespace tabvora::internal {
namespace {

using testing::errorOf;

const char* kNotChanged = "The row could not be located, so nothing was changed. Refresh the table and try again.";
const char* kNotDeleted = "The row could not be located, so nothing was deleted. Refresh the table and try again.";

DataColumn column(const char* name, int index) { return DataColumn{name, ColumnType::text, false, true, std::nullopt, index}; }

class SQLiteEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    driver_.openInMemory();
    driver_.executeRawSQL(
        "CREATE TABLE plain(a, b); INSERT INTO plain VALUES (1, 'x'), (2, 'y'), (3, NULL);"
        "CREATE TABLE keyed(code TEXT, part INTEGER, v, PRIMARY KEY (code, part)) WITHOUT ROWID;"
        "INSERT INTO keyed VALUES ('a', 1, 'first'), ('a', 2, 'second');"
        "CREATE TABLE bare(rowid, _rowid_, oid, v);"
        "INSERT INTO bare VALUES (1, 1, 1, NULL), (1, 1, 1, NULL), (2, 2, 2, 'z');");
  }
  DataRow row(const std::string& table, std::size_t index) { return driver_.fetchTableData(table).rows.at(index); }
  CellValue cell(const std::string& sql) { return driver_.query(sql).rows.at(0).values.at(0); }
  SQLiteDriver driver_;
};

TEST_F(SQLiteEdit, UpdatesFindTheRowByItsIdentityAndBindEveryKindOfValue) {
  const DataRow second = row("plain", 1);
  const std::pair<CellValue, const char*> cases[] = {
      {CellValue::integer(-42), "integer -42"}, {CellValue::real(0.25), "real 0.25"},
      {CellValue::text("it's \"q\""), "text it's \"q\""}, {CellValue::json("{\"k\":1}"), "text {\"k\":1}"},
      {CellValue::boolean(true), "integer 1"}, {CellValue::date(Date{1705314600.25}), "text 2024-01-15T10:30:00Z"},
      {CellValue::blob({1, 2}), "blob 0102"}, {CellValue::blob({}), "blob "}, {CellValue::null(), "null "}};
  for (const auto& [value, expected] : cases) {
    driver_.updateCell("plain", second, column("b", 1), value);
    EXPECT_EQ(cell("SELECT typeof(b) || ' ' || CASE typeof(b) WHEN 'blob' THEN hex(b) ELSE ifnull(b, '') END "
                   "FROM plain WHERE rowid = 2"), CellValue::text(expected));
  }
  EXPECT_EQ(cell("SELECT count(*) FROM plain WHERE b IS NULL"), CellValue::integer(2)) << "only one row changed";
}

TEST_F(SQLiteEdit, RowsWithoutIdentityAreFoundByPrimaryKeyOrByEveryValue) {
  driver_.updateCell("keyed", row("keyed", 1), column("v", 2), CellValue::text("changed"));
  driver_.deleteRow("keyed", row("keyed", 0));
  EXPECT_EQ(cell("SELECT group_concat(v) FROM keyed"), CellValue::text("changed"));
  driver_.deleteRow("bare", row("bare", 2));
  EXPECT_EQ(cell("SELECT count(*) FROM bare"), CellValue::integer(2));

  // Identical rows cannot be told apart: changing "one" of them would change all.
  const DataRow twin = row("bare", 0);
  EXPECT_STREQ(errorOf([&] { driver_.deleteRow("bare", twin); }).what(),
               "The row could not be told apart from other rows with the same values, so nothing was deleted.");
  EXPECT_EQ(errorOf([&] { driver_.updateCell("bare", twin, column("v", 3), CellValue::text("?")); }).code(), -1);
  EXPECT_EQ(cell("SELECT count(*) FROM bare WHERE v IS NULL"), CellValue::integer(2));
}

TEST_F(SQLiteEdit, ARowThatWentAwaySaysItCouldNotBeLocatedAndChangesNothing) {
  const DataRow first = row("plain", 0);
  const DataRow keyedFirst = row("keyed", 0);
  driver_.executeRawSQL("DELETE FROM plain WHERE a = 1; DELETE FROM keyed WHERE part = 1;");
  DriverError updated = errorOf([&] { driver_.updateCell("plain", first, column("a", 0), CellValue::integer(9)); });
  EXPECT_EQ(updated.code(), -1);
  EXPECT_STREQ(updated.what(), kNotChanged);
  EXPECT_STREQ(errorOf([&] { driver_.deleteRow("keyed", keyedFirst); }).what(), kNotDeleted);
  EXPECT_STREQ(errorOf([&] { driver_.deleteRow("plain", DataRow{0, std::nullopt, {CellValue::integer(1)}}); }).what(),
               kNotDeleted);
  EXPECT_EQ(cell("SELECT group_concat(a) FROM plain"), CellValue::text("2,3"));
}

TEST_F(SQLiteEdit, InsertsBindInTheGivenOrderAndAnEmptyRowTakesTheDefaults) {
  driver_.insertRow("plain", {{"b", CellValue::text("new")}, {"a", CellValue::integer(4)}});
  EXPECT_EQ(cell("SELECT a || b FROM plain WHERE rowid = 4"), CellValue::text("4new"));
  driver_.insertRow("plain", {});
  EXPECT_EQ(cell("SELECT count(*) FROM plain WHERE a IS NULL AND b IS NULL"), CellValue::integer(1));
}

}  // namespace
}  // namespace tabvora::internal
