// The shortest double text and the strict number readers behind parsing and inference.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstring>
#include <random>

#include "platform/double_format.hpp"
#include "platform/number_parsing.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal {
namespace {

TEST(NumberTexts, CasesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("platform/double_format.cases")) {
    const std::string& text = c.input.at(0);
    std::string actual;
    if (c.word(0) == "shortest") actual = shortestDoubleText(std::strtod(text.c_str(), nullptr));
    const std::optional<std::int64_t> integer = c.word(0) == "int64" ? parseInt64(text) : std::nullopt;
    if (integer) actual = std::to_string(*integer);
    const std::optional<double> real = c.word(0) == "double" ? parseDouble(text) : std::nullopt;
    if (real) actual = shortestDoubleText(*real);
    EXPECT_EQ(actual.empty() ? "none" : actual, c.expected.at(0)) << c.where;
  }
}

TEST(ShortestDoubleText, ReadsBackToTheSameDouble) {
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
