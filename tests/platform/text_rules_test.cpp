// The text rules every reader and writer shares, as case tables (text_rules.cases,
// double_format.cases): display widths and cuts, dates and byte counts, ASCII case,
// byte-order marks, SQL and CSV quoting, Unicode trimming, casing, checking and repair,
// localized comparison, legacy encodings and the number texts. What needs code is below.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <random>

#include "platform/ascii_case.hpp"
#include "platform/byte_count.hpp"
#include "platform/byte_order_mark.hpp"
#include "platform/civil_calendar.hpp"
#include "platform/delimited_quoting.hpp"
#include "platform/display_width.hpp"
#include "platform/double_format.hpp"
#include "platform/iso8601.hpp"
#include "platform/localized_text.hpp"
#include "platform/number_parsing.hpp"
#include "platform/sql_quoting.hpp"
#include "platform/text_encoding.hpp"
#include "platform/unicode_text.hpp"
#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using Lines = std::vector<std::string>;
std::string yes(bool value) { return value ? "yes" : "no"; }
std::string number(std::size_t value) { return std::to_string(value); }
std::string orNone(const std::optional<std::string>& text) { return text ? *text : "none"; }

TextEncoding encodingNamed(const std::string& name) {
  const char* names[] = {"utf8",        "utf16le",     "utf16be",  "windows1250", "windows1251", "windows1252",
                         "windows1253", "windows1254", "macroman", "latin1",      "shiftjis"};
  for (std::size_t i = 0; i < std::size(names); ++i)
    if (name == names[i]) return static_cast<TextEncoding>(i);
  throw std::runtime_error("no encoding " + name);
}
std::string bom(std::string_view start, ByteOrderMark::Marks marks) {
  const char* names[] = {"none", "utf8", "utf16le", "utf16be", "utf32le", "utf32be"};
  const ByteOrderMark mark = ByteOrderMark::sniff(start, marks);
  return std::string(names[static_cast<int>(mark.encoding)]) + " " + number(mark.length);
}

// Each kind of case: its expected lines from the case's words and input lines.
using Rule = std::function<Lines(const testing::TextCase&, const Lines&)>;
const std::map<std::string, Rule>& rules() {
  static const std::map<std::string, Rule> table = {
      {"width", [](auto&, const Lines& in) { return Lines{number(displayWidth(in[0]))}; }},
      {"cut", [](auto&, const Lines& in) {
         const std::size_t columns = std::stoul(in[1]);
         const std::string cut = cutToWidth(in[0], columns);
         EXPECT_LE(displayWidth(cut), columns);
         return Lines{cut};
       }},
      {"iso8601", [](auto& c, const Lines& in) {
         return Lines{formatISO8601(std::strtod(in[0].c_str(), nullptr), c.word(1) == "milliseconds")};
       }},
      {"civil", [](auto&, const Lines& in) {
         const std::int64_t days = daysFromCivil(std::stoll(in[0]), std::stoul(in[1]), std::stoul(in[2]));
         const CivilDate back = civilFromDays(days);
         return Lines{std::to_string(days), std::to_string(back.year) + " " + number(back.month) + " " + number(back.day)};
       }},
      {"bytes", [](auto&, const Lines& in) { return Lines{formatByteCount(std::stoll(in[0]))}; }},
      {"ascii", [](auto&, const Lines& in) {
         return Lines{asciiLowered(in[0]), asciiUppered(in[0]),
                      yes(equalsIgnoringASCIICase(in[0], in[1])) + " " + yes(startsWithIgnoringASCIICase(in[0], in[1])) +
                          " " + yes(endsWithIgnoringASCIICase(in[0], in[1]))};
       }},
      {"bom", [](auto&, const Lines& in) {
         return Lines{bom(in[0], ByteOrderMark::Marks::withUTF32), bom(in[0], ByteOrderMark::Marks::utf8AndUTF16)};
       }},
      {"sql", [](auto&, const Lines& in) { return Lines{sqlStringLiteral(in[0]), quoteIdentifier(in[0])}; }},
      {"blob", [](auto&, const Lines& in) {
         std::string out;
         for (const std::string& bytes : in) appendSQLBlobLiteral(out, bytes);
         return Lines{out};
       }},
      {"field", [](auto&, const Lines& in) {
         std::string out;
         appendDelimitedField(out, in[0], in[1].at(0));
         EXPECT_EQ(delimitedFieldNeedsQuotes(in[0], in[1].at(0)), out != in[0]) << in[0];
         return Lines{out};
       }},
      {"trim", [](auto&, const Lines& in) { return Lines{std::string(trimWhitespaceAndNewlines(in[0])), std::string(trimWhitespace(in[0]))}; }},
      {"casing", [](auto&, const Lines& in) { return Lines{toUpperUnicode(in[0]), toLowerUnicode(in[0]), toNFC(in[0])}; }},
      {"utf8", [](auto&, const Lines& in) {
         const std::string repaired = repairUTF8(in[0]);
         EXPECT_TRUE(isValidUTF8(repaired));
         return Lines{yes(isValidUTF8(in[0])), repaired};
       }},
      {"prefix", [](auto&, const Lines& in) { return Lines{number(utf8PrefixLength(in[0], std::stoul(in[1])))}; }},
      {"complete", [](auto&, const Lines& in) { return Lines{number(utf8CompleteLength(in[0]))}; }},
      {"category", [](auto&, const Lines& in) {
         const auto c = static_cast<char32_t>(std::stoul(in[0], nullptr, 16));
         return Lines{yes(isUnicodeLetter(c)) + " " + yes(isUnicodeNumber(c))};
       }},
      {"compare", [](auto&, const Lines& in) {
         const int order = localizedStandardCompare(in[0], in[1]);
         return Lines{order < 0 ? "<" : order > 0 ? ">" : "=", yes(localizedCaseInsensitiveContains(in[0], in[1]))};
       }},
      // Encoded bytes, and the text they decode back to.
      {"encode", [](auto& c, const Lines& in) {
         const std::optional<std::string> encoded = encodeText(in[0], encodingNamed(c.word(1)));
         if (!encoded) return Lines{"none"};
         return Lines{*encoded, orNone(decodeText(testing::bytesOf(*encoded), encodingNamed(c.word(1))))};
       }},
      {"decode", [](auto& c, const Lines& in) {
         return Lines{orNone(decodeText(testing::bytesOf(in[0]), encodingNamed(c.word(1))))};
       }},
      {"shortest", [](auto&, const Lines& in) { return Lines{shortestDoubleText(std::strtod(in[0].c_str(), nullptr))}; }},
      {"int64", [](auto&, const Lines& in) {
         const std::optional<std::int64_t> value = parseInt64(in[0]);
         return Lines{value ? std::to_string(*value) : "none"};
       }},
      {"double", [](auto&, const Lines& in) {
         const std::optional<double> value = parseDouble(in[0]);
         return Lines{value ? shortestDoubleText(*value) : "none"};
       }},
  };
  return table;
}

TEST(TextRules, CasesOfTheTables) {
  for (const char* file : {"platform/text_rules.cases", "platform/double_format.cases"}) {
    std::vector<Lines> found;
    for (const testing::TextCase& c : testing::readTextCases(file)) {
      found.push_back(rules().at(c.word(0))(c, c.input));
      if (!testing::updatingExpected()) {
        EXPECT_EQ(found.back(), c.expected) << c.where;
      }
    }
    if (testing::updatingExpected()) testing::rewriteExpected(file, found);
  }
}

TEST(TextRules, WhatTheTablesCannotHold) {
  // Out-of-range times stay well formed; every day of four centuries (an era, with its
  // leap-year exceptions) reads back.
  EXPECT_EQ(formatISO8601(std::numeric_limits<double>::infinity(), true).back(), 'Z');
  EXPECT_EQ(formatISO8601(-std::numeric_limits<double>::infinity(), false).front(), '-');
  for (std::int64_t days = -73'048; days <= 73'048; ++days) {
    const CivilDate date = civilFromDays(days);
    ASSERT_EQ(daysFromCivil(date.year, date.month, date.day), days);
  }
  EXPECT_FALSE(isUnicodeLetter(0x110000));
  // A record of one empty field would be a blank line.
  std::string records = "a,b";
  endDelimitedRecord(records, 0, "\r\n");
  endDelimitedRecord(records, records.size(), "\n");
  EXPECT_EQ(records, "a,b\r\n\"\"\n");
  // Decoding moves past one byte of a malformed sequence; a surrogate is no character.
  const std::string text = "a\xE2\x82\xAC\xF0\x9F\x98\x80\xE2\x82";
  std::string rebuilt;
  for (std::size_t pos = 0; pos < text.size();) appendUTF8(rebuilt, decodeUTF8(text, pos));
  EXPECT_EQ(rebuilt, "a\u20AC\U0001F600\uFFFD\uFFFD");
  std::string surrogate;
  appendUTF8(surrogate, 0xD800);
  EXPECT_EQ(surrogate, "\uFFFD");
  // The shortest text of any double reads back to the same double.
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    const std::optional<double> back = parseDouble(shortestDoubleText(value));
    ASSERT_TRUE(back.has_value()) << shortestDoubleText(value);
    EXPECT_EQ(std::memcmp(&*back, &value, sizeof value), 0) << shortestDoubleText(value);
  }
}

}  // namespace
}  // namespace tabvora::internal
