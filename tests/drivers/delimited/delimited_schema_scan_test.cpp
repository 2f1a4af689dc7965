#include "drivers/delimited/delimited_schema_scan.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tabvora {
namespace {

using Kind = DelimitedByteParser::ColumnKind;

DelimitedSchemaScan scanOf(std::string_view text, std::optional<std::int64_t> limit = std::nullopt) {
  DelimitedSchemaScan scan(limit);
  DelimitedByteParser::parse({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, ',', scan);
  return scan;
}

std::vector<std::string> namesOf(const DelimitedSchemaScan& scan) {
  std::vector<std::string> names;
  for (const DataColumn& column : scan.columns()) names.push_back(column.name);
  return names;
}

TEST(DelimitedSchemaScanTest, KindsFollowEveryDataRow) {
  const DelimitedSchemaScan scan = scanOf("a,b,c,d,e\n1,1,x,,007\n2.5,2,3,, \n,3,4,,\n");
  EXPECT_EQ(scan.kinds(), (std::vector<Kind>{Kind::real, Kind::integer, Kind::text, Kind::empty, Kind::text}));
  const std::vector<DataColumn> columns = scan.columns();
  ASSERT_EQ(columns.size(), 5u);
  EXPECT_EQ(columns[0].type, ColumnType::real);
  EXPECT_EQ(columns[1].type, ColumnType::integer);
  EXPECT_EQ(columns[3].type, ColumnType::text);  // an all-empty column is staged as text
  EXPECT_EQ(columns[4].index, 4);
  EXPECT_TRUE(columns[4].isNullable);
  EXPECT_FALSE(columns[4].isPrimaryKey);
}

TEST(DelimitedSchemaScanTest, WiderRowsAddColumnsButTrailingEmptiesDoNot) {
  EXPECT_EQ(namesOf(scanOf("id,name\n1,Bob,extra\n")), (std::vector<std::string>{"id", "name", "col_3"}));
  EXPECT_EQ(namesOf(scanOf("id,name\n1,Bob,,\n")), (std::vector<std::string>{"id", "name"}));
  EXPECT_EQ(namesOf(scanOf("id,name\n1,Bob,,x,\n")).size(), 4u);
  EXPECT_FALSE(scanOf("id,name\n1,Bob,,x,\n").droppedContent());
}

TEST(DelimitedSchemaScanTest, GrowthStopsAtTheColumnCapAndNotesDroppedFields) {
  std::string wide = "h\n";
  for (int i = 0; i < 2500; ++i) wide += "v,";
  wide += "\n";
  const DelimitedSchemaScan scan = scanOf(wide);
  EXPECT_EQ(scan.kinds().size(), DelimitedSchemaScan::kMaxGrownColumns);
  EXPECT_TRUE(scan.droppedContent());

  // The header alone is not capped.
  std::string header;
  for (int i = 0; i < 2500; ++i) header += "c" + std::to_string(i) + ",";
  header += "last\n";
  EXPECT_EQ(scanOf(header).columnCount(), 2501u);
}

TEST(DelimitedSchemaScanTest, HeaderNamesAreTrimmedFilledAndMadeUnique) {
  EXPECT_EQ(namesOf(scanOf(",Name,name\n")), (std::vector<std::string>{"col_1", "Name", "name_1"}));
  EXPECT_EQ(namesOf(scanOf("a,A,,a\n")), (std::vector<std::string>{"a", "A_1", "col_3", "a_2"}));
  EXPECT_EQ(namesOf(scanOf(" x ,\"y\r\nz\",x\n")), (std::vector<std::string>{"x", "y\nz", "x_1"}));
}

TEST(DelimitedSchemaScanTest, RowLimitStopsBeforeTheNextRecordIsClassified) {
  // The third data row would make the column text; with a limit of 2 it is never looked at.
  EXPECT_EQ(scanOf("n\n1\n2\nx\n", 2).kinds(), (std::vector<Kind>{Kind::integer}));
  EXPECT_EQ(scanOf("n\n1\n2\nx\n", 3).kinds(), (std::vector<Kind>{Kind::text}));
  EXPECT_EQ(scanOf("n\nx\n", 0).kinds(), (std::vector<Kind>{Kind::empty}));
  EXPECT_FALSE(scanOf("\n\n").foundHeader());
}

}  // namespace
}  // namespace tabvora
