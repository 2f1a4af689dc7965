// The BIFF parser over streams built here: globals, cell records, number and date texts,
// strings across CONTINUE records, and the refusals of old, encrypted and damaged streams.
#include <gtest/gtest.h>

#include "drivers/spreadsheet/biff_number_format.hpp"
#include "drivers/spreadsheet/biff_serial_date.hpp"
#include "drivers/spreadsheet/biff_workbook.hpp"
#include "drivers/spreadsheet/xls_test_workbook.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::Bytes;
using testing::concat;
using testing::errorOf;
using testing::putU16;
using testing::putU32;
namespace biff = testing::biff;
using Grid = std::vector<std::vector<std::string>>;

struct ReadSheet {
  Grid grid;
  std::vector<bool> dateColumns;
};

// The first sheet of a one-sheet workbook (rows as wide as their last cell) with `globals` and the sheet's `records`.
ReadSheet readSheet(const Bytes& records, const Bytes& globals = {}, std::uint16_t version = 0x0600) {
  const Bytes stream = biff::workbook(globals, {{"S", records}}, version);
  BIFFWorkbook workbook(stream);
  workbook.parseGlobals();
  BIFFWorkbook::SheetContents contents = workbook.parseSheet(workbook.sheets().at(0).offset);
  return {contents.grid.toStrings(), contents.dateColumns};
}

std::string errorReading(const Bytes& stream) {
  return errorOf([&] {
           BIFFWorkbook workbook(stream);
           workbook.parseGlobals();
           for (const BIFFWorkbook::Sheet& sheet : workbook.sheets()) workbook.parseSheet(sheet.offset);
         })
      .message();
}

std::string numberText(double value) {
  std::string out;
  appendBIFFNumber(out, value);
  return out;
}

TEST(BIFFNumberFormat, NumbersRKValuesAndFormatCodes) {
  EXPECT_EQ(numberText(decodeRK(0x0000000A)), "2");
  EXPECT_EQ(numberText(decodeRK(0x3FF80001)), "0.015");
  EXPECT_EQ(numberText(decodeRK(0xFFFFFFFE)), "-1");  // the integer is signed
  EXPECT_EQ(numberText(999'999'999'999'999.0), "999999999999999");
  EXPECT_EQ(numberText(12345678901234567.0), "1.2345678901234568e+16");
  EXPECT_EQ(numberText(1e15), "1e+15");
  EXPECT_EQ(numberText(0.00001), "1e-05");
  EXPECT_EQ(numberText(-2.5), "-2.5");

  const std::vector<std::pair<std::string, BIFFDateKind>> codes = {
      {"[h]:mm:ss", BIFFDateKind::timeOnly}, {"mmm", BIFFDateKind::date},
      {"h:mm AM/PM", BIFFDateKind::timeOnly}, {"yyyy-mm-dd hh:mm", BIFFDateKind::date},
      {"0.00\\h", BIFFDateKind::none},        {"[Red]0.00", BIFFDateKind::none},
      {"\"day\" 0", BIFFDateKind::none},      {"[$-409]d/m/yy", BIFFDateKind::date},
      {"_(* #,##0_)", BIFFDateKind::none},    {"[mm]:ss dd", BIFFDateKind::date},
  };
  for (const auto& [code, kind] : codes) EXPECT_EQ(classifyBIFFFormatCode(code), kind) << code;
  EXPECT_EQ(builtInBIFFDateKind(14), BIFFDateKind::date);
  EXPECT_EQ(builtInBIFFDateKind(20), BIFFDateKind::timeOnly);
  EXPECT_EQ(builtInBIFFDateKind(49), BIFFDateKind::none);
}

TEST(BIFFNumberFormat, SerialDates) {
  struct Case {
    double serial;
    bool timeOnly, uses1904;
    const char* text;  // nullptr: no date text
  };
  const Case cases[] = {
      {60, false, false, "1900-02-29"}, {59, false, false, "1900-02-28"}, {61, false, false, "1900-03-01"},
      {1, false, false, "1900-01-01"},  {0, false, false, nullptr},       {0.75, true, false, "18:00:00"},
      {0.5, false, false, "12:00:00"},  {0, true, false, "00:00:00"},     {45292.5, false, false, "2024-01-01 12:00:00"},
      {0, false, true, "1904-01-01"},   {-1, false, false, nullptr},      {2'958'465, false, false, "9999-12-31"},
      {2'958'466, false, false, nullptr}, {1.5, true, false, "1900-01-01 12:00:00"},
  };
  for (const Case& c : cases) {
    std::string out;
    const bool formatted = formatBIFFSerialDate(c.serial, c.timeOnly, c.uses1904, out);
    EXPECT_EQ(formatted ? out : std::string("(none)"), c.text ? c.text : "(none)") << c.serial;
  }
}

TEST(BIFFWorkbook, ReadsGlobals) {
  const Bytes globals = concat({biff::record(biff::DATEMODE, {1, 0}), biff::format(200, "yyyy"), biff::xf(0),
                                biff::xf(200)});
  const Bytes stream = biff::workbook(globals, {{"One", {}}, {"Chart", {}, 2}, {"Two", {}}});
  BIFFWorkbook workbook(stream);
  workbook.parseGlobals();
  ASSERT_EQ(workbook.sheets().size(), 2u);
  EXPECT_EQ(workbook.sheets()[1].name, "Two");
  EXPECT_TRUE(workbook.isBIFF8());
  EXPECT_TRUE(workbook.uses1904Dates());
  EXPECT_EQ(workbook.dateKind(1), BIFFDateKind::date);
  EXPECT_EQ(workbook.dateKind(2), BIFFDateKind::none);  // past the cell formats
}

TEST(BIFFWorkbook, RefusesOldEncryptedAndUnknownStreams) {
  auto withBOF = [](std::uint16_t id, std::uint16_t version) {
    Bytes body;
    putU16(body, version);
    body.resize(16);
    return concat({biff::record(id, body), biff::eof()});
  };
  for (const std::uint16_t id : {0x0009, 0x0209, 0x0409})
    EXPECT_EQ(errorReading(withBOF(static_cast<std::uint16_t>(id), 0x0600)), BIFFWorkbook::kOldVersionMessage);
  EXPECT_EQ(errorReading(withBOF(0x1234, 0x0600)), BIFFWorkbook::kUnknownStreamMessage);
  EXPECT_EQ(errorReading(withBOF(biff::BOF, 0x0400)), BIFFWorkbook::kUnsupportedVersionMessage);
  EXPECT_EQ(errorReading(Bytes{0x09, 0x08, 0, 0}), BIFFWorkbook::kDamagedMessage);
  const Bytes readable = biff::workbook(biff::record(biff::FILEPASS, Bytes(6)), {{"S", biff::label(0, 0, "x")}});
  EXPECT_EQ(errorReading(readable), BIFFWorkbook::kEncryptedMessage);
}

TEST(BIFFWorkbook, SharedStringsAcrossContinueRecords) {
  // "abcdef": three 8-bit characters, then a CONTINUE restating the width as 16-bit.
  Bytes first;
  putU32(first, 2);
  putU32(first, 2);
  first = concat({first, Bytes{6, 0, 0, 'a', 'b', 'c'}});
  const Bytes second = {1, 'd', 0, 'e', 0, 0xAC, 0x20};  // ...d, e and the euro sign
  Bytes globals = concat({biff::record(biff::SST, first), biff::record(biff::CONTINUE, second),
                          biff::record(biff::CONTINUE, biff::string8("second"))});
  EXPECT_EQ(readSheet(concat({biff::labelSST(0, 0, 0), biff::labelSST(0, 1, 1), biff::labelSST(0, 2, 9)}), globals)
                .grid,
            (Grid{{"abcde\u20AC", "second"}}));

  // A table claiming more strings than it holds, up to 2^32 - 1, keeps those it has.
  for (const std::uint32_t claimed : {3u, 0xFFFFFFFFu})
    EXPECT_EQ(readSheet(biff::labelSST(0, 0, 1), biff::sst({"a", "b"}, claimed)).grid, (Grid{{"b"}})) << claimed;

  // A string cut short by the end of its CONTINUE records, however many empty ones there are.
  Bytes cut = biff::sst({"abc"});
  cut[4 + 8] = 200;  // claims 200 characters
  for (int i = 0; i < 100'000; ++i) cut.insert(cut.end(), {0x3C, 0, 0, 0});  // empty CONTINUE records
  EXPECT_EQ(errorReading(biff::workbook(cut, {})), BIFFWorkbook::kDamagedMessage);
  // A 16-bit character split across the segment boundary.
  const Bytes split = concat({biff::record(biff::SST, Bytes{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 'a'}),
                              biff::record(biff::CONTINUE, Bytes{0, 1})});
  EXPECT_EQ(errorReading(biff::workbook(split, {})), BIFFWorkbook::kDamagedMessage);
}

TEST(BIFFWorkbook, CellRecordsMakeARectangularGrid) {
  const Bytes records = concat({
      biff::label(0, 0, "A1"), biff::label(0, 1, "B1"), biff::number(1, 0, 1.5), biff::rk(1, 1, 0x0000000A),
      biff::number(2, 0, 3), biff::label(2, 1, "old"), biff::label(2, 1, "new"), biff::label(6, 3, "D7"),
      biff::label(3, 256, "past the last column"), biff::label(4, 0, ""),
      // An embedded chart's records are not the sheet's.
      biff::bof(0x0600, 0x20), biff::label(5, 0, "chart"), biff::eof(),
  });
  EXPECT_EQ(readSheet(records).grid, (Grid{{"A1", "B1"}, {"1.5", "2"}, {"3", "new"}, {"", "", "", "D7"}}));
  Bytes mulrk;
  putU16(mulrk, 0);
  putU16(mulrk, 2);
  for (const std::uint32_t value : {4u << 2 | 2, 5u << 2 | 2, 0x3FF80001u}) {
    putU16(mulrk, 0);
    putU32(mulrk, value);
  }
  putU16(mulrk, 4);
  EXPECT_EQ(readSheet(biff::record(biff::MULRK, mulrk)).grid, (Grid{{"", "", "4", "5", "0.015"}}));
  EXPECT_TRUE(readSheet({}).grid.empty());
}

TEST(BIFFWorkbook, BooleansErrorsAndFormulaResults) {
  auto boolErr = [](std::uint16_t column, std::uint8_t value, std::uint8_t isError) {
    return biff::record(biff::BOOLERR, concat({biff::cellHeader(0, column), Bytes{value, isError}}));
  };
  auto formula = [](std::uint16_t column, Bytes result) {
    return biff::record(biff::FORMULA, concat({biff::cellHeader(0, column), result, Bytes(8)}));
  };
  Bytes number;
  testing::putF64(number, 2.25);
  const Bytes records = concat({
      boolErr(0, 1, 0), boolErr(1, 0, 0), boolErr(2, 0x07, 1), boolErr(3, 0x99, 1),
      formula(4, number), formula(5, {1, 0, 1, 0, 0, 0, 0xFF, 0xFF}), formula(6, {2, 0, 0x2A, 0, 0, 0, 0xFF, 0xFF}),
      formula(7, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}), biff::record(biff::STRING, biff::string8("from formula")),
      biff::record(biff::STRING, biff::string8("stray")),  // no formula waits for it
      formula(8, {3, 0, 0, 0, 0, 0, 0xFF, 0xFF}),          // an empty string result
  });
  EXPECT_EQ(readSheet(records).grid,
            (Grid{{"TRUE", "FALSE", "#DIV/0!", "#ERR!", "2.25", "TRUE", "#N/A", "from formula"}}));
}

TEST(BIFFWorkbook, DatesFollowTheCellFormat) {
  const Bytes globals = concat({biff::format(164, "yyyy-mm-dd"), biff::xf(0), biff::xf(164), biff::xf(20)});
  const Bytes records = concat({
      biff::label(0, 0, "when"), biff::label(0, 1, "mixed"), biff::label(0, 2, "time"), biff::label(0, 3, "zero"),
      biff::number(1, 0, 45322, 1), biff::number(1, 1, 45322, 1), biff::number(1, 2, 0.75, 2), biff::number(1, 3, 0, 1),
      biff::number(2, 0, 60, 1),    biff::number(2, 1, 7, 0),
  });
  const ReadSheet sheet = readSheet(records, globals);
  EXPECT_EQ(sheet.grid, (Grid{{"when", "mixed", "time", "zero"},
                              {"2024-01-31", "2024-01-31", "18:00:00", "0"},
                              {"1900-02-29", "7"}}));
  EXPECT_EQ(sheet.dateColumns, (std::vector<bool>{true, false, true, false}));
}

TEST(BIFFWorkbook, ByteStringsInTheWorkbookCodePage) {
  auto codePage = [](std::uint16_t page) {
    Bytes body;
    putU16(body, page);
    return biff::record(biff::CODEPAGE, body);
  };
  const std::string cyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет" in windows-1251
  EXPECT_EQ(readSheet(biff::label(0, 0, cyrillic, false), codePage(1251), 0x0500).grid,
            (Grid{{"\u041F\u0440\u0438\u0432\u0435\u0442"}}));
  const std::string japanese = "\x93\xFA\x96\x7B";  // "日本" in Shift JIS
  EXPECT_EQ(readSheet(biff::label(0, 0, japanese, false), codePage(932), 0x0500).grid, (Grid{{"\u65E5\u672C"}}));
  EXPECT_EQ(readSheet(biff::label(0, 0, "caf\xE9", false), {}, 0x0500).grid, (Grid{{"caf\u00E9"}}));
}

TEST(BIFFWorkbook, DamagedRecordsAndSheetOffsets) {
  const Bytes good = biff::workbook({}, {{"S", biff::label(0, 0, "x")}});
  // A record longer than what is left of the stream, a cell record too short for its fields.
  EXPECT_EQ(errorReading(biff::workbook({}, {{"S", Bytes{0x04, 0x02, 0xFF, 0x00, 1}}})),
            BIFFWorkbook::kDamagedMessage);
  EXPECT_EQ(errorReading(biff::workbook({}, {{"S", biff::record(biff::NUMBER, Bytes(13))}})),
            BIFFWorkbook::kDamagedMessage);
  const std::size_t boundSheetBody = biff::bof(0x0600, 5).size() + 4;
  for (const std::uint32_t offset : {std::uint32_t{2}, static_cast<std::uint32_t>(good.size() - 2), 0xFFFFFFF0u}) {
    Bytes stream = good;
    testing::setU32(stream, boundSheetBody, offset);
    EXPECT_EQ(errorReading(stream), BIFFWorkbook::kDamagedMessage) << offset;
  }
  // Sheets that overlap one another may not multiply the work: 50 sheets over one run of
  // nested BOFs.
  std::vector<biff::Sheet> same(50, {"S", Bytes()});
  Bytes nested;
  for (int i = 0; i < 50; ++i) nested = concat({nested, biff::bof()});
  nested = concat({nested, Bytes(20'000, 0)});
  Bytes stream = biff::workbook({}, same);
  for (std::size_t i = 0; i < 50; ++i)  // each BOUNDSHEET takes 13 bytes
    testing::setU32(stream, boundSheetBody + i * 13, static_cast<std::uint32_t>(stream.size()));
  stream = concat({stream, nested});
  EXPECT_EQ(errorReading(stream), BIFFWorkbook::kDamagedMessage);
}

}  // namespace
}  // namespace tabvora
