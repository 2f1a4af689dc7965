#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/raw_value_lookup.hpp"

namespace tabvora::internal {

// The views a workspace shows a file in.
class ViewMode {
 public:
  enum Value : std::uint8_t { grid, sqlConsole, schema, raw };
  static constexpr Value allCases[] = {grid, sqlConsole, schema, raw};

  constexpr ViewMode(Value v = grid) : value_(v) {}
  constexpr operator Value() const { return value_; }

  // "Data Grid", "SQL Console", "Schema", "Raw File"; also the id and the label.
  constexpr std::string_view rawValue() const { return kInfo[value_].rawValue; }
  constexpr std::string_view id() const { return rawValue(); }
  constexpr std::string_view iconName() const { return kInfo[value_].iconName; }
  static constexpr std::optional<ViewMode> fromRawValue(std::string_view text) {
    return lookupRawValue<ViewMode>(text);
  }

 private:
  struct Info {
    std::string_view rawValue;
    std::string_view iconName;
  };
  // Indexed by Value.
  static constexpr Info kInfo[] = {{"Data Grid", "tablecells"},
                                   {"SQL Console", "terminal"},
                                   {"Schema", "list.bullet.rectangle"},
                                   {"Raw File", "doc.plaintext"}};

  Value value_;
};

}  // namespace tabvora::internal
