#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace tabvora {

// A line of a JSON Lines file: bytes [begin, end) of the file, leading spaces and tabs and
// the line end (LF, or CR LF) excluded. Trailing white space stays part of the line.
struct JSONLine {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t size() const { return end - begin; }
};

// Consecutive non-blank lines in file order; the unit of parallel work.
using JSONLineChunk = std::vector<JSONLine>;

// The lines of a JSON Lines file grouped into chunks, found by a byte scan.
struct JSONLineChunks {
  // A chunk is closed as soon as its lines hold this many bytes; the last holds the rest.
  static constexpr std::size_t kChunkBytes = 2'000'000;

  std::vector<JSONLineChunk> chunks;
  // With a line limit: whether non-blank lines were left out by it.
  bool linesLeftOut = false;

  // Blank lines (nothing but spaces and tabs) are not lines. A UTF-8 byte-order mark at the
  // start of the data is skipped. With `lineLimit` only the first chunk is kept, cut to its
  // first lineLimit lines, and the scan stops as soon as those are known: a preview of a
  // huge file reads no further than its first chunk.
  static JSONLineChunks scan(std::string_view data, std::optional<std::size_t> lineLimit);
};

}  // namespace tabvora
