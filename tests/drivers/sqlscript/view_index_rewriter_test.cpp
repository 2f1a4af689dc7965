#include "drivers/sqlscript/view_index_rewriter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlscript/sql_script_limits.hpp"

namespace tabvora::SQLDialectNormalizer {
namespace {

using Cases = std::vector<std::pair<std::string, std::string>>;

TEST(ViewIndexRewriter, ViewHeads) {
  const Cases cases = {
      {"CREATE OR REPLACE ALGORITHM=UNDEFINED DEFINER=\"root\"@\"localhost\" SQL SECURITY DEFINER VIEW v AS SELECT 1",
       "CREATE VIEW v AS SELECT 1"},
      {" \ncreate temporary recursive view v(n) as select 1", "CREATE temporary VIEW v(n) as select 1"},
      {"CREATE TEMP VIEW \"v\xC3\xA9\" AS SELECT '\xFF'", "CREATE TEMP VIEW \"v\xC3\xA9\" AS SELECT '\xFF'"},
      {"CREATE VIEWS", "CREATE VIEWS"},
      {"SELECT 1; CREATE VIEW v AS SELECT 1", "SELECT 1; CREATE VIEW v AS SELECT 1"},
  };
  for (const auto& [statement, expected] : cases) EXPECT_EQ(rewriteViewStatement(statement), expected) << statement;
}

TEST(ViewIndexRewriter, IndexClauses) {
  const std::string farAway(kStatementRewriteWindowBytes, ' ');
  const Cases cases = {
      {"CREATE INDEX i ON ONLY public.t USING btree (a)", "CREATE INDEX i ON public.t (a)"},
      {"CREATE INDEX i\tON\nONLY t\n  USING gin (a) WHERE b USING c", "CREATE INDEX i ON t (a) WHERE b USING c"},
      {"CREATE INDEX i ON t (a)", "CREATE INDEX i ON t (a)"},
      // Clauses past the head's window are left alone, as is a match the window cuts.
      {"CREATE INDEX i ON t (a)" + farAway + " USING x", "CREATE INDEX i ON t (a)" + farAway + " USING x"},
      {farAway.substr(4) + " USING btree", farAway.substr(4) + " USING btree"},
  };
  for (const auto& [statement, expected] : cases) EXPECT_EQ(rewriteIndexStatement(statement), expected);
  // White space that never leads to USING is crossed once.
  const std::string spaces(4u << 20, ' ');
  EXPECT_EQ(rewriteIndexStatement(spaces + "x").size(), spaces.size() + 1);
}

}  // namespace
}  // namespace tabvora::SQLDialectNormalizer
