#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "drivers/json/json_range.hpp"

namespace tabvora::internal {

// The lines of a JSON Lines text grouped into chunks, found by a byte scan. Lines end at LF;
// a CR before the LF, leading spaces and tabs are not part of a line, trailing white space
// is. Blank lines (nothing but spaces and tabs) are not lines.
struct JSONLineChunks {
  std::vector<JSONRange> chunks;
  // With a line limit: the first chunk is complete (it holds lineLimit lines, or its lines
  // hold kChunkBytes), so no further text can change what is staged.
  bool limitReached = false;
  // With a line limit: non-blank lines follow the first chunk in the text scanned.
  bool linesLeftOut = false;

  // With `lineLimit` only the first chunk is kept, cut to its first lineLimit lines, and the
  // scan stops as soon as those are known. When `complete` is false the text is a prefix of
  // the file: whatever follows its last LF may be a line cut short and is not scanned.
  static JSONLineChunks scan(std::string_view text, std::optional<std::size_t> lineLimit, bool complete = true);

  // The next line of a chunk at or after `pos` (a position inside the chunk); false at the
  // chunk's end.
  static bool nextLine(std::string_view text, const JSONRange& chunk, std::size_t& pos, JSONRange& line);
};

}  // namespace tabvora::internal
