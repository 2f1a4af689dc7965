// The shortest double text and the strict number readers behind parsing and inference.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstring>
#include <random>

#include "platform/double_format.hpp"
#include "platform/number_parsing.hpp"

namespace tabvora {
namespace {

TEST(ShortestDoubleText, DecimalAndExponentialRanges) {
  const std::pair<double, const char*> cases[] = {
      {3.0, "3.0"},         {0.1, "0.1"},       {0.0001, "0.0001"}, {0.00015, "0.00015"}, {0.00001, "1e-05"},
      {123456789012345.0, "123456789012345.0"}, {1e15, "1e+15"},    {1234567890123456.7, "1.2345678901234568e+15"},
      {-1.5e300, "-1.5e+300"}, {5e-324, "5e-324"}, {0.0, "0.0"},    {-0.0, "-0.0"},
      {std::nan(""), "nan"}, {-INFINITY, "-inf"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(shortestDoubleText(value), text);
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

TEST(NumberParsing, Int64AcceptsSignAndDigitsOnly) {
  EXPECT_EQ(parseInt64("0"), 0);
  EXPECT_EQ(parseInt64("+15"), 15);
  EXPECT_EQ(parseInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(parseInt64("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  for (const char* bad : {"", "+", "-", "9223372036854775808", "-9223372036854775809", " 1", "1 ", "1.0", "1e3",
                          "0x10", "--1"}) {
    EXPECT_FALSE(parseInt64(bad).has_value()) << bad;
  }
}

TEST(NumberParsing, DoubleNeedsTheWholeText) {
  EXPECT_EQ(parseDouble("1.5"), 1.5);
  EXPECT_EQ(parseDouble("-2e3"), -2000);
  EXPECT_EQ(parseDouble("0x1.8p1"), 3);
  EXPECT_EQ(parseDouble("INF"), INFINITY);
  EXPECT_EQ(parseDouble("1e999"), INFINITY);
  EXPECT_EQ(parseDouble("+1.5"), 1.5);
  EXPECT_EQ(parseDouble("-1e-400"), 0.0);
  EXPECT_TRUE(std::isnan(*parseDouble("NaN")));
  for (const char* bad : {"", " 1", "1 ", "1,5", "abc", "1e", "0x", "--1", "+-1", "++1", "+ 1"}) {
    EXPECT_FALSE(parseDouble(bad).has_value()) << bad;
  }
  EXPECT_FALSE(parseDouble(std::string_view("1\0" "2", 3)).has_value());
}

}  // namespace
}  // namespace tabvora
