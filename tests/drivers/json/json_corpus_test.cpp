#include "json_test_support.hpp"

namespace tabvora::testing {
namespace {

// Files written by other programs, with the facts both of two independent readers agree on.

TEST(JSONCorpus, WrappedItems) {
  OpenedJSON opened = openJSONFile(testData("json/wrapped_items.json"));
  EXPECT_EQ(opened.metadata.tables[0].name, "wrapped_items");
  EXPECT_EQ(opened.metadata.tables[0].rowCount, 12);
  EXPECT_EQ(opened.metadata.fileSize, 1417);
  EXPECT_EQ(opened.columnTypes(), (std::vector<std::string>{"sku TEXT", "qty INTEGER", "price REAL", "tags JSON"}));
  EXPECT_EQ(opened.driver->wrapperKey(), "items");
  EXPECT_EQ((*opened.driver->wrapperObject())["meta"]["version"], nlohmann::json(3));
  DataTable table = opened.table();
  EXPECT_EQ(table.rows.front().values, (std::vector<CellValue>{CellValue::text("SKU-001"), CellValue::integer(3),
                                                               CellValue::real(1.1), CellValue::text("[\"a\"]")}));
  EXPECT_EQ(table.rows.back().values, (std::vector<CellValue>{CellValue::text("SKU-012"), CellValue::integer(36),
                                                              CellValue::real(13.2), CellValue::text("[]")}));
}

TEST(JSONCorpus, BigIntegersAndUnicode) {
  OpenedJSON opened = openJSONFile(testData("json/bigint_unicode.json"));
  EXPECT_EQ(opened.metadata.tables[0].rowCount, 3);
  EXPECT_EQ(opened.columnTypes(), (std::vector<std::string>{"id INTEGER", "big INTEGER", "bigger REAL", "huge REAL",
                                                            "neg REAL", "text TEXT", "ctrl TEXT"}));
  DataTable table = opened.table();
  EXPECT_EQ(table.rows[0].values,
            (std::vector<CellValue>{CellValue::integer(1), CellValue::integer(INT64_MAX),
                                    CellValue::real(9223372036854775808.0), CellValue::real(1.2345678901234568e29),
                                    CellValue::real(-9223372036854775809.0),
                                    CellValue::text("caf\u00e9 \U0001F600 \u4e2d\u6587"),
                                    CellValue::text("tab\there\nnewline \"q\" \\")}));
  EXPECT_EQ(table.rows[1].values[2], CellValue::real(18446744073709551615.0));
  EXPECT_EQ(table.rows[1].values[3], CellValue::real(18446744073709551616.0));
  EXPECT_EQ(table.rows[1].values[5], CellValue::text("nul inside"));  // a page never carries NUL
  EXPECT_EQ(table.rows[1].values[6], CellValue::text("\u2028line sep"));
  EXPECT_EQ(table.rows[2].values,
            (std::vector<CellValue>{CellValue::integer(3), CellValue::integer(0), CellValue::real(0.0),
                                    CellValue::real(1e300), CellValue::real(-0.0), CellValue::text(""),
                                    CellValue::text("plain")}));
}

TEST(JSONCorpus, EventsWithInvalidLines) {
  OpenedJSON opened = openJSONFile(testData("json/events.jsonl"), 200);
  EXPECT_EQ(opened.metadata.format, DatabaseFormat::jsonl);
  EXPECT_EQ(opened.metadata.tables[0].rowCount, 6);
  EXPECT_EQ(opened.driver->skippedLineCount(), 2);
  EXPECT_EQ(opened.columnTypes(), (std::vector<std::string>{"seq INTEGER", "event TEXT", "ok BOOLEAN", "extra JSON"}));
  DataTable table = opened.table();
  EXPECT_EQ(table.rows.front().values, (std::vector<CellValue>{CellValue::integer(1), CellValue::text("e1"),
                                                               CellValue::integer(1), CellValue()}));
  EXPECT_EQ(table.rows.back().values, (std::vector<CellValue>{CellValue::integer(6), CellValue::text("last"),
                                                              CellValue::integer(0), CellValue::text("[1,2]")}));
}

}  // namespace
}  // namespace tabvora::testing
