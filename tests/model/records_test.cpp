// Rows, tables, formats and table kinds.
#include <gtest/gtest.h>

#include <set>

#include "model/data_row.hpp"
#include "model/data_table.hpp"
#include "model/database_format.hpp"
#include "model/table_type.hpp"

namespace tabvora::internal {
namespace {

DataRow threeValues() {
  return DataRow{0, 7, {CellValue::integer(1), CellValue::text("Straße"), CellValue::real(2.5)}};
}

TEST(DataRowTest, OutOfRangePositionsReadNullAndIgnoreWritesAndUpdatingCopies) {
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
}

TEST(DataRowTest, MatchesSearchesDisplayTextIgnoringCase) {
  const DataRow row = threeValues();
  EXPECT_TRUE(row.matches("STRASSE"));
  EXPECT_TRUE(row.matches("2.5"));
  EXPECT_FALSE(row.matches("missing"));
  EXPECT_TRUE(DataRow{}.matches(""));
  EXPECT_FALSE(DataRow{}.matches("a"));
  EXPECT_TRUE((DataRow{0, {}, {CellValue::null()}}).matches("nul"));
}

TEST(DataTableTest, TotalDefaultsToRowCountAndIdsAreFresh) {
  const std::vector<DataRow> rows(4);
  const DataTable a("t", {}, rows);
  EXPECT_EQ(a.totalRowCount, 4);
  EXPECT_EQ(DataTable("t", {}, rows, 100).totalRowCount, 100);
  EXPECT_NE(a.id, DataTable("t", {}, rows).id);
  const DataTable empty = DataTable::empty();
  EXPECT_TRUE(empty.columns.empty() && empty.rows.empty());
  EXPECT_EQ(empty.totalRowCount, 0);
  EXPECT_NE(empty.id, DataTable::empty().id);
}

TEST(DataTableTest, UUIDsAreVersion4) {
  // The canonical 8-4-4-4-12 form in upper-case hex ('x'), version 4, RFC 4122 variant ('v').
  const std::string_view form = "xxxxxxxx-xxxx-4xxx-vxxx-xxxxxxxxxxxx";
  const auto fits = [](char pattern, char c) {
    const std::string_view allowed = pattern == 'x' ? "0123456789ABCDEF" : pattern == 'v' ? "89AB" : "";
    return allowed.empty() ? c == pattern : allowed.find(c) != std::string_view::npos;
  };
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = makeUUID();
    ASSERT_EQ(id.size(), form.size()) << id;
    for (std::size_t at = 0; at < form.size(); ++at) ASSERT_TRUE(fits(form[at], id[at])) << id;
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

}  // namespace
}  // namespace tabvora::internal
