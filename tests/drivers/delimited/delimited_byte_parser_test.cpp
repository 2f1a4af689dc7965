#include "drivers/delimited/delimited_byte_parser.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using Kind = DelimitedByteParser::ColumnKind;

using testing::bytesOf;

// The records of the text, each as its fields joined by |.
std::vector<std::string> split(std::string_view text, char delimiter, bool textContinues) {
  std::vector<std::string> records;
  DelimitedByteParser::parse(
      bytesOf(text), static_cast<std::uint8_t>(delimiter),
      [&](const DelimitedByteParser::Record& record) {
        std::string joined;
        for (std::size_t i = 0; i < record.size(); ++i) joined += (i ? "|" : "") + std::string(record.bytes(i));
        records.push_back(std::move(joined));
      },
      textContinues);
  return records;
}

// Every letter repeated n times.
std::string stretch(std::string_view text, std::size_t n) {
  std::string out;
  for (const char c : text) out.append(std::isalpha(static_cast<unsigned char>(c)) ? n : 1, c);
  return out;
}

TEST(DelimitedByteParserTest, CasesOfTheTable) {
  constexpr const char* kKinds[] = {"empty", "integer", "real", "text"};
  for (const testing::TextCase& c : testing::readTextCases("drivers/delimited/delimited_byte_parser.cases")) {
    if (c.word(0) == "classify") {
      for (const std::string& cell : c.input)
        EXPECT_EQ(kKinds[static_cast<int>(DelimitedByteParser::classify(cell))], c.word(1)) << c.where << " " << cell;
      continue;
    }
    for (std::size_t n = 1; n <= 20; ++n) {
      std::vector<std::string> expected;
      for (const std::string& record : c.expected) expected.push_back(stretch(record, n));
      ASSERT_EQ(split(stretch(c.input.at(0), n), c.word(1).empty() ? ',' : c.word(1)[0], c.word(2) == "continues"),
                expected)
          << c.where << " stretched " << n;
    }
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

// Longer than any number written by hand: text, as the other readers infer it.
TEST(DelimitedByteParserTest, ALongNumberIsText) {
  EXPECT_EQ(DelimitedByteParser::classify("0." + std::string(5000, '1')), Kind::text);
}

}  // namespace
}  // namespace tabvora::internal
