#include "drivers/parquet/parquet_cell_format.hpp"

#include <bit>
#include <charconv>
#include <string>
#include <cmath>
#include <limits>

#include "model/driver_error.hpp"
#include "platform/civil_calendar.hpp"

namespace tabvora::internal {

namespace {

namespace physical = parquet_physical;
namespace logical = parquet_logical;

// Converted types read here.
constexpr std::int32_t kUTF8 = 0, kEnum = 4, kDecimal = 5, kDate = 6, kTimeMillis = 7, kTimeMicros = 8,
                       kTimestampMillis = 9, kTimestampMicros = 10, kUInt8 = 11, kUInt64 = 14, kInt8 = 15, kInt64 = 18,
                       kJson = 19, kBson = 20, kInterval = 21;

[[noreturn]] void throwUnsupported(const std::string& name, std::string_view what) {
  throw DriverError(
      "ParquetDriver", -1,
      "The Parquet column \"" + name + "\" holds " + std::string(what) + ", which the reader does not support");
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Appends the few characters from `from` to `to` one by one: for the handful a field of a
// cell holds, cheaper than a call to copy them.
void appendShort(const char* from, const char* to, std::string& out) {
  for (; from != to; ++from) out.push_back(*from);
}

// `value` in decimal digits, at least `width` of them (zeros lead).
void appendPadded(std::uint64_t value, int width, std::string& out) {
  char buffer[24];
  char* end = buffer + sizeof buffer;
  char* at = end;
  do {
    *--at = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (end - at < width) *--at = '0';
  appendShort(at, end, out);
}

void appendDate(std::int64_t days, std::string& out) {
  const CivilDate date = civilFromDays(days);
  const bool beforeChrist = date.year <= 0;
  const long long year = beforeChrist ? 1 - static_cast<long long>(date.year) : date.year;
  appendPadded(static_cast<std::uint64_t>(year), 4, out);
  out += '-';
  appendPadded(date.month, 2, out);
  out += '-';
  appendPadded(date.day, 2, out);
  if (beforeChrist) out += " (BC)";
}

// "HH:MM:SS" and the fraction of `fraction` units of 10^-digits second, trailing zeros dropped.
void appendTimeOfDay(std::int64_t seconds, std::int64_t fraction, int digits, std::string& out) {
  appendPadded(static_cast<std::uint64_t>(seconds / 3600), 2, out);
  out += ':';
  appendPadded(static_cast<std::uint64_t>(seconds / 60 % 60), 2, out);
  out += ':';
  appendPadded(static_cast<std::uint64_t>(seconds % 60), 2, out);
  if (fraction == 0) return;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  out += '.';
  appendPadded(static_cast<std::uint64_t>(fraction), digits, out);
}

// A timestamp of `ticks` units (per second: `perSecond`) since 1970.
void appendTimestamp(std::int64_t ticks, std::int64_t perSecond, int digits, std::string& out) {
  // Every step stays in range for any 64-bit count.
  const std::int64_t seconds = floorDiv(ticks, perSecond);
  const std::int64_t fraction = (ticks % perSecond + perSecond) % perSecond;
  const std::int64_t days = floorDiv(seconds, 86'400);
  appendDate(days, out);
  out += ' ';
  appendTimeOfDay(seconds - days * 86'400, fraction, digits, out);
}

// A big-endian two's complement integer of up to 16 bytes.
bool bigEndianInteger(std::string_view bytes, __int128& out) {
  if (bytes.empty()) {
    out = 0;
    return true;
  }
  // Bytes beyond 16 must only extend the sign.
  const bool negative = (static_cast<unsigned char>(bytes[0]) & 0x80) != 0;
  while (bytes.size() > 16) {
    if (static_cast<unsigned char>(bytes[0]) != (negative ? 0xFF : 0x00)) return false;
    bytes.remove_prefix(1);
  }
  unsigned __int128 value = negative ? ~static_cast<unsigned __int128>(0) : 0;
  for (const char byte : bytes) value = value << 8 | static_cast<unsigned char>(byte);
  out = static_cast<__int128>(value);
  return true;
}

void appendDecimal(__int128 value, std::int32_t scale, std::string& out) {
  const bool negative = value < 0;
  unsigned __int128 magnitude =
      negative ? -static_cast<unsigned __int128>(value) : static_cast<unsigned __int128>(value);
  // 39 digits at most, and as many zeros as a scale of up to 38 asks before them.
  char buffer[96];
  char* const end = buffer + sizeof buffer;
  char* at = end;
  // 128-bit division is a call of its own: the digits of a magnitude that fits 64 bits (of
  // every DECIMAL of up to 18 digits) come from 64-bit arithmetic.
  for (; magnitude > std::numeric_limits<std::uint64_t>::max(); magnitude /= 10)
    *--at = static_cast<char>('0' + static_cast<int>(magnitude % 10));
  auto low = static_cast<std::uint64_t>(magnitude);
  do {
    *--at = static_cast<char>('0' + static_cast<int>(low % 10));
    low /= 10;
  } while (low != 0);
  const auto places = static_cast<std::ptrdiff_t>(scale > 0 ? scale : 0);
  while (end - at <= places) *--at = '0';
  if (negative) out += '-';
  appendShort(at, end - places, out);
  if (places > 0) {
    out += '.';
    appendShort(end - places, end, out);
  }
}

double halfToDouble(std::uint16_t half) {
  const int exponent = (half >> 10) & 0x1F;
  const int mantissa = half & 0x3FF;
  double value = 0;
  if (exponent == 0)
    value = std::ldexp(mantissa, -24);
  else if (exponent == 31)
    value = mantissa == 0 ? std::numeric_limits<double>::infinity() : std::nan("");
  else
    value = std::ldexp(mantissa + 1024, exponent - 25);
  return (half & 0x8000) != 0 ? -value : value;
}

ParquetCellFormat::Cell numberCell(double value) {
  ParquetCellFormat::Cell cell;
  if (std::trunc(value) == value && value >= -9223372036854775808.0 && value < 9223372036854775808.0) {
    cell.kind = ParquetCellFormat::Kind::integer;
    cell.integer = static_cast<std::int64_t>(value);
  } else {
    cell.kind = ParquetCellFormat::Kind::real;
    cell.real = value;
  }
  return cell;
}

// A double as JavaScript prints it: the shortest digits that read back, in decimal
// notation when the exponent is from -7 to 20, else "1.5e+21" / "1e-7".
void appendJavaScriptNumber(double value, std::string& out) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "Infinity" : "-Infinity";
    return;
  }
  if (value == 0) {
    out += '0';
    return;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  if (text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  const std::size_t e = text.find('e');
  std::string digits(text.substr(0, e));
  std::erase(digits, '.');
  const int exponent = std::stoi(std::string(text.substr(e + 1)));
  const int k = static_cast<int>(digits.size());
  const int n = exponent + 1;  // the decimal point's place after the first digit
  if (k <= n && n <= 21) {
    out += digits;
    out.append(static_cast<std::size_t>(n - k), '0');
  } else if (0 < n && n <= 21) {
    out += digits.substr(0, static_cast<std::size_t>(n));
    out += '.';
    out += digits.substr(static_cast<std::size_t>(n));
  } else if (-6 < n && n <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-n), '0');
    out += digits;
  } else {
    out += digits.front();
    if (k > 1) {
      out += '.';
      out += digits.substr(1);
    }
    out += 'e';
    out += n - 1 >= 0 ? '+' : '-';
    out += std::to_string(std::abs(n - 1));
  }
}

}  // namespace

void ParquetCellFormat::appendJSONString(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += kHex[static_cast<unsigned char>(c) >> 4];
          out += kHex[static_cast<unsigned char>(c) & 0x0F];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void ParquetCellFormat::appendJSON(const ParquetValues& values, std::size_t i, std::string& out,
                                   std::string& scratch) const {
  if (conversion_ == Conversion::unsigned64) {
    out += std::to_string(static_cast<std::uint64_t>(values.integers[i]));
    return;
  }
  const Cell value = cell(values, i, scratch);
  switch (value.kind) {
    case Kind::null: out += "null"; break;
    case Kind::boolean: out += value.integer != 0 ? "true" : "false"; break;
    case Kind::integer: {
      char digits[24];
      appendShort(digits, std::to_chars(digits, digits + sizeof digits, value.integer).ptr, out);
      break;
    }
    case Kind::real: appendJavaScriptNumber(value.real, out); break;
    case Kind::text: appendJSONString(value.text, out); break;
    case Kind::json: out += value.text; break;
  }
}

ParquetCellFormat::ParquetCellFormat(const ParquetMetadata::SchemaElement& leaf) {
  const std::int32_t type = leaf.type.value_or(-1);
  const ParquetMetadata::LogicalType& logicalType = leaf.logicalType;
  const std::optional<std::int32_t> converted = leaf.convertedType;
  const bool binary = type == physical::kByteArray || type == physical::kFixedLenByteArray;
  const bool integral = type == physical::kInt32 || type == physical::kInt64;
  auto expect = [&](bool fits, std::string_view what) {
    if (!fits) throwUnsupported(leaf.name, what);
  };
  switch (type) {
    case physical::kBoolean: conversion_ = Conversion::boolean; break;
    case physical::kInt32:
    case physical::kInt64: conversion_ = Conversion::integer; break;
    case physical::kInt96: conversion_ = Conversion::int96; break;
    case physical::kFloat:
    case physical::kDouble: conversion_ = Conversion::floating; break;
    case physical::kByteArray:
    case physical::kFixedLenByteArray: conversion_ = Conversion::blob; break;
    default: throwUnsupported(leaf.name, "an unknown physical type");
  }
  if (logicalType.kind != 0) {
    switch (logicalType.kind) {
      case logical::kString:
      case logical::kEnum:
      case logical::kJson:
        expect(binary, "text in a number");
        conversion_ = Conversion::text;
        break;
      case logical::kBson: expect(binary, "BSON in a number"); break;
      case logical::kDecimal:
        expect(integral || binary, "a DECIMAL of an unknown form");
        conversion_ = Conversion::decimal;
        scale_ = logicalType.scale;
        break;
      case logical::kDate:
        expect(type == physical::kInt32, "a DATE not of INT32");
        conversion_ = Conversion::date;
        break;
      case logical::kTime:
      case logical::kTimestamp:
        expect(integral && logicalType.unit >= 1 && logicalType.unit <= 3, "a time of an unknown unit");
        conversion_ = logicalType.kind == logical::kTime ? Conversion::time : Conversion::timestamp;
        unit_ = logicalType.unit;
        adjustedToUTC_ = logicalType.adjustedToUTC;
        break;
      case logical::kInteger:
        expect(integral, "an INTEGER not of INT32 or INT64");
        if (!logicalType.isSigned)
          conversion_ = type == physical::kInt64 ? Conversion::unsigned64 : Conversion::unsigned32;
        break;
      case logical::kUnknown: conversion_ = Conversion::alwaysNull; break;
      case logical::kUuid:
        expect(type == physical::kFixedLenByteArray && leaf.typeLength == 16, "a UUID not of 16 bytes");
        conversion_ = Conversion::uuid;
        break;
      case logical::kFloat16:
        expect(type == physical::kFixedLenByteArray && leaf.typeLength == 2, "a FLOAT16 not of 2 bytes");
        conversion_ = Conversion::float16;
        break;
      default: throwUnsupported(leaf.name, "a logical type of number " + std::to_string(logicalType.kind));
    }
  } else if (converted) {
    const std::int32_t c = *converted;
    if (c == kUTF8 || c == kEnum || c == kJson) {
      expect(binary, "text in a number");
      conversion_ = Conversion::text;
    } else if (c == kDecimal) {
      expect(integral || binary, "a DECIMAL of an unknown form");
      conversion_ = Conversion::decimal;
      scale_ = leaf.scale;
    } else if (c == kDate) {
      expect(type == physical::kInt32, "a DATE not of INT32");
      conversion_ = Conversion::date;
    } else if (c == kTimeMillis || c == kTimeMicros || c == kTimestampMillis || c == kTimestampMicros) {
      expect(integral, "a time not of INT32 or INT64");
      conversion_ = c <= kTimeMicros ? Conversion::time : Conversion::timestamp;
      unit_ = c == kTimeMillis || c == kTimestampMillis ? 1 : 2;
    } else if (c >= kUInt8 && c <= kUInt64) {
      expect(integral, "an unsigned integer not of INT32 or INT64");
      conversion_ = type == physical::kInt64 ? Conversion::unsigned64 : Conversion::unsigned32;
    } else if (c >= kInt8 && c <= kInt64) {
      expect(integral, "an integer not of INT32 or INT64");
    } else if (c == kInterval) {
      throwUnsupported(leaf.name, "INTERVAL values");
    } else if (c != kBson) {
      throwUnsupported(leaf.name, "a converted type of number " + std::to_string(c));
    }
  }
  if (conversion_ == Conversion::decimal && (scale_ < 0 || scale_ > 38))
    throwUnsupported(leaf.name, "a DECIMAL scale past 38");
}

ParquetCellFormat::Cell ParquetCellFormat::cell(const ParquetValues& values, std::size_t i,
                                                std::string& scratch) const {
  Cell cell;
  auto text = [&]() -> Cell {
    cell.kind = Kind::text;
    cell.text = scratch;
    return cell;
  };
  scratch.clear();
  switch (conversion_) {
    case Conversion::boolean:
      cell.kind = Kind::boolean;
      cell.integer = values.integers[i] != 0 ? 1 : 0;
      return cell;
    case Conversion::integer:
      cell.kind = Kind::integer;
      cell.integer = values.integers[i];
      return cell;
    case Conversion::unsigned32:
      cell.kind = Kind::integer;
      cell.integer = static_cast<std::uint32_t>(values.integers[i]);
      return cell;
    case Conversion::unsigned64: {
      const auto value = static_cast<std::uint64_t>(values.integers[i]);
      if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        cell.kind = Kind::integer;
        cell.integer = static_cast<std::int64_t>(value);
      } else {
        cell.kind = Kind::real;
        cell.real = static_cast<double>(value);
      }
      return cell;
    }
    case Conversion::floating: return numberCell(values.reals[i]);
    case Conversion::float16: {
      const std::string_view bytes = values.binary(i);
      if (bytes.size() != 2) return cell;
      return numberCell(halfToDouble(static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) |
                                                                static_cast<unsigned char>(bytes[1]) << 8)));
    }
    case Conversion::decimal: {
      __int128 value = 0;
      if (values.form == ParquetValues::Form::integer)
        value = values.integers[i];
      else if (!bigEndianInteger(values.binary(i), value))
        throw DriverError("ParquetDriver", -1, "A DECIMAL value of the Parquet file is wider than 16 bytes");
      appendDecimal(value, scale_, scratch);
      return text();
    }
    case Conversion::date: {
      // DuckDB's infinite dates.
      const std::int64_t days = values.integers[i];
      if (days == std::numeric_limits<std::int32_t>::max() || days == -std::numeric_limits<std::int32_t>::max())
        scratch = days > 0 ? "infinity" : "-infinity";
      else
        appendDate(days, scratch);
      return text();
    }
    case Conversion::time: {
      // The time of day, taken in the value's own unit so that no unit overflows.
      const std::int64_t perSecond = unit_ == 1 ? 1000 : unit_ == 2 ? 1'000'000 : 1'000'000'000;
      const std::int64_t perDay = perSecond * 86'400;
      const std::int64_t ticks = (values.integers[i] % perDay + perDay) % perDay;
      const std::int64_t fraction = ticks % perSecond;
      appendTimeOfDay(ticks / perSecond,
                      unit_ == 1   ? fraction * 1000
                      : unit_ == 2 ? fraction
                                   : fraction / 1000,
                      6, scratch);
      if (adjustedToUTC_) scratch += "+00";
      return text();
    }
    case Conversion::timestamp: {
      const std::int64_t ticks = values.integers[i];
      // DuckDB's infinite timestamps.
      if (unit_ == 2 &&
          (ticks == std::numeric_limits<std::int64_t>::max() || ticks == -std::numeric_limits<std::int64_t>::max())) {
        scratch = ticks > 0 ? "infinity" : "-infinity";
      } else if (unit_ == 1) {
        appendTimestamp(ticks, 1000, 3, scratch);
      } else if (unit_ == 2) {
        appendTimestamp(ticks, 1'000'000, 6, scratch);
      } else {
        appendTimestamp(ticks, 1'000'000'000, 9, scratch);
      }
      if (adjustedToUTC_) scratch += "+00";
      return text();
    }
    case Conversion::int96: {
      // Nanoseconds of the day, then a Julian day number; a count of nanoseconds past a day
      // carries into the days.
      constexpr std::uint64_t kNanosPerDay = 86'400'000'000'000;
      const std::string_view bytes = values.binary(i);
      std::uint64_t nanos = 0;
      std::uint32_t julianDay = 0;
      for (int k = 0; k < 8; ++k) nanos |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[k])) << (8 * k);
      for (int k = 0; k < 4; ++k)
        julianDay |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[8 + k])) << (8 * k);
      const std::int64_t days =
          static_cast<std::int64_t>(julianDay) - 2'440'588 + static_cast<std::int64_t>(nanos / kNanosPerDay);
      const std::uint64_t micros = nanos % kNanosPerDay / 1000;
      appendDate(days, scratch);
      scratch += ' ';
      appendTimeOfDay(static_cast<std::int64_t>(micros / 1'000'000), static_cast<std::int64_t>(micros % 1'000'000), 6,
                      scratch);
      return text();
    }
    case Conversion::uuid: {
      static constexpr char kHex[] = "0123456789abcdef";
      const std::string_view bytes = values.binary(i);
      for (std::size_t k = 0; k < bytes.size(); ++k) {
        if (k == 4 || k == 6 || k == 8 || k == 10) scratch += '-';
        scratch += kHex[static_cast<unsigned char>(bytes[k]) >> 4];
        scratch += kHex[static_cast<unsigned char>(bytes[k]) & 0x0F];
      }
      return text();
    }
    case Conversion::text:
      cell.kind = Kind::text;
      cell.text = values.binary(i);
      return cell;
    case Conversion::blob: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      for (const char c : values.binary(i)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte <= 126 && c != '\'' && c != '"') {
          scratch += c;
        } else {
          scratch += "\\x";
          scratch += kHex[byte >> 4];
          scratch += kHex[byte & 0x0F];
        }
      }
      return text();
    }
    case Conversion::alwaysNull: return cell;
  }
  return cell;
}

}  // namespace tabvora::internal
