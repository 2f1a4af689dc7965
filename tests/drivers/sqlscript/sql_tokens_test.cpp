#include "drivers/sqlscript/sql_tokens.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlscript/sql_dialect.hpp"
#include "drivers/sqlscript/sql_script_limits.hpp"

namespace tabvora::SQLDialectNormalizer {
namespace {

using Words = std::vector<std::string>;

// Tokens as "w:", "q:", "s:" or "p:" followed by the text.
Words tokenTexts(std::string_view statement) {
  Words texts;
  for (const Token& token : tokenize(statement)) {
    static constexpr const char* kPrefixes[] = {"w:", "q:", "s:", "p:"};
    texts.push_back(kPrefixes[static_cast<int>(token.kind)] + token.text);
  }
  return texts;
}

TEST(SQLTokens, Tokenize) {
  EXPECT_EQ(tokenTexts("CREATE \"a\"\"b\"(x_1 int,'it''s')"),
            (Words{"w:CREATE", "q:a\"b", "p:(", "w:x_1", "w:int", "p:,", "s:'it''s'", "p:)"}));
  EXPECT_EQ(
      tokenTexts("1.5e3 3.x 2. $1 a$b \xC3\xA9t\\n -"),
      (Words{"w:1.5e3", "w:3", "p:.", "w:x", "w:2", "p:.", "w:$1", "w:a$b", "w:\xC3\xA9t", "p:\\", "w:n", "p:-"}));
  EXPECT_EQ(tokenTexts("'open \"x"), (Words{"s:'open \"x"}));
  EXPECT_EQ(tokenTexts("\"open 'x"), (Words{"q:open 'x"}));
  EXPECT_EQ(tokenize("a b c d", 2).size(), 2u);
  EXPECT_TRUE(tokenize(" \t\r\n").empty());
}

TEST(SQLTokens, LeadingWordsAndObjectKind) {
  EXPECT_EQ(leadingWords("  create or replace VIEW v(a) AS"), (Words{"CREATE", "OR", "REPLACE", "VIEW", "V"}));
  EXPECT_EQ(leadingWords("lock;tables\tt\xC3\xA9"), (Words{"LOCK", "TABLES", "T\xC3\xA9"}));
  EXPECT_EQ(leadingWords("a b c d e f g h i j k l m n").size(), kMaxLeadingWords);
  const std::string padded = "SET" + std::string(kLeadingWordsScanBytes - 4, ' ') + "xy";
  EXPECT_EQ(leadingWords(padded), (Words{"SET", "X"}));
  EXPECT_TRUE(leadingWords("(SELECT 1)").empty());

  const std::vector<std::pair<std::string, std::optional<std::string>>> kinds = {
      {"CREATE OR REPLACE ALGORITHM=UNDEFINED SQL SECURITY DEFINER VIEW v", "VIEW"},
      {"CREATE DEFINER=`a`@`b` TRIGGER t", "TRIGGER"},
      {"CREATE DEFINER `a`@`b` PROCEDURE p", "PROCEDURE"},
      {"CREATE UNIQUE INDEX i ON t(a)", "INDEX"},
      {"CREATE TEMPORARY TABLE t(a)", "TABLE"},
      {"ALTER DEFAULT PRIVILEGES", "PRIVILEGES"},
      {"DROP", std::nullopt},
      {"CREATE OR REPLACE", std::nullopt},
  };
  for (const auto& [statement, kind] : kinds) EXPECT_EQ(objectKind(leadingWords(statement)), kind) << statement;
}

TEST(SQLDialectDetection, FirstMatchingSignDecides) {
  const std::vector<std::pair<std::string, std::optional<SQLDialect>>> cases = {
      {"-- PostgreSQL database dump\nENGINE=InnoDB", SQLDialect::postgres},
      {"-- MariaDB dump 10.19\nnextval(", SQLDialect::mysql},
      {"-- phpMyAdmin SQL Dump", SQLDialect::mysql},
      {"CREATE TABLE t (a int) ENGINE=InnoDB; SELECT nextval('s');", SQLDialect::mysql},
      {"/*M!999999\\- enable the sandbox mode */", SQLDialect::mysql},
      {"a character varying(3)", SQLDialect::postgres},
      {"ALTER TABLE t OWNER TO me;", SQLDialect::postgres},
      {"CREATE TABLE t (a int); -- mysql dump, engine = x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [script, dialect] : cases) EXPECT_EQ(detectDialect(script), dialect) << script;
  const std::string filler(kDialectScanBytes - 9, ' ');
  EXPECT_EQ(detectDialect(filler + "  ENGINE="), SQLDialect::mysql);
  EXPECT_EQ(detectDialect(filler + "   ENGINE="), std::nullopt);
}

}  // namespace
}  // namespace tabvora::SQLDialectNormalizer
