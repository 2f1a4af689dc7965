#include "drivers/sqlscript/sql_statement_rewriter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlscript/sql_script_limits.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal::SQLDialectNormalizer {
namespace {

using namespace std::string_literals;

constexpr SQLDialect mysql = SQLDialect::mysql, postgres = SQLDialect::postgres;

TEST(StatementRewriter, RewritesLiteralsIdentifiersCastsAndInsertHeads) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/sqlscript/sql_statement_rewriter.cases")) {
    const std::set<std::string> schemas = c.word(1) == "schemas" ? std::set<std::string>{"public", "pg_catalog"}
                                                                  : std::set<std::string>{};
    EXPECT_EQ(rewriteStatement(c.joinedInput(), c.word(0) == "mysql" ? mysql : postgres, schemas), c.expected.at(0))
        << c.where;
  }
}

// Binary literals up to their digit limit; the INSERT head's last examined word is the 400th.
TEST(StatementRewriter, KeepsItsLimits) {
  const std::string ones(kMaxBinaryLiteralDigits, '1');
  EXPECT_EQ(rewriteStatement("N'x' || b'101' || B'" + ones + "' || b'' || b'12'", postgres, {}),
            "'x' || 5 || 9223372036854775807 || b'' || b'12'");
  EXPECT_EQ(rewriteStatement("B'" + ones + "1'", postgres, {}), "B'" + ones + "1'");
  std::string longHead = "INSERT";
  for (std::size_t i = 1; i < kInsertHeadWords - 1; ++i) longHead += " w";
  EXPECT_EQ(rewriteStatement(longHead + " OVERRIDING SYSTEM VALUE", postgres, {}), longHead + "   ");
  EXPECT_EQ(rewriteStatement(longHead + " w OVERRIDING SYSTEM VALUE", postgres, {}),
            longHead + " w OVERRIDING SYSTEM VALUE");
}

TEST(StatementRewriter, CopiesAnyBytesInLinearTime) {
  const std::string noise = "\xFF\xFE\x80\0\x01'\"`\\::$"s;
  for (SQLDialect dialect : {mysql, postgres}) {
    EXPECT_EQ(rewriteStatement("", dialect, {}), "");
    EXPECT_FALSE(rewriteStatement(noise, dialect, {"public"}).empty());
  }
  std::string insert = "INSERT IGNORE INTO `t` VALUES ";
  while (insert.size() < (4u << 20)) insert += "(1,'a\\'b',0x0F,public.f(),\"x\"),";
  const std::string rewritten = rewriteStatement(insert, mysql, {"public"});
  EXPECT_EQ(rewritten.substr(0, 39), "INSERT OR IGNORE INTO \"t\" VALUES (1,'a'");
  EXPECT_TRUE(rewritten.ends_with("),(1,'a''b',X'0F',f(),\"x\"),"));
}

}  // namespace
}  // namespace tabvora::internal::SQLDialectNormalizer
