#include <string>

#include "drivers/json/json_line_chunks.hpp"
#include "json_test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

// Lines {"seq":i,"pad":"xxx..."}, each about `width` bytes.
std::string numberedLines(int count, std::size_t width = 100) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    std::string line = R"({"seq":)" + std::to_string(i) + R"(,"pad":")";
    line += std::string(width > line.size() + 2 ? width - line.size() - 2 : 1, 'x') + "\"}";
    text += line + "\n";
  }
  return text;
}

TEST(JSONLines, SkipsLinesThatAreNotObjects) {
  TempDir dir;
  // Besides lines of other shapes: a line that is not UTF-8 and one nested past the limit.
  const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
  OpenedJSON opened = openJSON(dir, "events.jsonl",
                               "\xEF\xBB\xBF{\"a\":1}\n\n[1,2]\n{\"a\":\"\xFF\"}\n{\"a\":" + deep +
                                   "}\n{\"a\":\n\"text\"\r\n  {\"a\":2,\"b\":\"x\"}\r\n\t{\"a\":3}");
  EXPECT_EQ(opened.metadata.format, DatabaseFormat::jsonl);
  EXPECT_EQ(opened.driver->skippedLineCount(), 5);
  EXPECT_EQ(opened.metadata.tables[0].rowCount, 3);
  DataTable table = opened.table();
  EXPECT_EQ(table.rows[1].values, (std::vector<CellValue>{CellValue::integer(2), CellValue::text("x")}));
  EXPECT_EQ(table.rows[2].values[0], CellValue::integer(3));

  // Files without records are golden cases (tests/data/json/bad_documents.cases).
}

TEST(JSONLines, ManyChunksAreStagedInLineOrderWithOneSchema) {
  TempDir dir;
  // About 6 MB: several chunks parsed on worker threads. "late" occurs only in the last
  // chunk; "num" is an integer early and a real in the last line.
  std::string text = numberedLines(60'000, 100);
  for (int i = 0; i < 3; ++i) text.insert(0, "{\"num\":" + std::to_string(i) + "}\n");
  text += R"({"seq":60001,"num":0.5,"late":"yes"})" "\n";
  ASSERT_GT(JSONLineChunks::scan(text, std::nullopt).chunks.size(), 2u);
  OpenedJSON opened = openJSON(dir, "many.jsonl", text);
  EXPECT_EQ(opened.columnTypes(), (std::vector<std::string>{"num REAL", "seq INTEGER", "pad TEXT", "late TEXT"}));
  EXPECT_EQ(opened.metadata.tables[0].rowCount, 60'004);
  DataTable result = opened.driver->query("SELECT COUNT(*) FROM many WHERE seq <> rowid - 3");
  EXPECT_EQ(result.rows[0].values[0], CellValue::integer(0));
  result = opened.driver->query("SELECT late, num FROM many WHERE rowid = 60004");
  EXPECT_EQ(result.rows[0].values, (std::vector<CellValue>{CellValue::text("yes"), CellValue::real(0.5)}));
}

// What a preview stages of JSON Lines is a command-line case (apps/tabvora/cases/text_files.test).

}  // namespace
}  // namespace tabvora::testing
