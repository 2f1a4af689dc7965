#include "model/column_filter.hpp"

#include <utility>

#include "model/data_table.hpp"
#include "model/raw_value_lookup.hpp"

namespace tabvora {

// Defines public types (include/tabvora/) with internal helpers.
using namespace internal;

namespace {

// Indexed by ColumnFilter::Operator::Value.
constexpr std::string_view kRawValues[] = {
    "contains", "does not contain", "=",           "\u2260",    ">",        "\u2265",
    "<",        "\u2264",           "starts with", "ends with", "is empty", "is not empty",
};
static_assert(std::size(kRawValues) == std::size(ColumnFilter::Operator::allCases));

}  // namespace

std::string_view ColumnFilter::Operator::rawValue() const { return kRawValues[value_]; }

std::optional<ColumnFilter::Operator> ColumnFilter::Operator::fromRawValue(std::string_view raw) {
  return lookupRawValue<Operator>(raw);
}

ColumnFilter::ColumnFilter(std::string column, Operator op, std::string value)
    : column(std::move(column)), op(op), value(std::move(value)), id_(makeUUID()) {}

}  // namespace tabvora
