#include "platform/double_format.hpp"

#include <charconv>
#include <cmath>

namespace tabvora::internal {

namespace {

// Whole numbers of sixteen digits and more switch to the exponent form, so 1e15 prints as
// "1e+15" while 999999999999999.0 keeps all its digits.
constexpr double kExponentialFrom = 1e15;
constexpr double kDecimalDownTo = 1e-4;
constexpr std::size_t kBufferSize = 64;  // longest shortest form is well under 40 chars

}  // namespace

std::string shortestDoubleText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";

  char buffer[kBufferSize];
  const double magnitude = std::fabs(value);
  if (magnitude >= kExponentialFrom || magnitude < kDecimalDownTo) {
    const auto result = std::to_chars(buffer, buffer + kBufferSize, value, std::chars_format::scientific);
    return std::string(buffer, result.ptr);
  }
  const auto result = std::to_chars(buffer, buffer + kBufferSize, value, std::chars_format::fixed);
  std::string text(buffer, result.ptr);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

}  // namespace tabvora::internal
