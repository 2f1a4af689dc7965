#include "json_test_support.hpp"

namespace tabvora::testing {
namespace {

TEST(JSONBadInput, SyntaxErrorsAnywhereInADocument) {
  TempDir dir;
  for (const char* text : {R"(x[{"a":1}])", R"([{"a":1},{"a" 2},{"a":3}])", R"([{"a":1},{"a":2})",
                           R"([{"a":1}] trailing)", R"([{"a":"unterminated}])", R"([{"a":01}])", R"([{"a":1,}])"}) {
    DriverError error = openError(dir, "bad.json", text);
    EXPECT_EQ(error.message(), "Invalid JSON format") << text;
    EXPECT_EQ(error.code(), -1);
  }
}

TEST(JSONBadInput, InvalidUTF8InsideStrings) {
  TempDir dir;
  EXPECT_EQ(openError(dir, "u.json", "[{\"a\":\"\xC3\x28\"}]").message(), "Invalid JSON format");
  EXPECT_EQ(openError(dir, "u2.json", "[{\"a\":\"\xED\xA0\x80\"}]").message(), "Invalid JSON format");
  OpenedJSON opened = openJSON(dir, "u.jsonl", "{\"a\":\"ok\"}\n{\"a\":\"\xFF\"}\n");
  EXPECT_EQ(opened.metadata.tables[0].rowCount, 1);
  EXPECT_EQ(opened.driver->skippedLineCount(), 1);
}

TEST(JSONBadInput, DeepNestingIsAnErrorOrASkippedLineNeverACrash) {
  TempDir dir;
  const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
  EXPECT_EQ(openError(dir, "deep.json", deep).message(), "Invalid JSON format");
  EXPECT_EQ(openError(dir, "deep2.json", "[{\"a\":" + deep + "}]").message(), "Invalid JSON format");

  OpenedJSON opened = openJSON(dir, "deep.jsonl", "{\"a\":" + deep + "}\n{\"a\":[[1]]}\n");
  EXPECT_EQ(opened.driver->skippedLineCount(), 1);
  EXPECT_EQ(opened.metadata.tables[0].rowCount, 1);

  // Nesting within the limit is kept as a JSON value and written back whole.
  const std::string nested = std::string(1'000, '[') + std::string(1'000, ']');
  opened = openJSON(dir, "nested.json", "{\"meta\":" + nested + ",\"rows\":[{\"a\":" + nested + ",\"b\":1},{\"a\":\"s\"}]}");
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

TEST(JSONBadInput, TooManyDistinctKeys) {
  TempDir dir;
  std::string text = "[";
  for (int i = 0; i <= 2000; ++i) text += (i ? "," : "") + std::string("{\"k") + std::to_string(i) + "\":1}";
  text += "]";
  DriverError error = openError(dir, "wide.json", text);
  EXPECT_EQ(error.code(), -1);
  EXPECT_EQ(error.message(), "The records have 2001 different keys; at most 2000 columns can be shown");
}

TEST(JSONBadInput, UnreadablePaths) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder.jsonl");
  std::filesystem::create_directory(dir / "folder.json");
  for (const char* name : {"folder.jsonl", "folder.json", "missing.jsonl"}) {
    JSONDriver driver(DatabaseFormat::fromURL(dir / name));
    try {
      driver.open(dir / name);
      ADD_FAILURE() << name;
    } catch (const DriverError& error) {
      EXPECT_EQ(error.message(), "Failed to read file at " + (dir / name).string());
    }
  }
}

}  // namespace
}  // namespace tabvora::testing
