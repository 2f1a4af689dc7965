#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace tabvora::internal {

// Table name from a file name without its extension: spaces and "-" become "_", only
// Unicode letters, numbers and "_" remain, and `prefix` goes in front when the result is
// empty, starts with a number, or (when guardSqlitePrefix) starts with "sqlite_" in any case.
std::string stagedTableName(std::string_view stem, std::string_view prefix, bool guardSqlitePrefix = true);

// Accepts column names in order: an empty name becomes "col_" + its 1-based position; a
// name already taken (case-insensitively) gets "_1", "_2", ... appended to its base until
// free. NUL characters are removed, and names are trimmed of white space and line breaks
// first, unless the namer was made with trimNames false (JSON keys are taken as they are).
// Example: a, A, "", a at positions 1-4 give a, A_1, col_3, a_2.
class ColumnNamer {
 public:
  explicit ColumnNamer(bool trimNames = true) : trimNames_(trimNames) {}

  // `position` is the column's 1-based position (the first column is 1).
  std::string accept(std::string_view rawName, std::size_t position);

 private:
  bool trimNames_;
  std::unordered_set<std::string> takenLower_;
  // Lower-cased base -> first suffix not yet known to be taken; names are never released,
  // so each search resumes where the last one for that base stopped.
  std::unordered_map<std::string, std::size_t> nextSuffix_;
};

}  // namespace tabvora::internal
