#include "drivers/sqlscript/sql_script_driver_test_support.hpp"

#include "platform/text_encoding.hpp"

namespace tabvora::testing {
namespace {

constexpr std::string_view kPlainScript =
    "-- a plain SQLite script\n"
    "BEGIN TRANSACTION;\n"
    "CREATE TABLE people(id INTEGER PRIMARY KEY, name TEXT, height REAL, photo BLOB);\n"
    "INSERT INTO people VALUES (1, 'Bo''s; -- not a comment', 1.75, X'00FF'), (2, NULL, 1e300, NULL);\n"
    "INSERT INTO people VALUES (3, 'nul' || char(0) || 'inside', 0.1, X'');\n"
    "CREATE INDEX people_name ON people(name);\n"
    "CREATE VIEW tall AS SELECT name FROM people WHERE height > 1;\n"
    "CREATE TRIGGER stamp AFTER INSERT ON people BEGIN UPDATE people SET height = 0 WHERE id = NEW.id; END;\n"
    "COMMIT;\n";

constexpr const char* kPeopleRows = "SELECT id, name, height, hex(photo) FROM people ORDER BY id";

TEST_F(SQLScriptTest, APlainScriptOpensUnconvertedAndIsWrittenBackWhole) {
  open(kPlainScript);
  EXPECT_EQ(driver.failedStatementCount(), 0);
  EXPECT_EQ(driver.skippedStatementCount(), 0);
  EXPECT_FALSE(driver.dialectConverted());
  const std::vector<std::string> before = rows(kPeopleRows);
  ASSERT_EQ(before.size(), 3u);
  EXPECT_EQ(before[0], "1|Bo's; -- not a comment|1.75|00FF");

  driver.internalSQLite.executeRawSQL("UPDATE people SET name = 'edited' WHERE id = 2");
  driver.saveChanges();
  const std::string saved = readFile(dir / "script.sql");
  EXPECT_TRUE(saved.starts_with("CREATE TABLE people(")) << saved;
  EXPECT_TRUE(contains(saved, "INSERT INTO \"people\" VALUES (1, 'Bo''s; -- not a comment', 1.75, X'00FF');\n"));
  EXPECT_TRUE(contains(saved, "'nul'||char(0)||'inside'")) << "a NUL must not end the statement";
  EXPECT_TRUE(saved.ends_with("END;\n"));

  SQLScriptDriver reopened;
  reopened.open(dir / "script.sql");
  EXPECT_EQ(reopened.failedStatementCount(), 0);
  std::vector<std::string> after;
  for (const DataRow& row : reopened.query(kPeopleRows).rows) after.push_back(row.values[1].rawValueString());
  EXPECT_EQ(after, (std::vector<std::string>{"Bo's; -- not a comment", "edited", std::string("nul\0inside", 10)}));
  EXPECT_EQ(reopened.fetchTables().size(), 2u);
}

// Each refused save names why and leaves the file as it was.
TEST_F(SQLScriptTest, SavingIsRefusedWhenTheDatabaseNoLongerMirrorsTheScript) {
  const struct {
    std::string script;
    std::string message;
  } cases[] = {
      {"-- MySQL dump 10.13\nSET NAMES utf8mb4;\nLOCK TABLES `t` WRITE;\n"
       "CREATE TABLE `t` (`id` int(11) unsigned NOT NULL AUTO_INCREMENT, PRIMARY KEY (`id`)) ENGINE=InnoDB;\n"
       "INSERT INTO `t` VALUES (1),(2);\nUNLOCK TABLES;\n",
       "This script was converted from MySQL to be displayed; saving it back is not supported. Use Export instead."},
      {"CREATE TABLE t (a int);\nALTER TABLE t OWNER TO me;\n",
       "This script was converted from PostgreSQL to be displayed; saving it back is not supported. Use Export "
       "instead."},
      {"CREATE TABLE t (a);\nINSERT INTO t VALUES (1);\nALTER TABLE nowhere ADD b;\n",
       "This script was converted from another SQL dialect to be displayed; saving it back is not supported. Use "
       "Export instead."},
      {"CREATE TABLE t (a);\nINSERT INTO missing VALUES (1);\nINSERT INTO t VALUES (1, 2);\n",
       "2 statement(s) in this script could not be run (other SQL dialect?). Saving would drop them, so the file was "
       "left untouched. Use Export instead."},
      {"CREATE VIRTUAL TABLE words USING fts4(body);\nINSERT INTO words VALUES ('a');\n",
       "Scripts with virtual tables cannot be saved back. Use Export instead."},
  };
  for (const auto& [script, message] : cases) {
    open(script);
    try {
      driver.saveChanges();
      ADD_FAILURE() << "saved: " << script;
    } catch (const DriverError& error) {
      EXPECT_EQ(error.domain(), "SQLScriptDriver");
      EXPECT_EQ(error.code(), -2);
      EXPECT_EQ(error.message(), message);
    }
    EXPECT_EQ(readFile(dir / "script.sql"), script);
  }
  EXPECT_EQ(rows("SELECT count(*) FROM words"), std::vector<std::string>{"1"});
}

TEST_F(SQLScriptTest, APostgreSQLDumpSkipsWhatSQLiteHasNoUseForAndFillsTablesFromCopy) {
  open("SET client_encoding = 'UTF8';\n"
       "CREATE SCHEMA sales;\n"
       "CREATE TABLE sales.items (id integer DEFAULT nextval('sales.items_id_seq'::regclass) NOT NULL,\n"
       "    name character varying(20), ok boolean, data bytea);\n"
       "ALTER TABLE sales.items OWNER TO postgres;\n"
       "CREATE SEQUENCE sales.items_id_seq START WITH 1;\n"
       "COPY sales.items (id, name, ok, data) FROM stdin;\n"
       "1\ttab\\there\tt\t\\\\x00ff\n2\t\\N\tf\t\\N\n\\.\n"
       "SELECT pg_catalog.setval('sales.items_id_seq', 2, true);\n"
       "COPY sales.items (id, nosuch) FROM stdin;\n3\tx\n\\.\n");
  EXPECT_EQ(driver.dialect(), SQLDialect::postgres);
  EXPECT_EQ(driver.schemas(), (std::set<std::string>{"pg_catalog", "public", "sales"}));
  EXPECT_EQ(driver.skippedStatementCount(), 5);  // SET, SCHEMA, ALTER, SEQUENCE, setval
  EXPECT_EQ(driver.failedStatementCount(), 1);   // the second COPY names no such column
  ASSERT_EQ(tableNames(), std::vector<std::string>{"items"});
  EXPECT_EQ(driver.rebuiltTables().at("items").at(3), (std::pair<std::string, std::string>{"data", "BLOB"}));
  EXPECT_EQ(rows("SELECT id, name, ok, hex(data) FROM items"),
            (std::vector<std::string>{"1|tab\there|1|00FF", "2|NULL|0|"}));
}

TEST_F(SQLScriptTest, FailuresAreCountedAndTheFirstTwentyReportedOnOneLineEach) {
  std::string script = "CREATE TABLE t (a);\n";
  for (int i = 1; i <= 21; ++i) script += "INSERT INTO t VALUES (" + std::to_string(i) + ", 'two\ncolumns');\n";
  script += "INSERT INTO t VALUES ('" + std::string(100, 'x') + "\x1B[2J', 2);\nINSERT INTO t VALUES (0);\n";
  open(script);
  EXPECT_EQ(driver.failedStatementCount(), 22);
  ASSERT_EQ(warnings.size(), 20u);
  EXPECT_EQ(warnings[0], "SQL warning: could not run statement: INSERT INTO t VALUES (1, 'two columns')...");
  EXPECT_EQ(rows("SELECT a FROM t"), std::vector<std::string>{"0"});
}

TEST_F(SQLScriptTest, UTF16ScriptsWithAMarkReadLikeTheirUTF8Text) {
  const std::string text = "CREATE TABLE t (a);\nINSERT INTO t VALUES ('Žluťoučký 🐎');\n";
  for (TextEncoding encoding : {TextEncoding::utf16LittleEndian, TextEncoding::utf16BigEndian}) {
    const std::string mark = encoding == TextEncoding::utf16LittleEndian ? "\xFF\xFE" : "\xFE\xFF";
    open(mark + *encodeText(text, encoding));
    EXPECT_EQ(rows("SELECT a FROM t"), std::vector<std::string>{"Žluťoučký 🐎"});
  }
  // A lone high surrogate after the mark.
  try {
    open(std::string("\xFF\xFE" "a\0\x00\xD8" "b\0", 8));
    ADD_FAILURE() << "invalid UTF-16 opened";
  } catch (const DriverError& error) {
    EXPECT_EQ(error.message(), "Unsupported text encoding in SQL script");
    EXPECT_EQ(error.code(), -1);
  }
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

TEST_F(SQLScriptTest, MissingAndUnreadableFilesFailNamingThePath) {
  try {
    driver.open(dir / "missing.sql");
    ADD_FAILURE();
  } catch (const DriverError& error) {
    EXPECT_EQ(error.message(), "Failed to read SQL script at " + (dir / "missing.sql").string());
  }
  EXPECT_THROW(driver.open(dir.path()), DriverError);
}

}  // namespace
}  // namespace tabvora::testing
