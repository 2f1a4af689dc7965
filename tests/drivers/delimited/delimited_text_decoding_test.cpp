#include "drivers/delimited/delimited_text_decoding.hpp"

#include "drivers/delimited/delimited_driver_fixture.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::bytesOf;

TEST(DelimitedTextDecodingTest, AWholeFileIsDecodedByTheRulesInOrder) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/delimited/delimited_text_decoding.cases")) {
    const DecodedDelimitedText decoded = decodeDelimitedText(bytesOf(c.input.at(0)));
    EXPECT_EQ((std::vector<std::string>{encodingName(decoded.encoding), decoded.utf8}), c.expected) << c.where;
  }
}

TEST(DelimitedTextDecodingTest, Windows1252AndLatin1DifferExactlyWhereTheCheckLooks) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const auto byte = static_cast<std::uint8_t>(b);
    const std::span<const std::uint8_t> one(&byte, 1);
    const std::optional<std::string> windows = decodeText(one, TextEncoding::windows1252);
    EXPECT_EQ(containsUndefinedInWindows1252(one), !windows.has_value());
    if (!windows) continue;
    const std::string latin1 = *decodeText(one, TextEncoding::isoLatin1);
    EXPECT_EQ(differsFromLatin1(*windows), *windows != latin1);
    EXPECT_EQ(*windows != latin1, b >= 0x80 && b <= 0x9F);
  }
}

}  // namespace
}  // namespace tabvora::internal
