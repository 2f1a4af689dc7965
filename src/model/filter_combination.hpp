#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/raw_value_lookup.hpp"

namespace tabvora {

// How the active filters of a table combine: every one must hold, or any one.
class FilterCombination {
 public:
  enum Value : std::uint8_t { all, any };
  static constexpr Value allCases[] = {all, any};

  constexpr FilterCombination(Value v = all) : value_(v) {}
  constexpr operator Value() const { return value_; }

  // "All", "Any"; also the id and the label.
  constexpr std::string_view rawValue() const { return value_ == all ? "All" : "Any"; }
  constexpr std::string_view id() const { return rawValue(); }
  static constexpr std::optional<FilterCombination> fromRawValue(std::string_view raw) {
    return lookupRawValue<FilterCombination>(raw);
  }

 private:
  Value value_;
};

}  // namespace tabvora
