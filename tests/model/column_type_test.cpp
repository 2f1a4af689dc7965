// Type names, inference from text and SQL literals; the tables of cases are in
// column_type.cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/column_type.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal {
namespace {

std::string nameOf(std::optional<ColumnType> type) { return type ? std::string(type->rawValue()) : "none"; }

TEST(ColumnType, InferenceAndLiteralsOfTheCaseTable) {
  for (const testing::TextCase& c : testing::readTextCases("model/column_type.cases")) {
    const std::string& expected = c.expected.at(0);
    if (c.word(0) == "infer") {
      EXPECT_EQ(nameOf(ColumnType::infer(c.input.at(0))), expected) << c.where;
    }
    if (c.word(0) == "numeric") {
      EXPECT_EQ(nameOf(numericLiteralType(c.input.at(0))), expected) << c.where;
    }
    if (c.word(0) == "column") {
      EXPECT_EQ(nameOf(ColumnType::inferColumn(c.input)), expected) << c.where;
    }
    if (c.word(0) == "literal") {
      EXPECT_EQ(ColumnType(*ColumnType::fromRawValue(c.word(1))).sqlLiteral(c.input.at(0)), expected) << c.where;
    }
  }
  const std::vector<std::string_view> views{"3", "4.0"};
  EXPECT_EQ(ColumnType::inferColumn(views), ColumnType::real);
  EXPECT_FALSE(ColumnType::fromRawValue("integer").has_value());  // names are case-sensitive
}

}  // namespace
}  // namespace tabvora::internal
