#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "drivers/json/json_range.hpp"

namespace tabvora {

// The lines of a JSON Lines file grouped into chunks, found by a byte scan.
struct JSONLineChunks {
  std::vector<JSONRangeChunk> chunks;
  // With a line limit: whether non-blank lines were left out by it.
  bool linesLeftOut = false;

  // Lines end at LF; a CR before the LF, leading spaces and tabs are not part of a line,
  // trailing white space is. Blank lines (nothing but spaces and tabs) are not lines. A UTF-8 byte-order mark at the
  // start of the data is skipped. With `lineLimit` only the first chunk is kept, cut to its
  // first lineLimit lines, and the scan stops as soon as those are known: a preview of a
  // huge file reads no further than its first chunk.
  static JSONLineChunks scan(std::string_view data, std::optional<std::size_t> lineLimit);
};

}  // namespace tabvora
