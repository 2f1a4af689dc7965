#include "drivers/sqlscript/table_namespaces.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tabvora::SQLDialectNormalizer {
namespace {

// archive.orders was staged first (as "orders"), public.orders second; public is current.
TableNamespaces twoOrders() {
  TableNamespaces spaces("public");
  spaces.add("Archive");
  spaces.define({"archive", "orders", "orders"});
  spaces.define({"public", "orders", "public.orders"});
  return spaces;
}

// The real dumps of the driver's tests hold the common statements; these are the places a
// table name may stand in that they do not, and the names that are not tables.
TEST(TableNamespaces, WritesEachTableReferenceAsItsStagedName) {
  const std::pair<std::string, std::string> cases[] = {
      // A column qualifier names its statement's table before the current namespace's.
      {"SELECT orders.id FROM archive.orders WHERE orders.total > 1",
       "SELECT orders.id FROM orders WHERE orders.total > 1"},
      {"SELECT orders.id, n FROM x, \"public\".\"orders\" JOIN y ON y.id = orders.id",
       "SELECT \"public.orders\".id, n FROM x, \"public.orders\" JOIN y ON y.id = \"public.orders\".id"},
      {"SELECT archive.f(1), public.orders.id, extract(year FROM d) FROM a AS b, orders",
       "SELECT f(1), \"public.orders\".id, extract(year FROM d) FROM a AS b, \"public.orders\""},
      // An INSERT is read up to its VALUES.
      {"INSERT INTO orders (orders) VALUES ('orders', archive.orders)",
       "INSERT INTO \"public.orders\" (orders) VALUES ('orders', archive.orders)"},
      {"DROP TABLE IF EXISTS archive.items", "DROP TABLE IF EXISTS items"},
      {"CREATE INDEX ON ONLY orders USING btree (id)", "CREATE INDEX ON ONLY \"public.orders\" USING btree (id)"},
      {"ALTER TABLE t ADD FOREIGN KEY (a) REFERENCES orders (id) ON UPDATE CASCADE",
       "ALTER TABLE t ADD FOREIGN KEY (a) REFERENCES \"public.orders\" (id) ON UPDATE CASCADE"},
  };
  const TableNamespaces spaces = twoOrders();
  for (const auto& [statement, expected] : cases) EXPECT_EQ(spaces.rewrite(statement, false).text, expected);
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
}  // namespace tabvora::SQLDialectNormalizer
