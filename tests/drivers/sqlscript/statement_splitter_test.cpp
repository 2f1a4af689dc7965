#include "drivers/sqlscript/statement_splitter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlscript/sql_script_limits.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal::SQLDialectNormalizer {
namespace {

using namespace std::string_literals;
using Statements = std::vector<std::string>;

// Each statement's text; a COPY data block follows its statement as "<data>" + the block.
Statements split(std::string_view script, SQLDialect dialect) {
  Statements statements;
  StatementSplitter splitter(script, dialect);
  while (std::optional<SplitStatement> statement = splitter.next()) {
    statements.push_back(statement->text);
    if (statement->copyData) statements.push_back("<data>" + std::string(*statement->copyData));
  }
  EXPECT_EQ(splitter.position(), script.size());
  return statements;
}

SQLDialect dialectNamed(const std::string& name) {
  return name == "mysql" ? SQLDialect::mysql : name == "postgres" ? SQLDialect::postgres : SQLDialect::generic;
}

TEST(StatementSplitter, SplitsByEachDialectsRules) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/sqlscript/statement_splitter.cases"))
    EXPECT_EQ(split(c.joinedInput(), dialectNamed(c.word(0))), c.expected) << c.where;
}

// Executable comments up to the emulated server version, and DELIMITER at its length limit.
TEST(StatementSplitter, KeepsItsLimits) {
  const std::string kServer = std::to_string(kEmulatedServerVersion);
  const std::string kLater = std::to_string(kEmulatedServerVersion + 1);
  EXPECT_EQ(split("/*! SELECT 1 */; /*M! SELECT 2 */; /*!" + kServer + " SELECT 3 */; /*M!" + kServer + " SELECT 4 */;",
                  SQLDialect::mysql),
            (Statements{"SELECT 1", "SELECT 2", "SELECT 3", "SELECT 4"}));
  EXPECT_EQ(split("/*!" + kLater + " DROP TABLE t */; /*M!999999\\- sandbox */ SELECT /*!9999999 2 */ 1;", SQLDialect::mysql),
            Statements{"SELECT  1"});
  const std::string longest(kMaxDelimiterBytes, '|');
  EXPECT_EQ(split("DELIMITER " + longest + "\nSELECT 1;" + longest, SQLDialect::generic), Statements{"SELECT 1;"});
  EXPECT_EQ(split("DELIMITER " + longest + "|\nSELECT 1;", SQLDialect::generic), Statements{"SELECT 1"});
}

TEST(StatementSplitter, FollowsTheDialectSetBetweenStatements) {
  const std::string script = "SELECT 'a\\';b'; SELECT 'c\\';d';";
  StatementSplitter splitter(script, SQLDialect::postgres);
  EXPECT_EQ(splitter.next()->text, "SELECT 'a\\'");
  splitter.setDialect(SQLDialect::mysql);
  EXPECT_EQ(splitter.next()->text, "b'; SELECT 'c\\';d'");
  EXPECT_FALSE(splitter.next());
}

// Quadratic work would not finish: these run in linear time and memory.
TEST(StatementSplitter, LargeInputs) {
  std::string insert = "INSERT INTO t VALUES ";
  while (insert.size() < (4u << 20)) insert += "(1,'a;b',\"c\",$$d$$),";
  insert += "(2)";
  Statements statements = split(insert + ";\n", SQLDialect::postgres);
  ASSERT_EQ(statements.size(), 1u);
  EXPECT_EQ(statements[0], insert);

  std::string many;
  for (int i = 0; i < 200'000; ++i) many += "SELECT 1;\n";
  EXPECT_EQ(split(many, SQLDialect::generic).size(), 200'000u);

  std::string body = "CREATE TRIGGER tr AFTER INSERT ON t BEGIN ";
  for (int i = 0; i < 50'000; ++i) body += "INSERT INTO log VALUES (1); ";
  statements = split(body + "END; SELECT 1;", SQLDialect::generic);
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[0], body + "END");

  // A long tag among many "$" bytes.
  const std::string tag = "$" + std::string(1u << 20, 't') + "$";
  statements = split("SELECT " + tag + std::string(1u << 20, '$') + "; " + tag + "; x", SQLDialect::postgres);
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[1], "x");

  const std::string filler(4u << 20, 'x');
  for (const std::string& tail : {"'"s, "$a$"s, "/*"s, "/*!1"s, "--"s, "`"s}) {
    statements = split("SELECT 1; " + tail + filler, SQLDialect::postgres);
    EXPECT_EQ(statements.size(), tail == "/*" || tail == "--" ? 1u : 2u) << tail;
  }
}

}  // namespace
}  // namespace tabvora::internal::SQLDialectNormalizer
