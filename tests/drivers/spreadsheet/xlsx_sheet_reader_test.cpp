// The worksheet reader on XML written out here: where cells land in the grid, how their
// text is resolved, dates in both systems, namespace prefixes, and the bounds that keep a
// hostile sheet from taking unbounded memory or time.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "drivers/spreadsheet/xlsx_sheet_reader.hpp"

namespace tabvora {
namespace {

using Grid = std::vector<std::vector<std::string>>;

const std::vector<std::string> kSharedStrings = {"alpha", "beta", "0123456789"};
const std::unordered_set<std::int64_t> kDateStyles = {1, 4};

std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string worksheet(const std::string& sheetData) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
         "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
         "<sheetData>" +
         sheetData + "</sheetData></worksheet>";
}

struct Read {
  Grid grid;
  std::int64_t maxColIndex = 0;
  bool parsed = false;
};

Read readPart(const std::string& part, bool uses1904Dates = false) {
  XLSXSheetReader reader(kSharedStrings, kDateStyles, uses1904Dates);
  Read read;
  read.parsed = reader.parse(bytesOf(part));
  read.grid = reader.grid();
  read.maxColIndex = reader.maxColIndex();
  return read;
}

// A row of `column` empty cells and then `text`.
std::vector<std::string> endingIn(std::size_t column, const std::string& text) {
  std::vector<std::string> row(column);
  row.push_back(text);
  return row;
}

// The classic entity bomb: ten levels of ten references each, a billion times "lol".
std::string billionLaughs(const std::string& root, const std::string& use) {
  std::string part = "<?xml version=\"1.0\"?>\n<!DOCTYPE " + root + " [<!ENTITY lol0 \"lol\">";
  for (int level = 1; level <= 9; ++level) {
    part += "<!ENTITY lol" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) part += "&lol" + std::to_string(level - 1) + ";";
    part += "\">";
  }
  return part + "]>" + use;
}

// The text of one number cell in a date style.
std::string dateCell(const std::string& value, bool uses1904Dates) {
  const Read read = readPart(worksheet("<row><c r=\"A1\" s=\"1\"><v>" + value + "</v></c></row>"), uses1904Dates);
  return read.grid.empty() ? "<no row>" : read.grid[0].at(0);
}

TEST(XLSXSheetReader, PlacesCellsByReferenceOrAfterThePreviousCell) {
  struct Case {
    const char* name;
    std::string sheetData;
    Grid grid;
    std::int64_t maxColIndex;
  };
  const Case cases[] = {
      {"A1 and C1 leave an empty middle", R"(<row r="1"><c r="A1"><v>1</v></c><c r="C1"><v>3</v></c></row>)",
       {{"1", "", "3"}}, 2},
      {"cells without r fill from column 0", "<row><c><v>a</v></c><c><v>b</v></c><c><v>c</v></c></row>",
       {{"a", "b", "c"}}, 2},
      {"a cell without r follows the previous cell", R"(<row><c r="D1"><v>x</v></c><c><v>y</v></c></row>)",
       {{"", "", "", "x", "y"}}, 4},
      {"rows 1, 2 and 5 leave no gap; a row without cells leaves no trace",
       R"(<row r="1"><c><v>1</v></c></row><row r="2"><c><v>2</v></c></row><row r="3"/><row r="5"><c><v>5</v></c></row>)",
       {{"1"}, {"2"}, {"5"}}, 0},
      {"rows differ in length; letters in either case, digits end the scan",
       R"(<row><c r="b7"><v>1</v></c></row><row><c r="AA10"><v>2</v></c></row><row><c r="10"><v>3</v></c></row>)",
       {{"", "1"}, endingIn(26, "2"), {"3"}}, 26},
      {"a later cell in the same column replaces an earlier one",
       R"(<row><c r="B1"><v>old</v></c><c r="B1"><v>new</v></c></row>)", {{"", "new"}}, 1},
      {"an empty cell still counts", R"(<row><c r="C1"/></row>)", {{"", "", ""}}, 2},
      {"a row nested in a row hands its cells on, as the row's own cells would be",
       "<row><c><v>a</v></c><row><c><v>b</v></c></row><c><v>c</v></c></row>", {{"b"}, {"b", "c"}}, 1},
  };
  for (const Case& c : cases) {
    const Read read = readPart(worksheet(c.sheetData));
    EXPECT_TRUE(read.parsed) << c.name;
    EXPECT_EQ(read.grid, c.grid) << c.name;
    EXPECT_EQ(read.maxColIndex, c.maxColIndex) << c.name;
  }
}

TEST(XLSXSheetReader, ResolvesCellTextByType) {
  const struct {
    std::string cell;
    std::string text;
  } cases[] = {
      {R"(<c t="s"><v>1</v></c>)", "beta"},
      {R"(<c t="s"><v>3</v></c>)", "3"},  // out of range keeps the index text
      {R"(<c t="s"><v>-1</v></c>)", "-1"},
      {R"(<c t="s"><v> 1</v></c>)", " 1"},
      {R"(<c t="s"><v>99999999999999999999</v></c>)", "99999999999999999999"},
      {R"(<c t="b"><v>1</v></c>)", "TRUE"},
      {R"(<c t="b"><v>0</v></c>)", "FALSE"},
      {R"(<c t="b"><v>true</v></c>)", "FALSE"},
      {R"(<c t="inlineStr"><is><r><t>Hel</t></r><r><rPr/><t>lo</t></r><rPh><t>haro</t></rPh></is></c>)", "Hello"},
      {R"(<c t="inlineStr"><is><t xml:space="preserve"> two  spaces </t></is></c>)", " two  spaces "},
      {R"(<c t="str"><f>A1&amp;"x"</f><v>cached</v></c>)", "cached"},
      {R"(<c t="e"><v>#DIV/0!</v></c>)", "#DIV/0!"},
      {R"(<c t="d"><v>2024-02-29T00:00:00</v></c>)", "2024-02-29T00:00:00"},
      {R"(<c t="n"><v>1.5e3</v></c>)", "1.5e3"},
      {R"(<c><t>outside an inline string</t></c>)", ""},
      {R"(<c t="str"><v>&amp;&#x41;&lt;<![CDATA[<b>]]></v></c>)", "&A<<b>"},
      {R"(<c t="weird" s="1"><v>1</v></c>)", "1900-01-01"},  // an unknown type reads as a number
  };
  for (const auto& c : cases) {
    const Read read = readPart(worksheet("<row>" + c.cell + "</row>"));
    ASSERT_EQ(read.grid.size(), 1u) << c.cell;
    EXPECT_EQ(read.grid[0], std::vector<std::string>{c.text}) << c.cell;
  }
}

TEST(XLSXSheetReader, ShowsDateStyledSerialsAsDatesInBothSystems) {
  const struct {
    const char* value;
    bool uses1904Dates;
    const char* text;
  } cases[] = {
      {"0.5", false, "12:00:00"},
      {"0", false, "00:00:00"},
      {"0.99999999", false, "00:00:00"},  // rounds to a whole day, still below serial 1
      {"1", false, "1900-01-01"},
      {"59", false, "1900-02-28"},
      {"60", false, "1900-02-28"},
      {"61", false, "1900-03-01"},
      {"45000.25", false, "2023-03-15 06:00:00"},
      {"45000.999999999", false, "2023-03-16"},
      {"44985.5000057870", false, "2023-02-28 12:00:00"},
      {"2958465.5", false, "9999-12-31 12:00:00"},
      {"2958466", false, "2958466"},
      {"-1", false, "-1"},
      {"-0.5", false, "-0.5"},
      {"nan", false, "nan"},
      {"inf", false, "inf"},
      {"12abc", false, "12abc"},
      {"", false, ""},
      {"0", true, "1904-01-01"},
      {"1.75", true, "1904-01-02 18:00:00"},
      {"59", true, "1904-02-29"},
      {"60", true, "1904-03-01"},
      {"43538", true, "2023-03-15"},
      {"-1", true, "-1"},
      {"2958465", true, "10004-01-01"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(dateCell(c.value, c.uses1904Dates), c.text) << c.value << (c.uses1904Dates ? " (1904)" : "");

  // Only a number cell in a date style becomes a date.
  const Read read = readPart(worksheet(R"(<row><c s="2"><v>1</v></c><c><v>1</v></c><c s="+4"><v>1</v></c>)"
                                       R"(<c s="1" t="s"><v>0</v></c><c s="4" t="str"><v>1</v></c><c s="x1"><v>1</v></c></row>)"));
  EXPECT_EQ(read.grid, (Grid{{"1", "1", "1900-01-01", "alpha", "1", "1"}}));
}

TEST(XLSXSheetReader, RecognisesPrefixesBoundToTheSpreadsheetNamespaceOnly) {
  const std::string rows = R"(<x:row><x:c r="B1" t="s"><x:v>0</x:v></x:c></x:row>)";
  auto prefixed = [&](const std::string& uri) {
    return readPart("<x:worksheet xmlns:x=\"" + uri + "\"><x:sheetData>" + rows + "</x:sheetData></x:worksheet>");
  };
  EXPECT_EQ(prefixed("http://schemas.openxmlformats.org/spreadsheetml/2006/main").grid, (Grid{{"", "alpha"}}));
  EXPECT_EQ(prefixed("http://purl.oclc.org/ooxml/spreadsheetml/main").grid, (Grid{{"", "alpha"}}));
  EXPECT_TRUE(prefixed("urn:elsewhere").grid.empty());

  // Unprefixed names are compared as written, whatever the default namespace.
  EXPECT_EQ(readPart(R"(<worksheet xmlns="urn:elsewhere"><row><c><v>1</v></c></row></worksheet>)").grid, (Grid{{"1"}}));
  // An undeclared prefix is not an error of the stream, and its elements are not cells.
  const Read undeclared = readPart("<worksheet><row><y:c><v>1</v></y:c><c><v>2</v></c></row></worksheet>");
  EXPECT_TRUE(undeclared.parsed);
  EXPECT_EQ(undeclared.grid, (Grid{{"2"}}));
}

TEST(XLSXSheetReader, DropsCellsBeyondTheLastColumn) {
  const Read read = readPart(worksheet(R"(<row><c r="XFD1"><v>last</v></c><c><v>beyond</v></c></row>)"
                                       R"(<row><c r="XFE2"><v>1</v></c><c r="XFDZZZZZZZZZZZZZZZZ2"><v>2</v></c></row>)"
                                       R"(<row><c r="A3"><v>3</v></c></row>)"));
  EXPECT_TRUE(read.parsed);
  ASSERT_EQ(read.grid.size(), 2u);
  EXPECT_EQ(read.grid[0].size(), static_cast<std::size_t>(XLSXSheetReader::kMaxColumnIndex + 1));
  EXPECT_EQ(read.grid[0].back(), "last");
  EXPECT_EQ(read.grid[1], std::vector<std::string>{"3"});
  EXPECT_EQ(read.maxColIndex, XLSXSheetReader::kMaxColumnIndex);
}

TEST(XLSXSheetReader, StopsAtTheGridLimitsKeepingTheRowsBefore) {
  // 5 cells in rows of 2, 2 and 1, each holding the 10 bytes of shared string 2.
  const std::string part = worksheet(
      R"(<row><c t="s"><v>2</v></c><c t="s"><v>2</v></c></row><row><c t="s"><v>2</v></c><c t="s"><v>2</v></c></row>)"
      R"(<row><c t="s"><v>2</v></c></row>)");
  const struct {
    std::int64_t cells;
    std::int64_t bytes;
    std::size_t rows;
  } cases[] = {{5, 50, 3}, {4, 50, 2}, {3, 50, 1}, {5, 49, 2}, {5, 29, 1}, {5, 19, 0}};
  for (const auto& c : cases) {
    XLSXSheetReader reader(kSharedStrings, kDateStyles, false);
    reader.setLimits(c.cells, c.bytes);
    const bool parsed = reader.parse(bytesOf(part));
    EXPECT_EQ(reader.grid().size(), c.rows) << c.cells << " cells, " << c.bytes << " bytes";
    EXPECT_EQ(parsed, c.rows == 3);
    EXPECT_EQ(reader.reachedLimit(), c.rows != 3);
  }
}

TEST(XLSXSheetReader, KeepsTheRowsBeforeAnErrorAndRefusesDocumentTypes) {
  const Read broken = readPart(worksheet("<row><c><v>1</v></c></row><row><c><v>2</v></c></row><row><c><v>3</v></oops>"));
  EXPECT_FALSE(broken.parsed);
  EXPECT_EQ(broken.grid, (Grid{{"1"}, {"2"}}));

  const Read bomb = readPart(
      billionLaughs("worksheet", "<worksheet><sheetData><row><c t=\"str\"><v>&lol9;</v></c></row></sheetData></worksheet>"));
  EXPECT_FALSE(bomb.parsed);
  EXPECT_TRUE(bomb.grid.empty());

  EXPECT_FALSE(readPart("").parsed);
  EXPECT_FALSE(readPart(worksheet("<row><c><v>&undeclared;</v></c></row>")).parsed);
}

TEST(XLSXSheetReader, ReadsUTF16Parts) {
  // "<worksheet>…é€…" in UTF-16LE behind its byte-order mark.
  const std::u16string text = u"<worksheet><sheetData><row><c t=\"inlineStr\"><is><t>\u00E9\u20AC</t></is></c></row></sheetData></worksheet>";
  std::string part = "\xFF\xFE";
  for (const char16_t unit : text) part += static_cast<char>(unit & 0xFF), part += static_cast<char>(unit >> 8);
  const Read read = readPart(part);
  EXPECT_TRUE(read.parsed);
  EXPECT_EQ(read.grid, (Grid{{"\xC3\xA9\xE2\x82\xAC"}}));
}

}  // namespace
}  // namespace tabvora
