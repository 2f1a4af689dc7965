#pragma once

#include <cstddef>

namespace tabvora::internal {

// The bytes [begin, end) of a file's text that hold one JSON value (a line of a JSON Lines
// file, a record of a document), or a run of consecutive records with what separates them:
// a chunk, the unit of parallel work. Chunks store no per-record positions; their records
// are found again by the reader of the chunk, so the memory they take does not grow with
// the number of records.
struct JSONRange {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t size() const { return end - begin; }
};

// A chunk is closed as soon as its records hold kChunkBytes bytes, so each is about that size.
inline constexpr std::size_t kChunkBytes = 2'000'000;

}  // namespace tabvora::internal
