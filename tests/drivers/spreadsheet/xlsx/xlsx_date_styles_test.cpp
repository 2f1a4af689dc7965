// Which cell formats of a styles part show dates: the format-code scan and the walk over
// custom and built-in number formats.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <unordered_set>

#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "drivers/spreadsheet/sheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_date_styles.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

std::unordered_set<std::int64_t> dateStylesOf(const std::string& part, std::int64_t budgetBytes = 1 << 20) {
  WorkbookBudget budget(budgetBytes, "XLSXDriver");
  WorkbookBudget::Account account(&budget);
  return readXLSXDateStyles(testing::bytesOf(part), account);
}

TEST(XLSXDateStyles, TellsDateCodesByTheirLettersOutsideQuotesBracketsAndEscapes) {
  // [h]:mm is a date code through the m after the bracket; \\d0 (two backslashes) is not:
  // its d follows a backslash, even though that one was itself skipped.
  for (const char* code : {"yyyy-mm-dd", "[h]:mm", "[$-409]mmm d", "m/d/yy h:mm AM/PM", "S"})
    EXPECT_TRUE(isDateFormatCode(code)) << code;
  for (const char* code : {"[Red]0.00", "\"day\"0", "\\d0", "\\\\d0", "0.00\" h\"", "\"unclosed y", "[h", "[h]", "General",
                           "#,##0;[Red]-#,##0", ""})
    EXPECT_FALSE(isDateFormatCode(code)) << code;
}

TEST(XLSXDateStyles, MarksCellFormatsOfDateCodesAndBuiltInDateIds) {
  const std::string styles = R"(<?xml version="1.0" encoding="UTF-8"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
  <numFmts count="5">
    <numFmt numFmtId="164" formatCode="dd/mm/yyyy"/>
    <numFmt numFmtId="165" formatCode="0.00%"/>
    <numFmt numFmtId="14" formatCode="0.00"/>
    <numFmt numFmtId="166" formatCode="yyyy"/>
    <numFmt numFmtId="166" formatCode="0"/>
    <numFmt numFmtId="x" formatCode="yyyy"/>
    <numFmt numFmtId="167"/>
  </numFmts>
  <cellStyleXfs count="1"><xf numFmtId="22"/></cellStyleXfs>
  <cellXfs count="13">
    <xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/><xf numFmtId="165"/>
    <xf numFmtId="22"/><xf numFmtId="45"/><xf numFmtId="49"/><xf numFmtId="abc"/>
    <xf numFmtId="58"/><xf numFmtId="59"/><xf numFmtId="166"/><xf/><xf numFmtId="+27"/>
    <xf numFmtId="167"/><xf numFmtId="13"/><xf numFmtId="36"/><xf numFmtId="50"/>
  </cellXfs>
</styleSheet>)";
  // 14 is overridden by a plain code, 166 by its later definition, 167 has no code.
  EXPECT_EQ(dateStylesOf(styles), (std::unordered_set<std::int64_t>{2, 4, 5, 8, 12, 15, 16}));

  EXPECT_EQ(dateStylesOf(R"(<s:styleSheet xmlns:s="urn:any"><s:cellXfs><s:xf numFmtId="14"/></s:cellXfs></s:styleSheet>)"),
            (std::unordered_set<std::int64_t>{0}))
      << "found by local name, whatever the namespace";
  EXPECT_TRUE(dateStylesOf("<styleSheet><cellXfs><xf numFmtId=\"14\"/></cellXfs>").empty()) << "not well-formed";
  EXPECT_TRUE(dateStylesOf("<!DOCTYPE s><styleSheet><cellXfs><xf numFmtId=\"14\"/></cellXfs></styleSheet>").empty());
  EXPECT_TRUE(dateStylesOf("").empty());

  // Every cell format costs 8 bytes while the part is read, and each date style 32 more.
  std::string many = "<styleSheet><cellXfs>";
  for (int i = 0; i < 10'000; ++i) many += "<xf numFmtId=\"14\"/>";
  many += "</cellXfs></styleSheet>";
  EXPECT_EQ(dateStylesOf(many, 400'000).size(), 10'000u);
  EXPECT_EQ(testing::errorOf([&] { dateStylesOf(many, 399'999); }).message(),
            "The workbook needs more than 399999 bytes of memory to stage (part \"xl/styles.xml\")");
}

}  // namespace
}  // namespace tabvora::internal
