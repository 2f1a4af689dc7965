#include <filesystem>

#include "drivers/sqlscript/sql_script_driver_test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

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

TEST_F(SQLScriptTest, FailuresAreCountedAndTheFirstTwentyReportedOnOneLineEach) {
  std::string script = "CREATE TABLE t (a);\n";
  for (int i = 1; i <= 21; ++i) script += "INSERT INTO t VALUES (" + std::to_string(i) + ", 'two\ncolumns');\n";
  script += "INSERT INTO t VALUES (0);\n";
  open(script);
  EXPECT_EQ(driver.failedStatementCount(), 21);
  ASSERT_EQ(warnings.size(), 20u);
  EXPECT_EQ(warnings[0], "SQL warning: could not run statement: INSERT INTO t VALUES (1, 'two columns')...");
  EXPECT_EQ(rows("SELECT a FROM t"), std::vector<std::string>{"0"});
}

// (UTF-16 scripts of either byte order are golden cases.)
TEST_F(SQLScriptTest, TextThatIsNotInItsEncodingFailsClearly) {
  const DriverError error = errorOf([&] { open(std::string("\xFF\xFE" "a\0\x00\xD8" "b\0", 8)); });
  EXPECT_EQ(std::make_pair(error.code(), error.message()), std::make_pair(-1, std::string("Unsupported text encoding in SQL script")));
}

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

}  // namespace
}  // namespace tabvora::testing
