#pragma once

#include <cstddef>
#include <vector>

namespace tabvora {

// The bytes [begin, end) of a file's text that hold one JSON value: a line of a JSON Lines
// file, or a record of a document.
struct JSONRange {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t size() const { return end - begin; }
};

// Consecutive ranges in file order; the unit of parallel work. A chunk is closed as soon
// as its ranges hold kChunkBytes bytes, so each is about that size.
using JSONRangeChunk = std::vector<JSONRange>;
inline constexpr std::size_t kChunkBytes = 2'000'000;

}  // namespace tabvora
