#include "drivers/delimited/delimited_byte_parser.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tabvora {
namespace {

using Kind = DelimitedByteParser::ColumnKind;
using Records = std::vector<std::vector<std::string>>;

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

Records split(std::string_view text, char delimiter = ',') {
  Records records;
  DelimitedByteParser::parse(bytesOf(text), static_cast<std::uint8_t>(delimiter),
                             [&](const DelimitedByteParser::Record& record) {
                               std::vector<std::string> fields;
                               for (std::size_t i = 0; i < record.size(); ++i) fields.emplace_back(record.bytes(i));
                               records.push_back(std::move(fields));
                             });
  return records;
}

// The splitting rules, one byte at a time, as plainly as they can be written.
Records referenceSplit(std::string_view in, char delimiter) {
  Records records;
  std::vector<std::string> fields;
  std::string field;
  bool inQuotes = false, atFieldStart = true;
  std::size_t pos = in.size() >= 3 && in.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  const bool empty = pos >= in.size();
  auto endRecord = [&] {
    fields.push_back(field);
    if (!(fields.size() == 1 && fields[0].empty())) records.push_back(fields);
    fields.clear();
    field.clear();
    atFieldStart = true;
  };
  for (; pos < in.size(); ++pos) {
    const char b = in[pos];
    const bool nextIs = pos + 1 < in.size();
    if (inQuotes) {
      if (b == '\0') continue;
      if (b == '\r') {
        if (!(nextIs && in[pos + 1] == '\n')) field += '\n';
      } else if (b == '"') {
        if (nextIs && in[pos + 1] == '"') {
          field += '"';
          ++pos;
        } else {
          inQuotes = false;
        }
      } else {
        field += b;
      }
      continue;
    }
    if (b == delimiter) {
      fields.push_back(field);
      field.clear();
      atFieldStart = true;
    } else if (b == '\0') {
    } else if (b == '\r' || b == '\n') {
      endRecord();
      if (b == '\r' && nextIs && in[pos + 1] == '\n') ++pos;
    } else if (b == '"' && atFieldStart) {
      // Spaces taken before the opening quote are not part of the value.
      field.clear();
      atFieldStart = false;
      inQuotes = true;
    } else {
      field += b;
      if (b != ' ') atFieldStart = false;
    }
  }
  // The last record, unless the input ended right after a record terminator.
  if (!empty && !(fields.empty() && field.empty() && !inQuotes && (in.back() == '\n' || in.back() == '\r'))) {
    endRecord();
  }
  return records;
}

TEST(DelimitedByteParserTest, MatchesTheRulesOnRandomInput) {
  // Long runs of ordinary bytes exercise the sixteen-byte scanning, short alphabets the rules.
  const std::vector<std::string> pieces = {"a", "bc", ",", ";", "\"", "\"\"", "\r", "\n", "\r\n", std::string(1, '\0'),
                                           " ", "\xC3\xA9", std::string(17, 'x'), std::string(40, 'y') + ","};
  std::mt19937 random(20240611);
  for (int round = 0; round < 20000; ++round) {
    std::string input = round % 7 == 0 ? "\xEF\xBB\xBF" : "";
    const int count = static_cast<int>(random() % 24);
    for (int i = 0; i < count; ++i) input += pieces[random() % pieces.size()];
    const char delimiter = round % 2 ? ',' : ';';
    ASSERT_EQ(split(input, delimiter), referenceSplit(input, delimiter)) << ::testing::PrintToString(input);
  }
}

TEST(DelimitedByteParserTest, SplitsByTheRules) {
  using namespace std::string_literals;
  const std::vector<std::pair<std::string, Records>> cases = {
      {"", {}},
      {"\xEF\xBB\xBF", {}},
      {"\n\r\n\r\"\"\n", {}},  // blank lines, and one holding only an empty quoted field
      {"a,b\r\n\r\nx,y", {{"a", "b"}, {"x", "y"}}},
      {"a,b\rx,y\n", {{"a", "b"}, {"x", "y"}}},
      {"a,b\n,", {{"a", "b"}, {"", ""}}},
      {"x,\"he said \"\"hi\"\"\",y", {{"x", "he said \"hi\"", "y"}}},
      {"\"line1\r\nline2\",\"a\rb\"", {{"line1\nline2", "a\nb"}}},
      {"  \"abc\"  ,y", {{"abc  ", "y"}}},
      {"ab\"x,\"ab\"cd\"", {{"ab\"x", "abcd\""}}},
      {"a,\"abc\ndef", {{"a", "abc\ndef"}}},
      {"a\0b,\"c\0d\",\0\"q,r\"\n\0\n"s, {{"ab", "cd", "q,r"}}},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(split(input), expected) << ::testing::PrintToString(input);
  // The delimiter decides where a field starts, so where a quote opens.
  EXPECT_EQ(split("a;\"x\ny\"", ';'), (Records{{"a", "x\ny"}}));
  EXPECT_EQ(split("a;\"x\ny\"", ','), (Records{{"a;\"x"}, {"y\""}}));
}

TEST(DelimitedByteParserTest, HugeRecordsKeepABoundedFieldList) {
  const std::size_t fields = DelimitedByteParser::kMaxStoredFields + 10;
  const std::string line = std::string(fields - 1, ',') + "x";
  std::size_t stored = 0, counted = 0;
  bool overflowContent = false;
  DelimitedByteParser::parse(bytesOf(line), ',', [&](const DelimitedByteParser::Record& record) {
    stored = record.size();
    counted = record.fieldCount();
    overflowContent = record.overflowHasContent();
  });
  EXPECT_EQ(stored, DelimitedByteParser::kMaxStoredFields);
  EXPECT_EQ(counted, fields);
  EXPECT_TRUE(overflowContent);
}

TEST(DelimitedByteParserTest, ClassifiesCells) {
  for (const char* cell : {"42", "  42\t", "+7", "-0", "0", "-9223372036854775808", "1234567890123456789"}) {
    EXPECT_EQ(DelimitedByteParser::classify(cell), Kind::integer) << cell;
  }
  for (const char* cell : {"3.14", "1e5", "-.5", "5.", "1E+3", "+0.25", "1e-400"}) {
    EXPECT_EQ(DelimitedByteParser::classify(cell), Kind::real) << cell;
  }
  for (const char* cell : {"007", "00.5", "-01", "1,000", "1e", "inf", "0x1A", "-", ".", "1.2.3", "--1", "+-1", "1-2",
                           "1e999", "9223372036854775808", "12 34"}) {
    EXPECT_EQ(DelimitedByteParser::classify(cell), Kind::text) << cell;
  }
  EXPECT_EQ(DelimitedByteParser::classify(" \r\n\t"), Kind::empty);
}

}  // namespace
}  // namespace tabvora
