#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tabvora::internal {

// The whole text as a 64-bit signed integer: an optional "+" or "-", then ASCII digits
// only. Absent for anything else, for an empty digit run and on overflow.
std::optional<std::int64_t> parseInt64(std::string_view text);

// The whole text as a double: a decimal or hexadecimal floating-point literal with an
// optional sign, or "inf", "infinity", "nan" in any letter case, read in the C locale.
// No surrounding white space. Out-of-range literals give an infinity or zero, as when
// reading source code.
std::optional<double> parseDouble(std::string_view text);

}  // namespace tabvora::internal
