#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

namespace tabvora {

// Table name from a file name without its extension: spaces and "-" become "_", only
// Unicode letters, numbers and "_" remain, and `prefix` goes in front when the result is
// empty, starts with a number, or (when guardSqlitePrefix) starts with "sqlite_" in any case.
std::string stagedTableName(std::string_view stem, std::string_view prefix, bool guardSqlitePrefix = true);

// Accepts column names in order: an empty name becomes "col_" + its 1-based position; a
// name already taken (case-insensitively) gets "_1", "_2", ... appended to its base until
// free. Names are trimmed of white space and line breaks first.
class ColumnNamer {
 public:
  std::string accept(std::string_view rawName, std::size_t position);

 private:
  std::unordered_set<std::string> takenLower_;
};

}  // namespace tabvora
