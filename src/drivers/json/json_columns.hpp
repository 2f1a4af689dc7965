#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "drivers/json/schema_accumulator.hpp"

namespace tabvora::internal {

// One staged column and the JSON key it came from.
struct JSONColumn {
  std::string name;
  std::string key;
  ColumnType type;
};

// Only this many leading bytes of the file are searched to order the columns.
inline constexpr std::size_t kColumnOrderScanBytes = 2'000'000;

// The keys ordered by where `"key"` (backslashes doubled, quotes escaped) first occurs in
// the file's leading bytes, read as UTF-8 or, when they are not UTF-8, as ISO Latin 1. Keys
// that do not occur follow in ascending order. The first occurrence may be a string value
// rather than the key: the order follows the text, not the structure.
std::vector<std::string> orderKeysByFirstOccurrence(std::vector<std::string> keys, std::string_view fileStart);

// Columns for ordered keys: the name is the key itself without NUL characters (SQL text
// ends at NUL; an empty name becomes "col_" and its 1-based position), made unique case-insensitively with "_1", "_2",
// ...; the type is the key's merged type, text for a key that only held null.
std::vector<JSONColumn> makeJSONColumns(const std::vector<std::string>& orderedKeys,
                                        const JSONDriver::SchemaAccumulator& schema);

}  // namespace tabvora::internal
