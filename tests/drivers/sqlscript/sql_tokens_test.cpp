#include "drivers/sqlscript/sql_tokens.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlscript/sql_dialect.hpp"
#include "drivers/sqlscript/sql_script_limits.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal::SQLDialectNormalizer {
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

TEST(SQLTokens, CasesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/sqlscript/sql_tokens.cases")) {
    const std::string text = c.input.at(0);
    if (c.word(0) == "tokens") {
      EXPECT_EQ(tokenTexts(text), c.expected) << c.where;
    }
    if (c.word(0) == "words") {
      EXPECT_EQ(leadingWords(text), c.expected) << c.where;
    }
    if (c.word(0) == "kind") {
      EXPECT_EQ(objectKind(leadingWords(text)).value_or("none"), c.expected.at(0)) << c.where;
    }
    if (c.word(0) == "dialect") {
      const std::optional<SQLDialect> dialect = detectDialect(text);
      EXPECT_EQ(!dialect ? "none" : *dialect == SQLDialect::mysql ? "mysql" : "postgres", c.expected.at(0)) << c.where;
    }
  }
}

// Limits on tokens, leading words and the part of a script that is searched for signs.
TEST(SQLTokens, KeepTheirLimits) {
  EXPECT_EQ(tokenize("a b c d", 2).size(), 2u);
  EXPECT_EQ(leadingWords("a b c d e f g h i j k l m n").size(), kMaxLeadingWords);
  const std::string padded = "SET" + std::string(kLeadingWordsScanBytes - 4, ' ') + "xy";
  EXPECT_EQ(leadingWords(padded), (Words{"SET", "X"}));
  const std::string filler(kDialectScanBytes - 9, ' ');
  EXPECT_EQ(detectDialect(filler + "  ENGINE="), SQLDialect::mysql);
  EXPECT_EQ(detectDialect(filler + "   ENGINE="), std::nullopt);
}

}  // namespace
}  // namespace tabvora::internal::SQLDialectNormalizer
