// The statement readers of SQL scripts: the splitter, tokens and dialect signs, the
// rewrites of literals, identifiers, views, indexes and table names, and CREATE TABLE
// rebuilt for SQLite. The cases are in the .cases files beside this one, read by one loop;
// limits, linear time and what needs a database are below, with the COPY data converted
// into INSERT batches.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlscript/copy_data_converter.hpp"
#include "drivers/sqlscript/create_table_rewriter.hpp"
#include "drivers/sqlscript/sql_dialect.hpp"
#include "drivers/sqlscript/sql_script_limits.hpp"
#include "drivers/sqlscript/sql_statement_rewriter.hpp"
#include "drivers/sqlscript/sql_tokens.hpp"
#include "drivers/sqlscript/statement_splitter.hpp"
#include "drivers/sqlscript/table_namespaces.hpp"
#include "drivers/sqlscript/view_index_rewriter.hpp"
#include "model/driver_error.hpp"
#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal::SQLDialectNormalizer {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;
using Statements = Lines;
constexpr SQLDialect mysql = SQLDialect::mysql, postgres = SQLDialect::postgres;

SQLDialect dialectNamed(const std::string& name) {
  return name == "mysql" ? mysql : name == "postgres" ? postgres : SQLDialect::generic;
}
Lines wordsOf(const std::string& text) {
  Lines words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

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
// Tokens as "w:", "q:", "s:" or "p:" followed by the text.
Lines tokenTexts(std::string_view statement) {
  Lines texts;
  for (const Token& token : tokenize(statement)) {
    static constexpr const char* kPrefixes[] = {"w:", "q:", "s:", "p:"};
    texts.push_back(kPrefixes[static_cast<int>(token.kind)] + token.text);
  }
  return texts;
}
// archive.orders was staged first (as "orders"), public.orders second; public is current.
TableNamespaces twoOrders() {
  TableNamespaces spaces("public");
  spaces.add("Archive");
  spaces.define({"archive", "orders", "orders"});
  spaces.define({"public", "orders", "public.orders"});
  return spaces;
}
// What the script driver does with a dump's CREATE TABLE: rewrite, then parse.
std::optional<ParsedTable> parse(std::string_view statement, SQLDialect dialect) {
  return parseCreateTable(rewriteStatement(statement, dialect, {"public", "pg_catalog"}), dialect);
}
std::string fullSQL(std::string_view statement, SQLDialect dialect) {
  const std::optional<ParsedTable> table = parse(statement, dialect);
  return table ? createTableSQL(*table, CreateTableLevel::full) : "(not parsed)";
}

using Types = std::vector<std::optional<std::string>>;

std::vector<std::string> batches(std::string_view data, const std::vector<std::string>& columns, const Types& types,
                                 std::size_t batchRows = kCopyBatchRows) {
  std::vector<std::string> sent;
  const bool failed = forEachCopyInsert(data, "t", columns, types, batchRows, [&](const std::string& sql) {
    sent.push_back(sql);
    return true;
  });
  EXPECT_FALSE(failed);
  return sent;
}

// What each file's cases find, from their words and input.
using Reader = std::function<Lines(const testing::TextCase&)>;
const std::map<std::string, Reader> kReaders = {
    {"statement_splitter", [](const testing::TextCase& c) { return split(c.joinedInput(), dialectNamed(c.word(0))); }},
    {"sql_tokens", [](const testing::TextCase& c) {
       const std::string& text = c.input.at(0);
       if (c.word(0) == "tokens") return tokenTexts(text);
       if (c.word(0) == "words") return leadingWords(text);
       if (c.word(0) == "kind") return Lines{objectKind(leadingWords(text)).value_or("none")};
       const std::optional<SQLDialect> dialect = detectDialect(text);
       return Lines{!dialect ? "none" : *dialect == mysql ? "mysql" : "postgres"};
     }},
    {"sql_statement_rewriter", [](const testing::TextCase& c) {
       const std::set<std::string> schemas =
           c.word(1) == "schemas" ? std::set<std::string>{"public", "pg_catalog"} : std::set<std::string>{};
       return Lines{rewriteStatement(c.joinedInput(), dialectNamed(c.word(0)), schemas)};
     }},
    {"table_namespaces", [](const testing::TextCase& c) { return Lines{twoOrders().rewrite(c.input.at(0), false).text}; }},
    {"view_index_rewriter", [](const testing::TextCase& c) {
       return Lines{c.word(0) == "view" ? rewriteViewStatement(c.input.at(0)) : rewriteIndexStatement(c.input.at(0))};
     }},
    {"copy_data_converter", [](const testing::TextCase& c) {
       std::vector<Lines> lists(2);
       for (std::size_t i = 0; i < 2; ++i) {
         std::istringstream in(c.word(i + 1) == "-" ? "" : c.word(i + 1));
         for (std::string item; std::getline(in, item, ',');) lists[i].push_back(item);
       }
       return batches(c.joinedInput(), lists[0], Types(lists[1].begin(), lists[1].end()));
     }},
    {"create_table_rewriter", [](const testing::TextCase& c) {
       const SQLDialect dialect = c.word(1) == "mysql" ? mysql : postgres;
       std::string found;
       if (c.word(0) == "table") found = fullSQL(c.joinedInput(), dialect);
       if (c.word(0) == "column") {
         found = fullSQL("CREATE TABLE t (" + c.joinedInput() + ")", mysql);
         const std::string head = "CREATE TABLE \"t\" (\n    ";
         found = found.starts_with(head) && found.ends_with("\n)") ? found.substr(head.size(), found.size() - head.size() - 2)
                                                                  : found;
       }
       for (const CreateTableLevel level : {CreateTableLevel::full, CreateTableLevel::keysOnly, CreateTableLevel::columnsOnly})
         if (c.word(0) == "levels") found += (found.empty() ? "" : "\n--\n") + createTableSQL(parse(c.joinedInput(), dialect).value(), level);
       if (c.word(0) == "refused") return parse(c.joinedInput(), postgres) ? Lines{"parsed"} : Lines{};
       if (c.word(0) == "type")
         found = sqliteType(wordsOf(c.input.at(0)), wordsOf(c.input.size() > 1 ? c.input[1] : ""), c.word(2) == "array",
                            c.word(2) == "unsigned", dialect);
       return testing::linesOf(found);
     }},
};

TEST(StatementRules, CasesOfTheTables) {
  for (const auto& [name, reader] : kReaders) {
    const std::string file = "drivers/sqlscript/" + name + ".cases";
    std::vector<Lines> found;
    for (const testing::TextCase& c : testing::readTextCases(file)) {
      found.push_back(reader(c));
      if (!testing::updatingExpected()) {
        EXPECT_EQ(found.back(), c.expected) << c.where;
      }
    }
    if (testing::updatingExpected()) testing::rewriteExpected(file, found);
  }
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

// Limits on tokens, leading words and the part of a script that is searched for signs.
TEST(SQLTokens, KeepTheirLimits) {
  EXPECT_EQ(tokenize("a b c d", 2).size(), 2u);
  EXPECT_EQ(leadingWords("a b c d e f g h i j k l m n").size(), kMaxLeadingWords);
  const std::string padded = "SET" + std::string(kLeadingWordsScanBytes - 4, ' ') + "xy";
  EXPECT_EQ(leadingWords(padded), (Lines{"SET", "X"}));
  const std::string filler(kDialectScanBytes - 9, ' ');
  EXPECT_EQ(detectDialect(filler + "  ENGINE="), SQLDialect::mysql);
  EXPECT_EQ(detectDialect(filler + "   ENGINE="), std::nullopt);
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

TEST(TableNamespaces, ANameAnotherNamespaceHoldsIsStagedWithItsQualifier) {
  TableNamespaces spaces = twoOrders();
  spaces.use("old");
  TableNamespaces::Rewrite created = spaces.rewrite("CREATE TABLE IF NOT EXISTS Orders (id int)", true);
  EXPECT_EQ(created.text, "CREATE TABLE IF NOT EXISTS \"old.Orders\" (id int)");
  ASSERT_TRUE(created.defines);
  EXPECT_EQ((std::vector<std::string>{created.defines->key, created.defines->name, created.defines->staged}),
            (std::vector<std::string>{"old", "orders", "old.Orders"}));
  spaces.define(*created.defines);
  EXPECT_EQ(spaces.rewrite("SELECT Archive.orders.id FROM old.orders", false).text,
            "SELECT orders.id FROM \"old.Orders\"");

  // The first database keeps plain schema names; another one's are qualified with it.
  spaces.connect("first");
  EXPECT_EQ(spaces.rewrite("DELETE FROM orders", false).text, "DELETE FROM \"public.orders\"");
  spaces.connect("second");
  EXPECT_EQ(spaces.rewrite("DELETE FROM orders", false).text, "DELETE FROM \"second.public.orders\"");
  EXPECT_EQ(spaces.rewrite("DELETE FROM fresh", false).text, "DELETE FROM fresh");
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

// SQLite refuses the full text (a foreign key names an unknown column) and takes the next;
// what each level keeps is in the cases.
TEST(CreateTableRewriter, LevelsKeepLessAndLess) {
  const std::optional<ParsedTable> table =
      parse("CREATE TEMP TABLE t (a int NOT NULL DEFAULT 1, b text UNIQUE, c int PRIMARY KEY, PRIMARY KEY (a, b), "
            "FOREIGN KEY (c) REFERENCES o (x, y), FOREIGN KEY (zz) REFERENCES o)",
            postgres);
  ASSERT_TRUE(table);
  SQLiteDriver staging;
  staging.openInMemory();
  EXPECT_THROW(staging.executeRawSQL(createTableSQL(*table, CreateTableLevel::full) + ";"), DriverError);
  EXPECT_NO_THROW(staging.executeRawSQL(createTableSQL(*table, CreateTableLevel::keysOnly) + ";"));
}

// Statements up to the size limit, and many columns and groups checked by name lookups.
TEST(CreateTableRewriter, KeepsItsLimits) {
  std::string big = "CREATE TABLE t (a text DEFAULT '";
  const std::string end = "')";
  big += std::string(kMaxCreateTableBytes - big.size() - end.size(), 'x') + end;
  EXPECT_TRUE(parseCreateTable(big, SQLDialect::postgres));
  big.insert(big.size() - end.size(), "x");
  EXPECT_FALSE(parseCreateTable(big, SQLDialect::postgres));

  std::string wide = "CREATE TABLE t (";
  for (int i = 0; i < 20'000; ++i) wide += "c" + std::to_string(i) + " int, UNIQUE (c" + std::to_string(i) + "), ";
  std::optional<ParsedTable> table = parseCreateTable(wide + "PRIMARY KEY (C0))", SQLDialect::postgres);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->columns.size(), 20'000u);
  EXPECT_EQ(table->uniques.size(), 20'000u);
  EXPECT_EQ(table->primaryKey, std::vector<std::string>{"C0"});
  EXPECT_FALSE(parseCreateTable(wide + "C19999 text)", SQLDialect::postgres));
}

TEST(CopyDataConverter, SendsBoundedBatches) {
  std::string lines;
  for (int i = 0; i < 1001; ++i) lines += std::to_string(i) + "\n";
  std::vector<std::string> sent = batches(lines, {}, {});
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(std::count(sent[0].begin(), sent[0].end(), '('), 500);
  EXPECT_EQ(std::count(sent[1].begin(), sent[1].end(), '('), 500);
  EXPECT_EQ(sent[2], "INSERT INTO \"t\" VALUES\n('1000');");

  // A batch closes once its text passes the byte bound.
  const std::string wide(1'000'000, 'x');
  std::string wideLines;
  for (int i = 0; i < 6; ++i) wideLines += wide + "\n";
  sent = batches(wideLines, {}, {});
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_GT(sent[0].size(), kCopyBatchMaxBytes);
  EXPECT_LT(sent[1].size(), 1'000'100u);
}

TEST(CopyDataConverter, FindsColumnTypes) {
  const std::vector<std::pair<std::string, std::string>> rebuilt = {{"Id", "INTEGER"}, {"flag", "BOOLEAN"}};
  EXPECT_EQ(copyColumnTypes(&rebuilt, {}), (Types{"INTEGER", "BOOLEAN"}));
  EXPECT_EQ(copyColumnTypes(&rebuilt, {"FLAG", "other", "id"}), (Types{"BOOLEAN", std::nullopt, "INTEGER"}));
  EXPECT_TRUE(copyColumnTypes(nullptr, {"id"}).empty());
}

TEST(CopyDataConverter, LosesOnlyTheFailingBatch) {
  SQLiteDriver staging;
  staging.openInMemory();
  staging.executeRawSQL("CREATE TABLE t (a INTEGER, b BOOLEAN);");
  // The second batch holds a row of three fields.
  const bool failed = copyToInserts("1\tt\n2\tf\n3\tt\tx\n4\tf\n5\tt\n", "t", {}, {"INTEGER", "BOOLEAN"}, staging, 2);
  EXPECT_TRUE(failed);
  const DataTable table = staging.query("SELECT a, b FROM t ORDER BY a");
  ASSERT_EQ(table.rows.size(), 3u);
  EXPECT_EQ(table.rows[2].values, (std::vector<CellValue>{CellValue::integer(5), CellValue::integer(1)}));
  EXPECT_FALSE(copyToInserts("6\tf\n", "t", {"a", "b"}, {"INTEGER", "BOOLEAN"}, staging));
}

}  // namespace
}  // namespace tabvora::internal::SQLDialectNormalizer
