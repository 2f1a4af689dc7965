#include "model/column_type.hpp"

#include <cmath>

#include "platform/ascii_case.hpp"
#include "platform/double_format.hpp"
#include "platform/number_parsing.hpp"
#include "platform/sql_quoting.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

struct ColumnTypeInfo {
  std::string_view rawValue;
  std::string_view iconName;
  std::string_view badgeColor;
};

// Indexed by ColumnType::Value.
constexpr ColumnTypeInfo kInfo[] = {
    {"INTEGER", "number", "blue"},      {"REAL", "number.square", "cyan"},
    {"TEXT", "textformat", "primary"},  {"BOOLEAN", "checkmark.square", "green"},
    {"DATETIME", "calendar", "orange"}, {"BLOB", "shippingbox", "purple"},
    {"JSON", "curlybraces", "yellow"},  {"NULL", "questionmark", "secondary"},
    {"UNKNOWN", "character", "gray"},
};

bool isASCIIDigit(char c) { return c >= '0' && c <= '9'; }

template <typename Samples>
ColumnType inferColumnOf(const Samples& samples) {
  ColumnTypeInference inference;
  for (const auto& sample : samples) {
    inference.add(sample);
    if (inference.settled()) break;
  }
  return inference.result();
}

}  // namespace

std::string_view ColumnType::rawValue() const { return kInfo[value_].rawValue; }
std::string_view ColumnType::iconName() const { return kInfo[value_].iconName; }
std::string_view ColumnType::badgeColor() const { return kInfo[value_].badgeColor; }

std::optional<ColumnType> ColumnType::fromRawValue(std::string_view raw) {
  for (Value v : allCases) {
    if (kInfo[v].rawValue == raw) return ColumnType(v);
  }
  return std::nullopt;
}

std::optional<ColumnType> numericLiteralType(std::string_view trimmed) {
  if (trimmed.empty()) return std::nullopt;
  std::string_view rest = trimmed;
  if (rest.front() == '-' || rest.front() == '+') rest.remove_prefix(1);
  if (rest.empty()) return std::nullopt;
  for (char c : rest) {
    if (!isASCIIDigit(c) && c != '.' && c != 'e' && c != 'E' && c != '-' && c != '+') return std::nullopt;
  }
  std::size_t integerDigits = 0;
  while (integerDigits < rest.size() && isASCIIDigit(rest[integerDigits])) ++integerDigits;
  // A leading zero followed by more digits (007, 00.5) is an identifier, not a number.
  if (integerDigits >= 2 && rest.front() == '0') return std::nullopt;
  if (integerDigits == rest.size()) {
    // Too many digits for an int64 makes the text an identifier too, never a real.
    if (parseInt64(trimmed)) return ColumnType(ColumnType::integer);
    return std::nullopt;
  }
  const std::optional<double> value = parseDouble(trimmed);
  if (value && std::isfinite(*value)) return ColumnType(ColumnType::real);
  return std::nullopt;
}

ColumnType ColumnType::infer(std::string_view input) {
  const std::string_view trimmed = trimWhitespaceAndNewlines(input);
  if (trimmed.empty()) return null;
  // No non-ASCII letter lower-cases to any of the letters of "true" or "false", so an
  // ASCII comparison decides exactly as a Unicode one.
  if (equalsIgnoringASCIICase(trimmed, "true") || equalsIgnoringASCIICase(trimmed, "false")) return boolean;
  if (std::optional<ColumnType> numeric = numericLiteralType(trimmed)) return *numeric;
  if ((trimmed.front() == '{' && trimmed.back() == '}') || (trimmed.front() == '[' && trimmed.back() == ']')) {
    return json;
  }
  return text;
}

void ColumnTypeInference::add(std::string_view sample) {
  if (settled_) return;
  switch (ColumnType::infer(sample)) {
    case ColumnType::null: break;
    case ColumnType::integer: kept_ = true; break;
    case ColumnType::real: kept_ = sawReal_ = true; break;
    default: settled_ = true;  // boolean, json and text all settle the column
  }
}

ColumnType ColumnTypeInference::result() const {
  if (settled_ || !kept_) return ColumnType::text;
  return sawReal_ ? ColumnType::real : ColumnType::integer;
}

ColumnType ColumnType::inferColumn(const std::vector<std::string>& samples) { return inferColumnOf(samples); }

ColumnType ColumnType::inferColumn(const std::vector<std::string_view>& samples) { return inferColumnOf(samples); }

std::string ColumnType::sqlLiteral(std::string_view raw) const {
  if (raw.empty()) return "NULL";
  const std::string_view trimmed = trimWhitespace(raw);
  if (value_ == integer && infer(trimmed) == integer) {
    if (std::optional<std::int64_t> v = parseInt64(trimmed)) return std::to_string(*v);
  }
  if (value_ == real) {
    const ColumnType inferred = infer(trimmed);
    if (inferred == integer || inferred == real) {
      const std::optional<double> v = parseDouble(trimmed);
      if (v && std::isfinite(*v)) return shortestDoubleText(*v);
    }
  }
  return sqlStringLiteral(raw);
}

}  // namespace tabvora::internal
