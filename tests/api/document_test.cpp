#include "tabvora/tabvora.hpp"

#include <algorithm>
#include <functional>
#include <future>

#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::contains;
using testing::errorOf;
using testing::readFile;

const std::filesystem::path kExamples = std::filesystem::path(TABVORA_TEST_DATA) / "../../examples";

// Every format read through the API is the golden corpus (corpus_test.cpp); that a write
// reaches a staged copy of a text file and never the file, and that a database refuses it,
// are command-line cases (apps/tabvora/cases/tables_and_query.test).

TEST(Document, ValuesCarryKindDataAndDisplayText) {
  const Rows rows = Document::open(kExamples / "sales.csv").query("SELECT 7, 2.5, 'x', NULL, x'0102'", 1);
  const std::vector<Value>& values = rows.rows.at(0);
  EXPECT_EQ(values[0].data, decltype(Value::data)(std::int64_t{7}));
  EXPECT_EQ(values[1].data, decltype(Value::data)(2.5));
  EXPECT_EQ(values[2].data, decltype(Value::data)(std::string("x")));
  EXPECT_EQ(values[3].kind, Value::Kind::null);
  EXPECT_EQ(values[4].data, decltype(Value::data)(Value::Bytes{1, 2}));
  EXPECT_EQ(values[4].text, "BLOB [2 bytes]");
}

TEST(Document, FailuresAreErrorsWithDomainAndMessage) {
  const std::filesystem::path csv = kExamples / "sales.csv";
  const testing::TempDir dir;
  const std::filesystem::path missing = dir / "missing";
  using Code = ErrorCode;
  const std::tuple<std::function<void()>, const char*, Code, const char*> cases[] = {
      // A file that cannot be opened gives the system's reason, whatever its format.
      {[&] { Document::open(missing / "data.sqlite"); }, "DriverManager", Code::unreadable, "No such file or directory"},
      {[&] { Document::open(missing); }, "DriverManager", Code::unreadable, "No such file or directory"},
      {[&] { Document::open(missing / "data.csv"); }, "DriverManager", Code::unreadable, "No such file or directory"},
      {[] { Document::open(kExamples); }, "DriverManager", Code::unreadable, "folder"},
      {[&] { Document::open(csv).page("sales", Document::kMaxRows + 1); }, "Document", Code::invalidArgument,
       "from 0 to 1000000, not 1000001"},
      {[&] { Document::open(csv).page("sales", 1, -1); }, "Document", Code::invalidArgument, "0 or more, not -1"},
      {[&] { Document::open(csv).page("sales", {5, 0, "nope", true, {}, FilterCombination::all}); }, "TableReader", Code::invalidArgument, "no column \"nope\""},
      {[&] { Document::open(csv).query("SELEC 1", 1); }, "SQLiteDriver", Code::database, "syntax error"},
      {[&] { Document::open(kExamples / "chinook_sample.sqlite").saveChanges(); }, "SQLiteDriver", Code::writeRefused, ""},
      {[&] {
         Document document = Document::open(csv);
         Document other = std::move(document);
         document.tables();
       }, "Document", Code::invalidArgument, "moved away"},
  };
  for (const auto& [operation, domain, code, message] : cases) {
    const Error error = errorOf(operation);
    EXPECT_EQ(error.domain(), domain) << error.message();
    EXPECT_EQ(error.errorCode(), code) << error.message();
    EXPECT_TRUE(contains(error.message(), message) && !error.message().empty()) << error.message();
  }
  EXPECT_EQ(errorOf([&] { Document::open(csv).query("SELEC 1", 1); }).file(), csv);
  EXPECT_EQ(Document::open(csv).page("sales", Document::kMaxRows).rows.size(), 12u);
}

// Pages narrowed, sorted and offset; statistics and exports of the selected rows, streamed;
// edits through the rows of a page, written back only where the driver can.
TEST(Document, ReadsSummarisesExportsAndEditsThroughTheSameRows) {
  const testing::TempDir dir;
  const std::filesystem::path csv = dir.copy("../../examples/sales.csv", "sales.csv");
  Document document = Document::open(csv);
  PageRequest request{
      2, 1, "quantity", false, {ColumnFilter("region", ColumnFilter::Operator::equals, "North")}, FilterCombination::all};
  const Rows page = document.page("sales", request);
  ASSERT_EQ(page.rows.size(), 2u);
  EXPECT_EQ(page.positions, (std::vector<std::int64_t>{1, 2}));
  const std::int64_t north = page.totalRowCount;
  EXPECT_GE(std::get<std::int64_t>(page.rows[0][4].data), std::get<std::int64_t>(page.rows[1][4].data));

  const RowSelection selection{request.filters, FilterCombination::all, std::nullopt};
  const std::vector<ColumnStatistics> statistics = document.statistics("sales", selection);
  ASSERT_EQ(statistics.size(), page.columns.size());
  EXPECT_EQ(statistics[2].column.name, "region");
  EXPECT_EQ(statistics[2].totalCount, north);
  EXPECT_EQ(statistics[2].distinctCount, 1);
  std::string exported;
  int pieces = 0;
  document.exportTable("sales", ExportFormat::csv, [&](std::string_view text) { exported += text, ++pieces; }, selection);
  EXPECT_TRUE(exported.starts_with("order_id,order_date,region,"));
  EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), north + 1);
  // What the sink throws reaches the caller unchanged.
  struct Full {};
  EXPECT_THROW(document.exportTable("sales", ExportFormat::json, [](std::string_view) { throw Full{}; }), Full);

  const Rows first = document.page("sales", 1);
  document.updateCell("sales", first, 0, "notes", Value{Value::Kind::text, std::string("edited"), "edited"});
  document.insertRow("sales", {{"order_id", Value{Value::Kind::integer, std::int64_t{9999}, "9999"}}});
  document.deleteRow("sales", document.page("sales", 1, 1), 0);
  EXPECT_EQ(errorOf([&] { document.updateCell("sales", first, 5, "notes", Value{}); }).errorCode(), ErrorCode::invalidArgument);
  document.saveChanges();
  const std::string saved = readFile(csv);
  EXPECT_TRUE(contains(saved, "edited") && contains(saved, "9999") && !contains(saved, "Gift wrap")) << saved;

  // A workbook is never written back.
  Document workbook = Document::open(dir.copy("spreadsheet/libreoffice.xlsx", "book.xlsx"));
  EXPECT_EQ(errorOf([&] { workbook.saveChanges(); }).errorCode(), ErrorCode::writeRefused);
}

// Statistics worked out while a file loads are those the staged table gives, whatever the
// values (numbers the column's affinity may change, negative zero, long integers, short rows,
// several batches of rows); they answer without reading a row, and an edit drops them.
TEST(Document, StatisticsGatheredWhileLoadingAreThoseOfTheStagedTable) {
  const testing::TempDir dir;
  std::string many = "id,amount,label,mixed\n";
  for (int i = 0; i < 9000; ++i) {
    many += std::to_string(i % 4000) + "," + (i % 7 ? std::to_string(i % 1000) + "." + std::to_string(i % 13) : "") +
            ",l" + std::to_string(i % 37) + "," + (i % 3 ? "1" : i % 2 ? "2.5" : "") + "\n";
  }
  const std::vector<std::string> files = {
      many,
      "a,b,c\n1,2.5,x\n 3 ,4,y\n5,-0.0,w\n,,\n",
      "a,b\n1,1e3\n2,1.5E2\n3,.5\n4,5.\n",
      "a,b\n123456789012345678,1.0\n1234567890123456789,2\n-9223372036854775808,3\n",
      "a,b\n1,0.5\n2,123456789012345678\n3,-7\n",
      "a,b\n+5,1\n0x10,2\n1_0,3\n",
      "a,a,\n1,2,3,4\n5\n",
      "n\n1\n1.0\n01\n\xc3\xa9\n",
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::filesystem::path csv = dir.write("f" + std::to_string(i) + ".csv", files[i]);
    const std::string table = "f" + std::to_string(i);
    OpenOptions options;
    options.gatherStatistics = true;
    std::uint64_t rowsRead = 0;
    options.progress = [&](const Progress& progress) {
      if (progress.unit == Progress::Unit::rows) rowsRead = progress.done;
    };
    Document gathered = Document::open(csv, options);
    const std::vector<ColumnStatistics> expected = Document::open(csv).statistics(table, {});
    EXPECT_EQ(gathered.statistics(table, {}), expected) << files[i];
    if (i == 0) {
      EXPECT_EQ(rowsRead, 0u);
      gathered.insertRow(table, {{"id", Value{Value::Kind::integer, std::int64_t{-1}, "-1"}}});
      EXPECT_EQ(gathered.statistics(table, {})[0].totalCount, 9001);
      EXPECT_GT(rowsRead, 0u);
    }
  }
}

// Pages anywhere in a large table, of a filter, a search or a sort, are the rows the same
// statement gives with its count; after an edit they show it.
TEST(Document, PagesAreTheirStatementsRowsAnywhereAndFollowEdits) {
  const testing::TempDir dir;
  std::string csv = "id,city,amount\n";
  const char* cities[] = {"Lima", "Oslo", "Pune"};
  for (int i = 1; i <= 25000; ++i) csv += std::to_string(i) + "," + cities[i % 3] + "," + std::to_string(i % 7) + "\n";
  Document document = Document::open(dir.write("data.csv", csv));
  const auto text = [](const Rows& rows) {
    std::vector<std::string> texts;
    for (const std::vector<Value>& row : rows.rows)
      for (const Value& value : row) texts.push_back(value.text);
    return texts;
  };
  const ColumnFilter lima("city", ColumnFilter::Operator::equals, "Lima");
  const ColumnFilter quoted("city", ColumnFilter::Operator::equals, "O'?1\"");
  const auto check = [&](const PageRequest& request, const std::string& where, const std::string& order) {
    const std::string rows = "SELECT * FROM data" + where + " ORDER BY " + order + "rowid LIMIT " +
                             std::to_string(request.limit) + " OFFSET " + std::to_string(request.offset);
    const std::int64_t kept =
        std::get<std::int64_t>(document.query("SELECT COUNT(*) FROM data" + where, 1).rows.at(0).at(0).data);
    // A first page may leave its count for later: the rows given and one more, until the
    // counted page has been asked for.
    PageRequest later = request;
    later.countRows = false;
    const Rows quick = document.page("data", later);
    const bool uncounted = !where.empty() && request.offset == 0 && !request.sortColumn;
    EXPECT_EQ(quick.totalRowCount, uncounted ? std::min(kept, request.limit + 1) : kept) << rows;
    EXPECT_EQ(quick.totalRowCountIsLowerBound, uncounted && kept > request.limit) << rows;
    const Rows page = document.page("data", request);
    EXPECT_EQ(document.page("data", later).totalRowCount, kept) << rows;
    EXPECT_EQ(text(page), text(document.query(rows, request.limit))) << rows;
    EXPECT_EQ(text(quick), text(page)) << rows;
    EXPECT_EQ(page.totalRowCount, kept) << rows;
    if (!page.positions.empty()) {
      EXPECT_EQ(page.positions.front(), request.offset) << rows;
    }
  };
  const auto checkAll = [&] {
    const auto request = [&](std::int64_t offset, std::optional<std::string> sort, bool ascending, int filtered,
                             std::string search) {
      PageRequest made;
      made.offset = offset;
      made.sortColumn = std::move(sort);
      made.ascending = ascending;
      if (filtered) made.filters = {filtered == 1 ? lima : quoted};
      made.search = std::move(search);
      return made;
    };
    const std::string limaOnly = " WHERE city = 'Lima'", puneOnly = " WHERE city = 'Pune'";
    const std::tuple<PageRequest, std::string, const char*> cases[] = {
        {request(0, std::nullopt, true, false, ""), "", ""},
        {request(12500, std::nullopt, true, false, ""), "", ""},
        {request(24960, std::nullopt, true, false, ""), "", ""},
        {request(0, "amount", false, false, ""), "", "amount DESC, "},
        {request(12000, "amount", false, false, ""), "", "amount DESC, "},
        {request(24990, "amount", true, false, ""), "", "amount ASC, "},
        {request(0, std::nullopt, true, 1, ""), limaOnly, ""},
        {request(4000, std::nullopt, true, 1, ""), limaOnly, ""},
        {request(8300, std::nullopt, true, 1, ""), limaOnly, ""},
        {request(4000, "amount", true, 1, ""), limaOnly, "amount ASC, "},
        {request(0, std::nullopt, true, 2, ""), " WHERE city = 'O''?1\"'", ""},
        {request(7000, std::nullopt, true, false, "pUNE"), puneOnly, ""},
        {request(0, "id", false, false, "pUNE"), puneOnly, "id DESC, "},
    };
    for (const auto& [request, where, order] : cases) check(request, where, order);
  };
  checkAll();

  // A row leaves the filter, another is deleted, a third added: every kept result is redone.
  PageRequest first;
  first.limit = 1;
  first.filters = {lima};
  document.updateCell("data", document.page("data", first), 0, "city", Value{Value::Kind::text, std::string("Oslo"), "Oslo"});
  document.deleteRow("data", document.page("data", 1, 2000), 0);
  document.insertRow("data", {{"id", Value{Value::Kind::integer, std::int64_t{9999}, "9999"}},
                              {"city", Value{Value::Kind::text, std::string("Lima"), "Lima"}}});
  EXPECT_EQ(document.page("data", first).totalRowCount, 8332);
  EXPECT_EQ(document.page("data", 1, 0).totalRowCount, 25000);
  checkAll();
}

// A statement cancelled from another thread fails as interrupted, on a database and on a
// staged file alike, and the document answers the next one.
TEST(Document, CancelStopsTheRunningStatementFromAnotherThread) {
  constexpr const char* kEndless =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n";
  for (const char* file : {"sales.csv", "chinook_sample.sqlite"}) {
    Document document = Document::open(kExamples / file);
    document.cancel();  // none runs: nothing happens
    auto running = std::async(std::launch::async, [&] { return errorOf([&] { document.select(kEndless, 1); }); });
    while (running.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) document.cancel();
    const std::string message = running.get().message();
    EXPECT_TRUE(contains(message, "interrupt")) << file << ": " << message;
    EXPECT_EQ(document.select("SELECT 2", 1).rows.at(0).at(0).text, "2") << file;
  }
}

// The preview page of a file, or the error page naming why it cannot be read, is what
// tabvora preview writes (apps/tabvora/cases/preview.test).

}  // namespace
}  // namespace tabvora::internal
