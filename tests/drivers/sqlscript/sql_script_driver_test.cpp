// The SQL script driver over scripts written here: plain scripts written back whole, saves
// refused when the database no longer mirrors the script, dumps of other dialects, failures
// counted; and scripts written to harm the reader: none may reach a file, run without end or
// take unbounded memory; what a bound stops counts as a statement that could not be run, and
// the statements around it still run.
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/sqlite/inspection_limits.hpp"
#include "drivers/sqlscript/sql_script_driver.hpp"
#include "support/test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

// A script driver over files in a temporary folder, its warnings kept.
class SQLScriptTest : public ::testing::Test {
 protected:
  SQLScriptTest() {
    driver.warningSink = [this](const std::string& line) { warnings.push_back(line); };
  }

  DatabaseMetadata open(std::string_view script, const std::string& name = "script.sql") {
    return driver.open(dir.write(name, script));
  }

  std::vector<std::string> rows(const std::string& sql) { return queryRows(driver, sql); }

  TempDir dir;
  SQLScriptDriver driver;
  std::vector<std::string> warnings;
};

constexpr const char* kPeopleRows = "SELECT id, name, height, hex(photo) FROM people ORDER BY id";

TEST_F(SQLScriptTest, APlainScriptOpensUnconvertedAndIsWrittenBackWhole) {
  open("BEGIN TRANSACTION;\n"
       "CREATE TABLE people(id INTEGER PRIMARY KEY, name TEXT, height REAL, photo BLOB);\n"
       "INSERT INTO people VALUES (1, 'Bo''s; -- no comment', 1.75, X'00FF'), (2, NULL, 1e300, NULL);\n"
       "INSERT INTO people VALUES (3, 'nul' || char(0) || 'inside', 0.1, X'');\n"
       "CREATE VIEW tall AS SELECT name FROM people WHERE height > 1;\n"
       "CREATE TRIGGER stamp AFTER INSERT ON people BEGIN UPDATE people SET height = 0 WHERE id = NEW.id; END;\n"
       "COMMIT;\n");
  EXPECT_EQ(driver.failedStatementCount() + driver.skippedStatementCount(), 0);
  EXPECT_FALSE(driver.dialectConverted());
  driver.query("UPDATE people SET name = 'edited' WHERE id = 2");
  const std::vector<std::string> staged = rows(kPeopleRows);
  driver.saveChanges();

  const std::string saved = readFile(dir / "script.sql");
  EXPECT_TRUE(saved.starts_with("CREATE TABLE people(")) << saved;
  EXPECT_TRUE(contains(saved, "INSERT INTO \"people\" VALUES (1, 'Bo''s; -- no comment', 1.75, X'00FF');\n"));
  EXPECT_TRUE(contains(saved, "'nul'||char(0)||'inside'")) << "a NUL must not end the statement";
  EXPECT_TRUE(saved.ends_with(" END;\n"));  // the trigger comes after the rows it would change
  driver.open(dir / "script.sql");
  EXPECT_EQ(driver.failedStatementCount(), 0);
  EXPECT_EQ(rows(kPeopleRows), staged);
}

// Each refused save names why and leaves the file as it was.
TEST_F(SQLScriptTest, SavingIsRefusedWhenTheDatabaseNoLongerMirrorsTheScript) {
  const std::string converted = "This script was converted from ";
  const std::string notSupported = " to be displayed; saving it back is not supported. Use Export instead.";
  const std::pair<std::string, std::string> cases[] = {
      {"-- MySQL dump 10.13\nSET NAMES utf8mb4;\nLOCK TABLES `t` WRITE;\n"
       "CREATE TABLE `t` (`id` int(11) unsigned NOT NULL AUTO_INCREMENT, PRIMARY KEY (`id`)) ENGINE=InnoDB;\n"
       "INSERT INTO `t` VALUES (1),(2);\nUNLOCK TABLES;\n",
       converted + "MySQL" + notSupported},
      {"CREATE TABLE t (a int);\nALTER TABLE t OWNER TO me;\n", converted + "PostgreSQL" + notSupported},
      {"CREATE TABLE t (a);\nALTER TABLE nowhere ADD b;\n", converted + "another SQL dialect" + notSupported},
      {"CREATE TABLE t (a);\nINSERT INTO missing VALUES (1);\nINSERT INTO t VALUES (1, 2);\n",
       "2 statement(s) in this script could not be run (other SQL dialect?). Saving would drop them, so the file was "
       "left untouched. Use Export instead."},
      {"CREATE VIRTUAL TABLE words USING fts4(body);\nINSERT INTO words VALUES ('a');\n",
       "Scripts with virtual tables cannot be saved back. Use Export instead."},
  };
  for (const auto& [script, message] : cases) {
    open(script);
    const DriverError error = errorOf([&] { driver.saveChanges(); });
    EXPECT_EQ(std::make_tuple(error.domain(), error.code(), error.message()),
              std::make_tuple(std::string("SQLScriptDriver"), -2, message));
    EXPECT_EQ(readFile(dir / "script.sql"), script);
  }
}

TEST_F(SQLScriptTest, APostgreSQLDumpSkipsWhatSQLiteHasNoUseForAndFillsTablesFromCopy) {
  open("SET client_encoding = 'UTF8';\nCREATE SCHEMA sales;\n"
       "CREATE TABLE sales.items (id integer DEFAULT nextval('sales.items_id_seq'::regclass) NOT NULL,\n"
       "    name character varying(20), ok boolean, data bytea);\n"
       "ALTER TABLE sales.items OWNER TO postgres;\nCREATE SEQUENCE sales.items_id_seq START WITH 1;\n"
       "COPY sales.items (id, name, ok, data) FROM stdin;\n1\ttab\\there\tt\t\\\\x00ff\n2\t\\N\tf\t\\N\n\\.\n"
       "SELECT pg_catalog.setval('sales.items_id_seq', 2, true);\n"
       "COPY sales.items (id, nosuch) FROM stdin;\n3\tx\n\\.\n");
  EXPECT_EQ(driver.schemas(), (std::set<std::string>{"pg_catalog", "public", "sales"}));
  EXPECT_EQ(driver.skippedStatementCount(), 5);  // SET, SCHEMA, ALTER, SEQUENCE, setval
  EXPECT_EQ(driver.failedStatementCount(), 1);   // the second COPY names no such column
  EXPECT_EQ(driver.rebuiltTables().at("items").at(3), (std::pair<std::string, std::string>{"data", "BLOB"}));
  EXPECT_EQ(rows("SELECT id, name, ok, hex(data) FROM items"),
            (std::vector<std::string>{"1|tab\there|1|00FF", "2|NULL|0|"}));
}

// The first twenty failures are reported (apps/tabvora/cases/sql_scripts.test); all are counted.
TEST_F(SQLScriptTest, FailuresAreCounted) {
  std::string script = "CREATE TABLE t (a);\n";
  for (int i = 1; i <= 21; ++i) script += "INSERT INTO t VALUES (" + std::to_string(i) + ", 2);\n";
  open(script);
  EXPECT_EQ(driver.failedStatementCount(), 21);
  EXPECT_EQ(warnings.size(), 20u);
}

// (UTF-16 scripts of either byte order, and one not in its encoding, are golden cases.)
TEST_F(SQLScriptTest, AScriptThatBuildsNothingIsItsOwnSchemaTextUpToTheSizeLimit) {
  DatabaseMetadata metadata = open("INSERT INTO nowhere VALUES (1);\n-- caf\xE9\n");
  EXPECT_TRUE(metadata.tables.empty());
  EXPECT_EQ(metadata.schemaDDL, "INSERT INTO nowhere VALUES (1);\n-- caf\xC3\xA9\n");  // read as Windows-1252
  std::string large = "INSERT INTO nowhere VALUES (1);";
  large.resize(SQLScriptDriver::kScriptAsSchemaMaxBytes, ' ');
  EXPECT_EQ(open(large).schemaDDL, large);
  EXPECT_EQ(open(large + " ").schemaDDL, "");
}

// Dumps written by the real programs (sqlite3 .dump, mariadb-dump, pg_dump) and the scripts
// of the golden corpus run without a statement that fails; what they build is in the
// corpus's .expected texts (tables of several databases or schemas, serial columns, UTF-16).
TEST_F(SQLScriptTest, RealDumpsRunEveryStatement) {
  for (const auto& entry : std::filesystem::directory_iterator(testData("sqlscript"))) {
    if (entry.path().extension() != ".sql") continue;
    driver.open(entry.path());
    EXPECT_EQ(warnings, std::vector<std::string>{}) << entry.path();
    EXPECT_EQ(driver.failedStatementCount(), 0) << entry.path();
  }
  // A plain script's serial columns fill themselves without making it PostgreSQL.
  driver.open(testData("sqlscript/serial_columns.sql"));
  EXPECT_EQ(driver.dialect(), SQLDialect::generic);
}

const std::string kEndless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) ";

// No statement creates or changes a file (apps/tabvora/cases/sql_scripts.test), nor changes
// the heap limit the driver holds while a script is open.
TEST_F(SQLScriptTest, TheHeapLimitIsTheDriversWhileAScriptIsOpen) {
  const sqlite3_int64 heapLimit = sqlite3_hard_heap_limit64(-1);
  open("CREATE TABLE t (a);\nPRAGMA hard_heap_limit = 0;\n");
  EXPECT_EQ(sqlite3_hard_heap_limit64(-1), SQLScriptDriver::kMinHeapLimitBytes);
  driver.close();
  EXPECT_EQ(sqlite3_hard_heap_limit64(-1), heapLimit);
}

TEST_F(SQLScriptTest, RunawayStatementsAreStoppedAndTheScriptGoesOnUntilItsOwnTimeLimit) {
  driver.limits.statementTime = std::chrono::milliseconds(300);
  open("CREATE TABLE t (a);\nINSERT INTO t VALUES (1);\n" + kEndless + "SELECT count(*) FROM c;\n" +
       "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s LIMIT 100000) "
       "SELECT count(*) FROM s a, s b, s c;\n"
       "INSERT INTO t " + kEndless + "SELECT x FROM c WHERE x < 0;\n"
       "CREATE TABLE u AS " + kEndless + "SELECT x FROM c WHERE x < 0;\n"
       "INSERT INTO t VALUES (2);\n");
  EXPECT_EQ(driver.failedStatementCount(), 4);
  EXPECT_EQ(warnings.at(0), "SQL warning: could not run statement (stopped after 300 ms): " +
                                (kEndless + "SELECT count(*) FROM c").substr(0, 80) + "...");
  EXPECT_EQ(rows("SELECT group_concat(a) FROM t"), std::vector<std::string>{"1,2"});
  EXPECT_EQ(rows("SELECT count(*) FROM sqlite_master"), std::vector<std::string>{"1"});

  driver.limits = {.statementTime = std::chrono::seconds(5), .openTime = std::chrono::seconds(1)};
  const std::string endless = kEndless + "SELECT count(*) FROM c;\n";
  open("CREATE TABLE t (a);\n" + endless + endless + endless + "INSERT INTO t VALUES (1);\n");
  EXPECT_EQ(driver.failedStatementCount(), 2);  // the statement running at the limit, and the rest
  EXPECT_EQ(warnings.back(), "SQL warning: the script ran longer than 1 s; the rest of it was not run");
  EXPECT_EQ(rows("SELECT count(*) FROM t"), std::vector<std::string>{"0"});  // reads go on after the open
}

// A preview has a short budget of its own; other opens keep the long one.
TEST_F(SQLScriptTest, APreviewRunsTheScriptWithinItsOwnBudget) {
  driver.limits = {.openTime = std::chrono::seconds(1), .previewOpenTime = std::chrono::milliseconds(300)};
  std::string script = "CREATE TABLE t (a);\n";
  for (int i = 0; i < 30; ++i) script += kEndless + "SELECT count(*) FROM c;\n";
  for (const auto& [rowLimit, budget] : {std::pair{std::optional<std::int64_t>(200), "300 ms"},
                                         std::pair{std::optional<std::int64_t>(), "1 s"}}) {
    driver.previewRowLimit = rowLimit;
    warnings.clear();
    const auto started = std::chrono::steady_clock::now();
    open(script);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000) * (rowLimit ? 1 : 3));
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "SQL warning: could not run statement (stopped at the script's limit of " +
                                std::string(budget) + "): " + (kEndless + "SELECT count(*) FROM c").substr(0, 80) +
                                "...",
                            "SQL warning: the script ran longer than " + std::string(budget) +
                                "; the rest of it was not run"}));
  }
}

// Everything the script stages counts against one heap budget; a view whose first row
// cannot be read (past that budget, or calling what SQLite lacks) is reported and left out.
TEST_F(SQLScriptTest, WhatAScriptStagesSharesOneMemoryBudget) {
  // Only the memory bound may stop these statements, however slow the machine.
  const std::chrono::minutes ample{10};
  driver.limits = {.statementTime = ample, .openTime = ample, .previewOpenTime = ample, .minHeapBytes = 64 << 20};
  std::string script = "CREATE TABLE b (x);\n";
  for (int i = 0; i < 12; ++i) script += "INSERT INTO b VALUES (randomblob(8000000));\n";
  open(script);
  EXPECT_GE(driver.failedStatementCount(), 1);
  EXPECT_LE(std::stoi(rows("SELECT count(*) FROM b").at(0)), 8);
  EXPECT_TRUE(warnings.at(0).starts_with("SQL warning: could not run statement (out of memory): INSERT"))
      << warnings[0];

  warnings.clear();
  const DatabaseMetadata metadata =
      open("CREATE TABLE t (a);\nINSERT INTO t VALUES (1);\nCREATE VIEW huge AS WITH RECURSIVE c(x) AS (SELECT 1 "
           "UNION ALL SELECT x + 1 FROM c WHERE x < 100) SELECT group_concat(hex(randomblob(1000000))) FROM c;\n"
           "CREATE VIEW months AS SELECT date_trunc('month', a) FROM t;\nCREATE VIEW fine AS SELECT a FROM t;\n");
  ASSERT_EQ(metadata.tables.size(), 2u);
  EXPECT_EQ(metadata.tables[0].name, "fine");
  EXPECT_EQ(driver.failedStatementCount(), 2);
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "SQL warning: view huge cannot be read (out of memory); it was left out",
                          "SQL warning: view months cannot be read (no such function: date_trunc); it was left out"}));

  // A preview has a smaller heap of its own, whatever the script's size.
  driver.limits.minHeapBytes = std::int64_t{1} << 30;
  driver.limits.previewHeapBytes = 32 << 20;
  driver.previewRowLimit = 200;
  warnings.clear();
  const DatabaseMetadata preview =
      open("CREATE TABLE t (a);\nCREATE VIEW big AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
           "WHERE x < 10) SELECT group_concat(hex(randomblob(4000000))) FROM c;\n");
  EXPECT_EQ(tableNames(preview), std::vector<std::string>{"t"}) << (warnings.empty() ? "" : warnings[0]);
}

TEST_F(SQLScriptTest, ValuesAndMemoryAreBounded) {
  driver.limits.minHeapBytes = 64 << 20;
  const std::string largest = std::to_string(InspectionLimits::kMaxValueBytes);
  const std::pair<std::string, int> cases[] = {
      {"SELECT length(zeroblob(" + largest + "))", 0},
      {"SELECT length(zeroblob(" + largest + " + 1))", 1},
      {"SELECT length(hex(zeroblob(200000000)))", 1},
      {"CREATE TABLE big AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 64) "
       "SELECT randomblob(8000000) AS b FROM c",
       1},
  };
  for (const auto& [statement, failures] : cases) {
    open("CREATE TABLE t (a);\n" + statement + ";\nINSERT INTO t VALUES (1);\n");
    EXPECT_EQ(driver.failedStatementCount(), failures) << statement;
    EXPECT_EQ(rows("SELECT a FROM t"), std::vector<std::string>{"1"}) << statement;
  }

  driver.limits = {};
  std::string longest(InspectionLimits::kMaxScriptStatementBytes, 'x');
  longest.replace(0, 15, "SELECT length('").replace(longest.size() - 2, 2, "')");
  for (const int failures : {0, 1}) {
    open(failures ? longest.insert(15, "x") : longest);
    EXPECT_EQ(driver.failedStatementCount(), failures) << "statement of " << longest.size() << " bytes";
  }
}

TEST_F(SQLScriptTest, BinaryDataNamedSQLOpensAsAScriptThatBuildsNothing) {
  std::string bytes(65536, '\0');
  std::uint32_t state = 12345;
  for (char& byte : bytes) byte = static_cast<char>((state = state * 1103515245 + 12345) >> 24);
  bytes[0] = 'x';  // no byte-order mark
  DatabaseMetadata metadata = open(bytes, "noise.sql");
  EXPECT_TRUE(metadata.tables.empty());
  EXPECT_LE(warnings.size(), 20u);
}

}  // namespace
}  // namespace tabvora::testing
