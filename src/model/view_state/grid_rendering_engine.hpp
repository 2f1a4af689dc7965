#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/raw_value_lookup.hpp"

namespace tabvora::internal {

// How a data grid is drawn: on the graphics processor or with the standard table view.
class GridRenderingEngine {
 public:
  enum Value : std::uint8_t { metal, standard };
  static constexpr Value allCases[] = {metal, standard};

  constexpr GridRenderingEngine(Value v = standard) : value_(v) {}
  constexpr operator Value() const { return value_; }

  // "Metal GPU", "Standard"; also the id and the label.
  constexpr std::string_view rawValue() const { return value_ == metal ? "Metal GPU" : "Standard"; }
  constexpr std::string_view id() const { return rawValue(); }
  constexpr std::string_view iconName() const { return value_ == metal ? "bolt.fill" : "square.grid.2x2"; }
  static constexpr std::optional<GridRenderingEngine> fromRawValue(std::string_view raw) {
    return lookupRawValue<GridRenderingEngine>(raw);
  }

 private:
  Value value_;
};

}  // namespace tabvora::internal
