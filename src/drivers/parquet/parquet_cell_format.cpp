#include "drivers/parquet/parquet_cell_format.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <string>
#include <cmath>
#include <cstring>
#include <limits>

#include "model/driver_error.hpp"
#include "platform/civil_calendar.hpp"
#include "platform/text_arena.hpp"

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

// The cells' text is written into a buffer of this many bytes (its longest form: a decimal
// of 38 places, or a date of a 64-bit year with its time and zone), then kept at once.
constexpr std::size_t kLongestFormatted = 96;

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Two digits of `value` (below 100) at `at`.
char* writeTwo(unsigned value, char* at) {
  at[0] = kDigitPairs[2 * value];
  at[1] = kDigitPairs[2 * value + 1];
  return at + 2;
}

// `value` in decimal digits, at least `width` of them (zeros lead).
char* writePadded(std::uint64_t value, int width, char* at) {
  char buffer[24];
  char* const end = buffer + sizeof buffer;
  char* first = end;
  do {
    *--first = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (end - first < width) *--first = '0';
  for (; first != end; ++first) *at++ = *first;
  return at;
}

char* writeDate(std::int64_t days, char* at) {
  const CivilDate date = civilFromDays(days);
  const bool beforeChrist = date.year <= 0;
  const long long year = beforeChrist ? 1 - static_cast<long long>(date.year) : date.year;
  if (year < 10'000) {
    at = writeTwo(static_cast<unsigned>(year / 100), at);
    at = writeTwo(static_cast<unsigned>(year % 100), at);
  } else {
    at = writePadded(static_cast<std::uint64_t>(year), 4, at);
  }
  *at++ = '-';
  at = writeTwo(date.month, at);
  *at++ = '-';
  at = writeTwo(date.day, at);
  if (beforeChrist) {
    std::memcpy(at, " (BC)", 5);
    at += 5;
  }
  return at;
}

// "HH:MM:SS" and the fraction of `fraction` units of 10^-digits second, trailing zeros dropped.
char* writeTimeOfDay(std::int64_t seconds, std::int64_t fraction, int digits, char* at) {
  at = writePadded(static_cast<std::uint64_t>(seconds / 3600), 2, at);
  *at++ = ':';
  at = writeTwo(static_cast<unsigned>(seconds / 60 % 60), at);
  *at++ = ':';
  at = writeTwo(static_cast<unsigned>(seconds % 60), at);
  if (fraction == 0) return at;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  *at++ = '.';
  return writePadded(static_cast<std::uint64_t>(fraction), digits, at);
}

// A timestamp of `ticks` units (per second: `perSecond`) since 1970.
char* writeTimestamp(std::int64_t ticks, std::int64_t perSecond, int digits, char* at) {
  // Every step stays in range for any 64-bit count.
  const std::int64_t seconds = floorDiv(ticks, perSecond);
  const std::int64_t fraction = (ticks % perSecond + perSecond) % perSecond;
  const std::int64_t days = floorDiv(seconds, 86'400);
  at = writeDate(days, at);
  *at++ = ' ';
  return writeTimeOfDay(seconds - days * 86'400, fraction, digits, at);
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

char* writeDecimal(__int128 value, std::int32_t scale, char* out) {
  const bool negative = value < 0;
  unsigned __int128 magnitude =
      negative ? -static_cast<unsigned __int128>(value) : static_cast<unsigned __int128>(value);
  // 39 digits at most, and as many zeros as a scale of up to 38 asks before them.
  char buffer[80];
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
  if (negative) *out++ = '-';
  for (; at != end - places; ++at) *out++ = *at;
  if (places > 0) {
    *out++ = '.';
    for (; at != end; ++at) *out++ = *at;
  }
  return out;
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

namespace {

// Where a cell's text goes: `room(n)` gives n bytes to write, `commit(k)` keeps the first k
// of them and returns them, `keep(bytes)` returns a value's own bytes as the text.
// Into a scratch string (replaced), the value's own bytes not copied.
struct ScratchText {
  std::string& scratch;
  char* room(std::size_t bytes) {
    scratch.resize(bytes);
    return scratch.data();
  }
  std::string_view commit(std::size_t bytes) {
    scratch.resize(bytes);
    return scratch;
  }
  static std::string_view keep(std::string_view bytes) { return bytes; }
};

// Into an arena, the value's own bytes copied.
struct ArenaText {
  TextArena& arena;
  char* room(std::size_t bytes) { return arena.room(bytes); }
  std::string_view commit(std::size_t bytes) { return arena.commit(bytes); }
  std::string_view keep(std::string_view bytes) { return arena.append(bytes); }
};

}  // namespace

template <ParquetCellFormat::Conversion kConversion, typename Text>
ParquetCellFormat::Cell ParquetCellFormat::cellAs(const ParquetValues& values, std::size_t i, Text& out) const {
  Cell cell;
  char* at = nullptr;
  // A text cell whose text was written from `at` to `end`.
  auto written = [&](const char* end) -> Cell {
    cell.kind = Kind::text;
    cell.text = out.commit(static_cast<std::size_t>(end - at));
    return cell;
  };
  switch (kConversion) {
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
      at = out.room(kLongestFormatted);
      return written(writeDecimal(value, scale_, at));
    }
    case Conversion::date: {
      // DuckDB's infinite dates.
      const std::int64_t days = values.integers[i];
      if (days == std::numeric_limits<std::int32_t>::max() || days == -std::numeric_limits<std::int32_t>::max()) {
        cell.kind = Kind::text;
        cell.text = days > 0 ? "infinity" : "-infinity";
        return cell;
      }
      at = out.room(kLongestFormatted);
      return written(writeDate(days, at));
    }
    case Conversion::time: {
      // The time of day, taken in the value's own unit so that no unit overflows.
      const std::int64_t perSecond = unit_ == 1 ? 1000 : unit_ == 2 ? 1'000'000 : 1'000'000'000;
      const std::int64_t perDay = perSecond * 86'400;
      const std::int64_t ticks = (values.integers[i] % perDay + perDay) % perDay;
      const std::int64_t fraction = ticks % perSecond;
      at = out.room(kLongestFormatted);
      char* end = writeTimeOfDay(ticks / perSecond,
                                 unit_ == 1   ? fraction * 1000
                                 : unit_ == 2 ? fraction
                                              : fraction / 1000,
                                 6, at);
      if (adjustedToUTC_) end = std::copy_n("+00", 3, end);
      return written(end);
    }
    case Conversion::timestamp: {
      const std::int64_t ticks = values.integers[i];
      // DuckDB's infinite timestamps.
      if (unit_ == 2 &&
          (ticks == std::numeric_limits<std::int64_t>::max() || ticks == -std::numeric_limits<std::int64_t>::max())) {
        at = out.room(kLongestFormatted);
        char* end = std::copy_n(ticks > 0 ? "infinity" : "-infinity", ticks > 0 ? 8 : 9, at);
        if (adjustedToUTC_) end = std::copy_n("+00", 3, end);
        return written(end);
      }
      at = out.room(kLongestFormatted);
      char* end = unit_ == 1   ? writeTimestamp(ticks, 1000, 3, at)
                  : unit_ == 2 ? writeTimestamp(ticks, 1'000'000, 6, at)
                               : writeTimestamp(ticks, 1'000'000'000, 9, at);
      if (adjustedToUTC_) end = std::copy_n("+00", 3, end);
      return written(end);
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
      at = out.room(kLongestFormatted);
      char* end = writeDate(days, at);
      *end++ = ' ';
      return written(writeTimeOfDay(static_cast<std::int64_t>(micros / 1'000'000),
                                    static_cast<std::int64_t>(micros % 1'000'000), 6, end));
    }
    case Conversion::uuid: {
      static constexpr char kHex[] = "0123456789abcdef";
      const std::string_view bytes = values.binary(i);
      at = out.room(2 * bytes.size() + 4);
      char* end = at;
      for (std::size_t k = 0; k < bytes.size(); ++k) {
        if (k == 4 || k == 6 || k == 8 || k == 10) *end++ = '-';
        *end++ = kHex[static_cast<unsigned char>(bytes[k]) >> 4];
        *end++ = kHex[static_cast<unsigned char>(bytes[k]) & 0x0F];
      }
      return written(end);
    }
    case Conversion::text:
      cell.kind = Kind::text;
      cell.text = out.keep(values.binary(i));
      return cell;
    case Conversion::blob: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      const std::string_view bytes = values.binary(i);
      at = out.room(4 * bytes.size());
      char* end = at;
      for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte <= 126 && c != '\'' && c != '"') {
          *end++ = c;
        } else {
          *end++ = '\\';
          *end++ = 'x';
          *end++ = kHex[byte >> 4];
          *end++ = kHex[byte & 0x0F];
        }
      }
      return written(end);
    }
    case Conversion::alwaysNull: return cell;
  }
  return cell;
}

template <typename Body>
decltype(auto) ParquetCellFormat::withConversion(Body&& body) const {
  switch (conversion_) {
    case Conversion::boolean: return body.template operator()<Conversion::boolean>();
    case Conversion::integer: return body.template operator()<Conversion::integer>();
    case Conversion::unsigned32: return body.template operator()<Conversion::unsigned32>();
    case Conversion::unsigned64: return body.template operator()<Conversion::unsigned64>();
    case Conversion::floating: return body.template operator()<Conversion::floating>();
    case Conversion::float16: return body.template operator()<Conversion::float16>();
    case Conversion::decimal: return body.template operator()<Conversion::decimal>();
    case Conversion::date: return body.template operator()<Conversion::date>();
    case Conversion::time: return body.template operator()<Conversion::time>();
    case Conversion::timestamp: return body.template operator()<Conversion::timestamp>();
    case Conversion::int96: return body.template operator()<Conversion::int96>();
    case Conversion::uuid: return body.template operator()<Conversion::uuid>();
    case Conversion::text: return body.template operator()<Conversion::text>();
    case Conversion::blob: return body.template operator()<Conversion::blob>();
    case Conversion::alwaysNull: break;
  }
  return body.template operator()<Conversion::alwaysNull>();
}

ParquetCellFormat::Cell ParquetCellFormat::cell(const ParquetValues& values, std::size_t i,
                                                std::string& scratch) const {
  scratch.clear();
  ScratchText out{scratch};
  return withConversion([&]<Conversion kConversion>() { return cellAs<kConversion>(values, i, out); });
}

std::size_t ParquetCellFormat::textBytesAtMost(const ParquetValues& values, std::size_t from, std::size_t count) const {
  switch (conversion_) {
    case Conversion::boolean:
    case Conversion::integer:
    case Conversion::unsigned32:
    case Conversion::unsigned64:
    case Conversion::floating:
    case Conversion::float16:
    case Conversion::alwaysNull: return 0;
    case Conversion::text:
    case Conversion::blob:
    case Conversion::uuid: {
      if (count == 0 || values.form != ParquetValues::Form::binary || from + count > values.ends.size()) return 0;
      const std::size_t bytes = values.ends[from + count - 1] - (from == 0 ? 0 : values.ends[from - 1]);
      return conversion_ == Conversion::text ? bytes : 4 * bytes + 4 * count;
    }
    default: return count * kLongestFormatted;
  }
}

void ParquetCellFormat::fillCells(const ParquetValues& values, const std::uint8_t* levels, std::uint8_t maxDefinition,
                                  std::size_t& next, std::size_t count, Cell* out, std::size_t stride,
                                  TextArena& arena) const {
  ArenaText text{arena};
  withConversion([&]<Conversion kConversion>() {
    for (std::size_t k = 0; k < count; ++k, out += stride) {
      if (levels && levels[k] != maxDefinition)
        *out = Cell{};
      else
        *out = cellAs<kConversion>(values, next++, text);
    }
  });
}

}  // namespace tabvora::internal
