#include <cmath>
#include <map>

#include "json_test_support.hpp"
#include "support/case_file.hpp"
#include "support/edit_steps.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

// The edits and saves of drivers/json/json_save.cases, and the JSON values cells are saved as.
TEST(JSONSave, EditsAndSavesOfTheTable) {
  TempDir dir;
  for (const TextCase& c : readTextCases("drivers/json/json_save.cases")) {
    if (c.word(0) == "value") {
      const nlohmann::json value = JSONDriver::jsonValue(stepValue(c.input.at(0)), *ColumnType::fromRawValue(c.word(1)));
      EXPECT_EQ(value.dump(), c.expected.at(0)) << c.where;
      continue;
    }
    OpenedJSON opened = openJSON(dir, c.word(1), c.input.at(0));
    for (std::size_t i = 1; i < c.input.size(); ++i) applyStep(*opened.driver, opened.metadata.tables[0].name, opened.path, c.input[i]);
    std::string expected;
    for (const std::string& line : c.expected) expected += (expected.empty() ? "" : "\n") + line;
    EXPECT_EQ(readFile(opened.path), expected) << c.where;
  }
}

// Text nested past the parser's depth limit stays a string rather than overflowing the stack;
// the JSON values of other cells are cases.
TEST(JSONSave, JSONValueOfDeeplyNestedText) {
  std::string deep(100'000, '[');
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::text(deep), ColumnType::json), nlohmann::json(deep));
}

// What files of every shape stage is in the golden corpus (tests/data/json); a column
// renamed to be unique remembers the key it is written back under.
TEST(JSONSave, RenamedColumnsRememberTheirKeys) {
  OpenedJSON opened = openJSONFile(testData("json/key_collisions.json"));
  const std::map<std::string, std::string> renamed = {{"name_1", "name"}, {"NAME_2", "NAME"}, {"name_1_1", "name_1"},
                                                      {"col_3", ""}};
  for (const auto& [column, key] : renamed) EXPECT_EQ(opened.driver->sourceKeys().at(column), key) << column;
  opened = openJSONFile(testData("json/nul_in_keys.json"));
  EXPECT_EQ(opened.driver->sourceKeys().at("ab_1"), std::string("a\0b", 3));
  EXPECT_EQ(opened.driver->sourceKeys().at("col_2"), std::string("\0", 1));
}

TEST(JSONSave, RefusalsLeaveTheFileUntouched) {
  TempDir dir;
  const std::string skipped = "{\"a\":1}\nbad\n[1]\n{\"a\"\n";
  OpenedJSON opened = openJSON(dir, "s.jsonl", skipped);
  applyStep(*opened.driver, "s", opened.path, "update 0 a integer:2");
  const DriverError error = errorOf([&] { opened.driver->saveChanges(); });
  EXPECT_EQ(error.code(), -2);
  EXPECT_EQ(error.domain(), "JSONDriver");
  EXPECT_EQ(error.message(),
            "3 line(s) in this file are not valid JSON objects and were skipped when it was opened. Saving would "
            "delete them, so the file was left untouched. Use Export instead.");
  EXPECT_EQ(readFile(opened.path), skipped);

  // A preview keeps nothing for writing back: saving it is refused, whatever it staged.
  std::string many;
  for (int i = 0; i < 300; ++i) many += "{\"a\":" + std::to_string(i) + "}\n";
  const std::vector<std::pair<std::string, std::string>> previews = {
      {"p.jsonl", many}, {"q.jsonl", "{\"a\":1}\n"}, {"d.json", "[{\"a\":1.0,\"b\":\"x\"},{\"a\":\"y\"}]"}};
  for (const auto& [name, content] : previews) {
    opened = openJSON(dir, name, content, 200);
    const DriverError refusal = errorOf([&] { opened.driver->saveChanges(); });
    EXPECT_EQ(refusal.code(), -2);
    EXPECT_EQ(refusal.message(),
              "This file was opened for a preview, which keeps only what the page shows. Saving could lose data, "
              "so the file was left untouched. Open it in full to edit it.");
    EXPECT_EQ(readFile(opened.path), content);
  }
}

}  // namespace
}  // namespace tabvora::testing
