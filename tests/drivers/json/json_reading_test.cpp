#include <filesystem>
#include <string>

#include "drivers/json/json_document_source.hpp"
#include "drivers/json/json_file_text.hpp"
#include "drivers/json/json_lines_source.hpp"
#include "json_test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

TEST(JSONReading, AFileThatShrinksWhileReadIsReportedNotACrash) {
  TempDir dir;
  writeFile(dir / "s.jsonl", std::string(3'000'000, 'x'));
  JSONFileText whole(dir / "s.jsonl");
  JSONFileText prefix(dir / "s.jsonl");
  prefix.readPrefix(1'000'000);
  std::filesystem::resize_file(dir / "s.jsonl", 10);
  EXPECT_EQ(errorOf([&] { whole.readAll(); }).message(), FileReader::kChangedMessage);
  EXPECT_EQ(errorOf([&] { prefix.readPrefix(2'000'000); }).message(), FileReader::kChangedMessage);
}

TEST(JSONReading, APreviewOfJSONLinesReadsABoundedPrefix) {
  TempDir dir;
  const std::uint64_t first = JSONLinesSource::kFirstPreviewBytes, most = JSONLinesSource::kMostPreviewBytes;
  std::string lines;
  for (int i = 0; i < 300; ++i) lines += "{\"i\":" + std::to_string(i) + "}\n";
  std::string wide;  // lines of 600 KB: the first chunk closes after four
  for (int i = 0; i < 10; ++i) wide += "{\"s\":\"" + std::string(600'000, 'w') + "\"}\n";
  // A first line that ends on the last byte the cap allows, and one that ends a byte later.
  const std::string atCap = "{\"s\":\"" + std::string(most - 9, 'c') + "\"}\n";
  const std::string pastCap = "{\"s\":\"" + std::string(most - 8, 'c') + "\"}\n";
  ASSERT_EQ(atCap.size(), most);

  struct Case {
    std::filesystem::path path;
    std::uint64_t bytesRead;
    std::int64_t records;
  };
  const std::vector<Case> cases = {
      {dir.write("short.jsonl", lines, 200'000'000), first, 200},
      {dir.write("wide.jsonl", wide, wide.size()), 4 * first, 4},
      {dir.write("at.jsonl", atCap, most + 1'000'000), most, 1},
      {dir.write("small.jsonl", "{\"a\":1}", 7), 7, 1},
  };
  for (const Case& c : cases) {
    JSONLinesSource source(c.path, 200);
    EXPECT_EQ(source.bytesRead(), c.bytesRead) << c.path;
    JSONDriver::SchemaAccumulator schema;
    auto reader = source.makeSchemaReader();
    for (std::size_t unit = 0; unit < source.unitCount(); ++unit) reader(unit, schema);
    EXPECT_EQ(schema.recordCount, c.records) << c.path;
  }
  dir.write("past.jsonl", pastCap, most + 1'000'000);
  EXPECT_EQ(errorOf([&] { JSONLinesSource(dir / "past.jsonl", 200); }).message(),
            "The first line is larger than 64 MB; a preview reads at most 64 MB");
}

TEST(JSONReading, APreviewRefusesADocumentPastItsCap) {
  TempDir dir;
  const std::uint64_t most = JSONDocumentSource::kMostPreviewBytes;
  // Zero bytes are no JSON: a document that is read at all fails as invalid.
  dir.write("at.json", "", most);
  dir.write("past.json", "", most + 1);
  EXPECT_EQ(errorOf([&] { JSONDocumentSource(dir / "at.json", true, false); }).message(), "Invalid JSON format");
  EXPECT_EQ(errorOf([&] { JSONDocumentSource(dir / "past.json", true, false); }).message(),
            "This JSON document is 1 GB; a preview reads documents of at most 1 GB");
  EXPECT_EQ(errorOf([&] { JSONDocumentSource(dir / "past.json", false, true); }).message(), "Invalid JSON format");
}

}  // namespace
}  // namespace tabvora::testing
