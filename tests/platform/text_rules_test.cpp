// The small text rules every reader and writer shares: ASCII case, byte-order marks, SQL
// literals and CSV/TSV fields.
#include <gtest/gtest.h>

#include <string>

#include "platform/ascii_case.hpp"
#include "platform/byte_order_mark.hpp"
#include "platform/delimited_quoting.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal {
namespace {

using namespace std::string_literals;

TEST(ASCIICase, FoldsOnlyASCIILetters) {
  EXPECT_EQ(asciiLowered("INSERT Into_9 @[`{ \xC3\x89"), "insert into_9 @[`{ \xC3\x89");  // É is not ASCII
  EXPECT_EQ(asciiUppered("create \xC3\xA9"), "CREATE \xC3\xA9");
  EXPECT_TRUE(equalsIgnoringASCIICase("Values", "VALUES") && startsWithIgnoringASCIICase("VALUESX", "values"));
  EXPECT_TRUE(endsWithIgnoringASCIICase("FROM stdin", "STDIN") && equalsIgnoringASCIICase("", ""));
  EXPECT_FALSE(equalsIgnoringASCIICase("\xC3\xA9", "\xC3\x89") || equalsIgnoringASCIICase("@", "`"));
  EXPECT_FALSE(startsWithIgnoringASCIICase("val", "values") || endsWithIgnoringASCIICase("in", "stdin"));
}

TEST(ByteOrderMark, SniffedWithOrWithoutTheUTF32Marks) {
  using E = ByteOrderMark::Encoding;
  const std::tuple<std::string, E, E> cases[] = {
      // start, with UTF-32, UTF-8 and UTF-16 only
      {"\xEF\xBB\xBF[", E::utf8, E::utf8},           {"\xFE\xFF", E::utf16BigEndian, E::utf16BigEndian},
      {"\xFF\xFE" "a\0"s, E::utf16LittleEndian, E::utf16LittleEndian},
      {"\xFF\xFE\0\0"s, E::utf32LittleEndian, E::utf16LittleEndian},
      {"\0\0\xFE\xFF"s, E::utf32BigEndian, E::none}, {"\xEF\xBB", E::none, E::none}, {"", E::none, E::none},
  };
  auto length = [](E e) -> std::size_t {
    return e == E::none ? 0 : e == E::utf8 ? 3 : e >= E::utf32LittleEndian ? 4 : 2;
  };
  for (const auto& [start, all, some] : cases) {
    const ByteOrderMark withUTF32 = ByteOrderMark::sniff(start);
    const ByteOrderMark without = ByteOrderMark::sniff(start, ByteOrderMark::Marks::utf8AndUTF16);
    EXPECT_TRUE(withUTF32.encoding == all && withUTF32.length == length(all)) << start.size();
    EXPECT_TRUE(without.encoding == some && without.length == length(some)) << start.size();
  }
}

TEST(SQLQuoting, OneRuleForNULsAndQuotes) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // value, string literal, identifier (which cannot carry a NUL: left out)
      {"", "''", "\"\""}, {"O'Brien \"x\"", "'O''Brien \"x\"'", "\"O'Brien \"\"x\"\"\""},
      {"a\0b"s, "'a'||char(0)||'b'", "\"ab\""}, {"\0'\0"s, "''||char(0)||''''||char(0)||''", "\"'\""},
      {"caf\xC3\xA9\xFF", "'caf\xC3\xA9\xFF'", "\"caf\xC3\xA9\xFF\""},  // other bytes as they are
  };
  for (const auto& [value, literal, identifier] : cases) {
    EXPECT_EQ(sqlStringLiteral(value), literal);
    EXPECT_EQ(quoteIdentifier(value), identifier);
  }
  std::string blob;
  appendSQLBlobLiteral(blob, "\x00\x7F\xAB\xFF"s);
  appendSQLBlobLiteral(blob, "");
  EXPECT_EQ(blob, "X'007FABFF'X''");
}

TEST(DelimitedQuoting, QuotesOnlyWhatWouldSplitTheField) {
  const std::tuple<std::string_view, char, std::string_view> cases[] = {
      {"plain", ',', "plain"}, {"a,b", ',', "\"a,b\""}, {"a,b", '\t', "a,b"}, {"a\tb", '\t', "\"a\tb\""},
      {"say \"hi\"", ',', "\"say \"\"hi\"\"\""}, {"n\nr\r", ';', "\"n\nr\r\""}, {"", ',', ""},
  };
  for (const auto& [text, delimiter, written] : cases) {
    std::string out;
    appendDelimitedField(out, text, delimiter);
    EXPECT_EQ(out, written) << text;
    EXPECT_EQ(delimitedFieldNeedsQuotes(text, delimiter), out != text) << text;
  }
  std::string records = "a,b";  // then a record of one empty field, which would be a blank line
  endDelimitedRecord(records, 0, "\r\n");
  endDelimitedRecord(records, records.size(), "\n");
  EXPECT_EQ(records, "a,b\r\n\"\"\n");
}

}  // namespace
}  // namespace tabvora::internal
