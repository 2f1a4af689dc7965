#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tabvora::internal {

// The number of terminal columns UTF-8 text takes, counted per grapheme cluster (what a
// reader takes for one character), as a terminal lays it out:
//   2  an East Asian wide or fullwidth character; an emoji shown as emoji (emoji
//      presentation, or an emoji followed by U+FE0F); a flag; a ZWJ emoji sequence
//   0  a cluster of combining marks, format characters (ZWJ, bidi marks), variation
//      selectors or control characters alone
//   1  anything else, a byte that is not part of valid UTF-8 included (it shows as U+FFFD)
// Controls count 0 because a terminal acts on them instead of printing them: text meant
// for the screen goes through visibleOnTerminal first.
std::size_t displayWidth(std::string_view text);

// What a cut text ends with; one column wide.
inline constexpr std::string_view kCutMark = "\u2026";

// `text` when it takes at most `maxColumns` columns; otherwise its longest prefix of whole
// clusters that leaves one column for kCutMark, then kCutMark. Always valid UTF-8
// (invalid bytes become U+FFFD); the walk over the clusters stops at the cut.
std::string cutToWidth(std::string_view text, std::size_t maxColumns);

}  // namespace tabvora::internal
