#include "drivers/parquet/parquet_driver.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <utility>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;
using testing::queryRows;
using testing::schemaLines;
using Lines = std::vector<std::string>;

// The npm DuckDB engine behind the command-line contract (duckdb_command.cjs), installed by
// the test parquet_engine_setup.
const std::filesystem::path kEngine = TABVORA_DUCKDB_ENGINE;
#define REQUIRE_DUCKDB_ENGINE()                                                \
  if (::access(kEngine.c_str(), X_OK) != 0)                                   \
  GTEST_SKIP() << "The DuckDB engine of npm is not installed at " << kEngine \
               << " (npm unreachable?): the test parquet_engine_setup installs it"

// A stand-in for DuckDB: a shell script with `body`.
std::filesystem::path fakeDuckDB(const TempDir& dir, const std::string& body) {
  static int count = 0;
  const std::filesystem::path path = dir / ("duckdb" + std::to_string(++count));
  testing::writeFile(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

const Lines kHyparquetFooterRows = {"name|STRING",     "age|INT32",      "score|DOUBLE",
                                    "active|BOOLEAN",  "seen|TIMESTAMP",
                                    "\xE2\x80\x94|50 rows \xC2\xB7 1 KB \xC2\xB7 open in Tabvora to browse the data"};

// What a stand-in for DuckDB prints, and what is staged of it (drivers/parquet/duckdb_output.cases).
TEST(ParquetDriverTest, WhatDuckDBPrintsIsStagedAsTypedOrTheFooterIsListed) {
  TempDir dir;
  const std::filesystem::path file = dir.copy("parquet/hyparquet_writer.parquet", "2023 sales-report.parquet");
  for (const testing::TextCase& c : testing::readTextCases("drivers/parquet/duckdb_output.cases")) {
    const std::string& output = c.input.at(0);
    ParquetDriver driver({fakeDuckDB(dir, c.word(0) == "rows" ? "cat <<'EOF'\n" + output + "\nEOF" : output)});
    driver.duckDBLimits.timeLimit = 1s;
    driver.duckDBLimits.outputLimit = 1 << 20;
    const auto start = std::chrono::steady_clock::now();
    driver.open(file);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << c.where;
    ASSERT_EQ(driver.primaryTableName(), "p_2023_sales_report");
    Lines staged = schemaLines(driver, "p_2023_sales_report");
    staged.push_back("--");
    for (const std::string& row : queryRows(driver, "SELECT * FROM p_2023_sales_report")) staged.push_back(row);
    Lines expected = c.expected;
    if (c.word(0) == "footer") {
      expected = {"column TEXT", "type TEXT", "--"};
      expected.insert(expected.end(), kHyparquetFooterRows.begin(), kHyparquetFooterRows.end());
    }
    EXPECT_EQ(staged, expected) << c.where;
  }
  ParquetDriver nowhere({dir / "missing", dir.path(), file});
  EXPECT_FALSE(nowhere.duckDBPath());
  nowhere.open(file);
  EXPECT_EQ(queryRows(nowhere, "SELECT * FROM p_2023_sales_report"), kHyparquetFooterRows);
}

TEST(ParquetDriverTest, FooterTableEdges) {
  TempDir dir;
  ParquetDriver driver({dir / "missing"});
  const std::string good = testing::readFile(testing::testData("parquet/hyparquet_writer.parquet"));
  const auto withLength = [&](std::uint32_t length) {
    std::string bytes = good;
    for (int i = 0; i < 4; ++i) bytes[bytes.size() - 8 + i] = static_cast<char>(length >> (8 * i));
    return bytes;
  };
  const Lines noFooter = {"Apache Parquet file|1 KB"};
  struct Case {
    const char* what;
    std::string bytes;
    Lines rows;
  } cases[] = {
      {"8 bytes", "PAR1PAR1", {"Apache Parquet file|8 bytes"}},
      {"12 bytes", std::string("PAR1\0\0\0\0PAR1", 12), {"Apache Parquet file|12 bytes"}},
      {"footer length past the file", withLength(static_cast<std::uint32_t>(good.size() - 11)), noFooter},
      {"footer length 0", withLength(0), noFooter},
      {"footer length 2^32 - 1", withLength(0xFFFFFFFF), noFooter},
      {"truncated file", good.substr(0, 1400), noFooter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::writeFile(dir / "x.parquet", c.bytes);
    driver.open(dir / "x.parquet");
    EXPECT_EQ(queryRows(driver, "SELECT * FROM x"), c.rows);
  }

  // The largest footer read, 64,000,000 bytes: the good footer then zeros (a sparse file).
  const std::uint32_t footerLength = static_cast<std::uint8_t>(good[good.size() - 8]) |
                                     static_cast<std::uint8_t>(good[good.size() - 7]) << 8;
  for (const std::uint32_t length : {64'000'000u, 64'000'001u}) {
    SCOPED_TRACE(length);
    const std::filesystem::path path = dir / "large.parquet";
    testing::writeFile(path, "PAR1" + good.substr(good.size() - 8 - footerLength, footerLength));
    std::filesystem::resize_file(path, 4ull + length);
    std::ofstream(path, std::ios::app | std::ios::binary) << withLength(length).substr(good.size() - 8);
    driver.open(path);
    EXPECT_EQ(queryRows(driver, "SELECT count(*) FROM large"), (Lines{length < 64'000'001u ? "6" : "1"}));
  }

  // The footers of real files are command-line cases (apps/tabvora/cases/text_files.test).
}

// A file without the magic is refused before DuckDB is asked: a command-line case
// (apps/tabvora/cases/text_files.test).
TEST(ParquetDriverTest, SavingIsRefused) {
  const DriverError error = testing::errorOf([] { ParquetDriver().saveChanges(); });
  EXPECT_EQ(std::make_tuple(error.domain(), error.code(), error.message()),
            std::make_tuple(std::string("ParquetDriver"), -2,
                            std::string("Saving back to Parquet files is not supported. Use Export to write your "
                                        "changes to CSV, JSON or SQL.")));
}

// What DuckDB reads of the corpus files is in the golden corpus (tests/data/parquet).

// Glob characters would make DuckDB read other files (here data1.parquet holds rows); such
// a path is never given to it, and the footer is listed instead.
TEST(ParquetDuckDBTest, APathDuckDBWouldExpandIsNotGivenToIt) {
  EXPECT_EQ(ParquetDriver::duckDBQuery("/d/it's.parquet"), "SELECT * FROM '/d/it''s.parquet' LIMIT 5000;");
  REQUIRE_DUCKDB_ENGINE();
  TempDir dir;
  dir.copy("parquet/values.parquet", "data1.parquet");
  for (const char* name : {"data[1].parquet", "data?.parquet", "d*.parquet"}) {
    SCOPED_TRACE(name);
    ParquetDriver driver({kEngine});
    driver.open(dir.copy("parquet/hyparquet_writer.parquet", name));
    EXPECT_EQ(schemaLines(driver, driver.primaryTableName()), (Lines{"column TEXT", "type TEXT"}));
  }
}

TEST(ParquetDuckDBTest, HostFindsDuckDBThroughItsEnvironmentVariable) {
  REQUIRE_DUCKDB_ENGINE();
  const std::string file = testing::testData("parquet/hyparquet_writer.parquet").string();
  std::optional<testing::ScopedEnvironment> duckDB(std::in_place, "TABVORA_DUCKDB", kEngine.string());
  const testing::CommandResult tables = testing::runTabvora({"tables", file});
  const testing::CommandResult query =
      testing::runTabvora({"query", file, "SELECT name, age FROM hyparquet_writer ORDER BY age DESC, name", "--limit", "1"});
  const testing::CommandResult preview = testing::runTabvora({"preview", file});
  TempDir dir;
  duckDB.emplace("TABVORA_DUCKDB", (dir / "missing").string());
  const testing::CommandResult footer = testing::runTabvora({"tables", file});
  duckDB.reset();

  EXPECT_EQ(tables.out, "hyparquet_writer\tTable\t50\t5\n");
  EXPECT_EQ(query.out, "name,age\nuser40,59\n");
  EXPECT_TRUE(testing::contains(preview.out, "user1")) << preview.out.substr(0, 2000);
  EXPECT_EQ(footer.out, "hyparquet_writer\tTable\t6\t2\n");
  EXPECT_TRUE(testing::contains(testing::runTabvora({"--help"}).out, "TABVORA_DUCKDB"));
}

}  // namespace
}  // namespace tabvora::internal
