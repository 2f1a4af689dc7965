#include "drivers/parquet/parquet_driver.hpp"
#include "drivers/parquet/parquet_native_reader.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "platform/file_reader.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
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

const std::vector<std::filesystem::path> kNoDuckDB;

// A stand-in for DuckDB: a shell script with `body`.
std::filesystem::path fakeDuckDB(const TempDir& dir, const std::string& body) {
  static int count = 0;
  const std::filesystem::path path = dir / ("duckdb" + std::to_string(++count));
  testing::writeFile(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

OpenOptions previewOptions() {
  OpenOptions options;
  options.previewRowLimit = 200;
  return options;
}

// The staged table's columns, "--", then its rows, each value quoted as SQL (its type shows).
Lines stagedTable(ParquetDriver& driver) {
  const std::string table = driver.primaryTableName();
  Lines lines = schemaLines(driver, table);
  std::string values;
  for (const std::string& column : testing::columnNames(driver, table))
    values += (values.empty() ? "quote(\"" : ", quote(\"") + column + "\")";
  lines.push_back("--");
  for (std::string& row : queryRows(driver, "SELECT " + values + " FROM \"" + table + "\"")) lines.push_back(std::move(row));
  return lines;
}

// What a stand-in for DuckDB prints, and what a preview stages of it (drivers/parquet/duckdb_output.cases).
TEST(ParquetDriverTest, WhatDuckDBPrintsIsStagedAsTypedOrTheNativeReaderReadsTheRows) {
  TempDir dir;
  const std::filesystem::path file = dir.copy("parquet/hyparquet_writer.parquet", "2023 sales-report.parquet");
  ParquetDriver native(kNoDuckDB);
  native.open(file, previewOptions());
  ASSERT_EQ(native.route(), ParquetDriver::Route::native);
  const Lines nativeRows = stagedTable(native);
  for (const testing::TextCase& c : testing::readTextCases("drivers/parquet/duckdb_output.cases")) {
    const std::string& output = c.input.at(0);
    ParquetDriver driver({fakeDuckDB(dir, c.word(0) == "rows" ? "cat <<'EOF'\n" + output + "\nEOF" : output)});
    driver.duckDBLimits.timeLimit = 1s;
    driver.duckDBLimits.outputLimit = 1 << 20;
    const auto start = std::chrono::steady_clock::now();
    driver.open(file, previewOptions());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << c.where;
    ASSERT_EQ(driver.primaryTableName(), "p_2023_sales_report");
    Lines staged = schemaLines(driver, "p_2023_sales_report");
    staged.push_back("--");
    for (const std::string& row : queryRows(driver, "SELECT * FROM p_2023_sales_report")) staged.push_back(row);
    if (c.word(0) == "footer") {
      EXPECT_EQ(stagedTable(driver), nativeRows) << c.where;
    } else {
      EXPECT_EQ(staged, c.expected) << c.where;
    }
  }
  ParquetDriver nowhere({dir / "missing", dir.path(), file});
  EXPECT_FALSE(nowhere.duckDBPath());
}

// A preview of a file whose rows neither route reads lists its footer.
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
    driver.open(dir / "x.parquet", previewOptions());
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
    driver.open(path, previewOptions());
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
// a path is never given to it, and the native reader reads the file instead.
TEST(ParquetDuckDBTest, APathDuckDBWouldExpandIsNotGivenToIt) {
  EXPECT_EQ(ParquetDriver::duckDBQuery("/d/it's.parquet"), "SELECT * FROM '/d/it''s.parquet' LIMIT 5000;");
  REQUIRE_DUCKDB_ENGINE();
  TempDir dir;
  dir.copy("parquet/values.parquet", "data1.parquet");
  for (const char* name : {"data[1].parquet", "data?.parquet", "d*.parquet"}) {
    SCOPED_TRACE(name);
    ParquetDriver driver({kEngine});
    driver.open(dir.copy("parquet/hyparquet_writer.parquet", name));
    EXPECT_EQ(driver.route(), ParquetDriver::Route::native);
  }
}

// Each committed file stages the same table by either route, opened in full and for a
// preview: names, declared types, row counts, the DDL and every value with its type (a
// preview's first 200 rows, all the native reader stages of them, typed from the first 5000).
TEST(ParquetRoutesTest, TheNativeReaderStagesWhatDuckDBStages) {
  REQUIRE_DUCKDB_ENGINE();
  for (const auto& entry : std::filesystem::directory_iterator(testing::testData("parquet"))) {
    if (entry.path().extension() != ".parquet") continue;
    for (const bool preview : {false, true}) {
      SCOPED_TRACE(entry.path().filename().string() + (preview ? " (preview)" : ""));
      // A preview differs from a full open only past the 5000 rows it stages.
      if (preview && std::filesystem::file_size(entry.path()) < 200'000) continue;
      ParquetDriver duckDB({kEngine});
      ParquetDriver native(kNoDuckDB);
      const OpenOptions options = preview ? previewOptions() : OpenOptions{};
      const DatabaseMetadata byDuckDB = duckDB.open(entry.path(), options);
      const DatabaseMetadata natively = native.open(entry.path(), options);
      // DuckDB prints no columns for no rows, and lacks the Hadoop LZ4 framing: the native
      // reader stages those tables (the framed file is compared below).
      const std::string name = entry.path().filename().string();
      if (name != "zero_rows.parquet" && name != "arrow_lz4_hadoop.parquet" && name != "unreadable_page.parquet") {
        EXPECT_EQ(duckDB.route(), ParquetDriver::Route::duckDB);
      }
      if (entry.path().stem().string().starts_with("unreadable")) {
        // A damaged page is met when the rows are first read.
        if (preview) {
          EXPECT_EQ(native.route(), ParquetDriver::Route::footer);
        }
        EXPECT_THROW(native.query("SELECT count(*) FROM \"" + native.primaryTableName() + "\""), DriverError);
        continue;
      }
      if (native.route() != ParquetDriver::Route::native) {
        ADD_FAILURE() << "not read natively";
        continue;
      }
      EXPECT_EQ(byDuckDB.tables.at(0).rowCount, natively.tables.at(0).rowCount);
      Lines byDuckDBRows = stagedTable(duckDB);
      if (preview) {
        const auto header = std::find(byDuckDBRows.begin(), byDuckDBRows.end(), "--") - byDuckDBRows.begin();
        byDuckDBRows.resize(std::min<std::size_t>(byDuckDBRows.size(), static_cast<std::size_t>(header) + 1 + 200));
      }
      EXPECT_EQ(byDuckDBRows, stagedTable(native));
      EXPECT_EQ(duckDB.getDDL(std::nullopt), native.getDDL(std::nullopt));
      // A preview's staged rows are those it shows (the DuckDB route's, the first 5000).
      if (!preview) {
        EXPECT_EQ(duckDB.fetchTables(), native.fetchTables());
      }
    }
  }
}

// A file cut at any byte is refused, and one with any byte changed is read or refused:
// never read out of bounds (the sanitizers watch), never staged in part.
TEST(ParquetNativeReaderTest, EveryTruncationIsRefusedAndNoDamagedByteMisreads) {
  TempDir dir;
  const std::string good = testing::readFile(testing::testData("parquet/values.parquet"));
  ParquetDriver driver(kNoDuckDB);
  for (std::size_t size = 0; size <= good.size(); ++size) {
    for (const bool damage : {false, true}) {
      std::string bytes = good.substr(0, damage ? good.size() : size);
      if (damage && size < good.size()) bytes[size] = static_cast<char>(bytes[size] ^ 0x5A);
      if (damage && size == good.size()) continue;
      testing::writeFile(dir / "cut.parquet", bytes);
      Lines counted;
      try {
        // Changed bytes are read for a preview (pages read in part) or in full.
        driver.open(dir / "cut.parquet", damage && size % 2 == 1 ? previewOptions() : OpenOptions{});
        if (driver.route() == ParquetDriver::Route::native) counted = queryRows(driver, "SELECT count(*) FROM cut");
      } catch (const DriverError&) {
      }
      if (!damage) {
        EXPECT_EQ(!counted.empty(), size == good.size()) << size;
      }
      if (!counted.empty()) {
        EXPECT_EQ(counted, Lines{"3"}) << size;
      }
    }
  }
}

// A full load decodes its first row group's columns on two threads and takes its types
// from as few cells as settle them; a damaged byte fails it with the reason reading the
// row groups one column after another gives (the failure of the first column that fails).
TEST(ParquetNativeReaderTest, DamageFailsTheFullLoadAsReadingInOrderFailsIt) {
  TempDir dir;
  for (const char* name : {"nested_v2.parquet", "hyparquet_writer.parquet"}) {
    const std::string good = testing::readFile(testing::testData(std::string("parquet/") + name));
    for (std::size_t at = 4; at < good.size(); at += 9) {
      std::string bytes = good;
      bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
      testing::writeFile(dir / "damaged.parquet", bytes);
      const FileReader file(dir / "damaged.parquet");
      auto failure = [](const std::function<void()>& read) {
        try {
          read();
        } catch (const DriverError& error) {
          return error.message();
        }
        return std::string();
      };
      std::optional<ParquetNativeReader> reader;
      if (!failure([&] { reader.emplace(file, bytes.size()); }).empty()) continue;
      SQLiteDriver staging;
      staging.openInMemory();
      EXPECT_EQ(failure([&] { reader->stage(staging, "t", std::nullopt); }),
                failure([&] { (void)reader->columnsOfAllRows(); }))
          << name << " at " << at;
    }
  }
}

// The first rows alone, however many, are the first rows of the whole table: a preview
// stops in the middle of pages, lists and row groups without changing a value.
TEST(ParquetNativeReaderTest, TheFirstRowsAreThoseOfTheWholeTable) {
  // Numbers as digits, whether the column made them REAL or INTEGER; else quoted as SQL.
  auto rows = [](SQLiteDriver& staging, std::int64_t limit) {
    std::string values;
    for (const std::string& column : testing::columnNames(staging, "t"))
      values += (values.empty() ? "" : ", ") + ("iif(typeof(\"" + column + "\") IN ('integer', 'real'), printf('%.17g', \"" +
                                               column + "\"), quote(\"" + column + "\"))");
    return queryRows(staging, "SELECT " + values + " FROM t ORDER BY rowid LIMIT " + std::to_string(limit));
  };
  for (const auto& entry : std::filesystem::directory_iterator(testing::testData("parquet"))) {
    if (entry.path().extension() != ".parquet" || entry.path().stem().string().starts_with("unreadable")) continue;
    const FileReader file(entry.path());
    ParquetNativeReader reader(file, std::filesystem::file_size(entry.path()));
    SQLiteDriver whole;
    whole.openInMemory();
    reader.stage(whole, "t", std::nullopt);
    for (const std::int64_t limit : {1, 2, 3, 50, 1000, 4097, 130'000}) {
      SCOPED_TRACE(entry.path().filename().string() + " " + std::to_string(limit));
      SQLiteDriver first;
      first.openInMemory();
      reader.stage(first, "t", limit);
      EXPECT_EQ(rows(first, limit), rows(whole, limit));
      EXPECT_EQ(queryRows(first, "SELECT count(*) FROM t"), Lines{std::to_string(std::min(limit, reader.rowCount()))});
    }
    // Typed from every row, the first rows take the whole table's types and values.
    SQLiteDriver typed;
    typed.openInMemory();
    reader.stage(typed, "t", 50, reader.rowCount());
    EXPECT_EQ(schemaLines(typed, "t"), schemaLines(whole, "t")) << entry.path();
    EXPECT_EQ(queryRows(typed, "SELECT * FROM t"), queryRows(whole, "SELECT * FROM t LIMIT 50")) << entry.path();
  }
}

// A full open leaves the rows in the file; read in turns, the table holds one row group at a
// time, and the turns hold in order the rows, values and declared types staging all gives.
TEST(ParquetNativeReaderTest, TurnsHoldOneRowGroupEachAndTogetherTheWholeTable) {
  for (const auto& entry : std::filesystem::directory_iterator(testing::testData("parquet"))) {
    if (entry.path().extension() != ".parquet" || entry.path().stem().string().starts_with("unreadable")) continue;
    SCOPED_TRACE(entry.path().filename().string());
    ParquetDriver whole(kNoDuckDB);
    ParquetDriver turns(kNoDuckDB);
    whole.open(entry.path());
    turns.open(entry.path());
    const Lines staged = stagedTable(whole);
    ASSERT_TRUE(turns.readsInTurns(turns.primaryTableName()));
    Lines schema;
    Lines read;
    std::size_t count = 0;
    std::size_t most = 0;
    turns.readInTurns(turns.primaryTableName(), [&] {
      Lines turn = stagedTable(turns);
      const auto rows = std::find(turn.begin(), turn.end(), "--") + 1;
      if (count++ == 0) schema.assign(turn.begin(), rows);
      EXPECT_EQ(Lines(turn.begin(), rows), schema);
      if (count == 1) read = schema;
      most = std::max(most, static_cast<std::size_t>(turn.end() - rows));
      read.insert(read.end(), rows, turn.end());
      return true;
    });
    EXPECT_EQ(read, staged);
    const std::string name = entry.path().stem().string();
    // A first turn with no rows, then one per row group.
    if (name == "rows_200000" || name == "late_types") {
      EXPECT_EQ(std::make_pair(count, most), name == "late_types" ? std::make_pair(std::size_t{4}, std::size_t{2048})
                                                                  : std::make_pair(std::size_t{5}, std::size_t{51'200}));
    }
    // Stopped after its first row group, the table is gone; a query then stages every row.
    count = 0;
    turns.readInTurns(turns.primaryTableName(), [&] { return ++count < 2; });
    EXPECT_LE(count, 2u);
    EXPECT_EQ(stagedTable(turns), staged);
    EXPECT_FALSE(turns.readsInTurns(turns.primaryTableName()));
  }
}

// arrow-rs wrote the same table framed with Hadoop's LZ4, which DuckDB cannot read, and
// delta-encoded in version 2 pages, which it can.
TEST(ParquetRoutesTest, TheHadoopLZ4FramingReadsAsDuckDBReadsTheSameTable) {
  REQUIRE_DUCKDB_ENGINE();
  ParquetDriver duckDB({kEngine});
  ParquetDriver native(kNoDuckDB);
  duckDB.open(testing::testData("parquet/arrow_delta_v2.parquet"));
  native.open(testing::testData("parquet/arrow_lz4_hadoop.parquet"));
  ASSERT_EQ(duckDB.route(), ParquetDriver::Route::duckDB);
  EXPECT_EQ(stagedTable(native), stagedTable(duckDB));
}

// Every command answers from every row, by either route; a file whose rows cannot be read
// is listed with its real counts, and the commands that need rows fail saying why.
TEST(ParquetCommandsTest, EveryCommandCountsEveryRow) {
  const std::string file = testing::testData("parquet/rows_200000.parquet").string();
  const std::vector<std::string> count = {"query", file, "SELECT count(*), sum(half) FROM rows_200000"};
  const std::string counted = "count(*),sum(half)\n200000,49950000.0\n";
  if (::access(kEngine.c_str(), X_OK) == 0) {
    // Each DuckDB run costs seconds here: one command by that route (the driver's tests
    // compare all it stages).
    testing::ScopedEnvironment duckDB("TABVORA_DUCKDB", kEngine.string());
    EXPECT_EQ(testing::runTabvora(count).out, counted);
  }
  testing::ScopedEnvironment noDuckDB("TABVORA_DUCKDB", "none");
  EXPECT_EQ(testing::runTabvora({"tables", file}).out, "rows_200000\tTable\t200000\t3\n");
  EXPECT_EQ(testing::runTabvora(count).out, counted);
  const std::string csv = testing::runTabvora({"export", file, "--format", "csv"}).out;
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 200'001);
  EXPECT_TRUE(testing::contains(testing::runTabvora({"stats", file}).out, "200000"));
  EXPECT_TRUE(testing::contains(testing::runTabvora({"preview", file}).out, "200000"));

  const std::string unreadable = testing::testData("parquet/unreadable_interval.parquet").string();
  EXPECT_EQ(testing::runTabvora({"tables", unreadable}).out, "unreadable_interval\tTable\t3\t2\n");
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"query", unreadable, "SELECT count(*) FROM unreadable_interval"},
        {"export", unreadable}, {"stats", unreadable}}) {
    SCOPED_TRACE(command[0]);
    const testing::CommandResult result = testing::runTabvora(command);
    EXPECT_EQ(std::make_pair(result.exitStatus, result.out), std::make_pair(1, std::string()));
    EXPECT_EQ(result.err, "tabvora: " + unreadable +
                              ": The rows of this Parquet file cannot be read: The Parquet column \"span\" holds "
                              "INTERVAL values, which the reader does not support (and no DuckDB program was found to "
                              "read it instead)\n");
  }
  EXPECT_TRUE(testing::contains(testing::runTabvora({"preview", unreadable}).out, "rows not readable: The Parquet column"));
}

TEST(ParquetDuckDBTest, HostFindsDuckDBThroughItsEnvironmentVariable) {
  REQUIRE_DUCKDB_ENGINE();
  const std::string file = testing::testData("parquet/hyparquet_writer.parquet").string();
  std::optional<testing::ScopedEnvironment> duckDB(std::in_place, "TABVORA_DUCKDB", kEngine.string());
  const testing::CommandResult tables = testing::runTabvora({"tables", file});
  const testing::CommandResult query =
      testing::runTabvora({"query", file, "SELECT name, age FROM hyparquet_writer ORDER BY age DESC, name", "--limit", "1"});
  const testing::CommandResult preview = testing::runTabvora({"preview", file});
  duckDB.emplace("TABVORA_DUCKDB", "none");
  const testing::CommandResult native = testing::runTabvora({"tables", file});
  duckDB.reset();

  EXPECT_EQ(tables.out, "hyparquet_writer\tTable\t50\t5\n");
  EXPECT_EQ(query.out, "name,age\nuser40,59\n");
  EXPECT_TRUE(testing::contains(preview.out, "user1")) << preview.out.substr(0, 2000);
  EXPECT_EQ(native.out, "hyparquet_writer\tTable\t50\t5\n");
  EXPECT_TRUE(testing::contains(testing::runTabvora({"--help"}).out, "TABVORA_DUCKDB"));
}

}  // namespace
}  // namespace tabvora::internal
