#pragma once

#include <string_view>

namespace tabvora::internal {

// The grid page's complete style sheet: light colours on the root element, dark ones
// when the viewer prefers a dark scheme, then one rule per element class. Fixed text,
// ending in a line feed.
extern const std::string_view kGridStyleSheet;

}  // namespace tabvora::internal
