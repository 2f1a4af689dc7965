#include "json_test_support.hpp"

namespace tabvora::testing {
namespace {

TEST(JSONDocument, StagesArrayOfRecordsWithColumnsInTextOrder) {
  TempDir dir;
  OpenedJSON opened = openJSON(dir, "sales-2024 q1.json", R"([{"b":1,"a":"x"},{"a":"y","d":true}])");
  EXPECT_EQ(opened.metadata.format, DatabaseFormat::json);
  EXPECT_EQ(opened.metadata.name, "sales-2024 q1.json");
  const std::string ddl = R"(CREATE TABLE "sales_2024_q1" ("b" INTEGER, "a" TEXT, "d" BOOLEAN);)";
  EXPECT_EQ(opened.metadata.schemaDDL, ddl);
  EXPECT_EQ(opened.metadata.tables,
            (std::vector<TableMetadata>{{"sales_2024_q1", TableType::table, 2, 3, opened.metadata.fileSize, ddl}}));

  DataTable table = opened.table();
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0].values, (std::vector<CellValue>{CellValue::integer(1), CellValue::text("x"), CellValue()}));
  EXPECT_EQ(table.rows[1].values, (std::vector<CellValue>{CellValue(), CellValue::text("y"), CellValue::integer(1)}));
  EXPECT_FALSE(opened.driver->wrapperKey());
}

TEST(JSONDocument, FindsRecordsInsideWrapperObject) {
  TempDir dir;
  // The first key in ascending order whose value is a non-empty array of objects wins; keys
  // and strings may hold escaped quotes and brackets.
  OpenedJSON opened = openJSON(
      dir, "w.json", R"({"z":[{"a":1}],"m":[],"n":[{"q":1},2],"o":{"a":[{}]},"b\"":[{"c":"]}\"" },{"c":"x"}],"u":null})");
  EXPECT_EQ(opened.driver->wrapperKey(), "b\"");
  EXPECT_EQ(opened.columnNames(), std::vector<std::string>{"c"});
  EXPECT_EQ(opened.table().rows[0].values[0], CellValue::text("]}\""));

  // Without such an array the root object is the only record.
  opened = openJSON(dir, "one.json", R"({"id":1,"list":[1,2],"objs":[{"a":1},3]})");
  EXPECT_FALSE(opened.driver->wrapperKey());
  EXPECT_EQ(opened.columnTypes(), (std::vector<std::string>{"id INTEGER", "list JSON", "objs JSON"}));
  ASSERT_EQ(opened.table().rows.size(), 1u);
  EXPECT_EQ(opened.table().rows[0].values, (std::vector<CellValue>{CellValue::integer(1), CellValue::text("[1,2]"),
                                                                   CellValue::text(R"([{"a":1},3])")}));
}

TEST(JSONDocument, MergesTypesAcrossRecords) {
  TempDir dir;
  // A number in a TEXT column is staged as its plain description: 1.0 as 1.
  OpenedJSON opened = openJSON(dir, "t.json", R"([
    {"n":1, "mixed":1, "nulls":null, "nested":[1,{"x":null}], "flag":true, "boolnum":true, "f":1.0, "r":1.0},
    {"n":2.5, "mixed":"1", "nulls":null, "nested":{"k":"v"}, "flag":false, "boolnum":3, "f":2, "r":[-0.0]},
    {"r":-0.0}, {"r":1.5}, {"r":1e20}
  ])");
  EXPECT_EQ(opened.columnTypes(), (std::vector<std::string>{"n REAL", "mixed TEXT", "nulls TEXT", "nested JSON",
                                                            "flag BOOLEAN", "boolnum TEXT", "f REAL", "r TEXT"}));
  DataTable table = opened.table();
  EXPECT_EQ(table.rows[0].values,
            (std::vector<CellValue>{CellValue::real(1.0), CellValue::text("1"), CellValue(),
                                    CellValue::text(R"([1,{"x":null}])"), CellValue::integer(1), CellValue::text("true"),
                                    CellValue::real(1.0), CellValue::text("1")}));
  EXPECT_EQ(table.rows[1].values,
            (std::vector<CellValue>{CellValue::real(2.5), CellValue::text("1"), CellValue(),
                                    CellValue::text(R"({"k":"v"})"), CellValue::integer(0), CellValue::text("3"),
                                    CellValue::real(2.0), CellValue::text("[-0.0]")}));
  std::vector<CellValue> r;
  for (std::size_t i = 2; i < 5; ++i) r.push_back(table.rows[i].values[7]);
  EXPECT_EQ(r, (std::vector<CellValue>{CellValue::text("-0"), CellValue::text("1.5"), CellValue::text("1e+20")}));
}

TEST(JSONDocument, NumberSemantics) {
  TempDir dir;
  // Integers past the 64-bit range are read with the real-file fixtures.
  OpenedJSON opened = openJSON(dir, "n.json", R"([
    {"min":-9223372036854775808, "exp":1E2, "frac":0.5, "zero":-0, "u":9223372036854775808},
    {"min":0, "exp":3, "frac":1, "zero":0, "u":1}
  ])");
  EXPECT_EQ(opened.columnTypes(),
            (std::vector<std::string>{"min INTEGER", "exp REAL", "frac REAL", "zero INTEGER", "u REAL"}));
  DataTable table = opened.table();
  EXPECT_EQ(table.rows[0].values, (std::vector<CellValue>{CellValue::integer(INT64_MIN), CellValue::real(100.0),
                                                          CellValue::real(0.5), CellValue::integer(0),
                                                          CellValue::real(9223372036854775808.0)}));
  EXPECT_EQ(table.rows[1].values, (std::vector<CellValue>{CellValue::integer(0), CellValue::real(3.0),
                                                          CellValue::real(1.0), CellValue::integer(0),
                                                          CellValue::real(1.0)}));

  // An oversized integer also parses inside nested values and inside strings stays text.
  opened = openJSON(dir, "nested.json", R"([{"v":[123456789012345678901234567890], "s":"123456789012345678901234567890"}])");
  EXPECT_EQ(opened.table().rows[0].values[0], CellValue::text("[1.2345678901234568e+29]"));
  EXPECT_EQ(opened.table().rows[0].values[1], CellValue::text("123456789012345678901234567890"));
}

TEST(JSONDocument, DuplicateKeysKeepTheLastValue) {
  TempDir dir;
  OpenedJSON opened = openJSON(dir, "d.json", R"([{"a":"x","a":1,"b":true,"b":null},{"a":2,"b":false}])");
  EXPECT_EQ(opened.columnTypes(), (std::vector<std::string>{"a INTEGER", "b BOOLEAN"}));
  DataTable table = opened.table();
  EXPECT_EQ(table.rows[0].values, (std::vector<CellValue>{CellValue::integer(1), CellValue()}));
  EXPECT_EQ(table.rows[1].values, (std::vector<CellValue>{CellValue::integer(2), CellValue::integer(0)}));

  opened = openJSON(dir, "root.json", R"({"items":[{"a":1}],"items":[{"b":2}]})");
  EXPECT_EQ(opened.columnNames(), std::vector<std::string>{"b"});
}

TEST(JSONDocument, ColumnNamesAndOrder) {
  TempDir dir;
  OpenedJSON opened = openJSON(dir, "n.json", R"([{"Name":1,"name":2,"":3,"NAME":4,"name_1":5,"q\"k":6}])");
  EXPECT_EQ(opened.columnNames(),
            (std::vector<std::string>{"Name", "name_1", "col_3", "NAME_2", "name_1_1", "q\"k"}));
  EXPECT_EQ(opened.driver->sourceKeys().at("name_1"), "name");
  EXPECT_EQ(opened.driver->sourceKeys().at("NAME_2"), "NAME");
  EXPECT_EQ(opened.driver->sourceKeys().at("name_1_1"), "name_1");
  EXPECT_EQ(opened.driver->sourceKeys().at("col_3"), "");
  EXPECT_EQ(opened.table().rows[0].values[5], CellValue::integer(6));

  // The order follows the first occurrence of "key" in the text, even as a value.
  opened = openJSON(dir, "o.json", R"([{"x":"b","a":1},{"b":2,"c":3}])");
  EXPECT_EQ(opened.columnNames(), (std::vector<std::string>{"x", "b", "a", "c"}));

  // Keys with escapes in the file are not found as typed and go last, in ascending order.
  opened = openJSON(dir, "e.json", R"([{"z\n":1,"y\u0041":2,"b":3}])");
  EXPECT_EQ(opened.columnNames(), (std::vector<std::string>{"b", "yA", "z\n"}));

  // Names never hold NUL (SQL text ends there), and keep their own keys.
  opened = openJSON(dir, "nul.json", R"([{"ab":1,"a\u0000b":2,"\u0000":3}])");
  EXPECT_EQ(opened.columnNames(), (std::vector<std::string>{"ab", "col_2", "ab_1"}));
  EXPECT_EQ(opened.driver->sourceKeys().at("ab_1"), std::string("a\0b", 3));
  EXPECT_EQ(opened.driver->sourceKeys().at("col_2"), std::string("\0", 1));
  EXPECT_EQ(opened.table().rows[0].values,
            (std::vector<CellValue>{CellValue::integer(1), CellValue::integer(3), CellValue::integer(2)}));
}

}  // namespace
}  // namespace tabvora::testing
