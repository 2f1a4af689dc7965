// The readers of XLSX parts on XML written out here. The worksheet reader: where cells
// land, how their text is resolved, dates in both systems, namespace prefixes and
// encodings, and the bounds that keep a hostile sheet from taking unbounded memory or time.
// The shared-string table and the date styles: their cases, document types refused, and
// every item charged to the budget. Tables of cases are in xlsx_readers.cases.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "drivers/spreadsheet/sheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_date_styles.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_shared_strings_reader.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_sheet_reader.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_sheet_split.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal {
namespace {

using Grid = std::vector<std::vector<std::string>>;

const std::vector<std::string> kSharedStrings = {"alpha", "beta", "0123456789"};
const std::unordered_set<std::int64_t> kDateStyles = {1, 4};

std::string worksheet(const std::string& sheetData) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet "
         "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" +
         sheetData + "</sheetData></worksheet>";
}

struct Read {
  Grid grid;
  std::int64_t maxColIndex = 0;
  bool parsed = false;
  bool reachedLimit = false;
  bool readInTwo = false;

  bool operator==(const Read&) const = default;
};

struct Limits {
  std::int64_t cells = XLSXSheetReader::kMaxGridCells;
  std::int64_t bytes = XLSXSheetReader::kMaxGridTextBytes;
  std::int64_t rowElements = XLSXSheetReader::kMaxRowElements;
  std::int64_t cellElements = XLSXSheetReader::kMaxCellElements;
};

// `deferred` reads the sheet first and resolves its shared strings afterwards, as a driver
// reading the table on another thread does.
Read readPart(const std::string& part, bool uses1904Dates = false, const Limits& limits = {}, bool deferred = false,
              std::size_t splitPartBytes = XLSXSheetReader::kSplitPartBytes) {
  XLSXSheetReader reader = deferred ? XLSXSheetReader(kDateStyles, uses1904Dates)
                                    : XLSXSheetReader(kSharedStrings, kDateStyles, uses1904Dates);
  reader.setLimits(limits.cells, limits.bytes);
  reader.setElementLimits(limits.rowElements, limits.cellElements);
  reader.setSplitPartBytes(splitPartBytes);
  bool parsed = reader.parse(testing::bytesOf(part));
  if (deferred) parsed = reader.resolveSharedStrings(kSharedStrings) && parsed;
  return {reader.grid(), reader.maxColIndex(), parsed, reader.reachedLimit(), reader.readInTwo()};
}

using Strings = std::vector<std::string>;
Strings sharedStrings(const std::string& part, std::int64_t budgetBytes = std::int64_t{1} << 30) {
  WorkbookBudget budget(budgetBytes, "XLSXDriver");
  WorkbookBudget::Account account(&budget);
  return XLSXSharedStringsReader::read(testing::bytesOf(part), account);
}
std::unordered_set<std::int64_t> dateStylesOf(const std::string& part, std::int64_t budgetBytes = 1 << 20) {
  WorkbookBudget budget(budgetBytes, "XLSXDriver");
  WorkbookBudget::Account account(&budget);
  return readXLSXDateStyles(testing::bytesOf(part), account);
}

// Where cells land and how their text is resolved; shared strings; date format codes.
TEST(XLSXReaders, CasesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/spreadsheet/xlsx/xlsx_readers.cases")) {
    if (c.word(0) == "strings") {
      EXPECT_EQ(sharedStrings(c.joinedInput()), c.expected) << c.where;
      continue;
    }
    if (c.word(0) == "datecode") {
      EXPECT_EQ(isDateFormatCode(c.input.at(0)) ? "yes" : "no", c.expected.at(0)) << c.where;
      continue;
    }
    for (const bool deferred : {false, true}) {
      const std::string& in = c.input.at(0);
      const std::string part = c.word(0) == "part" ? c.joinedInput() : worksheet(c.word(0) == "place" ? in : "<row>" + in + "</row>");
      const Read read = readPart(part, c.word(1) == "1904", {}, deferred);
      std::vector<std::string> found;
      for (const std::vector<std::string>& row : read.grid) {
        std::string joined;
        for (std::size_t i = 0; i < row.size(); ++i) joined += (i ? "|" : "") + row[i];
        found.push_back(joined);
      }
      if (c.word(0) == "place") found.push_back("max " + std::to_string(read.maxColIndex));
      if (!read.parsed) found.push_back("not well-formed");
      EXPECT_EQ(found, c.expected) << c.where << (deferred ? " resolved afterwards" : "");
    }
  }
  // Excel's last column is kept; cells beyond it, with or without a reference, are dropped.
  std::vector<std::string> lastColumn(XLSXSheetReader::kMaxColumnIndex + 1);
  lastColumn.back() = "last";
  const Read read = readPart(worksheet(R"(<row><c r="XFE1"><v>1</v></c><c r="XFDZZZZZZZZZZZZZZZZ1"/></row>)"
                                       R"(<row><c r="XFC2"/><c><v>last</v></c><c><v>no</v></c></row>)"));
  EXPECT_EQ(read.grid, Grid{lastColumn});
  EXPECT_EQ(read.maxColIndex, XLSXSheetReader::kMaxColumnIndex);
}

TEST(XLSXSheetReader, ReadsUTF16) {
  const std::u16string text = u"<worksheet><row><c t=\"inlineStr\"><is><t>\u00E9\u20AC</t></is></c></row></worksheet>";
  std::string utf16 = "\xFF\xFE";
  for (const char16_t unit : text) utf16 += static_cast<char>(unit & 0xFF), utf16 += static_cast<char>(unit >> 8);
  EXPECT_EQ(readPart(utf16).grid, Grid{{"\xC3\xA9\xE2\x82\xAC"}});
}

TEST(XLSXSheetReader, StopsAtDocumentTypesAndGridLimitsKeepingTheRowsBefore) {
  const Read bomb =
      readPart(testing::entityBombPrologue("worksheet") + "]><worksheet><row><c t=\"str\"><v>&l9;</v></c></row></worksheet>");
  EXPECT_FALSE(bomb.parsed);
  EXPECT_EQ(bomb.grid, Grid{});

  // 5 cells in rows of 2, 2 and 1, each holding the 10 bytes of shared string 2.
  const std::string cell = R"(<c t="s"><v>2</v></c>)";
  const std::string rows = "<row>" + cell + cell + "</row><row>" + cell + cell + "</row><row>" + cell + "</row>";
  const std::string part = worksheet(rows);
  // Row and cell elements are counted whether they hold anything or not: 5 and 6 here.
  const std::string counted = worksheet("<row/>" + rows + "<c/><row/>");
  const struct {
    std::string part;
    Limits limits;
    std::size_t rows;
  } limits[] = {{part, {5, 50}, 3}, {part, {4, 50}, 2}, {part, {3, 50}, 1}, {part, {5, 49}, 2}, {part, {5, 29}, 1},
                {part, {5, 19}, 0}, {counted, {5, 50, 5, 6}, 3}, {counted, {5, 50, 3, 6}, 2}, {counted, {5, 50, 5, 4}, 2},
                {counted, {5, 50, 5, 2}, 1}};
  for (const auto& limit : limits) {
    for (const bool deferred : {false, true}) {
      const Read read = readPart(limit.part, false, limit.limits, deferred);
      EXPECT_EQ(read.grid.size(), limit.rows) << limit.limits.cells << " cells, " << limit.limits.bytes << " bytes, "
                                              << limit.limits.rowElements << " rows, " << limit.limits.cellElements
                                              << " cell elements, " << deferred;
      EXPECT_EQ(read.parsed, limit.rows == 3);
      EXPECT_EQ(read.reachedLimit, limit.rows != 3);
    }
  }
  // A row is held to the limit by the texts it ends with; the widest kept row sets the width.
  const Read rewritten = readPart(worksheet(R"(<row><c t="str"><v>0123456789</v></c><c r="A1"><v>1</v></c></row>)"
                                            R"(<row><c r="C2"><v>12345</v></c></row>)"),
                                  false, {5, 5});
  EXPECT_EQ(rewritten.grid, Grid{{"1"}});
  EXPECT_EQ(rewritten.maxColIndex, 0);
}

TEST(XLSXSheetReader, ReadsAPartInTwoHalvesExactlyAsWhole) {
  const std::string row = R"(<row><c t="s"><v>2</v></c><c r="C1" t="inlineStr"><is><t>x</t></is></c></row>)";
  const std::string rows = row + row + row;
  const std::string prefixed = "<x:row><x:c><x:v>1</x:v></x:c></x:row>";
  const struct {
    std::string part;
    bool cutHolds;  // for some cut
  } cases[] = {
      {worksheet(rows + rows), true},
      {R"(<?xml version="1.0"?><!-- c --><x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
       R"(a='>'><x:sheetData>)" + prefixed + prefixed + prefixed + "</x:sheetData></x:worksheet>",
       true},
      // Row end tags in text, comments and nested rows.
      {worksheet(R"(<row><c t="str"><v><![CDATA[</row>]]></v></c></row><!-- </row> -->)"
                 R"(<row><c><v>2</v></c><row><c><v>3</v></c></row><c><v>4</v></c></row>)" + rows),
       true},
      // Errors on either side of a cut.
      {worksheet(rows + "<row><c><v>1</oops></v></c></row>" + rows), true},
      {worksheet(row + "<row><c><v>&bad;</v></c></row>" + rows + rows), true},
      // Rows outside sheetData, or sheetData elsewhere than under the root.
      {"<worksheet><row><c><v>0</v></c></row><sheetData>" + rows + "</sheetData><row><c><v>9</v></c></row></worksheet>",
       true},
      {"<worksheet><ext><sheetData>" + rows + "</sheetData></ext></worksheet>", false},
      {"<book><sheetData>" + rows + "</sheetData></book>", false},
      // Text that is not UTF-8 is converted, so never cut.
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><worksheet><sheetData><row><c t=\"str\"><v>\xE9</v></c></row>" +
           rows + "</sheetData></worksheet>",
       false},
  };
  // Blanks before or after the root move the middle, where the cut is sought, across the
  // whole part; every cut, holding or not, must read as the whole does, limits included.
  const Limits limits[] = {{}, {7, 1000}, {1000, 25}, {1000, 1000, 4}, {1000, 1000, 1000, 5}};
  for (const auto& c : cases) {
    const std::size_t root = c.part.starts_with("<?xml") ? c.part.find("?>") + 2 : 0;
    std::set<std::pair<bool, std::size_t>> cutsRead;  // blanks before the root?, cut in c.part
    bool cut = false;
    for (std::size_t blanks = 0; blanks <= c.part.size(); ++blanks) {
      for (const bool before : {true, false}) {
        const std::string part = before ? c.part.substr(0, root) + std::string(blanks, ' ') + c.part.substr(root)
                                        : c.part + std::string(blanks, '\n');
        const std::optional<XLSXSheetSplit> split = XLSXSheetSplit::find(testing::bytesOf(part), part.size() / 2);
        if (!split || !cutsRead.emplace(before, split->cut - (before ? blanks : 0)).second) continue;
        for (const auto& limit : limits) {
          Read whole = readPart(part, false, limit);
          const Read halves = readPart(part, false, limit, false, 0);
          cut = cut || halves.readInTwo;
          whole.readInTwo = halves.readInTwo;
          EXPECT_EQ(halves, whole) << part << "\n" << limit.cells << " cells, " << limit.bytes << " bytes, "
                                   << limit.rowElements << " rows, " << limit.cellElements << " cell elements";
        }
      }
    }
    EXPECT_EQ(cut, c.cutHolds) << c.part;
  }
  // A part is cut from the set size on.
  const std::string part = cases[0].part;
  EXPECT_TRUE(readPart(part, false, {}, false, part.size()).readInTwo);
  EXPECT_FALSE(readPart(part, false, {}, false, part.size() + 1).readInTwo);
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

TEST(XLSXSharedStringsReader, RefusesDocumentTypesAndChargesEveryItemToTheBudget) {
  const std::string laughs = "<?xml version=\"1.0\"?>" + testing::entityBombPrologue("sst");
  EXPECT_EQ(sharedStrings(laughs + "]><sst><si><t>&l9;</t></si></sst>"), Strings{});
  EXPECT_EQ(sharedStrings("<!DOCTYPE sst><sst><si><t>x</t></si></sst>"), Strings{});

  // Three items of 3, 3 and 1 bytes cost 32 bytes each besides their text, and the item
  // being read its text: 104 bytes at the end of the third; in both passes.
  const std::string part = "<sst><si><t>abc</t></si><si><t>def</t></si><si><t>g</t></si></sst>";
  for (const char* damage : {"", "<broken"}) {
    EXPECT_EQ(sharedStrings(part + damage, 104), (Strings{"abc", "def", "g"}));
    EXPECT_EQ(testing::errorOf([&] { sharedStrings(part + damage, 103); }).message(),
              "The workbook needs more than 103 bytes of memory to stage (part \"xl/sharedStrings.xml\")");
  }
  // Empty items cost their bookkeeping: 100,000 of them need 3.2 MB.
  std::string empty = "<sst>";
  for (int i = 0; i < 100'000; ++i) empty += "<si/>";
  EXPECT_EQ(sharedStrings(empty + "</sst>", 3'200'000).size(), 100'000u);
  EXPECT_THROW(sharedStrings(empty + "</sst>", 3'199'999), DriverError);
  EXPECT_THROW(sharedStrings(empty + "<broken", 3'199'999), DriverError);
}

}  // namespace
}  // namespace tabvora::internal
