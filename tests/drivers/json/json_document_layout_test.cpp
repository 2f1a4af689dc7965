#include <gtest/gtest.h>

#include "drivers/json/json_document_layout.hpp"
#include "json_test_support.hpp"

namespace tabvora::testing {
namespace {

std::vector<std::string> texts(std::string_view text, const std::vector<JSONRange>& ranges) {
  std::vector<std::string> out;
  for (const JSONRange& range : ranges) out.emplace_back(text.substr(range.begin, range.size()));
  return out;
}

TEST(JSONDocumentLayout, LocatesRecordsAndMembersWithoutParsingThem) {
  std::string text = " [ {\"a\":\"]}\\\"\"} ,\n[1,[2]] , \"s,]\" ,-1.5e3,true ] \n";
  auto layout = JSONDocumentLayout::scan(text);
  ASSERT_TRUE(layout);
  EXPECT_TRUE(layout->rootIsArray);
  EXPECT_EQ(texts(text, layout->elements),
            (std::vector<std::string>{"{\"a\":\"]}\\\"\"}", "[1,[2]]", "\"s,]\"", "-1.5e3", "true"}));

  text = "{\"k\\\"\" : [ {\"x\":1}, {} ], \"m\":{\"a\":[1]}, \"e\":[], \"n\":null}";
  layout = JSONDocumentLayout::scan(text);
  ASSERT_TRUE(layout);
  ASSERT_EQ(layout->members.size(), 4u);
  EXPECT_EQ(texts(text, {layout->members[0].key, layout->members[1].value, layout->members[3].value}),
            (std::vector<std::string>{"\"k\\\"\"", "{\"a\":[1]}", "null"}));
  EXPECT_EQ(texts(text, *layout->members[0].elements), (std::vector<std::string>{"{\"x\":1}", "{}"}));
  EXPECT_FALSE(layout->members[1].elements);
  EXPECT_TRUE(layout->members[2].elements->empty());
}

TEST(JSONDocumentLayout, RejectsMisplacedPunctuation) {
  for (const char* text : {"", "  ", "12", "\"s\"", "[1,]", "[,1]", "[1 2]", "[1", "[1]]", "[1] x", "{\"a\" 1}",
                           "{a:1}", "{\"a\":1,}", "{\"a\":[1,}", "[\"unterminated]", "[{\"a\":[1,2}]" "]]"}) {
    EXPECT_FALSE(JSONDocumentLayout::scan(text)) << text;
  }
  std::string deep = std::string(200'000, '[') + std::string(200'000, ']');
  EXPECT_TRUE(JSONDocumentLayout::scan(deep));
}

}  // namespace
}  // namespace tabvora::testing
