#include "model/table_type.hpp"

namespace tabvora::internal {

namespace {

struct TableTypeInfo {
  std::string_view rawValue;
  std::string_view iconName;
};

// Indexed by TableType::Value.
constexpr TableTypeInfo kInfo[] = {
    {"Table", "tablecells"}, {"View", "eye"}, {"Sheet", "doc.richtext"}, {"Virtual", "cube"}};

}  // namespace

std::string_view TableType::rawValue() const { return kInfo[value_].rawValue; }
std::string_view TableType::iconName() const { return kInfo[value_].iconName; }

std::optional<TableType> TableType::fromRawValue(std::string_view raw) {
  for (Value v : {table, view, sheet, virtual_}) {
    if (kInfo[v].rawValue == raw) return TableType(v);
  }
  return std::nullopt;
}

}  // namespace tabvora::internal
