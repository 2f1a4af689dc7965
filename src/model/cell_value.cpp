#include "model/cell_value.hpp"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "model/base64.hpp"
#include "platform/byte_count.hpp"
#include "platform/double_format.hpp"
#include "platform/iso8601.hpp"
#include "platform/localized_text.hpp"
#include "platform/number_parsing.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

// Whole reals below this magnitude print as plain digits; from here on digits past the
// 15th are no longer all significant, so the exponent form is used.
constexpr double kPlainWholeNumberLimit = 1e15;
// JSON nested deeper than this is kept as text: readers and writers of JSON values recurse
// per level, and the platform parser refuses such documents too.
constexpr int kMaxJSONNestingDepth = 512;
// A text upper-cased to "NULL" has at most four characters of at most four bytes each.
constexpr std::size_t kMaxNullSpellingBytes = 16;

std::string csvQuoted(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

// Whether arrays and objects in the JSON text nest deeper than `limit` (strings skipped).
bool nestsDeeperThan(const std::string& text, int limit) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

// JSON strings are Unicode: malformed UTF-8 bytes become U+FFFD, so that writing the
// value out can never fail half-way.
std::string serializableString(const std::string& s) { return isValidUTF8(s) ? s : repairUTF8(s); }

// The number each kind is hashed with, in the declared order of the cases with null first.
std::size_t hashTag(CellValue::Kind kind) {
  switch (kind) {
    case CellValue::Kind::null: return 0;
    case CellValue::Kind::integer: return 1;
    case CellValue::Kind::real: return 2;
    case CellValue::Kind::text: return 3;
    case CellValue::Kind::boolean: return 4;
    case CellValue::Kind::date: return 5;
    case CellValue::Kind::blob: return 6;
    case CellValue::Kind::json: return 7;
  }
  return 0;
}

void hashCombine(std::size_t& seed, std::size_t value) {
  seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// Plain string order of Unicode text: code points after canonical composition, which is
// byte order of the NFC forms in UTF-8.
bool unicodeScalarLess(const std::string& a, const std::string& b) { return toNFC(a) < toNFC(b); }

}  // namespace

std::optional<double> CellValue::numericValue() const {
  if (kind_ == Kind::integer) return static_cast<double>(integerValue());
  if (kind_ == Kind::real) return realValue();
  return std::nullopt;
}

std::string CellValue::displayString() const {
  switch (kind_) {
    case Kind::integer: return std::to_string(integerValue());
    case Kind::real: {
      const double v = realValue();
      if (std::isnan(v)) return "NaN";
      if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
      if (v == std::trunc(v) && std::fabs(v) < kPlainWholeNumberLimit) {
        char buffer[32];
        const int length = std::snprintf(buffer, sizeof buffer, "%.0f", v);
        return std::string(buffer, static_cast<std::size_t>(length));
      }
      return shortestDoubleText(v);
    }
    case Kind::text:
    case Kind::json: return stringValue();
    case Kind::boolean: return booleanValue() ? "TRUE" : "FALSE";
    case Kind::date: return formatISO8601(dateValue().secondsSince1970, true);
    case Kind::blob: return "BLOB [" + formatByteCount(static_cast<std::int64_t>(blobValue().size())) + "]";
    case Kind::null: return "NULL";
  }
  return {};
}

std::string CellValue::rawValueString() const {
  switch (kind_) {
    case Kind::integer: return std::to_string(integerValue());
    case Kind::real: return shortestDoubleText(realValue());
    case Kind::text:
    case Kind::json: return stringValue();
    case Kind::boolean: return booleanValue() ? "true" : "false";
    case Kind::date: return shortestDoubleText(dateValue().secondsSince1970);
    case Kind::blob: return base64Encode(blobValue());
    case Kind::null: return {};
  }
  return {};
}

std::string CellValue::csvEscaped() const {
  switch (kind_) {
    case Kind::text:
    case Kind::json: return csvQuoted(stringValue());
    case Kind::date: return formatISO8601(dateValue().secondsSince1970, false);
    default: return rawValueString();
  }
}

nlohmann::json CellValue::jsonObject() const {
  switch (kind_) {
    case Kind::integer: return integerValue();
    case Kind::real: return realValue();
    case Kind::text: return serializableString(stringValue());
    case Kind::boolean: return booleanValue();
    case Kind::date: return formatISO8601(dateValue().secondsSince1970, false);
    case Kind::blob: return base64Encode(blobValue());
    case Kind::json: {
      // Only a top-level object or array counts as parsed JSON; anything else (a bare
      // scalar, broken text, invalid UTF-8, absurd nesting) comes back as the string itself.
      if (nestsDeeperThan(stringValue(), kMaxJSONNestingDepth)) return serializableString(stringValue());
      nlohmann::json parsed = nlohmann::json::parse(stringValue(), nullptr, false);
      if (!parsed.is_discarded() && (parsed.is_object() || parsed.is_array())) return parsed;
      return serializableString(stringValue());
    }
    case Kind::null: return nullptr;
  }
  return nullptr;
}

CellValue CellValue::parse(std::string_view string, ColumnType targetType) {
  const std::string_view trimmed = trimWhitespaceAndNewlines(string);
  if (trimmed.size() <= kMaxNullSpellingBytes && toUpperUnicode(trimmed) == "NULL") return null();
  if (trimmed.empty() && targetType != ColumnType::text) return null();

  switch (targetType) {
    case ColumnType::integer:
      if (auto v = parseInt64(trimmed)) return integer(*v);
      return text(std::string(string));
    case ColumnType::real:
      if (auto v = parseDouble(trimmed)) return real(*v);
      return text(std::string(string));
    case ColumnType::boolean: {
      const std::string lower = toLowerUnicode(trimmed);
      return boolean(lower == "true" || lower == "1" || lower == "t");
    }
    case ColumnType::json: return json(std::string(string));
    case ColumnType::null: return null();
    case ColumnType::text:
    case ColumnType::date:
    case ColumnType::blob:
    case ColumnType::unknown: return text(std::string(string));
  }
  return text(std::string(string));
}

bool operator==(const CellValue& a, const CellValue& b) {
  if (a.kind_ != b.kind_) return false;
  return a.payload_ == b.payload_;
}

bool operator<(const CellValue& a, const CellValue& b) {
  using Kind = CellValue::Kind;
  if (a.isNull()) return !b.isNull();
  if (b.isNull()) return false;
  if (a.isNumeric() && b.isNumeric()) {
    if (a.kind_ == Kind::integer && b.kind_ == Kind::integer) return a.integerValue() < b.integerValue();
    return *a.numericValue() < *b.numericValue();
  }
  if (a.kind_ == b.kind_) {
    switch (a.kind_) {
      case Kind::text: return localizedStandardCompare(a.stringValue(), b.stringValue()) < 0;
      case Kind::boolean: return !a.booleanValue() && b.booleanValue();
      case Kind::date: return a.dateValue().secondsSince1970 < b.dateValue().secondsSince1970;
      case Kind::json: return unicodeScalarLess(a.stringValue(), b.stringValue());
      default: break;
    }
  }
  return localizedStandardCompare(a.displayString(), b.displayString()) < 0;
}

std::size_t CellValue::hash() const {
  std::size_t seed = hashTag(kind_);
  switch (kind_) {
    case Kind::integer: hashCombine(seed, std::hash<std::int64_t>{}(integerValue())); break;
    case Kind::real: {
      const double v = realValue();
      hashCombine(seed, std::hash<double>{}(v == 0 ? 0.0 : v));  // -0.0 equals 0.0
      break;
    }
    case Kind::text:
    case Kind::json: hashCombine(seed, std::hash<std::string>{}(stringValue())); break;
    case Kind::boolean: hashCombine(seed, booleanValue() ? 1 : 0); break;
    case Kind::date: {
      const double v = dateValue().secondsSince1970;
      hashCombine(seed, std::hash<double>{}(v == 0 ? 0.0 : v));
      break;
    }
    case Kind::blob: {
      const Bytes& bytes = blobValue();
      hashCombine(seed, std::hash<std::string_view>{}(
                            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
      break;
    }
    case Kind::null: break;
  }
  return seed;
}

}  // namespace tabvora::internal
