#include "drivers/sqlite/real_affinity_converter.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace tabvora::internal {

namespace {

// SQLite before 3.43 reads a decimal of at most 15 digits, k of them after the point and no
// exponent, as the integer of its digits divided by 10^k: in long double (64-bit
// significand, or double where that is all there is), then rounded to double. Two roundings
// can differ from one only when the first lands on a midpoint between two doubles; the
// quotient lies at least 1 / (10^k * 2^53) (relative) from every midpoint it does not equal,
// which for k <= 3 is more than the 2^-64 the first rounding may move it, since 10^3 < 2^11.
// So the value is the quotient correctly rounded: one division of two exact doubles.
// Later versions read decimals another way, so they take the CAST.
bool readsShortDecimalsExactly() {
  constexpr int kLongDoubleDigits = std::numeric_limits<long double>::digits;
  return sqlite3_libversion_number() < 3043000 && (kLongDoubleDigits == 64 || kLongDoubleDigits == 53);
}

constexpr std::size_t kMaxShortDigits = 15;  // below 2^53: the integer is an exact double
constexpr double kPowersOfTen[] = {1, 10, 100, 1000};

// The value of [+-]digits.digits with at most kMaxShortDigits digits, at most 3 of them after
// the point; nothing for any other text.
std::optional<double> shortDecimal(std::string_view text) {
  std::size_t i = !text.empty() && (text.front() == '-' || text.front() == '+') ? 1 : 0;
  const bool negative = i == 1 && text.front() == '-';
  std::uint64_t digits = 0;
  std::size_t count = 0;
  int afterPoint = -1;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && afterPoint < 0) {
      afterPoint = 0;
      continue;
    }
    if (c < '0' || c > '9' || ++count > kMaxShortDigits) return std::nullopt;
    digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
    if (afterPoint >= 0) ++afterPoint;
  }
  if (count == 0 || afterPoint < 0 || afterPoint > 3) return std::nullopt;
  const double value = static_cast<double>(digits) / kPowersOfTen[afterPoint];
  return negative ? -value : value;
}

}  // namespace

RealAffinityConverter::RealAffinityConverter() : shortDecimalsDirect_(readsShortDecimalsExactly()) {
  // Only its owner's thread uses the connection: it needs no mutex.
  if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  std::string sql = "SELECT ";
  for (int i = 1; i <= kTextsPerStep; ++i) sql += (i > 1 ? ", CAST(?" : "CAST(?") + std::to_string(i) + " AS REAL)";
  if (cast_.prepare(db_, sql) != SQLITE_OK) cast_.finalize();
}

RealAffinityConverter::~RealAffinityConverter() {
  cast_.finalize();
  sqlite3_close(db_);
}

bool RealAffinityConverter::convert(std::span<const std::string_view> texts, std::span<double> values) {
  if (values.size() < texts.size()) return false;
  rest_.clear();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::optional<double> value = shortDecimalsDirect_ ? shortDecimal(texts[i]) : std::nullopt;
    if (value) {
      values[i] = *value;
    } else {
      rest_.push_back(i);
    }
  }
  return rest_.empty() || castRest(texts, values);
}

bool RealAffinityConverter::castRest(std::span<const std::string_view> texts, std::span<double> values) {
  sqlite3_stmt* cast = cast_.get();
  if (cast == nullptr) return false;
  bool converted = true;
  for (std::size_t done = 0; converted && done < rest_.size(); done += kTextsPerStep) {
    const std::size_t count = std::min<std::size_t>(kTextsPerStep, rest_.size() - done);
    for (std::size_t i = 0; converted && i < static_cast<std::size_t>(kTextsPerStep); ++i) {
      const int parameter = static_cast<int>(i) + 1;
      if (i >= count) {
        sqlite3_bind_null(cast, parameter);
        continue;
      }
      const std::string_view text = texts[rest_[done + i]];
      converted = text.size() <= static_cast<std::size_t>(INT_MAX);
      if (converted) sqlite3_bind_text(cast, parameter, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
    converted = converted && sqlite3_step(cast) == SQLITE_ROW;
    for (std::size_t i = 0; converted && i < count; ++i) {
      converted = sqlite3_column_type(cast, static_cast<int>(i)) == SQLITE_FLOAT;
      values[rest_[done + i]] = sqlite3_column_double(cast, static_cast<int>(i));
    }
    sqlite3_reset(cast);
  }
  sqlite3_clear_bindings(cast);  // no pointer into the texts stays behind
  return converted;
}

}  // namespace tabvora::internal
