#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/cell_value.hpp"
#include "model/column_filter.hpp"
#include "model/filter_combination.hpp"

namespace tabvora::internal {

// SQL text whose values travel apart from it, bound to its parameters ?1, ?2 ... in order.
struct BoundSQL {
  std::string text;
  std::vector<CellValue> parameters;
};

// The condition of a WHERE clause (without the word) that keeps the rows the active
// filters accept, joined by AND for `all` and OR for `any`; nothing when no filter is
// active. Column names are quoted identifiers and every value is a parameter, so neither
// can change the statement.
//   contains / does not contain / starts with / ends with   case-insensitive (Unicode case
//                                                           folding); NULL reads as empty
//   = ≠ > ≥ < ≤   numerically for a cell holding a number when the value is a number,
//                 otherwise by the cell's text; ≠ keeps NULL cells, the others drop them
//   is empty / is not empty   NULL or empty text / neither
std::optional<BoundSQL> filterCondition(const std::vector<ColumnFilter>& filters, FilterCombination combination);

// The condition that keeps the rows in which any of `columns` contains `text`, ignoring
// case as the contains filter does; nothing when `text` is empty. Its one value is the
// parameter after those already in `parameters`, to which it is appended.
std::optional<std::string> searchCondition(const std::vector<std::string>& columns, const std::string& text,
                                           std::vector<CellValue>& parameters);

// SELECT every column of the table, narrowed by the filters; a table name is quoted too.
// The condition with each numbered parameter ?N written in as its literal, for a caller
// that passes a condition as text; nothing when a value has no exact literal (a blob, a
// number that is not finite) or the text names a parameter it was not given.
std::optional<std::string> inlinedCondition(const BoundSQL& condition);

BoundSQL filteredSelect(const std::string& table, const std::vector<ColumnFilter>& filters,
                        FilterCombination combination);
// SELECT COUNT(*) of the same rows.
BoundSQL filteredCount(const std::string& table, const std::vector<ColumnFilter>& filters,
                       FilterCombination combination);

}  // namespace tabvora::internal
