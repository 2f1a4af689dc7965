#pragma once

#include <string_view>

#include "tabvora/column_filter.hpp"

namespace tabvora::cli {

// A --where condition, "COLUMN OP VALUE", as a filter. OP is an operator's own name
// ("contains", "does not contain", "=", "≠", ">", "≥", "<", "≤", "starts with",
// "ends with", "is empty", "is not empty") or an ASCII spelling of one ("==", "!=", "<>",
// ">=", "<="). Symbols may touch their neighbours ("age>=30"); words stand between
// spaces. The first operator from the left ends the column name, so a name holding one is
// written in double quotes ("a = b" = 1, with "" for a quote inside). The value is the
// rest without surrounding spaces; quoting it in '...' or "..." keeps spaces at its ends.
// "is empty" and "is not empty" take no value; every other operator needs one.
// Throws UsageError.
ColumnFilter parseFilterExpression(std::string_view expression);

}  // namespace tabvora::cli
