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

// Scanned in two halves, a text gives what one pass gives, wherever the middle falls: in a
// quoted field holding line breaks, after CR LF, before bytes that look like a byte-order
// mark, amid blank lines, or in a record wider than the header.
TEST(DelimitedSchemaScanTest, TwoHalvesGiveWhatOnePassGives) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::vector<std::string> texts = {
      "a,b\n1,2\n3,4\n5,x\n",
      "a,b\n1,\"one\ntwo\nthree\nfour\nfive\",\n2,3\n",
      "a,b\r\n1,2.5\r\n3,4\r\n5,6\r\n",
      bom + "a,b\n1,2\n" + bom + "3,4\n",
      "a\n1\n\n\n\n\n2\n\n3\n",
      "a\n1\n2\n3,4,,\n5,6.5,7\n",
      "a,b\n1,\"2\n3\n4\n5\n6\n7\n",
      "a,b\n\"\"\n1,2\n" + std::string(2500, ',') + "v\n",
      "only header",
      "a\n1\n",
  };
  for (const std::string& text : texts) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const DelimitedSchemaScan whole = scanOf(text);
    const DelimitedSchemaScan halves = DelimitedSchemaScan::ofWholeText(bytes, ',', 1);
    EXPECT_EQ(halves.kinds(), whole.kinds()) << text;
    EXPECT_EQ(halves.columns(), whole.columns()) << text;
    EXPECT_EQ(halves.droppedContent(), whole.droppedContent()) << text;
    EXPECT_EQ(halves.columnCount(), whole.columnCount()) << text;
  }
}

}  // namespace
}  // namespace tabvora::internal
