#include "drivers/delimited/delimited_byte_parser.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using Kind = DelimitedByteParser::ColumnKind;
using Records = std::vector<std::vector<std::string>>;

using testing::bytesOf;

Records split(std::string_view text, char delimiter = ',', bool textContinues = false) {
  Records records;
  DelimitedByteParser::parse(
      bytesOf(text), static_cast<std::uint8_t>(delimiter),
      [&](const DelimitedByteParser::Record& record) {
        std::vector<std::string> fields;
        for (std::size_t i = 0; i < record.size(); ++i) fields.emplace_back(record.bytes(i));
        records.push_back(std::move(fields));
      },
      textContinues);
  return records;
}

// Every letter repeated n times, so that the bytes the rules act on fall at every offset of
// the sixteen-byte scanning, inside and outside quotes.
std::string stretch(std::string_view text, std::size_t n) {
  std::string out;
  for (const char c : text) out.append(std::isalpha(static_cast<unsigned char>(c)) ? n : 1, c);
  return out;
}

Records stretch(const Records& records, std::size_t n) {
  Records out = records;
  for (auto& fields : out)
    for (auto& field : fields) field = stretch(field, n);
  return out;
}

TEST(DelimitedByteParserTest, SplitsByTheRules) {
  using namespace std::string_literals;
  const std::vector<std::pair<std::string, Records>> cases = {
      {"", {}},
      {"\xEF\xBB\xBF", {}},
      {"\n\r\n\r", {}},  // blank lines
      {"\"\"\n\n\"\"", {{""}, {""}}},  // a lone empty quoted field is a row: writers keep empty rows so
      {"a,b\r\n\r\nx,y", {{"a", "b"}, {"x", "y"}}},
      {"a,b\rx,y\n", {{"a", "b"}, {"x", "y"}}},
      {"a,b\n,", {{"a", "b"}, {"", ""}}},
      {"x,\"he said \"\"hi\"\"\",y", {{"x", "he said \"hi\"", "y"}}},
      {"\"line1\r\nline2\",\"a\rb\"", {{"line1\nline2", "a\nb"}}},
      {"  \"abc\"  ,y", {{"abc  ", "y"}}},
      {"ab\"x,\"ab\"cd\"", {{"ab\"x", "abcd\""}}},
      {"a,\"abc\ndef", {{"a", "abc\ndef"}}},
      {"a\0b,\"c\0d\",\0\"q,r\"\n\0\n"s, {{"ab", "cd", "q,r"}}},
      {"\xC3\xA9,\"\xC3\xA9\"\"\"\r", {{"\xC3\xA9", "\xC3\xA9\""}}},
      {"\"a\r\"\r\n\"b\"", {{"a\n"}, {"b"}}},
  };
  for (std::size_t n = 1; n <= 20; ++n) {
    for (const auto& [input, expected] : cases) {
      ASSERT_EQ(split(stretch(input, n)), stretch(expected, n)) << ::testing::PrintToString(stretch(input, n));
    }
    // The delimiter decides where a field starts, so where a quote opens.
    ASSERT_EQ(split(stretch("a;\"x\ny\"", n), ';'), stretch(Records{{"a", "x\ny"}}, n));
    ASSERT_EQ(split(stretch("a;\"x\ny\"", n), ','), stretch(Records{{"a;\"x"}, {"y\""}}, n));
    // The start of a longer text: the record its end cuts is not delivered.
    ASSERT_EQ(split(stretch("a,b\r\nc,\"d\ne", n), ',', true), stretch(Records{{"a", "b"}}, n));
  }
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
  // Longer than any number written by hand: text, as the other readers infer it.
  EXPECT_EQ(DelimitedByteParser::classify("0." + std::string(5000, '1')), Kind::text);
}

}  // namespace
}  // namespace tabvora::internal
