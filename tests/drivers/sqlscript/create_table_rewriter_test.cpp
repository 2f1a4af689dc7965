#include "drivers/sqlscript/create_table_rewriter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlscript/sql_script_limits.hpp"
#include "drivers/sqlscript/sql_statement_rewriter.hpp"
#include "model/driver_error.hpp"

namespace tabvora::SQLDialectNormalizer {
namespace {

// What the script driver does with a dump's CREATE TABLE: rewrite, then parse.
std::optional<ParsedTable> parse(std::string_view statement, SQLDialect dialect) {
  return parseCreateTable(rewriteStatement(statement, dialect, {"public", "pg_catalog"}), dialect);
}

std::string fullSQL(std::string_view statement, SQLDialect dialect) {
  const std::optional<ParsedTable> table = parse(statement, dialect);
  return table ? createTableSQL(*table, CreateTableLevel::full) : "(not parsed)";
}

TEST(CreateTableRewriter, RebuildsDumpTables) {
  EXPECT_EQ(fullSQL("CREATE TABLE `t` (\n  `id` int(11) unsigned NOT NULL AUTO_INCREMENT,\n"
                    "  `flag` tinyint(1) DEFAULT '0' COMMENT 'x',\n  `key` int(11),\n  PRIMARY KEY (`id`),\n"
                    "  KEY `k` (`flag`),\n  KEY k2 (`key`),\n  FULLTEXT KEY `f` (`key`)\n"
                    ") ENGINE=InnoDB AUTO_INCREMENT=3 DEFAULT CHARSET=utf8mb4",
                    SQLDialect::mysql),
            "CREATE TABLE \"t\" (\n    \"id\" INTEGER PRIMARY KEY NOT NULL,\n    \"flag\" BOOLEAN DEFAULT '0',\n"
            "    \"key\" INTEGER\n)");
  EXPECT_EQ(fullSQL("CREATE UNLOGGED TABLE IF NOT EXISTS public.t (\n"
                    "    id integer DEFAULT nextval('public.t_id_seq'::regclass) NOT NULL,\n"
                    "    created timestamp without time zone DEFAULT now(),\n"
                    "    big bigint unsigned UNIQUE, tags int[], amount numeric(10,2) DEFAULT -1.5,\n"
                    "    name character varying(20) DEFAULT 'x'::character varying COLLATE pg_catalog.\"C\",\n"
                    "    CONSTRAINT t_pkey PRIMARY KEY (id),\n"
                    "    CONSTRAINT fk FOREIGN KEY (big) REFERENCES public.p(id) ON DELETE CASCADE ON UPDATE SET NULL "
                    "MATCH FULL,\n"
                    "    UNIQUE (name, misspelt), UNIQUE (big, name), CHECK (id > 0)\n)",
                    SQLDialect::postgres),
            "CREATE TABLE IF NOT EXISTS \"t\" (\n    \"id\" INTEGER PRIMARY KEY NOT NULL,\n"
            "    \"created\" DATETIME DEFAULT CURRENT_TIMESTAMP,\n    \"big\" UNSIGNED BIG INT UNIQUE,\n"
            "    \"tags\" TEXT,\n    \"amount\" NUMERIC DEFAULT -1.5,\n    \"name\" TEXT DEFAULT 'x',\n"
            "    UNIQUE (\"big\", \"name\"),\n"
            "    FOREIGN KEY (\"big\") REFERENCES \"p\" (\"id\") ON DELETE CASCADE ON UPDATE SET NULL\n)");
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

TEST(CreateTableRewriter, ReadsColumnDefinitions) {
  struct Case {
    std::string column;
    std::string expected;  // the column's line at level full
  };
  const std::vector<Case> cases = {
      {"a \"public\".\"my type\"", "\"a\" TEXT"},
      {"a public.int4 ARRAY", "\"a\" TEXT"},
      {"\"a\"\"b\" bit(1) NULL DEFAULT NULL", "\"a\"\"b\" BOOLEAN DEFAULT NULL"},
      {"a double precision DEFAULT +2 NOT NULL", "\"a\" REAL NOT NULL DEFAULT 2"},
      {"a datetime(6) DEFAULT CURRENT_TIMESTAMP(6) ON UPDATE CURRENT_TIMESTAMP(6)",
       "\"a\" DATETIME DEFAULT CURRENT_TIMESTAMP"},
      {"a blob DEFAULT x'00' PRIMARY KEY", "\"a\" BLOB PRIMARY KEY DEFAULT X'00'"},
      {"a varchar(3) CHARACTER SET utf8 COLLATE utf8_bin DEFAULT localtime UNIQUE KEY",
       "\"a\" TEXT UNIQUE DEFAULT CURRENT_TIMESTAMP"},
      {"a int GENERATED ALWAYS AS (b + 1) STORED REFERENCES o (x) CHECK (a > 0)", "\"a\" INTEGER"},
      {"a enum('x','y') DEFAULT 'x' NOT NULL", "\"a\" TEXT NOT NULL DEFAULT 'x'"},
      {"a text DEFAULT uuid() NOT NULL", "\"a\" TEXT NOT NULL"},
      {"a int DEFAULT (1 + 2)", "\"a\" INTEGER"},
      {"a", "\"a\" TEXT"},
  };
  for (const Case& c : cases) {
    const std::string sql = fullSQL("CREATE TABLE t (" + c.column + ")", SQLDialect::mysql);
    EXPECT_EQ(sql, "CREATE TABLE \"t\" (\n    " + c.expected + "\n)") << c.column;
  }
}

TEST(CreateTableRewriter, RefusesWhatItCannotRebuild) {
  const std::vector<std::string> refused = {
      "CREATE TABLE t AS SELECT 1",
      "CREATE VIEW t (a int)",
      "CREATE OR REPLACE TABLE t (a int)",
      "CREATE TABLE t ()",
      "CREATE TABLE t (a int, A text)",
      "CREATE TABLE t (a int,)",
      "CREATE TABLE t ('a' int)",
      "CREATE TABLE t (a int",
      "CREATE TABLE t (a numeric(10, b int)",
      "CREATE TABLE (a int)",
      "CREATE TABLE t (PRIMARY KEY (a))",
      "",
  };
  for (const std::string& statement : refused) EXPECT_FALSE(parse(statement, SQLDialect::postgres)) << statement;

  std::string big = "CREATE TABLE t (a text DEFAULT '";
  const std::string end = "')";
  big += std::string(kMaxCreateTableBytes - big.size() - end.size(), 'x') + end;
  EXPECT_TRUE(parseCreateTable(big, SQLDialect::postgres));
  big.insert(big.size() - end.size(), "x");
  EXPECT_FALSE(parseCreateTable(big, SQLDialect::postgres));

  // Many columns and groups are checked by name lookups, not by pairs.
  std::string wide = "CREATE TABLE t (";
  for (int i = 0; i < 20'000; ++i) wide += "c" + std::to_string(i) + " int, UNIQUE (c" + std::to_string(i) + "), ";
  std::optional<ParsedTable> table = parseCreateTable(wide + "PRIMARY KEY (C0))", SQLDialect::postgres);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->columns.size(), 20'000u);
  EXPECT_EQ(table->uniques.size(), 20'000u);
  EXPECT_EQ(table->primaryKey, std::vector<std::string>{"C0"});
  EXPECT_FALSE(parseCreateTable(wide + "C19999 text)", SQLDialect::postgres));
}

// Branches not already reached by the column definitions above; the rest is a lookup table.
TEST(CreateTableRewriter, MapsTypes) {
  struct Case {
    std::vector<std::string> words;
    std::vector<std::string> arguments;
    bool isArray;
    bool isUnsigned;
    SQLDialect dialect;
    std::string expected;
  };
  constexpr SQLDialect my = SQLDialect::mysql, pg = SQLDialect::postgres;
  const std::vector<Case> cases = {
      {{"tinyint"}, {"4"}, false, false, my, "INTEGER"},
      {{"tinyint"}, {}, false, false, my, "INTEGER"},
      {{"boolean"}, {}, false, false, pg, "BOOLEAN"},
      {{"bit"}, {}, false, false, pg, "BOOLEAN"},
      {{"bit"}, {"8"}, false, false, my, "INTEGER"},
      {{"bit"}, {"8"}, false, false, pg, "TEXT"},
      {{"bit", "varying"}, {}, false, false, pg, "TEXT"},
      {{"serial8"}, {}, false, false, pg, "INTEGER"},
      {{"timetz"}, {}, false, false, pg, "TIME"},
      {{"timestamp", "with", "time", "zone"}, {}, false, false, pg, "DATETIME"},
      {{"jsonb"}, {}, false, false, pg, "JSON"},
      {{"jsonb"}, {}, true, false, pg, "TEXT"},
      {{"polygon"}, {}, false, false, my, "BLOB"},
      {{}, {}, false, true, pg, "TEXT"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sqliteType(c.words, c.arguments, c.isArray, c.isUnsigned, c.dialect), c.expected)
        << ::testing::PrintToString(c.words);
  }
}

}  // namespace
}  // namespace tabvora::SQLDialectNormalizer
