// The compact grid: rows built cell by cell read back as set, shared-string references
// before and after the table is known, rows larger than a block, and trimming to a text
// budget.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/spreadsheet/sheet/sheet_grid.hpp"

namespace tabvora::internal {
namespace {

using Rows = std::vector<std::vector<std::string>>;

TEST(SheetGrid, RowsReadBackAsBuiltWithReferencesResolvedOnceTheTableIsKnown) {
  const std::vector<std::string> table = {"alpha", "beta"};
  SheetGrid grid;
  SheetGrid::RowBuilder row;
  EXPECT_FALSE(grid.append(row)) << "a row without cells";

  row.setText(2, "c");
  row.setText(0, "a");
  row.setText(2, "replaced");
  row.setSharedString(3, "1");
  EXPECT_EQ(row.width(), 4u);
  EXPECT_EQ(row.textBytes(), 9) << "references count once resolved";
  ASSERT_TRUE(grid.append(row));
  row.clear();
  // Index texts as the file gives them: parsed whole, in range or kept as written.
  for (const char* index : {"0", "+1", "01", "2", "-1", " 1", "", "99999999999999999999"})
    row.setSharedString(row.width(), index);
  ASSERT_TRUE(grid.append(row));
  row.clear();
  row.setText(1, "");
  ASSERT_TRUE(grid.append(row));

  EXPECT_EQ(grid.toStrings(), (Rows{{"a", "", "replaced", "1"},
                                    {"0", "+1", "01", "2", "-1", " 1", "", "99999999999999999999"},
                                    {"", ""}}));
  grid.resolveSharedStrings(table);
  EXPECT_EQ(grid.toStrings(), (Rows{{"a", "", "replaced", "beta"},
                                    {"alpha", "beta", "beta", "2", "-1", " 1", "", "99999999999999999999"},
                                    {"", ""}}));
  EXPECT_EQ(grid.cell(0, 9), "");
  EXPECT_EQ(grid.maxWidth(), 8u);
}

TEST(SheetGrid, RowsLargerThanABlockAndManyBlocks) {
  SheetGrid grid;
  SheetGrid::RowBuilder row;
  const std::string large(3 << 20, 'x');
  for (int i = 0; i < 40'000; ++i) {
    row.clear();
    row.setText(0, std::to_string(i) + std::string(200, '.'));
    if (i % 10'000 == 5) row.setText(1, large);
    ASSERT_TRUE(grid.append(row));
  }
  ASSERT_EQ(grid.rowCount(), 40'000u);
  for (const std::size_t i : {0, 5, 6, 19'999, 20'005, 39'999}) {
    EXPECT_EQ(grid.cell(i, 0), std::to_string(i) + std::string(200, '.'));
    EXPECT_EQ(grid.cell(i, 1), i % 10'000 == 5 ? large : "") << i;
  }
}

TEST(SheetGrid, KeepsTheRowsThatFitATextBudget) {
  const std::vector<std::string> table = {"0123456789"};
  SheetGrid grid;
  SheetGrid::RowBuilder row;
  row.setText(0, "abc");
  grid.append(row);
  row.setSharedString(3, "0");
  grid.append(row);
  row.clear();
  row.setText(0, "d");
  grid.append(row);
  grid.resolveSharedStrings(table);

  const struct {
    std::int64_t budget;
    std::size_t rows;
  } cases[] = {{17, 3}, {16, 2}, {15, 1}, {3, 1}, {2, 0}};
  for (const auto& c : cases) EXPECT_EQ(grid.rowsWithinTextBytes(c.budget), c.rows) << c.budget;
  grid.truncate(1);
  EXPECT_EQ(grid.toStrings(), Rows{{"abc"}});
  EXPECT_EQ(grid.maxWidth(), 1u);
}

}  // namespace
}  // namespace tabvora::internal
