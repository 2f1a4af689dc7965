#pragma once

#include <optional>
#include <string_view>

namespace tabvora::internal {

// The case of a raw-valued enum (a class with `allCases` and `rawValue()`) whose raw value
// is exactly `raw`, compared byte for byte and so case-sensitively.
template <typename Enum>
constexpr std::optional<Enum> lookupRawValue(std::string_view raw) {
  for (auto value : Enum::allCases) {
    if (Enum(value).rawValue() == raw) return Enum(value);
  }
  return std::nullopt;
}

}  // namespace tabvora::internal
