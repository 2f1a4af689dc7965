#include "platform/display_width.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tabvora::internal {
namespace {

TEST(DisplayWidth, CountsColumnsPerGraphemeCluster) {
  const std::pair<std::string_view, std::size_t> cases[] = {
      {"", 0}, {"plain ascii", 11}, {"日本語", 6}, {"ＡＢ", 4},
      {"e\u0301\u0323", 1}, {"\u0301", 0},   // marks join their base; alone they take nothing
      {"a\u200Bb\u200Dc\u2066", 3},          // zero-width space, joiner, isolate
      {"\u00E9\u00AD", 2},                   // the soft hyphen prints
      {"\U0001F600", 2}, {"\u2764", 1}, {"\u2764\uFE0F", 2}, {"1\uFE0F\u20E3", 2},
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466", 2}, {"\U0001F44D\U0001F3FD", 2},
      {"\U0001F1EF\U0001F1F5\U0001F1EB\U0001F1F7", 4},  // two flags
      {"\u1100\u1161\u11A8", 2},                        // a Hangul syllable in jamo
      {"a\x1b[31mb\r\n", 6},                            // controls take no column
      {"\xFF\xFE", 2}, {"a\xE2\x82z", 3},               // U+FFFD per maximal invalid sequence
  };
  for (const auto& [text, width] : cases) EXPECT_EQ(displayWidth(text), width) << text;
}

TEST(DisplayWidth, CutsAtClusterBoundariesAndMarksTheCut) {
  const std::tuple<std::string_view, std::size_t, std::string_view> cases[] = {
      {"abcdef", 6, "abcdef"}, {"abcdef", 5, "abcd\u2026"}, {"abcdef", 1, "\u2026"}, {"abcdef", 0, ""},
      {"日本語", 6, "日本語"}, {"日本語", 5, "日本\u2026"}, {"日本語", 4, "日\u2026"}, {"日本語", 2, "\u2026"},
      {"e\u0301e\u0301e\u0301", 2, "e\u0301\u2026"},
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467xy", 3, "\U0001F468\u200D\U0001F469\u200D\U0001F467\u2026"},
      {"\U0001F1EF\U0001F1F5\U0001F1EB\U0001F1F7", 3, "\U0001F1EF\U0001F1F5\u2026"},
      {"ab\xFF", 3, "ab\uFFFD"}, {"ab\xFF\xFF", 3, "ab\u2026"},
  };
  for (const auto& [text, columns, cut] : cases) {
    EXPECT_EQ(cutToWidth(text, columns), cut) << text << " to " << columns;
    EXPECT_LE(displayWidth(cutToWidth(text, columns)), columns);
  }
}

}  // namespace
}  // namespace tabvora::internal
