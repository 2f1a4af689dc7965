#include "platform/number_parsing.hpp"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

#include <locale.h>

namespace tabvora::internal {

namespace {

// Literals longer than this are not numbers anyone wrote by hand; refusing them bounds the
// copy made for strtod.
constexpr std::size_t kMaxDoubleLiteralLength = 4096;

locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

bool isSpaceForStrtod(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::optional<std::int64_t> parseInt64(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  // Accumulate as a negative number: the range of negatives is one larger.
  std::int64_t value = 0;
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value < (kMin + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (negative) return value;
  if (value == kMin) return std::nullopt;
  return -value;
}

std::optional<double> parseDouble(std::string_view text) {
  if (text.empty() || text.size() > kMaxDoubleLiteralLength) return std::nullopt;
  if (isSpaceForStrtod(text.front())) return std::nullopt;
  // Decimal text in range, the common case, reads without a copy. from_chars takes no "+",
  // and after one sign no second may follow; both readers round correctly, so they agree.
  const bool plus = text.front() == '+';
  const std::string_view body = text.substr(plus ? 1 : 0);
  if (!plus || body.empty() || (body.front() != '+' && body.front() != '-')) {
    double value = 0;
    const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (error == std::errc() && end == body.data() + body.size()) return value;
  }
  const std::string copy(text);  // strtod needs a terminator; an inner NUL stops it short
  const locale_t locale = cLocale();
  if (locale == static_cast<locale_t>(nullptr)) return std::nullopt;
  char* end = nullptr;
  const double value = strtod_l(copy.c_str(), &end, locale);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}

}  // namespace tabvora::internal
