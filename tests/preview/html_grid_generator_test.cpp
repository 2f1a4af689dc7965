#include "preview/html_grid_generator.hpp"

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::readFile;
using testing::testData;

DataColumn column(std::string name, ColumnType type, int index) {
  return DataColumn{std::move(name), type, false, true, std::nullopt, index};
}

DataRow row(std::int64_t id, std::vector<CellValue> values) { return DataRow{id, std::nullopt, std::move(values)}; }

DatabaseMetadata metadata(std::string name, DatabaseFormat format, std::int64_t size,
                          std::vector<TableMetadata> tables) {
  return DatabaseMetadata{std::move(name), format, "/tmp/" + name, size, std::move(tables), std::nullopt};
}

TableMetadata table(std::string name, std::optional<std::int64_t> rows, TableType type = TableType::table) {
  return TableMetadata{std::move(name), type, rows, std::nullopt, std::nullopt, std::nullopt};
}

// A page byte for byte against one written out by hand, stored without its style sheet,
// which grid_style.css holds once for every page.
void expectPage(std::string page, const char* golden) {
  const std::size_t start = page.find("<style>\n") + 8, end = page.find("</style>\n", start);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(page.substr(start, end - start), readFile(testData("preview/grid_style.css")));
  EXPECT_EQ(page.erase(start, end - start), readFile(testData(std::string("preview/") + golden)));
}

TEST(HTMLGridGeneratorGolden, MultiTablePageWithPills) {
  auto meta = metadata("music.sqlite", DatabaseFormat::sqlite, 16384,
                       {table("artists", 8), table("albums", std::nullopt), table("ARTISTS", 0, TableType::view),
                        table("O'Brien & Co", 12)});
  DataTable data("artists",
                 {column("ArtistId", ColumnType::integer, 0), column("Name", ColumnType::text, 1),
                  column("Rating", ColumnType::real, 2)},
                 {row(0, {CellValue::integer(1), CellValue::text("AC/DC"), CellValue::real(4.5)}),
                  row(1, {CellValue::integer(2), CellValue::text("Björk"), CellValue::real(5.0)}),
                  row(2, {CellValue::integer(3), CellValue::text("Sigur Rós"), CellValue::real(-0.25)})},
                 8);
  expectPage(HTMLGridGenerator::generateHTML(meta, "artists", data), "grid_multi_table.html");
}

TEST(HTMLGridGeneratorGolden, EmptyTableOfFileWithoutTables) {
  auto meta = metadata("empty.db", DatabaseFormat::sqlite, 4096, {});
  expectPage(HTMLGridGenerator::generateHTML(meta, "data", DataTable::empty()), "grid_empty_table.html");
}

TEST(HTMLGridGeneratorGolden, EscapingShortRowsBooleansNullsAndTypedAlignment) {
  auto meta = metadata("Tom's \"best\" <data> & more.csv", DatabaseFormat::csv, 2'500'000,
                       {table("Tom's \"best\" <data>", 4)});
  DataTable data("t",
                 {column("id", ColumnType::integer, 0), column("label", ColumnType::text, 1),
                  column("price", ColumnType::real, 2), column("active", ColumnType::boolean, 3),
                  column("note's <n>", ColumnType::text, 4)},
                 {row(0, {CellValue::integer(1), CellValue::text("<b>\"A\" & 'B'</b>"), CellValue::real(9.99),
                          CellValue::boolean(true), CellValue::text("TRUE")}),
                  // A text value in a real column keeps the column's alignment.
                  row(1, {CellValue::integer(2), CellValue::text("plain"), CellValue::text("n/a"),
                          CellValue::boolean(false), CellValue::null()}),
                  row(2, {CellValue::integer(3)}),
                  row(3, {CellValue::integer(4), CellValue::text("x"), CellValue::real(42.0), CellValue::boolean(true),
                          CellValue::text("extra"), CellValue::text("dropped")})});
  expectPage(HTMLGridGenerator::generateHTML(meta, "Tom's \"best\" <data>", data), "grid_mixed_values.html");
}

TEST(HTMLGridGenerator, RendersAtMostFiftyRowsAndReportsTheTotal) {
  std::vector<DataRow> rows;
  for (int i = 0; i < 80; ++i) rows.push_back(row(i + 100, {CellValue::integer(i)}));
  DataTable data("big", {column("n", ColumnType::integer, 0)}, rows, 1'000'000);
  std::string page = HTMLGridGenerator::generateHTML(
      metadata("big.csv", DatabaseFormat::csv, 10, {table("big", 1'000'000)}), "big", data);

  std::size_t shown = 0;
  for (auto at = page.find("<td class=\"row-num\">"); at != std::string::npos; at = page.find("<td class=\"row-num\">", at + 1)) ++shown;
  EXPECT_EQ(shown, 50u);
  // Row numbers count positions on the page, not the rows' ids.
  EXPECT_NE(page.find("<td class=\"row-num\">50</td><td class=\"align-right mono\">49</td>"), std::string::npos);
  EXPECT_EQ(page.find("<td class=\"row-num\">51</td>"), std::string::npos);
  EXPECT_NE(page.find("<span>Showing 50 of 1000000 rows</span>"), std::string::npos);
}

TEST(HTMLGridGenerator, TextThatIsNotUTF8IsRepairedNotPassedThrough) {
  DataTable data("t", {column("c", ColumnType::text, 0)}, {row(0, {CellValue::text("caf\xE9")})});
  std::string page = HTMLGridGenerator::generateHTML(
      metadata("bad\xFFname.csv", DatabaseFormat::csv, 1, {table("t", 1)}), "t", data);
  EXPECT_NE(page.find("caf\xEF\xBF\xBD"), std::string::npos);
  EXPECT_NE(page.find("bad\xEF\xBF\xBDname.csv"), std::string::npos);
}

TEST(HTMLGridGenerator, CellsShowAtMostTenThousandCharactersThenAnEllipsis) {
  const std::size_t limit = HTMLGridGenerator::kMaxCellCharacters;
  const std::string euro = "\u20AC", face = "\U0001F600", ellipsis = "\u2026";
  std::string faces;
  for (std::size_t i = 0; i < limit; ++i) faces += face;
  std::string entities, replacements;
  for (std::size_t i = 0; i < limit; ++i) entities += "&lt;";
  for (std::size_t i = 0; i < limit; ++i) replacements += "\uFFFD";
  const std::pair<std::string, std::string> cases[] = {
      {std::string(limit - 1, 'a') + euro, std::string(limit - 1, 'a') + euro},
      {std::string(limit - 1, 'a') + euro + face, std::string(limit - 1, 'a') + euro + ellipsis},
      {faces, faces},
      {faces + "b", faces + ellipsis},
      {std::string(limit + 1, '<'), entities + ellipsis},  // escaping does not count
      // Each stray byte is one character, shown as one U+FFFD.
      {std::string(100'000, '\x80'), replacements + ellipsis},
  };
  for (const auto& [value, shown] : cases) {
    DataTable data("t", {column("c", ColumnType::text, 0)}, {row(0, {CellValue::text(value)})});
    const std::string page =
        HTMLGridGenerator::generateHTML(metadata("t.csv", DatabaseFormat::csv, 1, {table("t", 1)}), "t", data);
    const std::string open = "<td class=\"align-left\">";
    const auto start = page.find(open) + open.size();
    const std::string cell = page.substr(start, page.find("</td>", start) - start);
    EXPECT_EQ(cell, shown) << value.size() << " bytes";
  }
}

}  // namespace
}  // namespace tabvora::internal
