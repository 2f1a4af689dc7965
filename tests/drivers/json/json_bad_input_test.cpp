#include "json_test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

// The short documents are golden cases (tests/data/json/bad_documents.cases); nesting past the
// limit and lines of 50 MB are command-line cases (apps/tabvora/cases/json_files.test).
TEST(JSONBadInput, NestingWithinTheLimitIsKeptAndWrittenBackWhole) {
  TempDir dir;
  const std::string nested = std::string(1'000, '[') + std::string(1'000, ']');
  OpenedJSON opened =
      openJSON(dir, "nested.json", "{\"meta\":" + nested + ",\"rows\":[{\"a\":" + nested + ",\"b\":1},{\"a\":\"s\"}]}");
  EXPECT_EQ(opened.table().rows[0].values[0], CellValue::text(nested));
  opened.driver->saveChanges();
  OpenedJSON reopened = openJSONFile(opened.path);
  EXPECT_EQ(reopened.table().rows[0].values[0], CellValue::text(nested));
}

// Too many distinct keys: a command-line case (apps/tabvora/cases/text_files.test).

}  // namespace
}  // namespace tabvora::testing
