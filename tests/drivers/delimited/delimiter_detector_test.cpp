#include "drivers/delimited/delimiter_detector.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/case_file.hpp"

namespace tabvora::internal {
namespace {

TEST(DelimiterDetectorTest, CasesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/delimited/delimiter_detector.cases")) {
    const std::string sample = c.input.at(0);
    if (c.word(0) == "detect") {
      EXPECT_EQ(std::string(1, DelimiterDetector::detect(sample, DatabaseFormat::fromURL(c.word(1)))), c.expected.at(0))
          << c.where;
    } else {
      const auto score = DelimiterDetector::score(sample, static_cast<char32_t>(c.word(1).at(0)));
      EXPECT_EQ(score ? std::to_string(*score) : "none", c.expected.at(0)) << c.where;
    }
  }
}

TEST(DelimiterDetectorTest, ASampleCutAtTheLimitEndsInALineThatIsNotTrusted) {
  std::string sample = "a;b;c\nx;";
  sample.resize(DelimiterDetector::kSampleBytes, 'y');
  EXPECT_EQ(DelimiterDetector::score(sample, U';'), 2u);
  // Unless it is the only line.
  EXPECT_EQ(DelimiterDetector::score(std::string(DelimiterDetector::kSampleBytes, ';'), U';'),
            DelimiterDetector::kSampleBytes);
}

}  // namespace
}  // namespace tabvora::internal
