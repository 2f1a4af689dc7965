#include "drivers/delimited/delimiter_detector.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tabvora {
namespace {

char detect(std::string_view sample, const char* name = "data.csv") { return DelimiterDetector::detect(sample, name); }

TEST(DelimiterDetectorTest, ExtensionDecidesForTabFiles) {
  EXPECT_EQ(detect("a,b,c\n1,2,3\n", "report.tab"), '\t');
  EXPECT_EQ(detect("a,b,c\n1,2,3\n", "REPORT.TSV"), '\t');
  EXPECT_EQ(detect("a\tb\n1\t2\n", "report.txt"), '\t');
}

TEST(DelimiterDetectorTest, SmallestCountPerLineWins) {
  EXPECT_EQ(detect("a;b;c\n1;2,5;3\n4;5;6\n"), ';');
  EXPECT_EQ(detect("a|b|c\n1|2|3\n"), '|');
  // Tie: both score 1, the comma comes first.
  EXPECT_EQ(detect("a,b;x\ny;z,w\n"), ',');
  EXPECT_EQ(detect("x;y;z"), ';');
  EXPECT_EQ(detect("just words\nand more\n"), ',');
  EXPECT_EQ(detect(""), ',');
  // One line without the candidate gives it a score of 0.
  EXPECT_EQ(detect("a;b\nc;d\nnone\n"), ',');
}

TEST(DelimiterDetectorTest, QuotesAndBlankLines) {
  // Candidates inside quotes are not counted, quoted line breaks do not end a line.
  EXPECT_EQ(DelimiterDetector::score("\"a,b,c\";x\n\"1\n,2\";y\n", U','), 0u);
  EXPECT_EQ(DelimiterDetector::score("\"a,b,c\";x\n\"1\n,2\";y\n", U';'), 1u);
  EXPECT_EQ(DelimiterDetector::score("a\"b,c\"\n", U','), 1u);  // a quote inside a field is literal
  EXPECT_EQ(DelimiterDetector::score("\"a\"\"b,c\",d\n", U','), 1u);
  EXPECT_EQ(DelimiterDetector::score("a,b\n\n   \n\t\nc,d\r\n", U','), 1u);
  EXPECT_FALSE(DelimiterDetector::score("\n\n", U',').has_value());
  // Only the first five lines with content count.
  EXPECT_EQ(DelimiterDetector::score("a;b\na;b\na;b\na;b\na;b\nno\n", U';'), 1u);
  // A comma carrying a combining mark is a different character.
  EXPECT_EQ(DelimiterDetector::score("a,\xCC\x81" "b\n", U','), 0u);
}

TEST(DelimiterDetectorTest, CutSampleDoesNotTrustItsLastLine) {
  std::string sample = "a;b;c\nx;";
  sample.resize(DelimiterDetector::kSampleBytes, 'y');
  EXPECT_EQ(DelimiterDetector::score(sample, U';'), 2u);
  EXPECT_EQ(DelimiterDetector::score("a;b;c\nx;yyy", U';'), 1u);
  // One very long line is still scored.
  EXPECT_EQ(DelimiterDetector::score(std::string(DelimiterDetector::kSampleBytes, ';'), U';'),
            DelimiterDetector::kSampleBytes);
}

}  // namespace
}  // namespace tabvora
