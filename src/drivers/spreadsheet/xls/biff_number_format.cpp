#include "drivers/spreadsheet/xls/biff_number_format.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/ascii_case.hpp"

namespace tabvora::internal {

namespace {

// Whole numbers from here on in magnitude print as doubles, in exponent form like every
// number that large, so that none reads as an integer; so do numbers below kSmallestFixed.
constexpr double kIntegerTextLimit = 1e15;
constexpr double kSmallestFixed = 1e-4;

bool within(int value, int first, int last) { return value >= first && value <= last; }

}  // namespace

BIFFDateKind builtInBIFFDateKind(int f) {
  if (within(f, 14, 17) || f == 22 || within(f, 27, 31) || f == 34 || f == 36 || within(f, 50, 58))
    return BIFFDateKind::date;
  if (within(f, 18, 21) || f == 32 || f == 33 || f == 35 || within(f, 45, 47)) return BIFFDateKind::timeOnly;
  return BIFFDateKind::none;
}

BIFFDateKind classifyBIFFFormatCode(std::string_view code) {
  const std::string lower = asciiLowered(code);
  bool datePart = false, timePart = false, monthOrMinute = false;
  bool quoted = false, bracketed = false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    const char c = lower[i];
    if (quoted) {
      quoted = c != '"';
    } else if (bracketed) {
      bracketed = c != ']';
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;  // the next character is literal
    } else if (c == '"') {
      quoted = true;
    } else if (c == '[') {
      bracketed = true;
    } else if (c == 'y' || c == 'd') {
      datePart = true;
    } else if (c == 'h' || c == 's') {
      timePart = true;
    } else if (c == 'm') {
      monthOrMinute = true;
    }
  }
  const bool elapsed = lower.find("[h") != std::string::npos || lower.find("[m") != std::string::npos ||
                       lower.find("[s") != std::string::npos;
  if (elapsed) return datePart ? BIFFDateKind::date : BIFFDateKind::timeOnly;
  if (datePart) return BIFFDateKind::date;
  if (timePart) return BIFFDateKind::timeOnly;
  return monthOrMinute ? BIFFDateKind::date : BIFFDateKind::none;
}

double decodeRK(std::uint32_t rk) {
  double value = 0;
  if ((rk & 0x2) != 0) {
    value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    const std::uint64_t bits = std::uint64_t{rk & 0xFFFF'FFFCu} << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return (rk & 0x1) != 0 ? value / 100 : value;
}

void appendBIFFNumber(std::string& out, double value) {
  char text[32];
  std::to_chars_result end{};
  if (value == std::round(value) && std::fabs(value) < kIntegerTextLimit)
    end = std::to_chars(text, text + sizeof text, static_cast<std::int64_t>(value));
  else if (std::fabs(value) >= kIntegerTextLimit || (value != 0 && std::fabs(value) < kSmallestFixed))
    end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  else
    end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  out.append(text, end.ptr);
}

}  // namespace tabvora::internal
