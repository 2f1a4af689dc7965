#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tabvora::internal {

// Kind of a listed object.
class TableType {
 public:
  enum Value : std::uint8_t { table, view, sheet, virtual_ };

  constexpr TableType(Value v = table) : value_(v) {}
  constexpr operator Value() const { return value_; }

  std::string_view rawValue() const;  // "Table", "View", "Sheet", "Virtual"
  std::string_view iconName() const;
  static std::optional<TableType> fromRawValue(std::string_view raw);

 private:
  Value value_;
};

}  // namespace tabvora::internal
