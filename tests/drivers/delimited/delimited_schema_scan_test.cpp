#include "drivers/delimited/delimited_schema_scan.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/limits.hpp"

namespace tabvora::internal {
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

TEST(DelimitedSchemaScanTest, KindsFollowEveryExaminedRow) {
  const DelimitedSchemaScan scan = scanOf("a,b,c,d,e\n1,1,x,,007\n2.5,2,3,, \n,3,4,,\n");
  EXPECT_EQ(scan.kinds(), (std::vector<Kind>{Kind::real, Kind::integer, Kind::text, Kind::empty, Kind::text}));
  EXPECT_EQ(scan.columns()[3].type, ColumnType::text);  // an all-empty column is staged as text
  EXPECT_EQ(scan.columns()[4].index, 4);
  // With a limit the record after the last examined one is never classified.
  EXPECT_EQ(scanOf("n\n1\n2\nx\n", 2).kinds(), (std::vector<Kind>{Kind::integer}));
  EXPECT_EQ(scanOf("n\n1\n2\nx\n", 3).kinds(), (std::vector<Kind>{Kind::text}));
  EXPECT_FALSE(scanOf("\n\n").foundHeader());
}

TEST(DelimitedSchemaScanTest, WidthAndNames) {
  EXPECT_EQ(namesOf(scanOf("id,name\n1,Bob,extra\n")), (std::vector<std::string>{"id", "name", "col_3"}));
  EXPECT_EQ(namesOf(scanOf("id,name\n1,Bob,,\n")), (std::vector<std::string>{"id", "name"}));
  EXPECT_EQ(namesOf(scanOf(",Name,name\n")), (std::vector<std::string>{"col_1", "Name", "name_1"}));
  EXPECT_EQ(namesOf(scanOf("a,A,,a\n")), (std::vector<std::string>{"a", "A_1", "col_3", "a_2"}));
  EXPECT_EQ(namesOf(scanOf(" x ,\"y\r\nz\",x\n")), (std::vector<std::string>{"x", "y\nz", "x_1"}));

  // Data rows widen the table up to the cap, and what lies beyond is noted as dropped.
  EXPECT_EQ(scanOf("h\n" + std::string(2500, ',') + "v\n").kinds().size(), limits::kMaxColumns);
  EXPECT_TRUE(scanOf("h\n" + std::string(2500, ',') + "v\n").droppedContent());
  EXPECT_FALSE(scanOf("h\n" + std::string(2500, ',') + "\n").droppedContent());
  // The header alone is not capped.
  EXPECT_EQ(scanOf(std::string(2500, ',') + "\n").columnCount(), 2501u);
}

}  // namespace
}  // namespace tabvora::internal
