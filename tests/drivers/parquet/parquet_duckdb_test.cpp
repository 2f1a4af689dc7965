// The Parquet driver with a real DuckDB engine behind the command-line contract, and the
// tabvora host finding it through TABVORA_DUCKDB.

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "drivers/parquet/parquet_driver.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::TempDir;
using Lines = std::vector<std::string>;

const std::filesystem::path kEngine = TABVORA_DUCKDB_ENGINE;

#define REQUIRE_DUCKDB_ENGINE()                                                \
  if (::access(kEngine.c_str(), X_OK) != 0)                                   \
  GTEST_SKIP() << "The DuckDB engine of npm is not installed at " << kEngine \
               << " (npm unreachable?): the test parquet_engine_setup installs it"

std::filesystem::path copyOf(const TempDir& dir, std::string_view data, std::string_view name) {
  const std::filesystem::path path = dir / name;
  testing::writeFile(path, testing::readFile(testing::testData(std::string("parquet/") + std::string(data))));
  return path;
}

std::string line(const DataRow& row) {
  std::string text;
  for (std::size_t i = 0; i < row.values.size(); ++i)
    text += (i ? "|" : "") + (row.values[i].isNull() ? std::string("NULL") : row.values[i].rawValueString());
  return text;
}

Lines rowsOf(DatabaseDriver& driver, const std::string& sql) {
  Lines lines;
  for (const DataRow& row : driver.query(sql).rows) lines.push_back(line(row));
  return lines;
}

Lines schemaOf(DatabaseDriver& driver, const std::string& table) {
  Lines columns;
  for (const DataColumn& column : driver.fetchSchema(table))
    columns.push_back(column.name + " " + std::string(column.type.rawValue()));
  return columns;
}

TEST(ParquetDuckDBTest, CorpusFilesMatchTheirManifest) {
  REQUIRE_DUCKDB_ENGINE();
  ParquetDriver driver({kEngine});
  driver.open(testing::testData("parquet/duckdb_types_7000.parquet"));
  const std::string table = "duckdb_types_7000";
  EXPECT_EQ(schemaOf(driver, table), (Lines{"id INTEGER", "i32 INTEGER", "dbl REAL", "name TEXT", "flag BOOLEAN",
                                            "day TEXT", "ts TEXT", "tags JSON", "pt JSON", "amount TEXT"}));
  EXPECT_EQ(rowsOf(driver, "SELECT count(*), max(id) FROM " + table), (Lines{"5000|5000"}));
  EXPECT_EQ(rowsOf(driver, "SELECT * FROM " + table + " WHERE id IN (1, 5000)"),
            (Lines{R"(1|7|0.125|name 1|0|2020-01-02|2024-01-01 00:01:01|["t1","u1"]|{"x":1,"y":0.25,"label":"p1"}|1.01)",
                   R"(5000|0|625.0|NULL|0|2021-05-15|2024-01-04 12:43:20|[]|{"x":0,"y":1250,"label":"p5000"}|5050.00)"}));

  driver.open(testing::testData("parquet/hyparquet_writer.parquet"));
  EXPECT_EQ(schemaOf(driver, "hyparquet_writer"),
            (Lines{"name TEXT", "age INTEGER", "score REAL", "active BOOLEAN", "seen TEXT"}));
  EXPECT_EQ(rowsOf(driver, "SELECT * FROM hyparquet_writer WHERE rowid IN (1, 50)"),
            (Lines{"user1|20|NULL|1|2024-01-01 12:00:00", "user50|29|NULL|0|2024-02-19 12:00:00"}));
}

TEST(ParquetDuckDBTest, NamesAndValuesOfAHandMadeFile) {
  REQUIRE_DUCKDB_ENGINE();
  TempDir dir;
  ParquetDriver driver({kEngine});
  const DatabaseMetadata metadata = driver.open(copyOf(dir, "values.parquet", "2023 it's-values.parquet"));
  EXPECT_EQ(metadata.tables.at(0).name, "p_2023_its_values");
  EXPECT_EQ(schemaOf(driver, "p_2023_its_values"),
            (Lines{"id INTEGER", "ratio REAL", "nothing TEXT", "even BOOLEAN", "attrs JSON", "note TEXT"}));
  EXPECT_EQ(rowsOf(driver, "SELECT * FROM p_2023_its_values"),
            (Lines{R"(1|1.0|NULL|0|{"k":1}|it's 1)", R"(2|2.5|NULL|1|{"k":2}|it's 2)", R"(3|2.5|NULL|0|{"k":3}|it's 3)"}));
}

// Glob characters would make DuckDB read other files (here data1.parquet holds rows); such
// a path is never given to it, and the footer is listed instead.
TEST(ParquetDuckDBTest, APathDuckDBWouldExpandIsNotGivenToIt) {
  REQUIRE_DUCKDB_ENGINE();
  TempDir dir;
  copyOf(dir, "values.parquet", "data1.parquet");
  for (const char* name : {"data[1].parquet", "data?.parquet", "d*.parquet"}) {
    SCOPED_TRACE(name);
    ParquetDriver driver({kEngine});
    driver.open(copyOf(dir, "hyparquet_writer.parquet", name));
    EXPECT_EQ(schemaOf(driver, driver.primaryTableName()), (Lines{"column TEXT", "type TEXT"}));
  }
}

TEST(ParquetDuckDBTest, HostFindsDuckDBThroughItsEnvironmentVariable) {
  REQUIRE_DUCKDB_ENGINE();
  const std::string file = testing::testData("parquet/hyparquet_writer.parquet").string();
  ::setenv("TABVORA_DUCKDB", kEngine.c_str(), 1);
  const testing::CommandResult tables = testing::runTabvora({"tables", file});
  const testing::CommandResult query =
      testing::runTabvora({"query", file, "SELECT name, age FROM hyparquet_writer ORDER BY age DESC, name", "--limit", "1"});
  const testing::CommandResult preview = testing::runTabvora({"preview", file});
  ::setenv("TABVORA_DUCKDB", "/nonexistent/duckdb", 1);
  const testing::CommandResult footer = testing::runTabvora({"tables", file});
  ::unsetenv("TABVORA_DUCKDB");

  EXPECT_EQ(tables.out, "hyparquet_writer\tTable\t50\t5\n");
  EXPECT_EQ(query.out, "name,age\nuser40,59\n");
  EXPECT_TRUE(testing::contains(preview.out, "user1")) << preview.out.substr(0, 2000);
  EXPECT_EQ(footer.out, "hyparquet_writer\tTable\t6\t2\n");
  EXPECT_TRUE(testing::contains(testing::runTabvora({"--help"}).out, "TABVORA_DUCKDB"));
}

}  // namespace
}  // namespace tabvora
