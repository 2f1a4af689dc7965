// The shared-string table: rich text and phonetic runs, prefixed producers, the tolerant
// fallback for a damaged part, and the refusals and bounds for a hostile one.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "drivers/spreadsheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xlsx_shared_strings_reader.hpp"

namespace tabvora {
namespace {

using Strings = std::vector<std::string>;

Strings read(const std::string& part, std::int64_t maxTextBytes = XLSXSharedStringsReader::kMaxTextBytes) {
  return XLSXSharedStringsReader::read(testing::bytesOf(part), maxTextBytes);
}

TEST(XLSXSharedStringsReader, JoinsRunsWithoutPhoneticGuidesStreamingOrRecovering) {
  const struct {
    std::string part;
    Strings strings;
  } cases[] = {
      {R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="4" uniqueCount="4">
<si><t>plain</t></si>
<si><r><t>Bo</t></r><r><rPr><b/></rPr><t>ld</t></r><r><t xml:space="preserve"> end </t></r></si>
<si><t>東京</t><rPh sb="0" eb="2"><t>トウキョウ</t></rPh><phoneticPr fontId="1"/></si>
<si/><si><t>&lt;&amp;&#x263A;</t></si></sst>)",
       {"plain", "Bold end ", "東京", "", "<&\u263A"}},
      {R"(<x:sst xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><x:si><x:t>a</x:t></x:si></x:sst>)",
       {"a"}},
      {R"(<x:sst xmlns:x="http://purl.oclc.org/ooxml/spreadsheetml/main"><x:si><x:r><x:t>b</x:t></x:r></x:si></x:sst>)",
       {"b"}},
      {R"(<x:sst xmlns:x="urn:elsewhere"><x:si><x:t>c</x:t></x:si></x:sst>)", {}},
      {R"(<sst><si><t>text outside t is dropped</t>dropped</si><si><rPh><rPh/><t>x</t></rPh><t>y</t></si></sst>)",
       {"text outside t is dropped", "y"}},
      // A stream that fails falls back to a tolerant document, which keeps the items
      // around the stray "<" and reads elements by local name, whatever their prefix.
      {"<sst><si><t>one</t></si><si><r><t>tw</t></r><r><t>o</t></r></si><si><t>thr<ee</t></si><si><t>four</t></sst>",
       {"one", "two", "thr", "four"}},
      {"<sst xmlns:y=\"urn:any\"><si><y:t>one</y:t><rPh><t>guide</t></rPh></si><si><t>bare & amp</t></si></sst>", {"one", "bare  amp"}},
      {"<sst><si><t>cut off", {"cut off"}},
      {"no xml at all", {}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(read(c.part), c.strings) << c.part;
}

TEST(XLSXSharedStringsReader, RefusesDocumentTypesAndStopsBeforeTheItemPastTheTextLimit) {
  const std::string laughs = "<?xml version=\"1.0\"?>" + testing::entityBombPrologue("sst");
  EXPECT_EQ(read(laughs + "]><sst><si><t>&l9;</t></si></sst>"), Strings{});
  EXPECT_EQ(read("<!DOCTYPE sst><sst><si><t>x</t></si></sst>"), Strings{});

  const std::string part = "<sst><si><t>abc</t></si><si><t>def</t></si><si><t>g</t></si></sst>";
  EXPECT_EQ(read(part, 7), (Strings{"abc", "def", "g"}));
  EXPECT_EQ(read(part, 6), (Strings{"abc", "def"}));
  // Nested items repeat their text once per level; the document pass is bounded alike.
  const std::string nested = "<sst><si><si><si><t>0123456789</t></si></si></si><si><t>x</t></sst>";
  EXPECT_EQ(read(nested, 25), (Strings{"0123456789", "0123456789"}));
}

}  // namespace
}  // namespace tabvora
