#include "drivers/sqlscript/table_namespaces.hpp"

#include <gtest/gtest.h>

#include "support/case_file.hpp"

#include <string>
#include <vector>

namespace tabvora::internal::SQLDialectNormalizer {
namespace {

// archive.orders was staged first (as "orders"), public.orders second; public is current.
TableNamespaces twoOrders() {
  TableNamespaces spaces("public");
  spaces.add("Archive");
  spaces.define({"archive", "orders", "orders"});
  spaces.define({"public", "orders", "public.orders"});
  return spaces;
}

TEST(TableNamespaces, WritesEachTableReferenceAsItsStagedName) {
  const TableNamespaces spaces = twoOrders();
  for (const testing::TextCase& c : testing::readTextCases("drivers/sqlscript/table_namespaces.cases"))
    EXPECT_EQ(spaces.rewrite(c.input.at(0), false).text, c.expected.at(0)) << c.where;
}

TEST(TableNamespaces, ANameAnotherNamespaceHoldsIsStagedWithItsQualifier) {
  TableNamespaces spaces = twoOrders();
  spaces.use("old");
  TableNamespaces::Rewrite created = spaces.rewrite("CREATE TABLE IF NOT EXISTS Orders (id int)", true);
  EXPECT_EQ(created.text, "CREATE TABLE IF NOT EXISTS \"old.Orders\" (id int)");
  ASSERT_TRUE(created.defines);
  EXPECT_EQ((std::vector<std::string>{created.defines->key, created.defines->name, created.defines->staged}),
            (std::vector<std::string>{"old", "orders", "old.Orders"}));
  spaces.define(*created.defines);
  EXPECT_EQ(spaces.rewrite("SELECT Archive.orders.id FROM old.orders", false).text,
            "SELECT orders.id FROM \"old.Orders\"");

  // The first database keeps plain schema names; another one's are qualified with it.
  spaces.connect("first");
  EXPECT_EQ(spaces.rewrite("DELETE FROM orders", false).text, "DELETE FROM \"public.orders\"");
  spaces.connect("second");
  EXPECT_EQ(spaces.rewrite("DELETE FROM orders", false).text, "DELETE FROM \"second.public.orders\"");
  EXPECT_EQ(spaces.rewrite("DELETE FROM fresh", false).text, "DELETE FROM fresh");
}

}  // namespace
}  // namespace tabvora::internal::SQLDialectNormalizer
