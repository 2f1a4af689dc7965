// The shared-string table: rich text and phonetic runs, escapes, prefixed producers, the
// recovering second pass over a damaged part, and the refusals and budget for a hostile one.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "drivers/spreadsheet/sheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_shared_strings_reader.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using Strings = std::vector<std::string>;

Strings read(const std::string& part, std::int64_t budgetBytes = std::int64_t{1} << 30) {
  WorkbookBudget budget(budgetBytes, "XLSXDriver");
  WorkbookBudget::Account account(&budget);
  return XLSXSharedStringsReader::read(testing::bytesOf(part), account);
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
      // A stream that fails is read again recovering, which keeps the items around the
      // stray "<" and reads elements by local name, whatever their prefix.
      {"<sst><si><t>one</t></si><si><r><t>tw</t></r><r><t>o</t></r></si><si><t>thr<ee</t></si><si><t>four</t></sst>",
       {"one", "two", "thr", "four"}},
      {"<sst xmlns:y=\"urn:any\"><si><y:t>one</y:t><rPh><t>guide</t></rPh></si><si><t>bare & amp</t></si></sst>", {"one", "bare  amp"}},
      {"<sst><si><t>cut off", {"cut off"}},
      {"no xml at all", {}},
      {"", {}},
      // Escapes: four hex digits of either case, a surrogate pair, a lone surrogate, an
      // escaped underscore before escape-like text, and near misses left as written.
      {"<sst><si><t>a_x000D_b_x000a_</t></si><si><t>_xD83D__xDE00_ _xD83D_!</t></si>"
       "<si><t>_x005F_x0041_ _x41_ _x00G1_ _X0041_ __x0042_</t></si></sst>",
       {"a\rb\n", "\U0001F600 \uFFFD!", "_x0041_ _x41_ _x00G1_ _X0041_ _B"}},
  };
  for (const auto& c : cases) EXPECT_EQ(read(c.part), c.strings) << c.part;
}

TEST(XLSXSharedStringsReader, RefusesDocumentTypesAndChargesEveryItemToTheBudget) {
  const std::string laughs = "<?xml version=\"1.0\"?>" + testing::entityBombPrologue("sst");
  EXPECT_EQ(read(laughs + "]><sst><si><t>&l9;</t></si></sst>"), Strings{});
  EXPECT_EQ(read("<!DOCTYPE sst><sst><si><t>x</t></si></sst>"), Strings{});

  // Three items of 3, 3 and 1 bytes cost 32 bytes each besides their text, and the item
  // being read its text: 104 bytes at the end of the third; in both passes.
  const std::string part = "<sst><si><t>abc</t></si><si><t>def</t></si><si><t>g</t></si></sst>";
  for (const std::string& damage : {"", "<broken"}) {
    EXPECT_EQ(read(part + damage, 104), (Strings{"abc", "def", "g"}));
    EXPECT_EQ(testing::errorOf([&] { read(part + damage, 103); }).message(),
              "The workbook needs more than 103 bytes of memory to stage (part \"xl/sharedStrings.xml\")");
  }
  // Empty items cost their bookkeeping: 100,000 of them need 3.2 MB.
  std::string empty = "<sst>";
  for (int i = 0; i < 100'000; ++i) empty += "<si/>";
  EXPECT_EQ(read(empty + "</sst>", 3'200'000).size(), 100'000u);
  EXPECT_THROW(read(empty + "</sst>", 3'199'999), DriverError);
  EXPECT_THROW(read(empty + "<broken", 3'199'999), DriverError);
}

}  // namespace
}  // namespace tabvora::internal
