#include "drivers/sqlscript/statement_splitter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlscript/sql_script_limits.hpp"

namespace tabvora::SQLDialectNormalizer {
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

struct SplitCase {
  SQLDialect dialect;
  std::string script;
  Statements expected;
};

TEST(StatementSplitter, SplitsByEachDialectsRules) {
  constexpr SQLDialect generic = SQLDialect::generic, mysql = SQLDialect::mysql, postgres = SQLDialect::postgres;
  const std::string kServer = std::to_string(kEmulatedServerVersion);
  const std::string kLater = std::to_string(kEmulatedServerVersion + 1);
  const std::vector<SplitCase> cases = {
      {generic, "", {}},
      {generic, " ;;\n ; \t", {}},
      {generic, "  SELECT 1 ;\nSELECT 2", {"SELECT 1", "SELECT 2"}},
      // Comments go, their line ends stay; a ";" inside them does not split.
      {generic, "-- a;\nSELECT 1 /* b; */ + 2; /* unterminated ;", {"SELECT 1  + 2"}},
      {mysql, "# a;\nSELECT 1 # b;\n;", {"SELECT 1"}},
      {generic, "SELECT 1 # b;\n", {"SELECT 1 # b"}},
      // Executable comments keep their content up to the emulated version; the markers go.
      {mysql, "/*!40101 SET NAMES utf8 */;\n/* plain */ SELECT 1;", {"SET NAMES utf8", "SELECT 1"}},
      {mysql, "/*! SELECT 1 */; /*M! SELECT 2 */; /*!" + kServer + " SELECT 3 */; /*M!" + kServer + " SELECT 4 */;",
       {"SELECT 1", "SELECT 2", "SELECT 3", "SELECT 4"}},
      {mysql, "/*!" + kLater + " DROP TABLE t */; /*M!999999\\- sandbox */ SELECT /*!9999999 2 */ 1;",
       {"SELECT  1"}},
      {generic, "SELECT 2 */ 3;", {"SELECT 2 */ 3"}},
      // Quotes: doubled quotes, backslashes by dialect, E-strings.
      {generic, "SELECT 'a;''b', \"c;\", `d;`; x", {"SELECT 'a;''b', \"c;\", `d;`", "x"}},
      {mysql, "SELECT 'a\\';b', \"c\\\";d\"; x", {"SELECT 'a\\';b', \"c\\\";d\"", "x"}},
      {mysql, "SELECT `a\\`; x", {"SELECT `a\\`", "x"}},
      {postgres, "SELECT 'a\\';b'", {"SELECT 'a\\'", "b'"}},
      {postgres, "SELECT E'a\\';b', (e'\\';c'); x", {"SELECT E'a\\';b', (e'\\';c')", "x"}},
      {postgres, "SELECT xe'a\\';b'", {"SELECT xe'a\\'", "b'"}},
      {postgres, "E'\\';'", {"E'\\';'"}},
      // Dollar quotes, not after identifier bytes, and not $1.
      {postgres,
       "CREATE FUNCTION f() AS $$ BEGIN x; y; END; $$ LANGUAGE sql; SELECT $1;",
       {"CREATE FUNCTION f() AS $$ BEGIN x; y; END; $$ LANGUAGE sql", "SELECT $1"}},
      {generic,
       "SELECT $body$ a $$; $b$ $body$; SELECT a$b$c; $x$; y",
       {"SELECT $body$ a $$; $b$ $body$", "SELECT a$b$c", "$x$; y"}},
      {mysql, "SELECT $$a;b$$", {"SELECT $$a", "b$$"}},
      // DELIMITER lines, at a statement's start only, in any case.
      {generic, "delimiter //\nSELECT 1; SELECT 2//\nDELIMITER ;\nSELECT 3;", {"SELECT 1; SELECT 2", "SELECT 3"}},
      {generic, "SELECT 1 delimiter //\n;", {"SELECT 1 delimiter //"}},
      {mysql, "-- x\n/**/ DELIMITER ;;\nSELECT 1;;", {"SELECT 1"}},
      {generic, "DELIMITER \nSELECT 1;", {"SELECT 1"}},
      {generic, "DELIMITER\nSELECT 1;", {"DELIMITER\nSELECT 1"}},
      {generic,
       "DELIMITER " + std::string(kMaxDelimiterBytes, '|') + "\nSELECT 1;" + std::string(kMaxDelimiterBytes, '|'),
       {"SELECT 1;"}},
      {generic, "DELIMITER " + std::string(kMaxDelimiterBytes + 1, '|') + "\nSELECT 1;", {"SELECT 1"}},
      // Client meta-command lines, each one statement, not in MySQL mode.
      {postgres, "\\connect db \r\nSELECT 1; \\. x\nSELECT 2;", {"\\connect db", "SELECT 1", "\\. x", "SELECT 2"}},
      {mysql, "\\connect db\nSELECT 1;", {"\\connect db\nSELECT 1"}},
      // Unterminated constructs run to the end.
      {generic, "SELECT 'a;b", {"SELECT 'a;b"}},
      {postgres, "SELECT $q$ a; b", {"SELECT $q$ a; b"}},
      {mysql, "SELECT /*!40000 1; 2", {"SELECT  1", "2"}},
      {mysql, "SELECT 'a\\", {"SELECT 'a\\"}},
      // Bytes that are not text pass through.
      {generic, "SELECT '\xFF\xFE\0';\x80\x01;"s, {"SELECT '\xFF\xFE\0'"s, "\x80\x01"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(split(c.script, c.dialect), c.expected) << ::testing::PrintToString(c.script);
  }
}

// A dump's DELIMITER-wrapped trigger and plain COPY blocks are read by the real dumps of the
// script driver's tests; these are the cases those files do not hold.
TEST(StatementSplitter, KeepsTriggerBodiesWhole) {
  const std::vector<std::pair<std::string, Statements>> generic = {
      {"CREATE TRIGGER tr AFTER INSERT ON t BEGIN INSERT INTO log VALUES (1); UPDATE t SET a = 2; END; SELECT 1;",
       {"CREATE TRIGGER tr AFTER INSERT ON t BEGIN INSERT INTO log VALUES (1); UPDATE t SET a = 2; END", "SELECT 1"}},
      {"create temp trigger tr after delete on t begin select case when 1 then 'end;' end; end;select 2",
       {"create temp trigger tr after delete on t begin select case when 1 then 'end;' end; end", "select 2"}},
      // Without BEGIN, or not a trigger, the first ";" ends the statement.
      {"CREATE TRIGGER tr; END; x", {"CREATE TRIGGER tr", "END", "x"}},
      {"CREATE TABLE begin_t (a); END;", {"CREATE TABLE begin_t (a)", "END"}},
      // An unfinished body runs to the end.
      {"CREATE TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; SELECT 2;",
       {"CREATE TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; SELECT 2;"}},
  };
  for (const auto& [script, expected] : generic) EXPECT_EQ(split(script, SQLDialect::generic), expected) << script;
  // Other dialects leave trigger bodies to DELIMITER lines.
  EXPECT_EQ(split("CREATE TRIGGER t BEGIN x; END;", SQLDialect::postgres).size(), 2u);
}

TEST(StatementSplitter, ReadsCopyDataBlocks) {
  const std::vector<std::pair<std::string, Statements>> cases = {
      // The rest of the statement's line is not data; "\." may end in CR.
      {"copy t from STDIN; -- x\r\na\r\n\\.\r\nSELECT 1;", {"copy t from STDIN", "<data>a\r\n", "SELECT 1"}},
      {"COPY t FROM stdin;\n\\.\n", {"COPY t FROM stdin", "<data>"}},
      // A comment before the statement does not hide it.
      {"-- data\n/* x */ COPY t FROM stdin;\n1\n\\.", {"COPY t FROM stdin", "<data>1\n"}},
      // Without "\." the block runs to the end; without a line end it is empty.
      {"COPY t FROM stdin;\n1\n2;\n \\.", {"COPY t FROM stdin", "<data>1\n2;\n \\."}},
      {"COPY t FROM stdin;", {"COPY t FROM stdin", "<data>"}},
      // Too short, not ending in stdin, or ended by the end of the script: no block.
      {"COPY t FROM stdin", {"COPY t FROM stdin"}},
      {"COPY t FROM stdout;\n1\n", {"COPY t FROM stdout", "1"}},
      {"COPY xy FROMstdin;\n1", {"COPY xy FROMstdin", "<data>1"}},
      {"COPY x FROMstdin;\n1", {"COPY x FROMstdin", "1"}},
  };
  for (const auto& [script, expected] : cases) EXPECT_EQ(split(script, SQLDialect::postgres), expected) << script;
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
}  // namespace tabvora::SQLDialectNormalizer
