#include "json_test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

// The short documents are golden cases (tests/data/json/bad_documents.cases); nesting past the
// limit is refused as invalid rather than followed.
TEST(JSONBadInput, DeepNestingIsRefusedAsInvalid) {
  TempDir dir;
  const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
  for (const std::string& text : {deep, "[{\"a\":" + deep + "}]"}) {
    const DriverError error = openError(dir, "bad.json", text);
    EXPECT_EQ(std::make_tuple(error.domain(), error.code(), error.message()),
              std::make_tuple(std::string("JSONDriver"), -1, std::string("Invalid JSON format")));
  }
}

TEST(JSONBadInput, NestingWithinTheLimitIsKeptAndWrittenBackWhole) {
  TempDir dir;
  const std::string nested = std::string(1'000, '[') + std::string(1'000, ']');
  OpenedJSON opened =
      openJSON(dir, "nested.json", "{\"meta\":" + nested + ",\"rows\":[{\"a\":" + nested + ",\"b\":1},{\"a\":\"s\"}]}");
  EXPECT_EQ(opened.table().rows[0].values[0], CellValue::text(nested));
  opened.driver->saveChanges();
  OpenedJSON reopened = openJSONFile(opened.path);
  EXPECT_EQ(reopened.table().rows[0].values[0], CellValue::text(nested));
}

TEST(JSONBadInput, HugeSingleLines) {
  TempDir dir;
  const std::string value(50'000'000, 'v');
  OpenedJSON opened = openJSON(dir, "long.jsonl", "{\"id\":1,\"s\":\"" + value + "\"}");
  EXPECT_EQ(opened.metadata.tables[0].rowCount, 1);
  DataTable lengths = opened.driver->query("SELECT length(s) FROM long");
  EXPECT_EQ(lengths.rows[0].values[0], CellValue::integer(50'000'000));

  EXPECT_EQ(openError(dir, "garbage.json", std::string(50'000'000, '{')).message(), "Invalid JSON format");
  EXPECT_EQ(openError(dir, "garbage.jsonl", std::string(50'000'000, '{')).message(), "No JSON records found in file");
}

// Too many distinct keys: a command-line case (apps/tabvora/cases/text_files.test).

}  // namespace
}  // namespace tabvora::testing
