// Exports and statistics of real files of every format, read back and compared with the
// source; filters over a table whose names and values try to break out of the SQL.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"
#include "filter_expression.hpp"
#include "opening/driver_manager.hpp"
#include "opening/table_reader.hpp"
#include "support/test_support.hpp"
#include "export/table_export_writer.hpp"

namespace tabvora {
namespace {

using testing::CommandResult;
using testing::readFile;
using testing::runTabvora;
using testing::TempDir;
using testing::testData;

std::vector<DataRow> allRows(DatabaseDriver& driver, const std::string& table,
                             std::vector<ColumnFilter> filters = {}, FilterCombination combination = FilterCombination::all) {
  std::vector<DataRow> rows;
  TableReader(driver, table, std::move(filters), combination).forEachPage(std::nullopt, [&](const DataTable& page) {
    rows.insert(rows.end(), page.rows.begin(), page.rows.end());
    return true;
  }, 7);  // a page size that does not divide the tables, so page seams are crossed
  return rows;
}

std::vector<std::vector<CellValue>> valuesOf(const std::vector<DataRow>& rows) {
  std::vector<std::vector<CellValue>> values;
  for (const DataRow& row : rows) values.push_back(row.values);
  return values;
}

// The first table of a file, as the export command reads it.
struct Source {
  std::unique_ptr<DatabaseDriver> driver;
  std::string table;
  std::vector<DataRow> rows;
};
Source openSource(const std::filesystem::path& file) {
  Source source{DriverManager::shared().driver(file), {}, {}};
  if (auto* sqlite = dynamic_cast<SQLiteDriver*>(source.driver.get())) sqlite->previewReadOnly = true;
  source.table = source.driver->open(file).tables.at(0).name;
  source.rows = allRows(*source.driver, source.table);
  return source;
}

const char* const kEveryFormat[] = {
    "sqlite/music.sqlite",         "delimited/csv_module.csv",         "delimited/windows1252.csv",
    "json/events.jsonl",            "json/bigint_unicode.json",         "spreadsheet/libreoffice.xlsx",
    "spreadsheet/gnumeric_biff8.xls", "sqlscript/pg_dump.sql",          "sqlscript/mariadb_dump.sql",
};

// SQL inserts read back to the same rows, CSV re-exports unchanged, JSON parses to typed values.
TEST(ExportCommand, EveryFormatReadsBackFromEveryExport) {
  TempDir dir;
  for (const char* data : kEveryFormat) {
    SCOPED_TRACE(data);
    const std::filesystem::path file = testData(data);
    Source source = openSource(file);
    ASSERT_FALSE(source.rows.empty());

    CommandResult result = runTabvora({"export", file.string(), "--format=sql", "--output=" + (dir / "out.sql").string()});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    SQLiteDriver loaded;
    loaded.openInMemory();
    loaded.executeRawSQL(readFile(dir / "out.sql"));
    EXPECT_EQ(valuesOf(allRows(loaded, source.table)), valuesOf(source.rows));
    EXPECT_EQ(loaded.fetchSchema(source.table).size(), source.driver->fetchSchema(source.table).size());

    const std::filesystem::path csv = dir / "again.csv";
    ASSERT_EQ(runTabvora({"export", file.string(), "-f", "csv", "-o", csv.string()}).exitStatus, 0);
    // Exporting the exported file again changes nothing: every row and value survived.
    EXPECT_EQ(runTabvora({"export", csv.string(), "--format", "csv"}).out, readFile(csv));

    CommandResult json = runTabvora({"export", file.string(), "--format", "JSON (.json)"});
    ASSERT_EQ(json.exitStatus, 0) << json.err;
    const nlohmann::json parsed = nlohmann::json::parse(json.out);
    ASSERT_EQ(parsed.size(), source.rows.size());
    const std::vector<DataColumn> columns = source.driver->fetchSchema(source.table);
    for (std::size_t i = 0; i < source.rows.size(); ++i) {
      for (std::size_t j = 0; j < columns.size(); ++j) {
        const CellValue& value = source.rows[i].values[j];
        const nlohmann::json& cell = parsed[i].at(columns[j].name);
        const ColumnType type = columns[j].type;
        switch (value.kind()) {
          case CellValue::Kind::integer:
            if (type == ColumnType::boolean) EXPECT_EQ(cell, value.integerValue() == 1) << cell;
            else EXPECT_EQ(cell.get<std::int64_t>(), value.integerValue());
            break;
          case CellValue::Kind::real: EXPECT_TRUE(cell.is_number_float() || cell.is_null()); break;
          case CellValue::Kind::null: EXPECT_TRUE(cell.is_null()); break;
          default: EXPECT_TRUE(cell.is_string() || type == ColumnType::json) << cell;
        }
      }
    }
    source.driver->close();
  }
}

TEST(ExportCommand, TrickyValuesSurviveEveryWriter) {
  const std::vector<DataColumn> columns = {{"a|b", ColumnType::text}, {"n", ColumnType::real}, {"raw", ColumnType::blob}};
  DataTable page("t", columns,
                 {DataRow{0, std::nullopt, {CellValue::text("x|y\\z\r\nnext"), CellValue::real(3.0), CellValue::blob({0x00, 0xFF})}},
                  DataRow{1, std::nullopt, {CellValue::text(std::string("nul\0byte', '--", 14)), CellValue::real(1.0 / 0.0),
                              CellValue::null()}}});
  auto written = [&](ExportFormat format) {
    auto writer = TableExportWriter::make(format, "we\"ird", columns);
    return writer->begin() + writer->rows(page) + writer->end();
  };
  EXPECT_EQ(written(ExportFormat::markdown),
            "| a\\|b | n | raw |\n| --- | ---: | --- |\n| x\\|y\\\\z<br>next | 3 | BLOB [2 bytes] |\n"
            "| nul" + std::string(1, '\0') + "byte', '-- | Infinity |  |\n");
  EXPECT_EQ(written(ExportFormat::tsv), "a|b\tn\traw\n\"x|y\\z\r\nnext\"\t3.0\tAP8=\n" + std::string("nul\0byte', '--", 14) + "\tinf\t\n");
  const nlohmann::json json = nlohmann::json::parse(written(ExportFormat::json));
  EXPECT_EQ(json[0]["raw"], "AP8=");
  EXPECT_TRUE(json[1]["n"].is_null());

  SQLiteDriver loaded;
  loaded.openInMemory();
  loaded.executeRawSQL(written(ExportFormat::sqlInsert));
  const std::vector<DataRow> rows = allRows(loaded, "we\"ird");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].values, page.rows[0].values);
  EXPECT_EQ(rows[1].values[0], page.rows[1].values[0]);
  EXPECT_EQ(rows[1].values[1].realValue(), 1.0 / 0.0);
}

// A table whose names hold quotes and comment markers, with text, numbers and NULLs in one
// column, filtered by every operator.
class Filters : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::makeDatabase(file, R"(CREATE TABLE "t"" --x" ("i""d --" INTEGER, "v" , "w" TEXT);
      INSERT INTO "t"" --x" VALUES (1, 'Straße', 'a'), (2, 'STRASSE x', ''), (3, 10, NULL), (4, 9, 'b'),
                                   (5, '9', 'x'), (6, NULL, 'it''s -- me'), (7, '', 'y');)");
    driver.previewReadOnly = true;
    driver.open(file);
  }
  std::vector<std::int64_t> ids(std::vector<ColumnFilter> filters, FilterCombination combination = FilterCombination::all) {
    std::vector<std::int64_t> found;
    for (const DataRow& row : allRows(driver, "t\" --x", std::move(filters), combination))
      found.push_back(row.values[0].integerValue());
    return found;
  }
  TempDir dir;
  std::filesystem::path file = dir / "f.db";
  SQLiteDriver driver;
};

TEST_F(Filters, EveryOperatorAndBothCombinations) {
  using Op = ColumnFilter::Operator;
  const std::tuple<Op::Value, std::string, std::vector<std::int64_t>> cases[] = {
      {Op::contains, "strasse", {1, 2}},   // case folding: ß folds to ss
      {Op::notContains, "ss", {3, 4, 5, 6, 7}},
      {Op::startsWith, "STRA", {1, 2}},
      {Op::endsWith, "X", {2}},
      {Op::equals, "9", {4, 5}},           // the number 9 and the text '9'
      {Op::notEquals, "9", {1, 2, 3, 6, 7}},  // NULL kept
      {Op::greater, "9", {1, 2, 3}},       // 10 numerically; text above "9" by bytes
      {Op::greaterOrEqual, "10", {1, 2, 3, 5}},
      {Op::less, "10", {4, 7}},            // 9 numerically, '' before "10" as text
      {Op::lessOrEqual, "9", {4, 5, 7}},
      {Op::isEmpty, "", {6, 7}},
      {Op::isNotEmpty, "", {1, 2, 3, 4, 5}},
  };
  for (const auto& [op, value, expected] : cases) {
    EXPECT_EQ(ids({ColumnFilter("v", op, value)}), expected) << Op(op).rawValue() << " " << value;
  }
  const std::vector<ColumnFilter> two = {ColumnFilter("v", Op::equals, "9"), ColumnFilter("w", Op::equals, "x")};
  EXPECT_EQ(ids(two), (std::vector<std::int64_t>{5}));
  EXPECT_EQ(ids(two, FilterCombination::any), (std::vector<std::int64_t>{4, 5}));
}

TEST_F(Filters, NamesAndValuesNeverBecomeSQL) {
  using Op = ColumnFilter::Operator;
  EXPECT_EQ(ids({ColumnFilter("i\"d --", Op::less, "3")}), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(ids({ColumnFilter("w", Op::equals, "it's -- me")}), (std::vector<std::int64_t>{6}));
  EXPECT_EQ(ids({ColumnFilter("w", Op::equals, "x' OR '1'='1")}), (std::vector<std::int64_t>{}));
  EXPECT_THROW(ids({ColumnFilter("v\" OR 1 --", Op::isEmpty)}), DriverError);  // no such column

  // The same through the command line, the column name in double quotes.
  CommandResult result = runTabvora({"export", file.string(), "--format", "csv", "--where", R"("i""d --" <= 2)",
                                     "--where", "w = 'it''s -- me'", "--any"});
  EXPECT_EQ(result.out, "\"i\"\"d --\",v,w\n1,Straße,a\n2,STRASSE x,\n") << result.err;
}

TEST(FilterExpression, OperatorsSplitTheColumnFromTheValue) {
  using Op = ColumnFilter::Operator;
  const std::tuple<std::string, std::string, Op::Value, std::string> cases[] = {
      {"age>=30", "age", Op::greaterOrEqual, "30"},
      {"first name contains  Ann ", "first name", Op::contains, "Ann"},
      {"name does not contain 'a b '", "name", Op::notContains, "a b "},
      {"x \u2260 1", "x", Op::notEquals, "1"},
      {"x <> 1", "x", Op::notEquals, "1"},
      {"note is not empty", "note", Op::isNotEmpty, ""},
      {"\"a = b\" starts with =", "a = b", Op::startsWith, "="},
      {"contains contains contains", "contains", Op::contains, "contains"},
      {"formula = '=SUM(A1)'", "formula", Op::equals, "=SUM(A1)"},
  };
  for (const auto& [expression, column, op, value] : cases) {
    const ColumnFilter filter = cli::parseFilterExpression(expression);
    EXPECT_EQ(filter.column, column) << expression;
    EXPECT_EQ(filter.op, op) << expression;
    EXPECT_EQ(filter.value, value) << expression;
  }
}

TEST(StatsCommand, DescribesEveryColumnOverAllRowsAsTextAndJSON) {
  const std::string file = testData("delimited/csv_module.csv").string();
  CommandResult json = runTabvora({"stats", file, "--json"});
  ASSERT_EQ(json.exitStatus, 0) << json.err;
  const nlohmann::json parsed = nlohmann::json::parse(json.out);
  Source source = openSource(file);
  ASSERT_EQ(parsed.size(), source.driver->fetchSchema(source.table).size());
  for (const auto& column : parsed) {
    EXPECT_EQ(column["rows"], source.rows.size());
    EXPECT_LE(column["samples"].size(), 10u);
  }
  source.driver->close();

  CommandResult text = runTabvora({"stats", file});
  ASSERT_EQ(text.exitStatus, 0) << text.err;
  EXPECT_TRUE(text.out.starts_with("column ")) << text.out;
  EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), static_cast<long>(parsed.size()) + 1);

  // Averages of any size print in full and nothing else: 1e308 is "1e+308", not 300
  // digits, nor bytes past a buffer.
  TempDir dir;
  testing::writeFile(dir / "huge.csv", "price\n1e308\n1e308\n-2.5e300\n");
  CommandResult huge = runTabvora({"stats", (dir / "huge.csv").string()});
  ASSERT_EQ(huge.exitStatus, 0) << huge.err;
  EXPECT_EQ(huge.out.find('\0'), std::string::npos);
  EXPECT_TRUE(testing::contains(huge.out, "e+307")) << huge.out;
}

// Export of values whose plain text loses something: a lone empty field (a blank line
// that readers skip), JSON documents and booleans.
TEST(ExportCommand, EmptyLinesJSONValuesAndBooleansKeepTheirMeaning) {
  TempDir dir;
  testing::makeDatabase(dir / "t.db", "CREATE TABLE t (note TEXT); INSERT INTO t VALUES (''), (NULL), ('x'), (''), (NULL);"
                        "CREATE TABLE u (done BOOLEAN, doc JSON, bad JSON);"
                        "INSERT INTO u VALUES (1, '{\"a\": [1, {\"b\": null}]}', '{oops'), (0, '[]', NULL);");
  for (const char* format : {"csv", "tsv"}) {
    CommandResult one = runTabvora({"export", (dir / "t.db").string(), "--table=t", "--format", format});
    EXPECT_EQ(one.out, "note\n\"\"\n\"\"\nx\n\"\"\n\"\"\n") << format;
    testing::writeFile(dir / (std::string("back.") + format), one.out);
    EXPECT_EQ(runTabvora({"tables", (dir / (std::string("back.") + format)).string()}).out,
              std::string("back\tTable\t5\t1\n")) << format;
  }
  const nlohmann::json json =
      nlohmann::json::parse(runTabvora({"export", (dir / "t.db").string(), "--table=u", "--format=json"}).out);
  EXPECT_EQ(json, nlohmann::json::parse(R"([{"done": true, "doc": {"a": [1, {"b": null}]}, "bad": "{oops"},
                                             {"done": false, "doc": [], "bad": null}])"));
}

}  // namespace
}  // namespace tabvora
