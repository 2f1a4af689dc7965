#pragma once

#include <string_view>

namespace tabvora::internal {

// Locale-aware comparison of UTF-8 text for sorting: case-insensitive, runs of digits
// compared by numeric value (file9 < file10). Negative, zero or positive.
int localizedStandardCompare(std::string_view a, std::string_view b);

// Whether haystack contains needle, ignoring case (full Unicode case folding).
bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle);

}  // namespace tabvora::internal
