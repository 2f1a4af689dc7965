// Table names from file names and column names from headers; the cases are in
// table_naming.cases.
#include <gtest/gtest.h>

#include "model/table_naming.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal {
namespace {

TEST(TableNaming, CasesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("model/table_naming.cases")) {
    if (c.word(0) == "staged") {
      EXPECT_EQ(stagedTableName(c.input.at(0), c.word(1), c.word(2) != "unguarded"), c.expected.at(0)) << c.where;
      continue;
    }
    ColumnNamer namer(c.word(1) != "untrimmed");
    std::vector<std::string> names;
    for (std::size_t i = 0; i < c.input.size(); ++i) names.push_back(namer.accept(c.input[i], i + 1));
    EXPECT_EQ(names, c.expected) << c.where;
  }
}

TEST(TableNaming, ThousandsOfDuplicatesKeepCounting) {
  ColumnNamer namer;
  std::string last;
  for (std::size_t i = 1; i <= 20000; ++i) last = namer.accept(i % 2 ? "name" : "NAME", i);
  EXPECT_EQ(last, "NAME_19999");
}

}  // namespace
}  // namespace tabvora::internal
