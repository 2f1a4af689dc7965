#include "platform/byte_count.hpp"

#include <cstdint>
#include <string>

namespace tabvora::internal {

namespace {

struct Unit {
  const char* name;
  int decimals;  // digits shown after the point, before trailing zeros are dropped
};

// Decimal (powers of 1000) units, as a file browser shows sizes.
constexpr Unit kUnits[] = {{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}};
constexpr std::uint64_t kUnitStep = 1000;

unsigned __int128 powerOf10(int exponent) {
  unsigned __int128 p = 1;
  for (int i = 0; i < exponent; ++i) p *= 10;
  return p;
}

}  // namespace

std::string formatByteCount(std::int64_t bytes) {
  if (bytes == 0) return "Zero KB";
  const bool negative = bytes < 0;
  // Magnitude as unsigned so that INT64_MIN is representable.
  const std::uint64_t magnitude = negative ? ~static_cast<std::uint64_t>(bytes) + 1 : static_cast<std::uint64_t>(bytes);
  const std::string sign = negative ? "-" : "";
  if (magnitude == 1) return sign + "1 byte";
  if (magnitude < kUnitStep) return sign + std::to_string(magnitude) + " bytes";

  // Pick the first unit whose value, rounded half up to its shown precision, stays below
  // 1000; rounding 999.5 KB up therefore carries into "1 MB".
  unsigned __int128 divisor = kUnitStep;
  for (std::size_t u = 0; u < std::size(kUnits); ++u, divisor *= kUnitStep) {
    const Unit& unit = kUnits[u];
    const unsigned __int128 scale = powerOf10(unit.decimals);
    const unsigned __int128 rounded = (magnitude * scale + divisor / 2) / divisor;
    const bool last = u + 1 == std::size(kUnits);
    if (rounded >= kUnitStep * scale && !last) continue;

    const auto whole = static_cast<std::uint64_t>(rounded / scale);
    auto fraction = static_cast<std::uint64_t>(rounded % scale);
    std::string text = std::to_string(whole);
    if (fraction != 0) {
      std::string digits = std::to_string(fraction);
      digits.insert(0, static_cast<std::size_t>(unit.decimals) - digits.size(), '0');
      while (!digits.empty() && digits.back() == '0') digits.pop_back();
      text += '.' + digits;
    }
    return sign + text + " " + unit.name;
  }
  return sign + std::to_string(magnitude) + " bytes";  // not reached: the last unit always answers
}

}  // namespace tabvora::internal
