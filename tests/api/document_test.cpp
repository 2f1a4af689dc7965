#include "tabvora/tabvora.hpp"

#include <functional>

#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::contains;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

const std::filesystem::path kExamples = std::filesystem::path(TABVORA_TEST_DATA) / "../../examples";

template <typename Operation>
Error apiErrorOf(Operation&& operation) {
  try {
    operation();
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "the operation threw no tabvora::Error";
  return Error("", 0, "");
}

TEST(Document, ReadsEachFormatThroughOneInterface) {
  struct Case {
    std::filesystem::path file;
    const char* format;
    const char* firstTable;
    const char* firstValue;  // display text of the first page's first cell
  };
  const Case cases[] = {
      {kExamples / "chinook_sample.sqlite", "SQLite", "albums", "1"},
      {kExamples / "sales.csv", "CSV", "sales", "1001"},
      {kExamples / "events.jsonl", "JSON Lines", "events", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.filename().string());
    const std::string before = readFile(c.file);
    Document document = Document::open(c.file);
    EXPECT_EQ(document.format(), c.format);
    const std::vector<TableInfo> tables = document.tables();
    ASSERT_FALSE(tables.empty());
    EXPECT_EQ(tables.front().name, c.firstTable);
    EXPECT_TRUE(tables.front().columnCount.has_value());

    const Rows page = document.page(c.firstTable, 2, 1);
    ASSERT_EQ(page.rows.size(), 2u);
    EXPECT_EQ(page.rows.front().size(), page.columns.size());
    EXPECT_GT(page.totalRowCount, 2);
    EXPECT_EQ(document.page(c.firstTable, 1).rows.at(0).at(0).text, c.firstValue);
    EXPECT_EQ(document.query("SELECT count(*) FROM \"" + std::string(c.firstTable) + "\"", 10).rows.at(0).at(0).data,
              decltype(Value::data)(page.totalRowCount));
    EXPECT_EQ(readFile(c.file), before);
  }
}

TEST(Document, ValuesCarryKindDataAndDisplayText) {
  Document document = Document::open(kExamples / "sales.csv");
  const Rows rows = document.query("SELECT 7, 2.5, 'x', NULL, x'0102'", 1);
  ASSERT_EQ(rows.rows.size(), 1u);
  const std::vector<Value>& values = rows.rows[0];
  EXPECT_EQ(values[0].kind, Value::Kind::integer);
  EXPECT_EQ(std::get<std::int64_t>(values[0].data), 7);
  EXPECT_EQ(std::get<double>(values[1].data), 2.5);
  EXPECT_EQ(std::get<std::string>(values[2].data), "x");
  EXPECT_EQ(values[3].kind, Value::Kind::null);
  EXPECT_EQ(values[3].text, "NULL");
  EXPECT_EQ(std::get<Value::Bytes>(values[4].data), (Value::Bytes{1, 2}));
  EXPECT_EQ(rows.columns.size(), 5u);
}

TEST(Document, FailuresAreErrorsWithDomainCodeAndMessage) {
  TempDir dir;
  writeFile(dir / "data.csv", "a\n1\n");
  struct Case {
    const char* name;
    std::function<void()> operation;
    const char* domain;
    const char* message;
  };
  const Case cases[] = {
      {"missing file", [&] { Document::open(dir / "none.sqlite"); }, "SQLiteDriver", ""},
      {"folder", [&] { Document::open(dir.path()); }, "Document", ""},
      {"limit past the most", [&] { Document::open(dir / "data.csv").page("data", Document::kMaxRows + 1); },
       "Document", "from 0 to 1000000, not 1000001"},
      {"negative limit", [&] { Document::open(dir / "data.csv").query("SELECT 1", -1); }, "Document", "not -1"},
      {"negative offset", [&] { Document::open(dir / "data.csv").page("data", 1, -1); }, "Document", "not -1"},
      {"bad SQL", [&] { Document::open(dir / "data.csv").query("SELEC 1", 1); }, "SQLiteDriver", "syntax error"},
      {"moved away", [&] {
         Document document = Document::open(dir / "data.csv");
         Document other = std::move(document);
         document.tables();
       }, "Document", "moved away"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Error error = apiErrorOf(c.operation);
    EXPECT_EQ(error.domain(), c.domain);
    EXPECT_TRUE(contains(error.message(), c.message)) << error.message();
    EXPECT_FALSE(error.message().empty());
  }
  EXPECT_EQ(Document::open(dir / "data.csv").page("data", Document::kMaxRows).rows.size(), 1u);
}

TEST(Document, ReadingNeverWritesTheDatabase) {
  TempDir dir;
  const std::filesystem::path copy = dir / "copy.sqlite";
  std::filesystem::copy_file(kExamples / "chinook_sample.sqlite", copy);
  const std::string before = readFile(copy);
  Document document = Document::open(copy);
  EXPECT_TRUE(contains(apiErrorOf([&] { document.query("DELETE FROM albums", 1); }).message(), "not authorized"));
  document = Document::open(kExamples / "sales.csv");
  EXPECT_EQ(readFile(copy), before);
  EXPECT_EQ(testing::listDirectory(dir.path()), std::vector<std::string>{"copy.sqlite"});
}

TEST(PreviewPage, IsThePagePreviewGivesAndTheErrorPageEscapes) {
  const std::string page = previewPage(kExamples / "sales.csv");
  EXPECT_TRUE(contains(page, "Gift wrap, please"));
  EXPECT_TRUE(contains(previewPage("/nonexistent/file.csv"), "Unable to preview"));
  EXPECT_TRUE(contains(errorPage("<b>&"), "&lt;b&gt;&amp;"));
}

}  // namespace
}  // namespace tabvora
