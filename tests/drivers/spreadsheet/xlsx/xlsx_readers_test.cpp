// The readers of XLSX parts on XML written out here. The worksheet reader: where cells
// land, how their text is resolved, dates in both systems, namespace prefixes, encodings and
// document types refused (cases in xlsx_readers.cases), and the bounds that keep a hostile
// sheet from taking unbounded memory or time. The shared-string table and the date styles:
// their cases, and every item charged to the budget.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "drivers/spreadsheet/sheet/workbook_budget.hpp"
#include "support/test_support.hpp"
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
  bool readInSegments = false;

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
  return {reader.grid(), reader.maxColIndex(), parsed, reader.reachedLimit(), reader.readInSegments()};
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

// Whether some cut of the part into two halves holds; every cut, holding or not, must read as
// the whole part does, limits included, and so must the part cut at every row. Blanks before
// or after the root move the middle, where the cut is sought, across the whole part.
bool readsInTwoAsWhole(const std::string& text) {
  const Limits limits[] = {{}, {7, 1000}, {1000, 25}, {1000, 1000, 4}, {1000, 1000, 1000, 5}};
  const std::size_t root = text.starts_with("<?xml") ? text.find("?>") + 2 : 0;
  std::set<std::pair<bool, std::size_t>> cutsRead;  // blanks before the root?, cut in the text
  bool cut = false;
  for (std::size_t blanks = 0; blanks <= text.size(); ++blanks) {
    for (const bool before : {true, false}) {
      const std::string part = before ? text.substr(0, root) + std::string(blanks, ' ') + text.substr(root)
                                      : text + std::string(blanks, '\n');
      const std::optional<XLSXSheetSplit> split = XLSXSheetSplit::find(testing::bytesOf(part), part.size() / 2);
      if (!split || !cutsRead.emplace(before, split->cut - (before ? blanks : 0)).second) continue;
      for (const auto& limit : limits) {
        Read whole = readPart(part, false, limit);
        const Read halves = readPart(part, false, limit, false, part.size() / 2);
        cut = cut || halves.readInSegments;
        whole.readInSegments = halves.readInSegments;
        EXPECT_EQ(halves, whole) << part << "\n" << limit.cells << " cells, " << limit.bytes << " bytes, "
                                 << limit.rowElements << " rows, " << limit.cellElements << " cell elements";
        if (blanks > 0) continue;
        Read rows = readPart(part, false, limit, false, 0);
        rows.readInSegments = whole.readInSegments;
        EXPECT_EQ(rows, whole) << part << "\nevery row, " << limit.cells << " cells, " << limit.bytes << " bytes, "
                               << limit.rowElements << " rows, " << limit.cellElements << " cell elements";
      }
    }
  }
  return cut;
}

// Where cells land and how their text is resolved; shared strings; date format codes.
TEST(XLSXReaders, CasesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/spreadsheet/xlsx/xlsx_readers.cases")) {
    if (c.word(0) == "strings") {
      EXPECT_EQ(sharedStrings(c.joinedInput()), c.expected) << c.where;
      continue;
    }
    if (c.word(0) == "styles") {
      const std::unordered_set<std::int64_t> styles = dateStylesOf(c.joinedInput());
      std::string ids;
      for (const std::int64_t id : std::set<std::int64_t>(styles.begin(), styles.end()))
        ids += (ids.empty() ? "" : " ") + std::to_string(id);
      EXPECT_EQ(Strings{ids}, c.expected) << c.where;
      continue;
    }
    if (c.word(0) == "halves") {
      EXPECT_EQ(readsInTwoAsWhole(c.joinedInput()) ? "cut" : "never cut", c.expected.at(0)) << c.where;
      continue;
    }
    if (c.word(0) == "limits") {
      const auto limit = [&](std::size_t i, std::int64_t otherwise) { return i < c.words.size() ? std::stoll(c.word(i)) : otherwise; };
      const Limits limits{limit(1, 0), limit(2, 0), limit(3, XLSXSheetReader::kMaxRowElements), limit(4, XLSXSheetReader::kMaxCellElements)};
      for (const bool deferred : {false, true}) {
        const Read read = readPart(worksheet(c.input.at(0)), false, limits, deferred);
        EXPECT_EQ((Strings{std::to_string(read.grid.size()), read.reachedLimit ? "limit" : read.parsed ? "whole" : "not well-formed"}), c.expected)
            << c.where << (deferred ? " resolved afterwards" : "");
      }
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

TEST(XLSXSheetReader, RowsHeldToTheLimitAndPartsCutFromTheSetSize) {
  // A row is held to the limit by the texts it ends with; the widest kept row sets the width.
  const Read rewritten = readPart(worksheet(R"(<row><c t="str"><v>0123456789</v></c><c r="A1"><v>1</v></c></row>)"
                                            R"(<row><c r="C2"><v>12345</v></c></row>)"),
                                  false, {5, 5});
  EXPECT_EQ(rewritten.grid, Grid{{"1"}});
  EXPECT_EQ(rewritten.maxColIndex, 0);

  // A part is cut after the first row end from the set size on.
  const std::string row = R"(<row><c t="s"><v>2</v></c><c r="C1" t="inlineStr"><is><t>x</t></is></c></row>)";
  const std::string part = worksheet(row + row + row + row + row + row);
  EXPECT_TRUE(readPart(part, false, {}, false, part.size() - 40).readInSegments);
  EXPECT_FALSE(readPart(part, false, {}, false, part.size() - 29).readInSegments);
}

// Which cell formats are dates is in the cases.
TEST(XLSXDateStyles, ChargesEveryCellFormatToTheBudget) {
  // Every cell format costs 8 bytes while the part is read, and each date style 32 more.
  std::string many = "<styleSheet><cellXfs>";
  for (int i = 0; i < 10'000; ++i) many += "<xf numFmtId=\"14\"/>";
  many += "</cellXfs></styleSheet>";
  EXPECT_EQ(dateStylesOf(many, 400'000).size(), 10'000u);
  EXPECT_EQ(testing::errorOf([&] { dateStylesOf(many, 399'999); }).message(),
            "The workbook needs more than 399999 bytes of memory to stage (part \"xl/styles.xml\")");
}

TEST(XLSXSharedStringsReader, ChargesEveryItemToTheBudget) {
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
