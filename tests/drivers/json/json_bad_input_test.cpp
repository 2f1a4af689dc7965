#include "json_test_support.hpp"

namespace tabvora::testing {
namespace {

TEST(JSONBadInput, DocumentsThatCannotBeReadNameTheirFault) {
  TempDir dir;
  const std::string invalid = "Invalid JSON format", shape = "JSON root must be an object or array of objects",
                    none = "No JSON records found in file";
  const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Syntax errors at the start, in the middle and at the end.
      {R"(x[{"a":1}])", invalid}, {R"([{"a":1},{"a" 2},{"a":3}])", invalid}, {R"([{"a":1},{"a":2})", invalid},
      {R"([{"a":1}] trailing)", invalid}, {R"([{"a":"unterminated}])", invalid}, {R"([{"a":01}])", invalid},
      {R"([{"a":1,}])", invalid}, {R"([{"v":1e999}])", invalid},  // beyond the range of a double
      {"[{\"a\":\"\xC3\x28\"}]", invalid}, {"[{\"a\":\"\xED\xA0\x80\"}]", invalid},  // invalid UTF-8 in strings
      {deep, invalid}, {"[{\"a\":" + deep + "}]", invalid},
      {R"("text")", invalid}, {"12", invalid}, {"true", invalid}, {"null", invalid}, {"", invalid}, {"   ", invalid},
      // Misplaced punctuation.
      {"[1,]", invalid}, {"[,1]", invalid}, {"[1 2]", invalid}, {"[1", invalid}, {"[1]]", invalid},
      {"{a:1}", invalid}, {R"({"a":[1,})", invalid}, {R"([{"a":[1,2}]]])", invalid}, {R"({"a" 1})", invalid},
      // A syntax error anywhere outranks the shape of the root.
      {R"([1, {"a" 2}])", invalid}, {R"([{"a":1}, 2, {"b":tru}])", invalid},
      {R"({"items":[{"x":1}], "meta": tru})", invalid}, {R"({"items":[{"x":1}, {"y" 1}]})", invalid},
      {"{\"items\\u\":[{\"x\":1}]}", invalid},
      {"[1,2]", shape}, {R"([{"a":1},2])", shape}, {R"([{"a":1}, [2], {"b":2}])", shape},
      {"[]", none}, {"[{}]", none}, {"{}", none},
  };
  for (const auto& [text, message] : cases) {
    const DriverError error = openError(dir, "bad.json", text);
    EXPECT_EQ(error.message(), message) << text.substr(0, 60);
    EXPECT_EQ(error.domain(), "JSONDriver");
    EXPECT_EQ(error.code(), -1);
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

TEST(JSONBadInput, TooManyDistinctKeys) {
  TempDir dir;
  std::string text = "[";
  for (int i = 0; i <= 2000; ++i) text += (i ? "," : "") + std::string("{\"k") + std::to_string(i) + "\":1}";
  text += "]";
  DriverError error = openError(dir, "wide.json", text);
  EXPECT_EQ(error.code(), -1);
  EXPECT_EQ(error.message(), "The records have 2001 different keys; at most 2000 columns can be shown");
}

}  // namespace
}  // namespace tabvora::testing
