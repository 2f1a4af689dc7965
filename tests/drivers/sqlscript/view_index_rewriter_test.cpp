#include "drivers/sqlscript/view_index_rewriter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlscript/sql_script_limits.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal::SQLDialectNormalizer {
namespace {

TEST(ViewIndexRewriter, CasesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/sqlscript/view_index_rewriter.cases")) {
    const std::string& statement = c.input.at(0);
    EXPECT_EQ(c.word(0) == "view" ? rewriteViewStatement(statement) : rewriteIndexStatement(statement), c.expected.at(0))
        << c.where;
  }
}

// Clauses past the head's window are left alone, as is a match the window cuts; white space
// that never leads to USING is crossed once.
TEST(ViewIndexRewriter, IndexClausesWithinTheWindow) {
  const std::string farAway(kStatementRewriteWindowBytes, ' ');
  for (const std::string& statement : {"CREATE INDEX i ON t (a)" + farAway + " USING x", farAway.substr(4) + " USING btree"})
    EXPECT_EQ(rewriteIndexStatement(statement), statement);
  const std::string spaces(4u << 20, ' ');
  EXPECT_EQ(rewriteIndexStatement(spaces + "x").size(), spaces.size() + 1);
}

}  // namespace
}  // namespace tabvora::internal::SQLDialectNormalizer
