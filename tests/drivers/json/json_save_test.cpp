#include <cmath>
#include <map>

#include "json_test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

DataColumn columnNamed(OpenedJSON& opened, const std::string& name) {
  for (const DataColumn& column : opened.table().columns)
    if (column.name == name) return column;
  throw std::runtime_error("no column " + name);
}

void update(OpenedJSON& opened, std::size_t row, const std::string& column, const CellValue& value) {
  DataTable table = opened.table();
  opened.driver->updateCell(opened.metadata.tables[0].name, table.rows.at(row), columnNamed(opened, column), value);
}

TEST(JSONSave, EditsOfADocumentAreWrittenPrettyWithSortedKeysAndTheWrapperRestored) {
  TempDir dir;
  OpenedJSON opened = openJSON(dir, "r.json", R"({"meta":{"v":1,"path":"a/b","e":[],"o":{}},"items":[
    {"id":1,"v":5,"flag":true,"tags":["a"],"s":"x"},
    {"id":2,"v":"s","flag":false,"tags":{"k":1},"s":"tab\t\"q\" é \u0001","r":2.0}
  ],"z":null})");
  update(opened, 1, "s", CellValue::text("new"));
  update(opened, 0, "tags", CellValue::text("not json"));
  update(opened, 1, "flag", CellValue::text("TRUE"));
  opened.driver->deleteRow("r", opened.table().rows[0]);
  opened.driver->insertRow("r", {{"id", CellValue::integer(3)}, {"flag", CellValue::text("yes")}});
  opened.driver->saveChanges();
  // Written out by hand in saved_document.json.
  EXPECT_EQ(readFile(opened.path), readFile(std::filesystem::path(TABVORA_TEST_DATA) / "../drivers/json/saved_document.json"));
  OpenedJSON reopened = openJSONFile(opened.path);
  EXPECT_EQ(reopened.columnTypes(), (std::vector<std::string>{"flag TEXT", "id INTEGER", "r REAL", "s TEXT",
                                                              "tags JSON", "v TEXT"}));
}

TEST(JSONSave, TextCellsKeepTheirOriginalValuesUntilEdited) {
  TempDir dir;
  OpenedJSON opened = openJSON(dir, "m.jsonl",
                               "{\"v\":5}\n{\"v\":\"s\"}\n{\"v\":[1,{\"b\":2,\"a\":1}]}\n{\"v\":2.50}\n{\"v\":false}\n"
                               "{\"v\":18446744073709551615}\n{\"v\":1.0}\n{\"v\":\"a\\u0000b\"}\n{\"v\":7}\n"
                               "{\"v\":9}\n{\"v\":10}\n");
  EXPECT_EQ(opened.table().rows[2].values[0], CellValue::text(R"([1,{"b":2,"a":1}])"));
  EXPECT_EQ(opened.table().rows[5].values[0], CellValue::text("18446744073709551615"));
  EXPECT_EQ(opened.table().rows[6].values[0], CellValue::text("1"));
  EXPECT_EQ(opened.table().rows[7].values[0], CellValue::text("ab"));
  opened.driver->saveChanges();
  const std::string unchanged =
      "{\"v\":5}\n{\"v\":\"s\"}\n{\"v\":[1,{\"a\":1,\"b\":2}]}\n{\"v\":2.5}\n{\"v\":false}\n"
      "{\"v\":18446744073709551615}\n{\"v\":1.0}\n{\"v\":\"a\\u0000b\"}\n{\"v\":7}\n{\"v\":9}\n{\"v\":10}\n";
  EXPECT_EQ(readFile(opened.path), unchanged);

  // An edited cell is a string, unless it holds its staged text again; a row that was
  // inserted (even under the id of a deleted one) has no original. Edits by SQL count too.
  update(opened, 0, "v", CellValue::text("5x"));
  update(opened, 3, "v", CellValue::text("2.5"));
  update(opened, 8, "v", CellValue::text("8"));
  update(opened, 9, "v", CellValue::text("x"));
  update(opened, 9, "v", CellValue::text("9"));
  opened.driver->deleteRow("m", opened.table().rows[10]);
  opened.driver->insertRow("m", {{"v", CellValue::text("10")}});
  opened.driver->query("UPDATE m SET v = '4' WHERE rowid = 5");
  opened.driver->saveChanges();
  EXPECT_EQ(readFile(opened.path),
            "{\"v\":\"5x\"}\n{\"v\":\"s\"}\n{\"v\":[1,{\"a\":1,\"b\":2}]}\n{\"v\":2.5}\n{\"v\":\"4\"}\n"
            "{\"v\":18446744073709551615}\n{\"v\":1.0}\n{\"v\":\"a\\u0000b\"}\n{\"v\":\"8\"}\n{\"v\":9}\n"
            "{\"v\":\"10\"}\n");
}

TEST(JSONSave, JSONValueOfCells) {
  using T = ColumnType;
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::integer(2), T::boolean), nlohmann::json(true));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::integer(0), T::boolean), nlohmann::json(false));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::real(NAN), T::real), nlohmann::json(nullptr));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::real(-INFINITY), T::real), nlohmann::json(nullptr));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::text("False"), T::boolean), nlohmann::json(false));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::text("yes"), T::boolean), nlohmann::json("yes"));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::text("[1,\"a\"]"), T::json), nlohmann::json::parse("[1,\"a\"]"));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::text("12"), T::json), nlohmann::json(12));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::text("{oops"), T::json), nlohmann::json("{oops"));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::json("true"), T::text), nlohmann::json("true"));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::date({1705314600}), T::text), nlohmann::json("2024-01-15T10:30:00Z"));
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::blob({'h', 'i', '!'}), T::text), nlohmann::json("aGkh"));
  // Text nested past the parser's depth limit stays a string rather than overflowing the stack.
  std::string deep(100'000, '[');
  EXPECT_EQ(JSONDriver::jsonValue(CellValue::text(deep), T::json), nlohmann::json(deep));
}

TEST(JSONSave, JSONLinesRoundTrip) {
  TempDir dir;
  OpenedJSON opened = openJSON(dir, "l.jsonl", "{\"b\":1,\"a\":\"x\"}\r\n\n{\"a\":\"y\",\"c\":[1,2],\"b\":null}\n");
  update(opened, 0, "b", CellValue::integer(10));
  opened.driver->insertRow("l", {{"a", CellValue::text("line\nbreak")}});
  opened.driver->saveChanges();
  EXPECT_EQ(readFile(opened.path),
            "{\"a\":\"x\",\"b\":10,\"c\":null}\n{\"a\":\"y\",\"b\":null,\"c\":[1,2]}\n"
            "{\"a\":\"line\\nbreak\",\"b\":null,\"c\":null}\n");
  OpenedJSON reopened = openJSONFile(opened.path);
  EXPECT_EQ(reopened.table().rows.size(), 3u);
  EXPECT_EQ(reopened.table().rows[2].values[0], CellValue::text("line\nbreak"));
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
  update(opened, 0, "a", CellValue::integer(2));
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
