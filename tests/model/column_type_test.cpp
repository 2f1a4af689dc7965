// Type names, inference from text and SQL literals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/column_type.hpp"

namespace tabvora {
namespace {

TEST(ColumnTypeNames, RawValuesRoundTripCaseSensitively) {
  std::vector<std::string> raw;
  for (ColumnType type : ColumnType::allCases) {
    raw.emplace_back(type.rawValue());
    EXPECT_EQ(ColumnType::fromRawValue(type.rawValue()), type);
  }
  EXPECT_EQ(raw, (std::vector<std::string>{"INTEGER", "REAL", "TEXT", "BOOLEAN", "DATETIME", "BLOB", "JSON",
                                           "NULL", "UNKNOWN"}));
  EXPECT_FALSE(ColumnType::fromRawValue("integer").has_value());
  EXPECT_FALSE(ColumnType::fromRawValue("DATE").has_value());
}

TEST(ColumnTypeInfer, SingleValues) {
  EXPECT_EQ(ColumnType::infer(" \n"), ColumnType::null);
  EXPECT_EQ(ColumnType::infer(" TRUE "), ColumnType::boolean);
  EXPECT_EQ(ColumnType::infer("False"), ColumnType::boolean);
  EXPECT_EQ(ColumnType::infer("-0"), ColumnType::integer);
  EXPECT_EQ(ColumnType::infer("+12"), ColumnType::integer);
  EXPECT_EQ(ColumnType::infer("0.5"), ColumnType::real);
  EXPECT_EQ(ColumnType::infer("1e5"), ColumnType::real);
  EXPECT_EQ(ColumnType::infer(".5"), ColumnType::real);
  EXPECT_EQ(ColumnType::infer("[1, 2]"), ColumnType::json);
  EXPECT_EQ(ColumnType::infer("{\"a\":1}"), ColumnType::json);
  EXPECT_EQ(ColumnType::infer("{oops]"), ColumnType::text);
  EXPECT_EQ(ColumnType::infer("yes"), ColumnType::text);
}

TEST(ColumnTypeInfer, NumericLiteralRejections) {
  for (const char* text : {"007", "00.5", "-", "+", "1e999", "12345678901234567890", "1-2", "e5", "1.2.3",
                           "0x10", "inf", "nan", "1,5", "١٢"}) {
    EXPECT_FALSE(numericLiteralType(text).has_value()) << text;
  }
  EXPECT_EQ(numericLiteralType("-9223372036854775808"), ColumnType::integer);
  EXPECT_EQ(numericLiteralType("1.5e-3"), ColumnType::real);
  EXPECT_EQ(numericLiteralType("5."), ColumnType::real);
}

TEST(ColumnTypeInfer, Columns) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ColumnType::inferColumn(V{"1", "", "2.5"}), ColumnType::real);
  EXPECT_EQ(ColumnType::inferColumn(V{"1", " ", "-3"}), ColumnType::integer);
  EXPECT_EQ(ColumnType::inferColumn(V{"1", "true"}), ColumnType::text);
  EXPECT_EQ(ColumnType::inferColumn(V{"[1]", "[2]"}), ColumnType::text);
  EXPECT_EQ(ColumnType::inferColumn(V{}), ColumnType::text);
  EXPECT_EQ(ColumnType::inferColumn(V{"", "  "}), ColumnType::text);
  EXPECT_EQ(ColumnType::inferColumn(V{"12345678901234567890"}), ColumnType::text);
  const std::vector<std::string_view> views{"3", "4.0"};
  EXPECT_EQ(ColumnType::inferColumn(views), ColumnType::real);
}

TEST(ColumnTypeSQL, LiteralsByColumnType) {
  const ColumnType integer = ColumnType::integer, real = ColumnType::real, text = ColumnType::text;
  EXPECT_EQ(integer.sqlLiteral(""), "NULL");
  EXPECT_EQ(text.sqlLiteral(""), "NULL");
  EXPECT_EQ(integer.sqlLiteral(" +7\t"), "7");
  EXPECT_EQ(integer.sqlLiteral("5.0"), "'5.0'");
  EXPECT_EQ(integer.sqlLiteral("99999999999999999999"), "'99999999999999999999'");
  EXPECT_EQ(real.sqlLiteral("5"), "5.0");
  EXPECT_EQ(real.sqlLiteral("1.50"), "1.5");
  EXPECT_EQ(real.sqlLiteral("1e20"), "1e+20");
  EXPECT_EQ(real.sqlLiteral("1e999"), "'1e999'");
  EXPECT_EQ(real.sqlLiteral("nan"), "'nan'");
  EXPECT_EQ(real.sqlLiteral("5\n"), "'5\n'");  // line breaks are not trimmed here
  EXPECT_EQ(text.sqlLiteral("O'Brien"), "'O''Brien'");
  EXPECT_EQ(text.sqlLiteral("NULL"), "'NULL'");
  EXPECT_EQ(text.sqlLiteral(" 42 "), "' 42 '");
  EXPECT_EQ(text.sqlLiteral(std::string_view("a\0b", 3)), "'ab'");
  EXPECT_EQ(ColumnType(ColumnType::boolean).sqlLiteral("1"), "'1'");
}

}  // namespace
}  // namespace tabvora
