// Text for a terminal: the columns it takes, cutting it to a width, and escaping what a
// terminal would act on.
#include <gtest/gtest.h>

#include <string>

#include "platform/display_width.hpp"
#include "platform/terminal_text.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {
namespace {

TEST(DisplayWidth, CountsColumnsPerGraphemeCluster) {
  const std::pair<std::string_view, std::size_t> cases[] = {
      {"", 0},
      {"plain ascii", 11},
      {"日本語", 6},                                        // wide
      {"ＡＢ", 4},                                          // fullwidth
      {"e\u0301\u0323", 1},                                 // base with two combining marks
      {"\u0301", 0},                                        // a mark with nothing to attach to
      {"a\u200Bb\u200Dc\u2066", 3},                         // zero-width space, joiner, isolate
      {"\u00E9\u00AD", 2},                                  // the soft hyphen prints
      {"\U0001F600", 2},                                    // emoji presentation
      {"\u2764", 1},                                        // text presentation by default...
      {"\u2764\uFE0F", 2},                                  // ...emoji with VS16
      {"1\uFE0F\u20E3", 2},                                 // keycap
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466", 2},  // ZWJ family
      {"\U0001F44D\U0001F3FD", 2},                          // skin tone modifier
      {"\U0001F1EF\U0001F1F5\U0001F1EB\U0001F1F7", 4},      // two flags
      {"\u1100\u1161\u11A8", 2},                            // Hangul syllable in jamo
      {"a\x1b[31mb\r\n", 6},                                // controls take no column
      {"\xFF\xFE", 2},                                      // each invalid byte shows as U+FFFD
      {"a\xE2\x82z", 3},                                    // a truncated sequence as one
  };
  for (const auto& [text, width] : cases) EXPECT_EQ(displayWidth(text), width) << text;
}

TEST(DisplayWidth, CutsAtClusterBoundariesAndMarksTheCut) {
  const std::tuple<std::string_view, std::size_t, std::string_view> cases[] = {
      {"abcdef", 6, "abcdef"},
      {"abcdef", 5, "abcd\u2026"},
      {"abcdef", 1, "\u2026"},
      {"abcdef", 0, ""},
      {"日本語", 6, "日本語"},
      {"日本語", 5, "日本\u2026"},
      {"日本語", 4, "日\u2026"},   // a wide character never straddles the edge
      {"日本語", 2, "\u2026"},
      {"e\u0301e\u0301e\u0301", 2, "e\u0301\u2026"},
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467xy", 3, "\U0001F468\u200D\U0001F469\u200D\U0001F467\u2026"},
      {"\U0001F1EF\U0001F1F5\U0001F1EB\U0001F1F7", 3, "\U0001F1EF\U0001F1F5\u2026"},
      {"ab\xFF", 3, "ab\uFFFD"},
      {"ab\xFF\xFF", 3, "ab\u2026"},
  };
  for (const auto& [text, columns, cut] : cases) {
    const std::string result = cutToWidth(text, columns);
    EXPECT_EQ(result, cut) << text << " to " << columns;
    EXPECT_LE(displayWidth(result), columns);
  }
}

TEST(TerminalText, EscapesWhatATerminalWouldActOn) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"plain\ttab\nline \u00E9\u20AC\U0001F600", "plain\ttab\nline \u00E9\u20AC\U0001F600"},
      {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
      {"r\rw\x7F", "r\\x0dw\\x7f"},
      {std::string_view("nul\0", 4), "nul\\x00"},
      {"\u009B2J", "\\u009b2J"},
      {"\u202Eevil\u2066\u200F", "\\u202eevil\\u2066\\u200f"},
      {"bad\xFF\xC3", "bad\\xff\\xc3"},
      {"\uFFFD", "\uFFFD"},  // a real replacement character stays
  };
  for (const auto& [text, shown] : cases) {
    EXPECT_EQ(visibleOnTerminal(text), shown) << text;
    EXPECT_TRUE(isValidUTF8(visibleOnTerminal(text)));
  }
}

}  // namespace
}  // namespace tabvora
