// The legacy workbook readers over containers and streams built here. The compound-file
// reader: streams come back whole from either allocation table, and every damaged structure
// or cycle is refused. The BIFF parser: cell records, number and date texts (their cases in
// biff_workbook.cases), strings across CONTINUE records, and the refusals of old, encrypted
// and damaged streams. The XLS driver: a real workbook cut anywhere is refused, and empty
// shared strings cost their bookkeeping. What both workbook drivers share is in
// sheet/sheet_test.cpp; real and built workbooks (date columns, values bound by column
// type, files refused) are in the golden corpus (tests/data/spreadsheet).
#include <gtest/gtest.h>

#include <functional>

#include "drivers/spreadsheet/ole2/compound_file.hpp"
#include "drivers/spreadsheet/sheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xls/biff_number_format.hpp"
#include "drivers/spreadsheet/xls/biff_serial_date.hpp"
#include "drivers/spreadsheet/xls/biff_workbook.hpp"
#include "drivers/spreadsheet/xls/xls_driver.hpp"
#include "drivers/spreadsheet/xls/xls_test_workbook.hpp"
#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::Bytes;
using testing::CompoundFileBuilder;
using testing::errorOf;
using testing::setU32;

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
  return out;
}

std::string messageOf(const Bytes& file, std::string_view stream = "Workbook") {
  return errorOf([&] { (void)CompoundFile(file).stream(stream); }).message();
}

TEST(CompoundFile, ReadsStreamsFromTheFATAndTheMiniStreamAroundTheCutoff) {
  for (const unsigned shift : {9u, 12u}) {
    CompoundFileBuilder builder;
    builder.sectorShift = shift;
    builder.storages = {"Small"};  // a storage of a wanted name is never a stream
    builder.streams = {{"Exact", pattern(4096, 1)}, {"Small", pattern(4095, 2)}, {"Long", pattern(20'000, 3)},
                       {"Empty", {}}};
    const Bytes file = builder.build();
    const CompoundFile container(file);
    EXPECT_EQ(container.stream("EXACT"), pattern(4096, 1)) << shift;
    EXPECT_EQ(container.stream("small"), pattern(4095, 2)) << shift;
    EXPECT_EQ(container.stream("Long"), pattern(20'000, 3)) << shift;
    EXPECT_EQ(container.stream("Empty"), Bytes()) << shift;
    EXPECT_EQ(container.stream("Book"), std::nullopt) << shift;
  }
}

TEST(CompoundFile, OddButSoundHeadersAndSizes) {
  for (const unsigned shift : {9u, 12u}) {
    // Garbage in a size's high half counts only with sectors larger than 512 bytes.
    CompoundFileBuilder builder;
    builder.sectorShift = shift;
    builder.streams = {{"Workbook", pattern(5000, 1)}};
    Bytes file = builder.build();
    setU32(file, builder.slotOffset(1) + 124, 0xDEADBEEF);
    if (shift == 9)
      EXPECT_EQ(CompoundFile(file).stream("Workbook"), pattern(5000, 1));
    else
      EXPECT_EQ(messageOf(file), CompoundFile::kDamagedMessage);
  }
  // A free entry amid the header's FAT sector list is skipped, not taken as its end.
  CompoundFileBuilder builder;
  builder.streams = {{"Workbook", pattern(80'000, 5)}};  // more sectors than one FAT sector maps
  Bytes file = builder.build();
  ASSERT_EQ(builder.fatSectors.size(), 2u);
  setU32(file, 80, CompoundFileBuilder::kFree);
  setU32(file, 84, builder.fatSectors[1]);
  EXPECT_EQ(CompoundFile(file).stream("Workbook"), pattern(80'000, 5));
}

TEST(CompoundFile, DamageAndCyclesEndInTheDamagedError) {
  CompoundFileBuilder builder;
  builder.streams = {{"Workbook", pattern(6000, 1)}, {"Mini", pattern(300, 2)}};
  const Bytes good = builder.build();
  const std::uint32_t big = builder.streamStarts[0];
  const std::uint32_t pastTheEnd = static_cast<std::uint32_t>(good.size() / 512 + 3);
  const std::vector<std::pair<std::string, std::function<void(Bytes&)>>> damage = {
      {"sector shift 10", [](Bytes& f) { f[30] = 10; }},
      {"mini sector shift not below the sector shift", [](Bytes& f) { f[32] = 9; }},
      {"mini sector shift 1", [](Bytes& f) { f[32] = 1; }},
      {"more FAT sectors than the file holds", [](Bytes& f) { setU32(f, 44, 1000); }},
      {"FAT sector past the end", [&](Bytes& f) { setU32(f, 76, pastTheEnd); }},
      {"FAT sector number is a marker", [](Bytes& f) { setU32(f, 48, 0xFFFFFFFD); }},
      {"FAT chain loops", [&](Bytes& f) { setU32(f, builder.fatEntryOffset(big + 2), big); }},
      {"FAT chain ends early", [&](Bytes& f) { setU32(f, builder.fatEntryOffset(big + 2), 0xFFFFFFFE); }},
      {"FAT chain runs past the file", [&](Bytes& f) { setU32(f, builder.fatEntryOffset(big + 2), pastTheEnd); }},
      {"directory chain loops", [&](Bytes& f) {
         setU32(f, builder.fatEntryOffset(builder.directoryStart), builder.directoryStart);
       }},
      {"DIFAT chain never ends", [&](Bytes& f) {
         const std::uint32_t self = builder.fatSectors[0];
         setU32(f, 68, self);
         setU32(f, builder.offsetOf(self) + 508, self);
       }},
      {"stream size beyond the file", [&](Bytes& f) { setU32(f, builder.slotOffset(1) + 120, 0x7FFFFFFF); }},
      {"mini FAT chain loops", [&](Bytes& f) { setU32(f, builder.offsetOf(builder.miniFatStart) + 4, 0); }},
  };
  for (const auto& [what, corrupt] : damage) {
    Bytes file = good;
    corrupt(file);
    const std::string wanted = what.starts_with("mini FAT") ? "Mini" : "Workbook";
    EXPECT_EQ(messageOf(file, wanted), CompoundFile::kDamagedMessage) << what;
  }
}

using testing::concat;
using testing::put;
namespace biff = testing::biff;
using Grid = std::vector<std::vector<std::string>>;

struct ReadSheet {
  Grid grid;  // rows as wide as their last cell
  std::vector<bool> dateColumns;
};
// The first sheet of a one-sheet workbook.
ReadSheet readSheet(const Bytes& records, const Bytes& globals = {}, std::uint16_t version = 0x0600) {
  const Bytes stream = biff::workbook(globals, {{"S", records}}, version);
  BIFFWorkbook workbook(stream);
  workbook.parseGlobals();
  const BIFFWorkbook::SheetContents contents = workbook.parseSheet(workbook.sheets().at(0).offset);
  return {contents.grid.toStrings(), contents.dateColumns};
}
Grid gridOf(const Bytes& records, const Bytes& globals = {}, std::uint16_t version = 0x0600) {
  return readSheet(records, globals, version).grid;
}

std::string errorReading(const Bytes& stream) {
  return testing::errorOf([&] {
           BIFFWorkbook workbook(stream);
           workbook.parseGlobals();
           for (const BIFFWorkbook::Sheet& sheet : workbook.sheets()) workbook.parseSheet(sheet.offset);
         })
      .message();
}

TEST(BIFFNumberFormat, CasesOfTheTable) {
  const char* kinds[] = {"none", "date", "timeOnly"};
  for (const testing::TextCase& c : testing::readTextCases("drivers/spreadsheet/xls/biff_workbook.cases")) {
    const std::string& in = c.input.at(0);
    std::string out;
    if (c.word(0) == "rk") appendBIFFNumber(out, decodeRK(static_cast<std::uint32_t>(std::stoul(in, nullptr, 16))));
    if (c.word(0) == "number") appendBIFFNumber(out, std::stod(in));
    if (c.word(0) == "format") out = kinds[static_cast<int>(classifyBIFFFormatCode(in))];
    if (c.word(0) == "builtin") out = kinds[static_cast<int>(builtInBIFFDateKind(std::stoi(in)))];
    if (c.word(0) == "serial")
      formatBIFFSerialDate(std::stod(in), c.word(1) == "time", c.word(1) == "1904" || c.word(2) == "1904", out);
    EXPECT_EQ(out, c.expected.at(0)) << c.where;
  }
}

TEST(BIFFWorkbook, RefusesOldEncryptedAndUnknownStreams) {
  auto withBOF = [](std::uint16_t id, std::uint16_t version) {
    Bytes body;
    put(body, version, 2);
    body.resize(16);
    return concat({biff::record(id, body), biff::eof()});
  };
  for (const std::uint16_t id : {0x0009, 0x0209, 0x0409})
    EXPECT_EQ(errorReading(withBOF(id, 0x0600)), BIFFWorkbook::kOldVersionMessage);
  EXPECT_EQ(errorReading(withBOF(0x1234, 0x0600)), BIFFWorkbook::kUnknownStreamMessage);
  EXPECT_EQ(errorReading(withBOF(biff::BOF, 0x0400)), BIFFWorkbook::kUnsupportedVersionMessage);
  EXPECT_EQ(errorReading(Bytes{0x09, 0x08, 0, 0}), BIFFWorkbook::kDamagedMessage);
  const Bytes readable = biff::workbook(biff::record(biff::FILEPASS, Bytes(6)), {{"S", biff::label(0, 0, "x")}});
  EXPECT_EQ(errorReading(readable), BIFFWorkbook::kEncryptedMessage);
}

TEST(BIFFWorkbook, SharedStringsAcrossContinueRecords) {
  // "abcde€": three 8-bit characters, then a CONTINUE restating the width as 16-bit.
  Bytes first;
  put(first, 2, 4);
  put(first, 2, 4);
  first.insert(first.end(), {6, 0, 0, 'a', 'b', 'c'});
  const Bytes globals = concat({biff::record(biff::SST, first),
                                biff::record(biff::CONTINUE, {1, 'd', 0, 'e', 0, 0xAC, 0x20}),
                                biff::record(biff::CONTINUE, biff::str("second"))});
  EXPECT_EQ(gridOf(concat({biff::labelSST(0, 0, 0), biff::labelSST(0, 1, 1), biff::labelSST(0, 2, 9)}), globals),
            (Grid{{"abcde\u20AC", "second"}}));

  // A table claiming more strings than it holds, up to 2^32 - 1, keeps those it has.
  for (const std::uint32_t claimed : {3u, 0xFFFFFFFFu})
    EXPECT_EQ(gridOf(biff::labelSST(0, 0, 1), biff::sst({"a", "b"}, claimed)), (Grid{{"b"}})) << claimed;

  // A string cut short by the end of its CONTINUE records, however many empty ones follow;
  // a 16-bit character split across two records.
  Bytes cut = biff::sst({"abc"});
  cut[4 + 8] = 200;
  for (int i = 0; i < 100'000; ++i) cut.insert(cut.end(), {0x3C, 0, 0, 0});
  EXPECT_EQ(errorReading(biff::workbook(cut, {})), BIFFWorkbook::kDamagedMessage);
  const Bytes split = concat({biff::record(biff::SST, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 'a'}),
                              biff::record(biff::CONTINUE, {0, 1})});
  EXPECT_EQ(errorReading(biff::workbook(split, {})), BIFFWorkbook::kDamagedMessage);
}

TEST(BIFFWorkbook, CellRecordsMakeAGrid) {
  const Bytes records = concat({
      biff::label(0, 0, "A1"), biff::label(0, 1, "B1"), biff::number(1, 0, 1.5), biff::rk(1, 1, 0x0000000A),
      biff::number(2, 0, 3), biff::label(2, 1, "old"), biff::label(2, 1, "new"), biff::label(6, 3, "D7"),
      biff::label(3, 256, "past the last column"), biff::label(4, 0, ""),
      biff::bof(0x0600, 0x20), biff::label(5, 0, "in an embedded chart"), biff::eof(),
  });
  EXPECT_EQ(gridOf(records), (Grid{{"A1", "B1"}, {"1.5", "2"}, {"3", "new"}, {"", "", "", "D7"}}));
  Bytes mulrk = biff::cell(0, 2);
  mulrk.resize(4);  // row, first column
  for (const std::uint32_t value : {4u << 2 | 2, 5u << 2 | 2, 0x3FF80001u}) {
    put(mulrk, 0, 2);
    put(mulrk, value, 4);
  }
  put(mulrk, 4, 2);
  EXPECT_EQ(gridOf(biff::record(biff::MULRK, mulrk)), (Grid{{"", "", "4", "5", "0.015"}}));
  EXPECT_TRUE(gridOf({}).empty());
}

TEST(BIFFWorkbook, BooleansErrorsAndFormulaResults) {
  auto boolErr = [](std::uint16_t column, std::uint8_t value, std::uint8_t isError) {
    return biff::record(biff::BOOLERR, concat({biff::cell(0, column), {value, isError}}));
  };
  auto formula = [](std::uint16_t column, std::uint8_t type, std::uint8_t value) {
    const Bytes result = {type, 0, value, 0, 0, 0, 0xFF, 0xFF};
    return biff::record(biff::FORMULA, concat({biff::cell(0, column), result, Bytes(8)}));
  };
  Bytes number = biff::number(0, 4, 2.25);
  number[0] = biff::FORMULA;  // a FORMULA's cached number sits where a NUMBER's value does
  number[1] = 0;
  const Bytes records = concat({
      boolErr(0, 1, 0), boolErr(1, 0, 0), boolErr(2, 0x07, 1), boolErr(3, 0x99, 1), number, formula(5, 1, 1),
      formula(6, 2, 0x2A), formula(7, 0, 0), biff::record(biff::STRING, biff::str("from formula")),
      biff::record(biff::STRING, biff::str("stray")),  // no formula waits for it
      formula(8, 3, 0),                                 // an empty string result
  });
  EXPECT_EQ(gridOf(records), (Grid{{"TRUE", "FALSE", "#DIV/0!", "#ERR!", "2.25", "TRUE", "#N/A", "from formula"}}));
}

TEST(BIFFWorkbook, DatesFollowTheCellFormat) {
  Bytes globals = concat({biff::format(164, "yyyy-mm-dd"), biff::xf(0), biff::xf(164), biff::xf(20)});
  const Bytes records = concat({
      biff::label(0, 0, "when"), biff::label(0, 1, "mixed"), biff::label(0, 2, "time"), biff::label(0, 3, "zero"),
      biff::number(1, 0, 45322, 1), biff::number(1, 1, 45322, 1), biff::number(1, 2, 0.75, 2), biff::number(1, 3, 0, 1),
      biff::number(2, 0, 60, 1), biff::number(2, 1, 7, 0), biff::number(2, 2, 0, 9),  // no such cell format
  });
  const ReadSheet sheet = readSheet(records, globals);
  EXPECT_EQ(sheet.grid, (Grid{{"when", "mixed", "time", "zero"},
                                          {"2024-01-31", "2024-01-31", "18:00:00", "0"},
                                          {"1900-02-29", "7", "0"}}));
  EXPECT_EQ(sheet.dateColumns, (std::vector<bool>{true, false, false, false}));
  globals = concat({globals, biff::record(biff::DATEMODE, {1, 0})});
  EXPECT_EQ(gridOf(biff::number(0, 0, 0, 1), globals), (Grid{{"1904-01-01"}}));
}

TEST(BIFFWorkbook, ByteStringsInTheWorkbookCodePage) {
  auto codePage = [](std::uint16_t page) {
    Bytes body;
    put(body, page, 2);
    return biff::record(biff::CODEPAGE, body);
  };
  const std::pair<std::uint16_t, std::pair<const char*, const char*>> cases[] = {
      {1251, {"\xCF\xF0\xE8\xE2\xE5\xF2", "\u041F\u0440\u0438\u0432\u0435\u0442"}},
      {932, {"\x93\xFA\x96\x7B", "\u65E5\u672C"}},
      {1252, {"caf\xE9", "caf\u00E9"}}};
  for (const auto& [page, text] : cases)
    EXPECT_EQ(gridOf(biff::label(0, 0, text.first, false), codePage(page), 0x0500), (Grid{{text.second}})) << page;
}

TEST(BIFFWorkbook, DamagedRecordsAndSheetOffsets) {
  // A record longer than what is left of the stream, a cell record too short for its fields.
  EXPECT_EQ(errorReading(biff::workbook({}, {{"S", {0x04, 0x02, 0xFF, 0x00, 1}}})), BIFFWorkbook::kDamagedMessage);
  EXPECT_EQ(errorReading(biff::workbook({}, {{"S", biff::record(biff::NUMBER, Bytes(13))}})),
            BIFFWorkbook::kDamagedMessage);
  const Bytes good = biff::workbook({}, {{"S", biff::label(0, 0, "x")}, {"Chart", {}, 2}});
  const std::size_t offsetField = biff::bof(0x0600, 5).size() + 4;
  for (const std::uint32_t offset : {2u, static_cast<std::uint32_t>(good.size() - 2), 0xFFFFFFF0u}) {
    Bytes stream = good;
    testing::setU32(stream, offsetField, offset);
    EXPECT_EQ(errorReading(stream), BIFFWorkbook::kDamagedMessage) << offset;
  }
  // Sheets that overlap may not multiply the work: 50 sheets over one run of nested BOFs.
  Bytes stream = biff::workbook({}, std::vector<biff::Sheet>(50, {"S", {}}));
  for (std::size_t i = 0; i < 50; ++i)  // each BOUNDSHEET takes 13 bytes
    testing::setU32(stream, offsetField + i * 13, static_cast<std::uint32_t>(stream.size()));
  for (int i = 0; i < 50; ++i) stream = concat({stream, biff::bof()});
  stream.resize(stream.size() + 20'000);
  EXPECT_EQ(errorReading(stream), BIFFWorkbook::kDamagedMessage);
}


class XLSDriverTest : public ::testing::Test {
 protected:
  std::filesystem::path write(const Bytes& bytes, const std::string& name = "book.xls") {
    return dir.write(name, std::string(bytes.begin(), bytes.end()));
  }

  testing::TempDir dir;
  XLSDriver driver;
};

TEST_F(XLSDriverTest, ARealWorkbookCutAnywhereIsRefusedAsDamaged) {
  for (const char* producer : {"spreadsheet/libreoffice.xls", "spreadsheet/gnumeric_biff7.xls"}) {
    const std::string whole = testing::readFile(testing::testData(producer));
    for (std::size_t size = 0; size < whole.size(); size += 512) {
      const DriverError error = errorOf([&] { driver.open(dir.write("cut.xls", std::string_view(whole).substr(0, size))); });
      const char* expected = size < 512 ? CompoundFile::kNotCompoundFileMessage : CompoundFile::kDamagedMessage;
      EXPECT_EQ(error.message(), expected) << producer << " cut to " << size;
    }
  }
}

// (How a shared string counts each time a cell names it is in sheet/sheet_test.cpp.)
TEST_F(XLSDriverTest, EmptySharedStringsCostTheirBookkeeping) {
  // 4,000 of them take 128,000 bytes.
  driver.memoryBudgetBytes = 100'000;
  const Bytes empties = biff::workbook(biff::sst(std::vector<std::string>(4000)), {{"S", biff::label(0, 0, "h")}});
  EXPECT_EQ(errorOf([&] { driver.open(write(testing::compoundFileWith("Workbook", empties))); }).message(),
            "The workbook needs more than 100000 bytes of memory to stage (shared strings)");
}

}  // namespace
}  // namespace tabvora::internal
