#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "tabvora/document.hpp"

namespace tabvora::workspace {

// The query parameters of a request, as the HTTP library parses them.
using Parameters = std::multimap<std::string, std::string>;

// Which rows of which table the page asks for, read from the parameters of a rows, stats
// or export request:
//   table     the table's name (required)
//   offset    first row, 0 or more (default 0)
//   limit     rows in the page, 0 to kMaxPageRows (default kMaxPageRows)
//   sort      a column to sort by; order "asc" (default) or "desc"
//   filters   a JSON array of {"column": NAME, "op": OPERATOR, "value": TEXT}, OPERATOR being
//             a filter operator's raw value ("contains", "≥", "is empty", ...)
//   combine   "All" (default) or "Any"
//   search    text some column must contain, ignoring case
//   count     "later": a filter's first page may come before its rows are counted
// Anything malformed throws RequestError (status 400) naming the parameter.
struct GridRequest {
  static constexpr std::int64_t kMaxPageRows = 500;
  static constexpr std::size_t kMaxFilters = 64;

  std::string table;
  PageRequest page;

  static GridRequest parse(const Parameters& parameters);
  // The same rows for a statistics run or an export: every row the filters keep, sorted.
  RowSelection selection() const;
};

// The parameter's value, when it is given exactly once; throws RequestError for a repeated one.
std::optional<std::string> singleParameter(const Parameters& parameters, const std::string& name);

}  // namespace tabvora::workspace
