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

TEST(DelimitedByteParserTest, RecordBoundaries) {
  EXPECT_EQ(split(""), Records{});
  EXPECT_EQ(split("\xEF\xBB\xBF"), Records{});
  EXPECT_EQ(split("\n\r\n\r"), Records{});
  EXPECT_EQ(split("a,b\r\n\r\nx,y"), (Records{{"a", "b"}, {"x", "y"}}));
  EXPECT_EQ(split("a,b\rx,y"), (Records{{"a", "b"}, {"x", "y"}}));
  EXPECT_EQ(split("a,b"), (Records{{"a", "b"}}));
  EXPECT_EQ(split("a,b\n"), (Records{{"a", "b"}}));
  EXPECT_EQ(split("a,b\n,"), (Records{{"a", "b"}, {"", ""}}));
  EXPECT_EQ(split("\xEF\xBB\xBFid\n1"), (Records{{"id"}, {"1"}}));
  // Only one LF after a CR belongs to it; a second LF is a blank line.
  EXPECT_EQ(split("a\r\n\nb"), (Records{{"a"}, {"b"}}));
  // A line holding only an empty quoted field is as blank as an empty line.
  EXPECT_EQ(split("a\n\"\"\nb"), (Records{{"a"}, {"b"}}));
}

TEST(DelimitedByteParserTest, QuotedFields) {
  EXPECT_EQ(split("x,\"he said \"\"hi\"\"\",y"), (Records{{"x", "he said \"hi\"", "y"}}));
  EXPECT_EQ(split("\"line1\r\nline2\",b"), (Records{{"line1\nline2", "b"}}));
  EXPECT_EQ(split("\"a\rb\"\n"), (Records{{"a\nb"}}));
  EXPECT_EQ(split("\"a,b\";c", ';'), (Records{{"a,b", "c"}}));
  EXPECT_EQ(split("  \"abc\"  ,y"), (Records{{"abc  ", "y"}}));
  EXPECT_EQ(split("ab\"x,y"), (Records{{"ab\"x", "y"}}));
  EXPECT_EQ(split("\"ab\"cd\"e\",f"), (Records{{"abcd\"e\"", "f"}}));
  EXPECT_EQ(split("a,\"abc"), (Records{{"a", "abc"}}));
  EXPECT_EQ(split("a,\"abc\ndef"), (Records{{"a", "abc\ndef"}}));
  // The delimiter decides where a field starts, so where a quote opens.
  EXPECT_EQ(split("a;\"x\ny\"", ';'), (Records{{"a", "x\ny"}}));
  EXPECT_EQ(split("a;\"x\ny\"", ','), (Records{{"a;\"x"}, {"y\""}}));
  // Multi-byte UTF-8 passes through untouched, inside and outside quotes.
  EXPECT_EQ(split("caf\xC3\xA9,\"\xE2\x9C\x93\""), (Records{{"caf\xC3\xA9", "\xE2\x9C\x93"}}));
}

TEST(DelimitedByteParserTest, NulBytesAreDropped) {
  using namespace std::string_literals;
  EXPECT_EQ(split("a\0b,x"s), (Records{{"ab", "x"}}));
  EXPECT_EQ(split("\"a\0b\",x"s), (Records{{"ab", "x"}}));
  EXPECT_EQ(split("\0\0,\0"s), Records({{"", ""}}));
  EXPECT_EQ(split("\0\n\0\n"s), Records{});
  // A NUL before an opening quote leaves the field start in place.
  EXPECT_EQ(split("\0\"q,r\",s"s), (Records{{"q,r", "s"}}));
  // Fields rewritten in the scratch buffer are flagged so, the others index the input.
  std::string text = "a\0b,cd\n"s;
  std::vector<bool> inScratch;
  DelimitedByteParser::parse(bytesOf(text), ',', [&](const DelimitedByteParser::Record& record) {
    for (std::size_t i = 0; i < record.size(); ++i) inScratch.push_back(record.field(i).inScratch);
  });
  EXPECT_EQ(inScratch, (std::vector<bool>{true, false}));
}

TEST(DelimitedByteParserTest, ConsumerStopsTheParse) {
  int seen = 0;
  const auto result = DelimitedByteParser::parse(bytesOf("h\n1\n2\n3\n"), ',',
                                                 [&](const DelimitedByteParser::Record&) { return ++seen < 2; });
  EXPECT_EQ(seen, 2);
  EXPECT_TRUE(result.stopped);
  // Everything the stopped parse looked at lies before the third line.
  EXPECT_LE(result.examinedEnd, 5u);
  EXPECT_GE(result.examinedEnd, 4u);

  const auto whole = DelimitedByteParser::parse(bytesOf("h\n1"), ',', [](const DelimitedByteParser::Record&) { return true; });
  EXPECT_FALSE(whole.stopped);
  EXPECT_EQ(whole.examinedEnd, 3u);
  // Declining the very last record still counts as stopping.
  EXPECT_TRUE(DelimitedByteParser::parse(bytesOf("h\n1"), ',', [](const DelimitedByteParser::Record&) { return false; }).stopped);
}

TEST(DelimitedByteParserTest, HugeRecordsKeepABoundedFieldList) {
  std::string line;
  const std::size_t fields = DelimitedByteParser::kMaxStoredFields + 10;
  for (std::size_t i = 0; i < fields; ++i) line += i + 1 == fields ? "x" : ",";
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

TEST(DelimitedByteParserTest, FieldTextRepairsInvalidUTF8) {
  const std::string input = "ok,b\xFFz";
  std::vector<std::string> texts;
  DelimitedByteParser::parse(bytesOf(input), ',', [&](const DelimitedByteParser::Record& record) {
    for (std::size_t i = 0; i < record.size(); ++i) texts.push_back(record.text(i));
  });
  EXPECT_EQ(texts, (std::vector<std::string>{"ok", "b\xEF\xBF\xBDz"}));
}

TEST(DelimitedByteParserTest, ClassifiesCells) {
  for (const char* cell : {"42", "  42\t", "+7", "-0", "0", "-9223372036854775808", "9223372036854775807",
                           "1234567890123456789"}) {
    EXPECT_EQ(DelimitedByteParser::classify(cell), Kind::integer) << cell;
  }
  for (const char* cell : {"3.14", "1e5", "-.5", "5.", "1E+3", "0.5", "+0.25", "1e-400"}) {
    EXPECT_EQ(DelimitedByteParser::classify(cell), Kind::real) << cell;
  }
  for (const char* cell : {"007", "00.5", "-01", "1,000", "1e", "inf", "nan", "0x1A", "-", "+", ".", "1.2.3", "--1",
                           "+-1", "1-2", "1e999", "9223372036854775808", "-9223372036854775809", "12 34", "abc"}) {
    EXPECT_EQ(DelimitedByteParser::classify(cell), Kind::text) << cell;
  }
  EXPECT_EQ(DelimitedByteParser::classify(""), Kind::empty);
  EXPECT_EQ(DelimitedByteParser::classify("   "), Kind::empty);
  EXPECT_EQ(DelimitedByteParser::classify("\r\n\t"), Kind::empty);
}

TEST(DelimitedByteParserTest, MergeIsTheLaterKind) {
  EXPECT_EQ(DelimitedByteParser::merge(Kind::integer, Kind::empty), Kind::integer);
  EXPECT_EQ(DelimitedByteParser::merge(Kind::empty, Kind::real), Kind::real);
  EXPECT_EQ(DelimitedByteParser::merge(Kind::integer, Kind::real), Kind::real);
  EXPECT_EQ(DelimitedByteParser::merge(Kind::real, Kind::integer), Kind::real);
  EXPECT_EQ(DelimitedByteParser::merge(Kind::text, Kind::integer), Kind::text);
  EXPECT_EQ(DelimitedByteParser::merge(Kind::real, Kind::text), Kind::text);
  EXPECT_EQ(DelimitedByteParser::columnType(Kind::empty), ColumnType::text);
  EXPECT_EQ(DelimitedByteParser::columnType(Kind::real), ColumnType::real);
}

}  // namespace
}  // namespace tabvora
