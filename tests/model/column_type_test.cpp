// Type names, inference from text and SQL literals.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
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
  const std::pair<const char*, ColumnType::Value> cases[] = {
      {" \n", ColumnType::null},    {" TRUE ", ColumnType::boolean}, {"False", ColumnType::boolean},
      {"-0", ColumnType::integer},  {"+12", ColumnType::integer},    {"0.5", ColumnType::real},
      {".5", ColumnType::real},     {"1e5", ColumnType::real},       {"[1, 2]", ColumnType::json},
      {"{\"a\":1}", ColumnType::json}, {"{oops]", ColumnType::text}, {"yes", ColumnType::text}};
  for (const auto& [text, type] : cases) EXPECT_EQ(ColumnType::infer(text), type) << text;
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
  const std::tuple<ColumnType::Value, std::string_view, const char*> cases[] = {
      {ColumnType::integer, "", "NULL"},        {ColumnType::text, "", "NULL"},
      {ColumnType::integer, " +7\t", "7"},      {ColumnType::integer, "5.0", "'5.0'"},
      {ColumnType::integer, "99999999999999999999", "'99999999999999999999'"},
      {ColumnType::real, "5", "5.0"},           {ColumnType::real, "1.50", "1.5"},
      {ColumnType::real, "1e20", "1e+20"},      {ColumnType::real, "1e999", "'1e999'"},
      {ColumnType::real, "nan", "'nan'"},       {ColumnType::real, "5\n", "'5\n'"},  // line breaks are not trimmed
      {ColumnType::text, "O'Brien", "'O''Brien'"}, {ColumnType::text, "NULL", "'NULL'"},
      {ColumnType::text, " 42 ", "' 42 '"},     {ColumnType::text, std::string_view("a\0b", 3), "'a'||char(0)||'b'"},
      {ColumnType::boolean, "1", "'1'"},
  };
  for (const auto& [type, raw, literal] : cases) EXPECT_EQ(ColumnType(type).sqlLiteral(raw), literal) << raw;
}

}  // namespace
}  // namespace tabvora
