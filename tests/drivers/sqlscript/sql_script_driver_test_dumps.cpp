// Dumps written by the real programs: sqlite3 .dump, mariadb-dump (extended inserts with
// raw bytes; one row per INSERT with hex blobs) and pg_dump (COPY blocks; --inserts).

#include <filesystem>

#include "drivers/sqlscript/sql_script_driver_test_support.hpp"

namespace tabvora::testing {
namespace {

struct DumpCase {
  const char* file;
  SQLDialect dialect;
  // Tables and views as listed (by name), each table with its row count.
  std::vector<std::pair<std::string, std::optional<std::int64_t>>> tables;
  std::string firstRowQuery;
  std::string firstRow;
};

TEST_F(SQLScriptTest, RealDumpsBuildTheirTablesWithTheirRows) {
  const DumpCase cases[] = {
      {"sqlscript/sqlite3_dump.sql",
       SQLDialect::generic,
       {{"order lines", 2}, {"people", 3}, {"tall", std::nullopt}},
       "SELECT id, name, height, hex(photo), note FROM people ORDER BY id",
       "1|Ada|1.68|89504E47|NULL"},
      {"sqlscript/mariadb_dump.sql",
       SQLDialect::mysql,
       {{"active_customers", std::nullopt}, {"audit_log", 1}, {"customers", 6}, {"order items", 4}},
       "SELECT * FROM audit_log",
       "1|6|insert|2024-01-01 00:00:00"},
      {"sqlscript/mariadb_dump_hex_single_rows.sql",
       SQLDialect::mysql,
       {{"authors", 3}, {"books", 3}, {"cheap", std::nullopt}},
       "SELECT isbn, author_id, title, price, hex(cover), flags FROM books ORDER BY isbn",
       "9780000000001|1|Notes; on the engine|12.5|89504E470D0A1A0A00FF|new"},
      {"sqlscript/pg_dump.sql",
       SQLDialect::postgres,
       {{"Order Lines", 3}, {"in_stock_products", std::nullopt}, {"products", 24}},
       "SELECT * FROM \"Order Lines\" ORDER BY line_id",
       "1|1|2|first|2024-01-01 00:00:00+00"},
      {"sqlscript/pg_dump_inserts.sql",
       SQLDialect::postgres,
       {{"customers", 3}, {"happy", std::nullopt}, {"notes", 2}},
       "SELECT id, name, mood, tags, balance, hex(photo), active FROM customers ORDER BY id",
       "1|Ada|happy|{a,b}|12.5|5C783839353034653437|1"},
  };
  for (const DumpCase& dump : cases) {
    SCOPED_TRACE(dump.file);
    const DatabaseMetadata metadata = driver.open(testData(dump.file));
    EXPECT_EQ(driver.dialect(), dump.dialect);
    std::vector<std::pair<std::string, std::optional<std::int64_t>>> tables;
    for (const TableMetadata& table : metadata.tables) tables.emplace_back(table.name, table.rowCount);
    EXPECT_EQ(tables, dump.tables);
    const std::vector<std::string> found = rows(dump.firstRowQuery);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0], dump.firstRow);
    EXPECT_EQ(metadata.fileSize, static_cast<std::int64_t>(std::filesystem::file_size(testData(dump.file))));
    for (const std::string& warning : warnings) ADD_FAILURE() << warning;
    warnings.clear();
  }
}

}  // namespace
}  // namespace tabvora::testing
