#include "preview/text_grid_generator.hpp"

#include <gtest/gtest.h>

#include <regex>

#include "platform/display_width.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::contains;

DataColumn column(std::string name, ColumnType type = ColumnType::text) { return DataColumn{std::move(name), type}; }

DataTable table(std::vector<DataColumn> columns, std::vector<std::vector<CellValue>> rows, std::int64_t total) {
  std::vector<DataRow> dataRows;
  for (auto& values : rows) dataRows.push_back(DataRow{0, std::nullopt, std::move(values)});
  return DataTable("t", std::move(columns), std::move(dataRows), total);
}

// The grid of `data` from a CSV file of 2.5 MB with `tables` tables.
std::string grid(const DataTable& data, TextGridOptions options, std::string fileName = "f.csv", std::size_t tables = 1) {
  DatabaseMetadata metadata{std::move(fileName), DatabaseFormat::csv, "/tmp/x", 2'500'000, {}, std::nullopt};
  metadata.tables.resize(tables);
  return TextGridGenerator::generateText(metadata, "fruit", data, options);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// The rule under the names of columns of these widths.
std::string rule(std::vector<std::size_t> widths) {
  std::string line;
  for (std::size_t width : widths) {
    if (!line.empty()) line += "\u2500\u253C\u2500";
    while (width-- > 0) line += "\u2500";
  }
  return line;
}

// A page of wide text, emoji, long and multi-line cells, numbers, NULLs and short rows.
DataTable mixedPage(std::size_t rows) {
  std::vector<std::vector<CellValue>> values(rows);
  for (std::size_t i = 0; i < rows; ++i) {
    values[i] = {CellValue::integer(static_cast<std::int64_t>(i) * 1001),
                 CellValue::text("坂本龍一 \U0001F468\u200D\U0001F469\u200D\U0001F467"),
                 CellValue::text(std::string(300, 'x') + "\nend"), CellValue::real(-0.25), CellValue::null()};
    if (i % 3 == 2) values[i].resize(2);
  }
  return table({column("id", ColumnType::integer), column("名前"), column("notes"), column("score", ColumnType::real),
                column("extra")},
               std::move(values), 1000);
}

TEST(TextGridGenerator, LayoutOfAPageWithAndWithoutColour) {
  const DataTable data =
      table({column("id", ColumnType::integer), column("name"), column("price", ColumnType::real)},
            {{CellValue::integer(7), CellValue::text("Björk"), CellValue::real(4.5)},
             {CellValue::text("n/a"), CellValue::text("坂本龍一 and a long tail that goes on"), CellValue::null()},
             {CellValue::integer(-12), CellValue::integer(3)}},
            8);
  // The widest column shrinks to the room the others leave; numbers, and all of a number column, on the right.
  const std::string expected = "CSV \u00B7 prices.csv \u00B7 2.5 MB \u00B7 2 tables \u00B7 fruit\n"
                               " id \u2502 name                           \u2502 price\n" + rule({3, 30, 5}) + "\n"
                               "  7 \u2502 Bj\u00F6rk                          \u2502   4.5\n"
                               "n/a \u2502 坂本龍一 and a long tail that\u2026 \u2502  NULL\n"
                               "-12 \u2502                              3 \u2502  NULL\n"
                               "Showing 3 of 8 rows\n";
  EXPECT_EQ(grid(data, {44, std::nullopt, false}, "prices.csv", 2), expected);
  const std::string coloured = grid(data, {44, std::nullopt, true}, "prices.csv", 2);
  EXPECT_EQ(std::regex_replace(coloured, std::regex("\x1b\\[[0-9]m"), ""), expected);
  EXPECT_TRUE(contains(coloured, "\x1b[1mname\x1b[0m") && contains(coloured, "\x1b[2mNULL\x1b[0m")) << coloured;
}

TEST(TextGridGenerator, EveryLineFitsAnyWidth) {
  const DataTable data = mixedPage(12);
  for (std::size_t width : {0, 1, 2, 5, 19, 20, 33, 80, 200}) {
    for (bool color : {false, true}) {
      const std::string text = grid(data, {width, std::nullopt, color}, "名前のとても長いファイル名.csv");
      EXPECT_EQ(linesOf(text).size(), 4 + 12u) << width;
      const std::string plain = std::regex_replace(text, std::regex("\x1b\\[[0-9]m"), "");
      for (const std::string& line : linesOf(plain)) EXPECT_LE(displayWidth(line), width) << line;
      if (!color) EXPECT_FALSE(contains(text, "\x1b")) << width;
    }
  }
}

TEST(TextGridGenerator, HeightLeavesOffRowsThenRuleNamesAndFooter) {
  const DataTable data = mixedPage(60);
  const std::pair<std::optional<std::size_t>, std::vector<std::string_view>> cases[] = {
      {0, {}}, {1, {"CSV"}}, {2, {"CSV", "Showing 0 of 1000"}}, {3, {"CSV", "id", "Showing 0 of 1000"}},
      {5, {"CSV", "id", "\u2500", "坂本", "Showing 1 of 1000"}},
      {std::nullopt, {"CSV", "id", "\u2500", "坂本"}},  // then the rest of the page
  };
  for (const auto& [height, starts] : cases) {
    const auto lines = linesOf(grid(data, {80, height, false}));
    EXPECT_EQ(lines.size(), height.value_or(4 + TextGridGenerator::kMaxRenderedRows));
    for (std::size_t i = 0; i < starts.size(); ++i) EXPECT_TRUE(contains(lines.at(i), starts[i])) << lines.at(i);
  }
}

TEST(TextGridGenerator, ColumnsShrinkWidestFirstThenAreLeftOff) {
  // Names of the given lengths over no rows, at a width: the widths shown, and the footer.
  const std::tuple<std::vector<std::size_t>, std::size_t, std::vector<std::size_t>, std::string_view> cases[] = {
      {{50, 3}, 80, {40, 3}, "Showing 0 of 0 rows"},         {{30, 30, 10}, 50, {17, 17, 10}, "Showing 0 of 0 rows"},
      {{30, 30, 10}, 51, {18, 17, 10}, "Showing 0 of 0 rows"}, {{10, 10, 10}, 22, {10, 9}, "0 of 0 rows, +1 column"},
      {{10, 10, 10}, 15, {6, 6}, "0/0 rows +1 col"},          {{10, 10, 10}, 14, {10}, "0/0 rows +2 c\u2026"},
      {{3, 10}, 11, {3}, "0/0 rows +\u2026"},                 {{10}, 4, {4}, "0/0\u2026"},
  };
  for (const auto& [names, width, widths, footer] : cases) {
    std::vector<DataColumn> columns;
    for (std::size_t length : names) columns.push_back(column(std::string(length, 'c')));
    const std::string text = grid(table(columns, {}, 0), {width, std::nullopt, false});
    EXPECT_EQ(linesOf(text).at(2), rule(widths)) << text;
    EXPECT_EQ(linesOf(text).back(), footer);
  }
}

TEST(TextGridGenerator, HostileTextArrivesVisibleAndOnItsLine) {
  // Past kMaxCellBytes a text shows as cut, whatever its width.
  std::string atLimit = "x";
  while (atLimit.size() < TextGridGenerator::kMaxCellBytes) atLimit += "\u200B";
  ASSERT_EQ(atLimit.size(), TextGridGenerator::kMaxCellBytes);
  const DataTable data = table({column("a\x1b[2Jb\tc")},
                               {{CellValue::text("\x1b]0;t\x07 \u202Eevil\r\nnext\u2028line\x9b")},
                                {CellValue::text(atLimit)}, {CellValue::text(atLimit + "y")}}, 3);
  EXPECT_EQ(linesOf(grid(data, {200, std::nullopt, false}, "n\x1b[31m\n.csv")),
            (std::vector<std::string>{"CSV \u00B7 n\\x1b[31m .csv \u00B7 2.5 MB \u00B7 1 table", "a\\x1b[2Jb c",
                                      rule({37}), "\\x1b]0;t\\x07 \\u202eevil next line\\x9b", atLimit,
                                      atLimit + "\u2026", "Showing 3 of 3 rows"}));
}

TEST(TextGridGenerator, NoColumnsStillGivesHeaderAndFooter) {
  EXPECT_EQ(grid(DataTable::empty(), {80, 10, false}, "empty.csv", 0),
            "CSV \u00B7 empty.csv \u00B7 2.5 MB \u00B7 0 tables\nShowing 0 of 0 rows\n");
}

}  // namespace
}  // namespace tabvora::internal
