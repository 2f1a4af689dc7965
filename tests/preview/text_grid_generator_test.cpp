// Layouts at a given width and height are command-line cases (apps/tabvora/cases/text_grid.test).
#include "preview/text_grid_generator.hpp"

#include <gtest/gtest.h>

// libstdc++'s <regex> trips GCC 12's -Wmaybe-uninitialized inside its own std::function.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>

#include "platform/display_width.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::contains;
using testing::linesOf;

DataColumn column(std::string name, ColumnType type = ColumnType::text) {
  return DataColumn{std::move(name), type, false, true, std::nullopt, 0};
}

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

// The rule under the names of columns of these widths.
std::string rule(std::vector<std::size_t> widths) {
  std::string line;
  for (std::size_t width : widths) {
    if (!line.empty()) line += "\u2500\u253C\u2500";
    while (width-- > 0) line += "\u2500";
  }
  return line;
}

TEST(TextGridGenerator, EveryLineFitsAnyWidth) {
  // A page of wide text, emoji, long and multi-line cells, numbers, NULLs and short rows.
  std::vector<std::vector<CellValue>> values(12);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = {CellValue::integer(static_cast<std::int64_t>(i) * 1001),
                 CellValue::text("坂本龍一 \U0001F468\u200D\U0001F469\u200D\U0001F467"),
                 CellValue::text(std::string(300, 'x') + "\nend"), CellValue::real(-0.25), CellValue::null()};
    if (i % 3 == 2) values[i].resize(2);
  }
  const DataTable data = table({column("id", ColumnType::integer), column("名前"), column("notes"),
                                column("score", ColumnType::real), column("extra")},
                               std::move(values), 1000);
  for (std::size_t width : {0, 1, 2, 5, 19, 20, 33, 80, 200}) {
    for (bool color : {false, true}) {
      const std::string text = grid(data, {width, std::nullopt, color}, "名前のとても長いファイル名.csv");
      EXPECT_EQ(linesOf(text).size(), 4 + 12u) << width;
      const std::string plain = std::regex_replace(text, std::regex("\x1b\\[[0-9]m"), "");
      for (const std::string& line : linesOf(plain)) EXPECT_LE(displayWidth(line), width) << line;
      if (!color) {
        EXPECT_FALSE(contains(text, "\x1b")) << width;
      }
    }
  }
  EXPECT_EQ(grid(data, {80, 0, false}), "") << "no room at all";
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

}  // namespace
}  // namespace tabvora::internal
