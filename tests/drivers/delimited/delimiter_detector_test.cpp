#include "drivers/delimited/delimiter_detector.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tabvora::internal {
namespace {

char detect(std::string_view sample, const char* name = "data.csv") { return DelimiterDetector::detect(sample, DatabaseFormat::fromURL(name)); }

TEST(DelimiterDetectorTest, ChoosesTheHighestSmallestCount) {
  EXPECT_EQ(detect("a,b,c\n1,2,3\n", "report.tab"), '\t');
  EXPECT_EQ(detect("a,b,c\n1,2,3\n", "REPORT.TSV"), '\t');
  EXPECT_EQ(detect("a;b;c\n1;2,5;3\n4;5;6\n"), ';');
  EXPECT_EQ(detect("a|b|c\n1|2|3\n"), '|');
  EXPECT_EQ(detect("a,b;x\ny;z,w\n"), ',');  // a tie keeps the earlier candidate
  EXPECT_EQ(detect("x;y;z"), ';');            // one line without a break
  EXPECT_EQ(detect("a;b\nc;d\nnone\n"), ',');
  EXPECT_EQ(detect(""), ',');
}

TEST(DelimiterDetectorTest, ScoresLinesOutsideQuotes) {
  EXPECT_EQ(DelimiterDetector::score("\"a,b,c\";x\n\"1\n,2\";y\n", U','), 0u);
  EXPECT_EQ(DelimiterDetector::score("\"a,b,c\";x\n\"1\n,2\";y\n", U';'), 1u);
  EXPECT_EQ(DelimiterDetector::score("a\"b,c\"\n", U','), 1u);  // a quote inside a field is literal
  EXPECT_EQ(DelimiterDetector::score("  \"a\"\"b,c\",d\n", U','), 1u);
  EXPECT_EQ(DelimiterDetector::score("a,b\n\n   \n\t\nc,d\r\n", U','), 1u);  // blank lines do not count
  EXPECT_FALSE(DelimiterDetector::score("\n\n", U',').has_value());
  EXPECT_EQ(DelimiterDetector::score("a;b\na;b\na;b\na;b\na;b\nno\n", U';'), 1u);  // five lines decide
  EXPECT_EQ(DelimiterDetector::score("a,\xCC\x81" "b\n", U','), 0u);  // a comma with a combining mark
  // A sample cut at the byte limit ends in a partial line that is not trusted...
  std::string sample = "a;b;c\nx;";
  sample.resize(DelimiterDetector::kSampleBytes, 'y');
  EXPECT_EQ(DelimiterDetector::score(sample, U';'), 2u);
  EXPECT_EQ(DelimiterDetector::score("a;b;c\nx;yyy", U';'), 1u);
  // ...unless it is the only line.
  EXPECT_EQ(DelimiterDetector::score(std::string(DelimiterDetector::kSampleBytes, ';'), U';'),
            DelimiterDetector::kSampleBytes);
}

}  // namespace
}  // namespace tabvora::internal
