// The legacy workbook readers: number and date texts (their cases in biff_workbook.cases),
// a real workbook cut anywhere refused, and empty shared strings costing their bookkeeping.
// Compound files read from either allocation table or refused as damaged, and BIFF streams
// (cell records, strings across CONTINUE records, dates, code pages, old, encrypted and
// damaged streams) are golden corpus files (tests/data/spreadsheet, made by make_files.py);
// what both workbook drivers share is in sheet/sheet_test.cpp.
#include <gtest/gtest.h>

#include "drivers/spreadsheet/ole2/compound_file.hpp"
#include "drivers/spreadsheet/xls/biff_number_format.hpp"
#include "drivers/spreadsheet/xls/biff_serial_date.hpp"
#include "drivers/spreadsheet/xls/xls_driver.hpp"
#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::errorOf;

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

TEST(XLSDriver, ARealWorkbookCutAnywhereIsRefusedAsDamaged) {
  testing::TempDir dir;
  XLSDriver driver;
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
TEST(XLSDriver, EmptySharedStringsCostTheirBookkeeping) {
  // 4,000 of them take 128,000 bytes.
  XLSDriver driver;
  driver.memoryBudgetBytes = 100'000;
  EXPECT_EQ(errorOf([&] { driver.open(testing::testData("spreadsheet/empty_shared_strings.xls")); }).message(),
            "The workbook needs more than 100000 bytes of memory to stage (shared strings)");
}

}  // namespace
}  // namespace tabvora::internal
