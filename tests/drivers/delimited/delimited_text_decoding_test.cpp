#include "drivers/delimited/delimited_text_decoding.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using namespace std::string_literals;

using testing::bytesOf;

TEST(DelimitedTextDecodingTest, AWholeFileIsDecodedByTheRulesInOrder) {
  struct Case {
    std::string bytes;
    TextEncoding encoding;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"id,n\n1,\xC3\xA9\n", TextEncoding::utf8, "id,n\n1,\xC3\xA9\n"},
      {"\xEF\xBB\xBFid\n\xC3\xA9", TextEncoding::utf8, "id\n\xC3\xA9"},
      // After a UTF-8 mark, text that is not UTF-8 is decoded without the mark.
      {"\xEF\xBB\xBFid\n\xE9", TextEncoding::windows1252, "id\n\xC3\xA9"},
      {"\xFF\xFEi\0d\0\n\0\xAC\x20"s, TextEncoding::utf16LittleEndian, "id\n\xE2\x82\xAC"},
      {"\xFE\xFF\0i\0d"s, TextEncoding::utf16BigEndian, "id"},
      // A UTF-16 mark before bytes that are not UTF-16: the mark is read as text.
      {"\xFF\xFEi\0\x00\xDC"s, TextEncoding::windows1252, "\xC3\xBF\xC3\xBEi\xC3\x9C"},
      {"a\0\x80\n"s, TextEncoding::windows1252, "a\xE2\x82\xAC\n"},
      {"\x80\x81", TextEncoding::isoLatin1, "\xC2\x80\xC2\x81"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    const DecodedDelimitedText decoded = decodeDelimitedText(bytesOf(c.bytes));
    EXPECT_EQ(decoded.encoding, c.encoding);
    EXPECT_EQ(decoded.utf8, c.text);
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
