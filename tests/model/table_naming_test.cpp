// Table names from file names and column names from headers.
#include <gtest/gtest.h>

#include "model/table_naming.hpp"

namespace tabvora {
namespace {

TEST(StagedTableName, KeepsLettersNumbersAndUnderscores) {
  EXPECT_EQ(stagedTableName("My Sales-2024", "t_"), "My_Sales_2024");
  EXPECT_EQ(stagedTableName("2024 report", "t_"), "t_2024_report");
  EXPECT_EQ(stagedTableName("(!)", "t_"), "t_");
  EXPECT_EQ(stagedTableName("", "p_"), "p_");
  EXPECT_EQ(stagedTableName("Café.v2", "t_"), "Cafév2");
  EXPECT_EQ(stagedTableName("Cafe\u0301!\u0301", "t_"), "Cafe\u0301");  // marks follow their letter
  EXPECT_EQ(stagedTableName("٣rd", "t_"), "t_٣rd");  // any Unicode number counts
  EXPECT_EQ(stagedTableName("données_été", "t_"), "données_été");
  EXPECT_EQ(stagedTableName("bad\xFFname", "t_"), "badname");
}

TEST(StagedTableName, GuardsTheReservedPrefix) {
  EXPECT_EQ(stagedTableName("SQLite_master", "t_"), "t_SQLite_master");
  EXPECT_EQ(stagedTableName("sqlite-stat1", "t_"), "t_sqlite_stat1");
  EXPECT_EQ(stagedTableName("sqlite_master", "p_", false), "sqlite_master");
  EXPECT_EQ(stagedTableName("sqlitex", "t_"), "sqlitex");
}

TEST(ColumnNamerTest, FirstComeDeduplicationIgnoringCase) {
  ColumnNamer namer;
  EXPECT_EQ(namer.accept("a", 1), "a");
  EXPECT_EQ(namer.accept("A", 2), "A_1");
  EXPECT_EQ(namer.accept("", 3), "col_3");
  EXPECT_EQ(namer.accept(" a\n", 4), "a_2");
  EXPECT_EQ(namer.accept("a_1", 5), "a_1_1");  // suffixes never stack on a taken base
  EXPECT_EQ(namer.accept("col_3", 6), "col_3_1");
  EXPECT_EQ(namer.accept("  ", 7), "col_7");
  EXPECT_EQ(namer.accept("ÉTÉ", 8), "ÉTÉ");
  EXPECT_EQ(namer.accept("été", 9), "été_1");
}

TEST(ColumnNamerTest, UntrimmedNamesForJSONKeys) {
  ColumnNamer namer(false);
  EXPECT_EQ(namer.accept(" a ", 1), " a ");
  EXPECT_EQ(namer.accept("a", 2), "a");
  EXPECT_EQ(namer.accept("", 3), "col_3");
}

TEST(ColumnNamerTest, ThousandsOfDuplicatesKeepCounting) {
  ColumnNamer namer;
  std::string last;
  for (std::size_t i = 1; i <= 20000; ++i) last = namer.accept(i % 2 ? "name" : "NAME", i);
  EXPECT_EQ(last, "NAME_19999");
}

}  // namespace
}  // namespace tabvora
