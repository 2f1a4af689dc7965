#pragma once

#include <string>
#include <string_view>

namespace tabvora {

// The text as it may be shown on a terminal: every character a terminal would act on
// instead of printing is written as a visible escape, so that names and values from a file
// cannot move the cursor, retitle the window, reorder the line or hide what follows.
//   C0 controls other than tab and line feed, and DEL         \x1b, \x0d, \x7f
//   C1 controls U+0080-U+009F                                 \u009b
//   bidirectional marks, embeddings, overrides and isolates   \u202e
//   a byte that is not part of valid UTF-8                    \xff
// (the last because a terminal not in UTF-8 mode reads a lone 0x9B as a control).
// Everything else, tab and line feed included, is kept byte for byte.
std::string visibleOnTerminal(std::string_view text);

}  // namespace tabvora
