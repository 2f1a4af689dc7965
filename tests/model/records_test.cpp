// The model's records: rows, tables, formats and table kinds, and the view-state records of
// a data workspace (column statistics, filters, layouts, the raw-valued choices and SQL
// console tabs).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
// libstdc++'s <regex> trips GCC 12's -Wmaybe-uninitialized inside its own std::function.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "model/column_filter.hpp"
#include "model/column_statistics.hpp"
#include "model/data_row.hpp"
#include "model/data_table.hpp"
#include "model/database_format.hpp"
#include "model/table_type.hpp"
#include "model/view_state/sql_tab.hpp"
#include "model/view_state/table_column_layout.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

DataRow threeValues() {
  return DataRow{0, 7, {CellValue::integer(1), CellValue::text("Straße"), CellValue::real(2.5)}};
}

TEST(DataRowTest, OutOfRangePositionsReadNullAndIgnoreWritesAndSearchesMatchDisplayText) {
  DataRow row = threeValues();
  EXPECT_TRUE(row[5].isNull());
  EXPECT_TRUE(row[-1].isNull());
  row.set(5, CellValue::integer(9));
  row.set(-1, CellValue::integer(9));
  EXPECT_EQ(row, threeValues());
  EXPECT_EQ(row.updating(3, CellValue::null()), row);
  const DataRow changed = row.updating(1, CellValue::null());
  EXPECT_TRUE(changed[1].isNull());
  EXPECT_EQ(row[1], CellValue::text("Straße"));
  row.set(0, CellValue::integer(9));
  EXPECT_EQ(row[0], CellValue::integer(9));
  EXPECT_EQ(row.values.size(), 3u);

  // A search matches display text, ignoring case.
  row = threeValues();
  EXPECT_TRUE(row.matches("STRASSE"));
  EXPECT_TRUE(row.matches("2.5"));
  EXPECT_FALSE(row.matches("missing"));
  EXPECT_TRUE(DataRow{}.matches(""));
  EXPECT_FALSE(DataRow{}.matches("a"));
  EXPECT_TRUE((DataRow{0, {}, {CellValue::null()}}).matches("nul"));
}

TEST(DataTableTest, TotalDefaultsToRowCountAndIdsAreFreshVersion4UUIDs) {
  const std::vector<DataRow> rows(4);
  const DataTable a("t", {}, rows);
  EXPECT_EQ(a.totalRowCount, 4);
  EXPECT_EQ(DataTable("t", {}, rows, 100).totalRowCount, 100);
  EXPECT_NE(a.id, DataTable("t", {}, rows).id);
  const DataTable empty = DataTable::empty();
  EXPECT_TRUE(empty.columns.empty() && empty.rows.empty());
  EXPECT_EQ(empty.totalRowCount, 0);
  EXPECT_NE(empty.id, DataTable::empty().id);

  // Ids are UUIDs: the canonical 8-4-4-4-12 form in upper-case hex, version 4, RFC 4122 variant.
  const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = makeUUID();
    ASSERT_TRUE(std::regex_match(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(DatabaseFormatTest, RawValuesAreExact) {
  EXPECT_FALSE(DatabaseFormat::fromRawValue("Excel").has_value());
  EXPECT_EQ(DatabaseFormat::fromRawValue("Excel (XLSX)"), DatabaseFormat::xlsx);
  for (DatabaseFormat format : DatabaseFormat::allCases) {
    EXPECT_EQ(DatabaseFormat::fromRawValue(format.rawValue()), format);
    for (std::string_view extension : format.fileExtensions()) {
      EXPECT_EQ(DatabaseFormat::fromURL("f." + std::string(extension)), format);
    }
  }
  EXPECT_TRUE(DatabaseFormat(DatabaseFormat::unknown).fileExtensions().empty());
  EXPECT_EQ(TableType::fromRawValue("Virtual"), TableType::virtual_);
  EXPECT_FALSE(TableType::fromRawValue("table").has_value());
}

using tabvora::testing::errorOf;

const DataColumn kSecond{"b", ColumnType::text, false, true, std::nullopt, 1};
const Column kSecondColumn{"b", "TEXT"};

std::vector<DataRow> rowsWithSecond(const std::vector<CellValue>& values) {
  std::vector<DataRow> rows;
  for (const CellValue& value : values) rows.push_back(DataRow{0, {}, {CellValue::integer(0), value}});
  return rows;
}

TEST(ColumnStatisticsTest, Cases) {
  using C = CellValue;
  struct Case {
    const char* name;
    std::vector<DataRow> rows;
    ColumnStatistics expected;
  };
  std::vector<CellValue> twelve;
  for (int i = 0; i < 12; ++i) twelve.push_back(C::integer(i));
  const std::vector<Case> cases = {
      {"no rows", {}, {kSecondColumn, 0, 0, 0, {}, {}, {}, {}, false, {}, false, {}}},
      // Numbers sort before text by display order ("10" < "apple"); only numbers are averaged.
      {"mixed", rowsWithSecond({C::text("pear"), C::integer(10), C::real(2.5), C::text("apple"), C::integer(10)}),
       {kSecondColumn, 5, 0, 4, "2.5", "pear", 7.5, {"pear", "10", "2.5", "apple"}, false, 10.0, false, {{"10", 2}}}},
      {"twelve", rowsWithSecond(twelve),
       {kSecondColumn, 12, 0, 12, "0", "11", 5.5, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}, false, 5.5, false, {}}},
      // A short row and a null value both count as null and nothing else.
      {"missing", {DataRow{0, {}, {C::integer(1)}}, DataRow{}, DataRow{0, {}, {C::null(), C::boolean(true)}}},
       {kSecondColumn, 3, 2, 1, "TRUE", "TRUE", {}, {"TRUE"}, false, {}, false, {}}},
      // Sums past the range of a double still average to a finite mean.
      {"huge", rowsWithSecond({C::real(1e308), C::real(1e308)}), {kSecondColumn, 2, 0, 1, "1e+308", "1e+308", 1e308, {"1e+308"}, false, 1e308, false, {{"1e+308", 2}}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(calculateStatistics(kSecond, c.rows), c.expected) << c.name;
  }
  const ColumnStatistics missing = calculateStatistics(kSecond, cases[3].rows);
  EXPECT_NEAR(missing.nullPercentage(), 200.0 / 3, 1e-9);
  EXPECT_EQ(calculateStatistics(kSecond, {}).nullPercentage(), 0);
}

TEST(ColumnStatisticsTest, AccumulatorFedInPagesEqualsOnePass) {
  std::vector<DataRow> rows;
  for (int i = 0; i < 1000; ++i) {
    std::vector<CellValue> values{CellValue::integer(i % 37)};
    if (i % 5 == 0) values.push_back(CellValue::text("t" + std::to_string(i % 23)));
    if (i % 7 == 0) values.push_back(CellValue::real(i * 0.25));
    if (i % 11 == 0) values.push_back(CellValue::null());
    rows.push_back(DataRow{i, {}, std::move(values)});
  }
  for (int index : {0, 1, 2, 3, -1}) {
    DataColumn column = kSecond;
    column.index = index;
    StatisticsAccumulator accumulator(column);
    for (std::size_t start = 0; start < rows.size(); start += 128) {
      const std::vector<DataRow> page(rows.begin() + start, rows.begin() + std::min(start + 128, rows.size()));
      for (const DataRow& row : page) {
        if (index >= 0 && static_cast<std::size_t>(index) < row.values.size()) {
          accumulator.add(row.values[index]);
        } else {
          accumulator.addMissing();
        }
      }
    }
    EXPECT_EQ(accumulator.result(), calculateStatistics(column, rows)) << index;
  }
}

// Distinct texts are counted exactly up to the limit, then estimated in bounded memory;
// samples keep a bounded prefix of their text.
TEST(ColumnStatisticsTest, DistinctCountsStayBoundedPastTheExactLimit) {
  for (const std::size_t distinct : {DistinctCounter::kExactLimit, 3 * DistinctCounter::kExactLimit}) {
    StatisticsAccumulator accumulator(kSecond);
    for (std::size_t i = 0; i < distinct; ++i) accumulator.add(CellValue::integer(static_cast<std::int64_t>(i % distinct)));
    accumulator.add(CellValue::integer(0));
    const ColumnStatistics result = accumulator.result();
    EXPECT_EQ(result.distinctIsEstimate, distinct > DistinctCounter::kExactLimit);
    EXPECT_NEAR(static_cast<double>(result.distinctCount), static_cast<double>(distinct), 0.03 * distinct);
  }
  // A value frequent when exact counting stops is still counted exactly; past its bound the
  // median comes from an even spread of the numbers.
  StatisticsAccumulator bounded(kSecond, DistinctCounter::kExactBytes, 1000);
  const std::int64_t rows = 3 * DistinctCounter::kExactLimit;
  for (std::int64_t i = 0; i < rows; ++i) bounded.add(i % 2 ? CellValue::text("often") : CellValue::integer(i));
  const ColumnStatistics result = bounded.result();
  EXPECT_TRUE(result.distinctIsEstimate && result.medianIsEstimate);
  EXPECT_EQ(result.mostFrequent, (std::vector<ColumnStatistics::Frequency>{{"often", rows / 2}}));
  EXPECT_NEAR(result.median.value_or(0), rows / 2.0, 0.01 * rows);
  StatisticsAccumulator wide(kSecond);
  wide.add(CellValue::text(std::string(5000, 'x') + "\u00e9"));
  EXPECT_EQ(wide.result().sampleValues.at(0).size(), ColumnStatistics::kSampleBytes);
}

TEST(ColumnFilterTest, ActivityAndIdentity) {
  using Op = ColumnFilter::Operator;
  EXPECT_TRUE(ColumnFilter("a", Op::isEmpty, "").isActive());
  EXPECT_TRUE(ColumnFilter("a", Op::isNotEmpty, "").isActive());
  EXPECT_FALSE(ColumnFilter("a", Op::contains, "").isActive());
  EXPECT_TRUE(ColumnFilter("a", Op::lessOrEqual, "0").isActive());
  const ColumnFilter filter("a", Op::equals, "x");
  ColumnFilter copy = filter;
  EXPECT_EQ(copy, filter);
  EXPECT_NE(ColumnFilter("a", Op::equals, "x"), filter);  // a fresh id
  copy.value = "y";
  EXPECT_NE(copy, filter);
  EXPECT_FALSE(ColumnFilter::Operator(Op::isNotEmpty).needsValue());
}

TEST(TableColumnLayoutTest, RoundTripAndRefusals) {
  const TableColumnLayout layout{{{"name", 120.5}, {"Straße", 80}}, {"id", "secret"}};
  EXPECT_EQ(TableColumnLayout::fromJSONText(layout.toJSON().dump()), layout);
  EXPECT_EQ(layout.toJSON(), nlohmann::json::parse(R"({"widths":{"name":120.5,"Straße":80},"hidden":["id","secret"]})"));
  EXPECT_TRUE(TableColumnLayout::fromJSONText(TableColumnLayout{}.toJSON().dump()).isEmpty());

  const std::vector<std::pair<const char*, const char*>> refusals = {
      {R"({"widths":{}})", "expected the key \"hidden\", found none"},
      {R"({"hidden":[]})", "expected the key \"widths\", found none"},
      {R"([])", "found a JSON array"},
      {R"({"widths":[], "hidden":[]})", "\"widths\" to be an object of column widths, found a JSON array"},
      {R"({"widths":{"a":"1"}, "hidden":[]})", "width of \"a\", found a JSON string"},
      {R"({"widths":{}, "hidden":"a"})", "found a JSON string"},
      {R"({"widths":{}, "hidden":[1]})", "column names in \"hidden\", found a JSON number"},
      {R"({"widths":{}, "hidden":[})", "does not parse"},
  };
  for (const auto& [text, message] : refusals) {
    const DriverError error = errorOf([&] { TableColumnLayout::fromJSONText(text); });
    EXPECT_EQ(error.domain(), "TableColumnLayout") << text;
    EXPECT_TRUE(tabvora::testing::contains(error.message(), message)) << text << ": " << error.message();
  }
}

TEST(SQLTabTest, EqualityIgnoresResultData) {
  SQLTab tab("id-1", "Query 1", "SELECT 1", std::nullopt, 3.5, std::nullopt, false);
  SQLTab loaded = tab;
  loaded.resultData = DataTable::empty();
  EXPECT_EQ(loaded, tab);
  loaded.executionTimeMs = 4;
  EXPECT_NE(loaded, tab);
  EXPECT_NE(SQLTab("Query 1", "SELECT 1"), SQLTab("Query 1", "SELECT 1"));
}

}  // namespace
}  // namespace tabvora::internal
