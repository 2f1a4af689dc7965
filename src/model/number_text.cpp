#include "model/number_text.hpp"

#include <charconv>
#include <cmath>

namespace tabvora::internal {

namespace {

// As in CellValue::displayString: whole numbers below this print without a fraction; past
// it, and below kDecimalDownTo, the shortest form is exponential.
constexpr double kPlainWholeNumberLimit = 1e15;
constexpr double kDecimalDownTo = 1e-4;

}  // namespace

std::string_view NumberText::integer(std::int64_t value) {
  const auto result = std::to_chars(buffer_, buffer_ + sizeof buffer_, value);
  return std::string_view(buffer_, static_cast<std::size_t>(result.ptr - buffer_));
}

std::string_view NumberText::real(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  const double magnitude = std::fabs(value);
  if (value == std::trunc(value) && magnitude < kPlainWholeNumberLimit) {
    // A whole number this small is an int64 exactly; only zero keeps a sign of its own.
    if (value == 0) return std::signbit(value) ? "-0" : "0";
    return integer(static_cast<std::int64_t>(value));
  }
  const std::chars_format form = magnitude >= kPlainWholeNumberLimit || magnitude < kDecimalDownTo
                                     ? std::chars_format::scientific
                                     : std::chars_format::fixed;
  const auto result = std::to_chars(buffer_, buffer_ + sizeof buffer_, value, form);
  return std::string_view(buffer_, static_cast<std::size_t>(result.ptr - buffer_));
}

}  // namespace tabvora::internal
