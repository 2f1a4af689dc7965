// Unicode classification, trimming, casing and UTF-8 checking and repair.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/localized_text.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {
namespace {

TEST(UnicodeText, CategoriesFollowTheGeneralCategory) {
  EXPECT_TRUE(isUnicodeLetter(U'é'));
  EXPECT_TRUE(isUnicodeLetter(U'日'));
  EXPECT_FALSE(isUnicodeLetter(U'_'));
  EXPECT_FALSE(isUnicodeLetter(0x0345));  // a combining mark is alphabetic but not a letter
  EXPECT_TRUE(isUnicodeNumber(U'7'));
  EXPECT_TRUE(isUnicodeNumber(0x0663));  // Arabic-Indic three
  EXPECT_TRUE(isUnicodeNumber(U'½'));
  EXPECT_FALSE(isUnicodeNumber(U'x'));
  EXPECT_FALSE(isUnicodeLetter(0x110000));
}

TEST(UnicodeText, TrimsUnicodeWhiteSpaceAndLineBreaks) {
  EXPECT_EQ(trimWhitespaceAndNewlines(" \t\r\n a b \n"), "a b");
  EXPECT_EQ(trimWhitespaceAndNewlines("\u00A0\u2028x\u3000\u0085"), "x");
  EXPECT_EQ(trimWhitespaceAndNewlines(" \n "), "");
  EXPECT_EQ(trimWhitespace(" \t\u00A0x\n"), "x\n");  // line breaks stay
  EXPECT_EQ(trimWhitespace("\u2028x"), "\u2028x");
  // A malformed byte at either end is content, not space, and is never split.
  EXPECT_EQ(trimWhitespaceAndNewlines(" \xC3"), "\xC3");
  EXPECT_EQ(trimWhitespaceAndNewlines("\x80 "), "\x80");
}

TEST(UnicodeText, CasingUsesFullUnicodeMappings) {
  EXPECT_EQ(toUpperUnicode("straße null"), "STRASSE NULL");
  EXPECT_EQ(toLowerUnicode("ÉCOLE Mixed"), "école mixed");
  EXPECT_EQ(toNFC("e\u0301"), "\u00E9");
}

TEST(UnicodeText, ValidatesUTF8Strictly) {
  EXPECT_TRUE(isValidUTF8(std::string_view("")));
  EXPECT_TRUE(isValidUTF8(std::string_view("a\0b€😀", 10)));
  EXPECT_FALSE(isValidUTF8(std::string_view("\xC0\xAF")));          // overlong
  EXPECT_FALSE(isValidUTF8(std::string_view("\xED\xA0\x80")));      // surrogate
  EXPECT_FALSE(isValidUTF8(std::string_view("\xF4\x90\x80\x80")));  // past U+10FFFF
  EXPECT_FALSE(isValidUTF8(std::string_view("\xE2\x82")));          // truncated
  EXPECT_FALSE(isValidUTF8(std::string_view("\xFF")));
}

TEST(UnicodeText, RepairReplacesEachMaximalSubpart) {
  EXPECT_EQ(repairUTF8("ok €"), "ok €");
  EXPECT_EQ(repairUTF8("a\xE2\x82z"), "a\uFFFDz");
  EXPECT_EQ(repairUTF8("\x80\x80"), "\uFFFD\uFFFD");
  EXPECT_EQ(repairUTF8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(repairUTF8("Caf\xE9"), "Caf\uFFFD");
  EXPECT_TRUE(isValidUTF8(repairUTF8("\xF0\x9F\x98")));
}

TEST(UnicodeText, DecodeAndAppendRoundTrip) {
  const std::string text = "a€😀";
  std::size_t pos = 0;
  std::string rebuilt;
  while (pos < text.size()) appendUTF8(rebuilt, decodeUTF8(text, pos));
  EXPECT_EQ(rebuilt, text);
  std::string bad = "\xE2\x82";
  pos = 0;
  EXPECT_EQ(decodeUTF8(bad, pos), U'\uFFFD');
  EXPECT_EQ(pos, 1u);
  std::string out;
  appendUTF8(out, 0xD800);
  EXPECT_EQ(out, "\uFFFD");
}

TEST(UnicodeText, CutsAndReadLimitsNeverSplitACharacter) {
  const std::tuple<std::string, std::size_t, std::size_t> prefixes[] = {
      // text, limit, prefix length
      {"abc", 5, 3}, {"abc", 3, 3}, {"ab\xE2\x82\xAC", 3, 2}, {"ab\xE2\x82\xAC", 4, 2}, {"ab\xE2\x82\xAC", 5, 5},
      {"\xF0\x9F\x98\x80z", 3, 0}, {"\xF0\x9F\x98\x80z", 4, 4},
      // Past three continuation bytes the text is not UTF-8 there: cut no further back.
      {"a\x80\x80\x80\x80\x80", 5, 2},
  };
  for (const auto& [text, limit, length] : prefixes) EXPECT_EQ(utf8PrefixLength(text, limit), length) << text;
  const std::pair<std::string, std::size_t> reads[] = {
      // bytes a read limit may have cut, their complete length
      {"ab", 2}, {"a\xC3", 1}, {"a\xC3\xA9", 3}, {"a\xE2\x82", 1}, {"a\xF0\x9F\x98", 1}, {"a\xF0\x9F\x98\x80", 5},
      // Whatever else is wrong stays, to be found invalid.
      {"a\xC0", 2}, {"a\xF5\x80", 3}, {"a\x80", 2}, {"\x80\x80\x80\x80", 4}, {"", 0},
  };
  for (const auto& [bytes, length] : reads) EXPECT_EQ(utf8CompleteLength(bytes), length) << bytes;
}

TEST(LocalizedText, CompareAndContainsIgnoreCaseAndReadNumbers) {
  EXPECT_LT(localizedStandardCompare("file9", "file10"), 0);
  EXPECT_GT(localizedStandardCompare("file10", "file9"), 0);
  EXPECT_EQ(localizedStandardCompare("Apple", "apple"), 0);
  EXPECT_LT(localizedStandardCompare("apple", "Banana"), 0);
  EXPECT_LT(localizedStandardCompare("resume", "résumé"), 0);  // accents still count
  EXPECT_LT(localizedStandardCompare("", "a"), 0);
  // Containment folds case too.
  EXPECT_TRUE(localizedCaseInsensitiveContains("Hello World", "WORLD"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("anything", ""));
  EXPECT_FALSE(localizedCaseInsensitiveContains("", "a"));
  EXPECT_FALSE(localizedCaseInsensitiveContains("abc", "abcd"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("STRASSE", "straße"));
  EXPECT_TRUE(localizedCaseInsensitiveContains("ΣΊΣΥΦΟΣ", "σίσυφος"));
}

}  // namespace
}  // namespace tabvora::internal
