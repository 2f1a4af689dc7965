// A pg_dump read end to end through the tabvora program: the page, the table list and a
// query answer from the staged dump, and a statement that cannot be run is reported on
// standard error, never in the page.

#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::CommandResult;
using testing::contains;
using testing::listDirectory;
using testing::readFile;
using testing::runTabvora;
using testing::TempDir;
using testing::testData;
using testing::writeFile;

TEST(SQLScriptCommand, ADumpIsPreviewedListedAndQueriedWithoutChangingIt) {
  TempDir dir;
  const std::filesystem::path dump = dir / "shop.sql";
  std::filesystem::copy_file(testData("sqlscript/pg_dump.sql"), dump);
  const std::string before = readFile(dump);

  CommandResult page = runTabvora({"preview", dump.string()});
  ASSERT_EQ(page.exitStatus, 0) << page.err;
  for (const char* shown : {"<span class=\"format-badge\">SQL Script</span>", "<td class=\"align-left\">semi;colon</td>"})
    EXPECT_TRUE(contains(page.out, shown)) << shown;

  CommandResult tables = runTabvora({"tables", dump.string()});
  EXPECT_EQ(tables.out, "Order Lines\tTable\t3\t5\nin_stock_products\tView\t-\t3\nproducts\tTable\t24\t9\n") << tables.err;
  CommandResult notes = runTabvora({"query", dump.string(), "SELECT note FROM \"Order Lines\" ORDER BY line_id"});
  EXPECT_EQ(notes.out, "note\nfirst\n\"\"\nsemi;colon\n") << notes.err;

  writeFile(dir / "partly.sql", "CREATE TABLE t (a);\nINSERT INTO t VALUES (1);\nINSERT INTO nowhere VALUES (2);\n");
  CommandResult partly = runTabvora({"preview", (dir / "partly.sql").string()});
  EXPECT_EQ(partly.exitStatus, 0);
  EXPECT_TRUE(partly.out.starts_with("<!DOCTYPE html>\n")) << partly.out;
  EXPECT_EQ(partly.err, "SQL warning: could not run statement: INSERT INTO nowhere VALUES (2)...\n");

  EXPECT_EQ(readFile(dump), before);
  EXPECT_EQ(listDirectory(dir.path()), (std::vector<std::string>{"partly.sql", "shop.sql"}));
}

}  // namespace
}  // namespace tabvora
