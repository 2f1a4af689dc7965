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

// The names and types of small files are corpus cases (tests/data/delimited/headers.cases).
TEST(DelimitedSchemaScanTest, KindsAndWidthWithinTheirLimits) {
  // With a limit the record after the last examined one is never classified.
  EXPECT_EQ(scanOf("n\n1\n2\nx\n", 2).kinds(), (std::vector<Kind>{Kind::integer}));
  EXPECT_EQ(scanOf("n\n1\n2\nx\n", 3).kinds(), (std::vector<Kind>{Kind::text}));
  EXPECT_FALSE(scanOf("\n\n").foundHeader());
  // Data rows widen the table up to the cap, and what lies beyond is noted as dropped.
  EXPECT_EQ(scanOf("h\n" + std::string(2500, ',') + "v\n").kinds().size(), limits::kMaxColumns);
  EXPECT_TRUE(scanOf("h\n" + std::string(2500, ',') + "v\n").droppedContent());
  EXPECT_FALSE(scanOf("h\n" + std::string(2500, ',') + "\n").droppedContent());
  // The header alone is not capped.
  EXPECT_EQ(scanOf(std::string(2500, ',') + "\n").columnCount(), 2501u);
}

}  // namespace
}  // namespace tabvora::internal
