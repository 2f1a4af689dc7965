#include "preview/preview_provider.hpp"

#include <gtest/gtest.h>

#include "drivers/delimited/delimited_driver.hpp"
#include "drivers/json/json_driver.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::readFile;
using testing::testData;

std::string shown(const std::optional<std::int64_t>& value) { return value ? std::to_string(*value) : "-"; }
std::string shown(const std::optional<std::string>& value) { return value.value_or("-"); }

// Records what the provider asks of a driver; can be told to fail at open or at reading.
class ScriptedDriver final : public DatabaseDriver {
 public:
  std::vector<TableMetadata> tables;
  std::optional<std::string> openFailure;
  bool openThrowsNonDriverError = false;
  bool fetchFails = false;

  // "open", "close", and each read with its table, limit, offset, sort column and filter.
  std::vector<std::string> calls;

  DatabaseFormat format() const override { return DatabaseFormat::sqlite; }
  std::optional<std::filesystem::path> currentURL() const override { return std::nullopt; }
  DatabaseMetadata open(const std::filesystem::path& url) override {
    calls.push_back("open");
    if (openThrowsNonDriverError) throw std::out_of_range("index past the end");
    if (openFailure) throw DriverError("ScriptedDriver", -1, *openFailure);
    return DatabaseMetadata{"scripted.db", DatabaseFormat::sqlite, url, 2048, tables, std::nullopt};
  }
  DataTable fetchTableData(const std::string& tableName, std::optional<std::int64_t> limit,
                           std::optional<std::int64_t> offset, std::optional<std::string> sortColumn, bool,
                           std::optional<std::string> filter) override {
    calls.push_back("fetchTableData " + tableName + " " + shown(limit) + " " + shown(offset) + " " +
                    shown(sortColumn) + " " + shown(filter));
    if (fetchFails) throw DriverError("ScriptedDriver", 1, "no such table: " + tableName);
    DataColumn column{"n", ColumnType::integer, false, true, std::nullopt, 0};
    return DataTable(tableName, {column}, {DataRow{0, 1, {CellValue::integer(7)}}}, 99);
  }
  void close() noexcept override { calls.push_back("close"); }

  // Nothing else is part of a preview.
  std::vector<TableMetadata> fetchTables() override { throw std::logic_error("unused"); }
  std::vector<DataColumn> fetchSchema(const std::string&) override { throw std::logic_error("unused"); }
  DataTable query(const std::string&, std::optional<std::int64_t>, std::optional<std::int64_t>) override {
    throw std::logic_error("unused");
  }
  std::optional<std::string> getDDL(std::optional<std::string>) override { throw std::logic_error("unused"); }
  void updateCell(const std::string&, const DataRow&, const DataColumn&, const CellValue&) override {
    throw std::logic_error("unused");
  }
  void deleteRow(const std::string&, const DataRow&) override { throw std::logic_error("unused"); }
  void insertRow(const std::string&, const ColumnValues&) override { throw std::logic_error("unused"); }
  void saveChanges() override { throw std::logic_error("unused"); }
};

TableMetadata table(std::string name, std::optional<std::int64_t> rows) {
  return TableMetadata{std::move(name), TableType::table, rows, std::nullopt, std::nullopt, std::nullopt};
}

TEST(PreviewProvider, ReadsFiftyRowsOfTheFirstTableOnlyAndCloses) {
  ScriptedDriver driver;
  driver.tables = {table("other", 3), table("second", 5)};
  PreviewReply reply = PreviewProvider::providePreview(driver, "/data/scripted.db");

  EXPECT_EQ(driver.calls, (std::vector<std::string>{"open", "fetchTableData other 50 0 - -", "close"}));

  EXPECT_EQ(reply.contentType, "text/html");
  EXPECT_EQ(reply.contentSize, (ContentSize{860, 560}));
  EXPECT_NE(reply.data.find("<span class=\"table-pill active\">other (3)</span>"), std::string::npos);
  EXPECT_NE(reply.data.find("Showing 1 of 99 rows"), std::string::npos);
}

TEST(PreviewProvider, FileWithoutTablesAsksForDataAndUnreadableRowsGiveAnEmptyGrid) {
  ScriptedDriver driver;
  driver.fetchFails = true;
  PreviewReply reply = PreviewProvider::providePreview(driver, "/data/none.db");

  EXPECT_EQ(driver.calls, (std::vector<std::string>{"open", "fetchTableData data 50 0 - -", "close"}));
  EXPECT_EQ(reply.contentSize, (ContentSize{860, 560}));
  EXPECT_NE(reply.data.find("      0 tables\n"), std::string::npos);
  EXPECT_NE(reply.data.find("<tr><th>#</th></tr>"), std::string::npos);
  EXPECT_NE(reply.data.find("Showing 0 of 0 rows"), std::string::npos);
}

TEST(PreviewProvider, FailedOpenClosesAndAnswersTheErrorPage) {
  ScriptedDriver driver;
  driver.openFailure = "file \"x.db\" is <b>not</b> a database & can't be read";
  PreviewReply reply = PreviewProvider::providePreview(driver, "/data/x.db");
  EXPECT_EQ(driver.calls, (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(reply.contentType, "text/html");
  EXPECT_EQ(reply.contentSize, (ContentSize{600, 300}));
  EXPECT_EQ(reply.data, readFile(testData("preview/error_page.html")));
  // Text that already looks escaped is escaped again.
  EXPECT_TRUE(PreviewProvider::errorPage("&amp;").ends_with("<p>&amp;amp;</p>\n</body>\n</html>"));

  // Any other exception from open is an error page too.
  ScriptedDriver broken;
  broken.openThrowsNonDriverError = true;
  reply = PreviewProvider::providePreview(broken, "/data/x.db");
  EXPECT_EQ(broken.calls, (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(reply.contentSize, (ContentSize{600, 300}));
  EXPECT_TRUE(reply.data.ends_with("<p>index past the end</p>\n</body>\n</html>"));
}

// The row limit reaches a driver through its open, whatever class the driver is.
class RecordingDelimitedDriver final : public DelimitedDriver {
 public:
  RecordingDelimitedDriver() : DelimitedDriver(DatabaseFormat::csv) {}
  DatabaseMetadata open(const std::filesystem::path&) override {
    limitAtOpen = previewRowLimit;
    throw DriverError("DelimitedDriver", -1, "recorded");
  }
  std::optional<std::int64_t> limitAtOpen;
};

TEST(PreviewProvider, RowLimitReachesTheTextDriversAtOpenAndSQLiteIsReadOnly) {
  testing::TempDir dir;
  DelimitedDriver csv(DatabaseFormat::csv);
  PreviewProvider::providePreview(csv, dir / "missing.csv");
  EXPECT_EQ(csv.previewRowLimit, 200);

  JSONDriver jsonl(DatabaseFormat::jsonl);
  PreviewProvider::providePreview(jsonl, dir / "missing.jsonl");
  EXPECT_EQ(jsonl.previewRowLimit, 200);

  RecordingDelimitedDriver subclass;
  PreviewReply reply = PreviewProvider::providePreview(subclass, dir / "x.csv");
  EXPECT_EQ(subclass.limitAtOpen, 200);
  EXPECT_TRUE(reply.data.ends_with("<p>recorded</p>\n</body>\n</html>"));

  SQLiteDriver sqlite;
  PreviewProvider::providePreview(sqlite, dir / "missing.db");
  EXPECT_TRUE(sqlite.previewReadOnly);
}

}  // namespace
}  // namespace tabvora::internal
