#include "drivers/sqlscript/create_table_rewriter.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlscript/sql_script_limits.hpp"
#include "drivers/sqlscript/sql_statement_rewriter.hpp"
#include "model/driver_error.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal::SQLDialectNormalizer {
namespace {

// What the script driver does with a dump's CREATE TABLE: rewrite, then parse.
std::optional<ParsedTable> parse(std::string_view statement, SQLDialect dialect) {
  return parseCreateTable(rewriteStatement(statement, dialect, {"public", "pg_catalog"}), dialect);
}

std::string fullSQL(std::string_view statement, SQLDialect dialect) {
  const std::optional<ParsedTable> table = parse(statement, dialect);
  return table ? createTableSQL(*table, CreateTableLevel::full) : "(not parsed)";
}

std::vector<std::string> wordsOf(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

TEST(CreateTableRewriter, RebuildsTablesColumnsAndTypes) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/sqlscript/create_table_rewriter.cases")) {
    const SQLDialect dialect = c.word(1) == "mysql" ? SQLDialect::mysql : SQLDialect::postgres;
    std::string expected;
    for (const std::string& line : c.expected) expected += (expected.empty() ? "" : "\n") + line;
    if (c.word(0) == "table") {
      EXPECT_EQ(fullSQL(c.joinedInput(), dialect), expected) << c.where;
    }
    if (c.word(0) == "column") {
      EXPECT_EQ(fullSQL("CREATE TABLE t (" + c.joinedInput() + ")", SQLDialect::mysql),
                "CREATE TABLE \"t\" (\n    " + expected + "\n)") << c.where;
    }
    if (c.word(0) == "refused") {
      EXPECT_FALSE(parse(c.joinedInput(), SQLDialect::postgres)) << c.where;
    }
    if (c.word(0) == "type") {
      const bool array = c.word(2) == "array", isUnsigned = c.word(2) == "unsigned";
      EXPECT_EQ(sqliteType(wordsOf(c.input.at(0)), wordsOf(c.input.size() > 1 ? c.input[1] : ""), array, isUnsigned,
                           dialect), expected) << c.where;
    }
  }
}

TEST(CreateTableRewriter, LevelsKeepLessAndLess) {
  const std::optional<ParsedTable> table = parse(
      "CREATE TEMP TABLE t (a int NOT NULL DEFAULT 1, b text UNIQUE, c int PRIMARY KEY, PRIMARY KEY (a, b), "
      "FOREIGN KEY (c) REFERENCES o (x, y), FOREIGN KEY (zz) REFERENCES o)",
      SQLDialect::postgres);
  ASSERT_TRUE(table);
  EXPECT_EQ(
      createTableSQL(*table, CreateTableLevel::full),
      "CREATE TEMP TABLE \"t\" (\n    \"a\" INTEGER NOT NULL DEFAULT 1,\n    \"b\" TEXT UNIQUE,\n    \"c\" INTEGER,\n"
      "    PRIMARY KEY (\"a\", \"b\"),\n    FOREIGN KEY (\"c\") REFERENCES \"o\",\n    FOREIGN KEY (\"zz\") REFERENCES "
      "\"o\"\n)");
  EXPECT_EQ(createTableSQL(*table, CreateTableLevel::keysOnly),
            "CREATE TEMP TABLE \"t\" (\n    \"a\" INTEGER,\n    \"b\" TEXT,\n    \"c\" INTEGER,\n    PRIMARY KEY "
            "(\"a\", \"b\")\n)");
  EXPECT_EQ(createTableSQL(*table, CreateTableLevel::columnsOnly),
            "CREATE TEMP TABLE \"t\" (\n    \"a\" INTEGER,\n    \"b\" TEXT,\n    \"c\" INTEGER\n)");

  // SQLite refuses the full text (a foreign key names an unknown column) and takes the next.
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

}  // namespace
}  // namespace tabvora::internal::SQLDialectNormalizer
