#include "drivers/sqlscript/sql_statement_rewriter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlscript/sql_script_limits.hpp"

namespace tabvora::SQLDialectNormalizer {
namespace {

using namespace std::string_literals;

struct RewriteCase {
  SQLDialect dialect;
  std::string statement;
  std::string expected;
};

constexpr SQLDialect mysql = SQLDialect::mysql, postgres = SQLDialect::postgres;

void expectRewrites(const std::vector<RewriteCase>& cases, const std::set<std::string>& schemas = {}) {
  for (const RewriteCase& c : cases) {
    EXPECT_EQ(rewriteStatement(c.statement, c.dialect, schemas), c.expected)
        << (c.dialect == mysql ? "mysql: " : "postgres: ") << ::testing::PrintToString(c.statement);
  }
}

TEST(StatementRewriter, ConvertsStringLiterals) {
  expectRewrites({
      {mysql, "VALUES ('It\\'s','a\\0b')", "VALUES ('It''s','a'||char(0)||'b')"},
      {postgres, "VALUES ('It\\'s','a\\0b')", "VALUES ('It\\'s','a\\0b')"},
      {mysql, "'\\b\\n\\r\\t\\Z\\z\\%\\_\\\\\\\"\\q'''", "'\b\n\r\t\x1Az\\%\\_\\\"q'''"},
      {mysql, "'a\\\0b'"s, "'a'||char(0)||'b'"},
      // A backslash before a multi-byte character leaves the character whole.
      {mysql, "'\\\xC3\xA9'", "'\xC3\xA9'"},
      {mysql, "'abc\\", "'abc\\"},
      // A NUL byte held by a literal cannot stay in the text.
      {postgres, "'a\0b''c'"s, "'a'||char(0)||'b''c'"},
      // E-strings: escapes by PostgreSQL's table; octal and hex escapes are bytes.
      {postgres, "E'a\\nb\\101\\x41\\x4g\\u00e9\\U0001F600\\'\\q'", "'a\nbAA\x04g\xC3\xA9\xF0\x9F\x98\x80''q'"},
      {postgres, "e'\\303\\251\\0\\uD800\\U00110000\\u12'", "'\xC3\xA9'||char(0)||'u12'"},
      {mysql, "E'\\b\\f'", "'\b\f'"},
      // N and b prefixes; only a whole word is a prefix.
      {postgres, "N'x' || b'101' || B'" + std::string(kMaxBinaryLiteralDigits, '1') + "' || b'' || b'12'",
       "'x' || 5 || 9223372036854775807 || b'' || b'12'"},
      {postgres, "B'" + std::string(kMaxBinaryLiteralDigits + 1, '1') + "'",
       "B'" + std::string(kMaxBinaryLiteralDigits + 1, '1') + "'"},
      {postgres, "an'x' sub'y'", "an'x' sub'y'"},
      // MySQL character-set introducers and hexadecimal literals.
      {mysql, "_utf8mb4'x', _latin1 'y', _binary '\\0\\n\\'\xFF', _BINARY'', _x", "'x',  'y', X'000A27FF', X'', _x"},
      {mysql, "0x0aFF, 0XABC, 0xZZ, 0x, 10x1", "X'0aFF', X'0ABC', 0xZZ, 0x, 10x1"},
      {postgres, "0x0aFF, _binary 'a'", "0x0aFF, _binary 'a'"},
  });
}

TEST(StatementRewriter, RewritesIdentifiersAndCasts) {
  expectRewrites(
      {
          {mysql, "`a``b\"c`.`d`", "\"a`b\"\"c\".\"d\""},
          {mysql, "\"a\\\"b\"", "\"a\\\"b\""},
          {postgres, "INSERT INTO \"public\".\"users\" VALUES (1)", "INSERT INTO \"users\" VALUES (1)"},
          {postgres, "SELECT * FROM Public.users, other.t, public, \"PG_catalog\".x, public . y",
           "SELECT * FROM users, other.t, public, x, public . y"},
          {postgres,
           "SELECT 'a'::character varying(20)[], x::int, y :: timestamp(6) without time zone, z::public.\"My\"[2], "
           "w::double precision, v::numeric(10,(2))[3][], u::time with time zone, t::bit varying, s::national "
           "character varying",
           "SELECT 'a', x, y , z, w, v, u, t, s"},
          // Only complete multi-word forms are taken.
          {postgres, "x::timestamp with y", "x with y"},
          {postgres, "x:: + 1, a::", "x:: + 1, a::"},
          {mysql, "x::int", "x::int"},
      },
      {"public", "pg_catalog"});
}

TEST(StatementRewriter, CleansInsertHeads) {
  std::string longHead = "INSERT";
  for (std::size_t i = 1; i < kInsertHeadWords - 1; ++i) longHead += " w";
  expectRewrites({
      {mysql, "INSERT IGNORE INTO t VALUES (1)", "INSERT OR IGNORE INTO t VALUES (1)"},
      {mysql, "replace delayed into t values (1)", "replace  into t values (1)"},
      {mysql, "INSERT LOW_PRIORITY IGNORE INTO t VALUES (1)", "INSERT  OR IGNORE INTO t VALUES (1)"},
      {mysql, "INSERT INTO t IGNORE VALUES (1)", "INSERT INTO t IGNORE VALUES (1)"},
      {postgres, "INSERT INTO t (a) OVERRIDING SYSTEM VALUE VALUES (1)", "INSERT INTO t (a)    VALUES (1)"},
      {postgres, "INSERT INTO t OVERRIDING USER VALUE SELECT overriding a b FROM s",
       "INSERT INTO t    SELECT overriding a b FROM s"},
      {postgres, "SELECT ignore FROM t; INSERT IGNORE", "SELECT ignore FROM t; INSERT IGNORE"},
      // The head's last examined word is the 400th.
      {postgres, longHead + " OVERRIDING SYSTEM VALUE", longHead + "   "},
      {postgres, longHead + " w OVERRIDING SYSTEM VALUE", longHead + " w OVERRIDING SYSTEM VALUE"},
  });
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
}  // namespace tabvora::SQLDialectNormalizer
