#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/raw_value_lookup.hpp"

namespace tabvora::internal {

// The appearance a user chose: the platform's, or always light, or always dark.
class AppTheme {
 public:
  enum Value : std::uint8_t { system, light, dark };
  static constexpr Value allCases[] = {system, light, dark};
  enum class ColorScheme : std::uint8_t { light, dark };

  constexpr AppTheme(Value v = system) : value_(v) {}
  constexpr operator Value() const { return value_; }

  // "System", "Light", "Dark"; also the id and the label.
  constexpr std::string_view rawValue() const { return kInfo[value_].rawValue; }
  constexpr std::string_view id() const { return rawValue(); }
  constexpr std::string_view iconName() const { return kInfo[value_].iconName; }
  // The scheme to force; none for system, which follows the platform.
  constexpr std::optional<ColorScheme> colorScheme() const { return kInfo[value_].colorScheme; }
  static constexpr std::optional<AppTheme> fromRawValue(std::string_view raw) { return lookupRawValue<AppTheme>(raw); }

 private:
  struct Info {
    std::string_view rawValue;
    std::string_view iconName;
    std::optional<ColorScheme> colorScheme;
  };
  // Indexed by Value.
  static constexpr Info kInfo[] = {{"System", "circle.lefthalf.filled", std::nullopt},
                                   {"Light", "sun.max.fill", ColorScheme::light},
                                   {"Dark", "moon.fill", ColorScheme::dark}};

  Value value_;
};

}  // namespace tabvora::internal
