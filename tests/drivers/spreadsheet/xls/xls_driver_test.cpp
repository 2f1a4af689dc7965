// The XLS driver over workbooks built here: date columns and numbers bound as numbers;
// files that are no readable workbook, whole or cut anywhere, are refused with the driver's
// messages. What both workbook drivers share is in workbook_driver_test.cpp; real
// workbooks are in the golden corpus (tests/data/spreadsheet).
#include <gtest/gtest.h>

#include "drivers/spreadsheet/ole2/compound_file.hpp"
#include "drivers/spreadsheet/sheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xls/xls_driver.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::Bytes;
using testing::concat;
using testing::errorOf;
namespace biff = testing::biff;

class XLSDriverTest : public ::testing::Test {
 protected:
  std::filesystem::path write(const Bytes& bytes, const std::string& name = "book.xls") {
    return dir.write(name, std::string(bytes.begin(), bytes.end()));
  }

  testing::TempDir dir;
  XLSDriver driver;
};

TEST_F(XLSDriverTest, DateColumnsAndValuesBoundByColumnType) {
  const Bytes globals = concat({biff::format(164, "yyyy-mm-dd"), biff::xf(0), biff::xf(164)});
  // One undated number makes "mixed" a column like any other.
  const Bytes dated = concat({biff::label(0, 0, "due"), biff::label(0, 1, "mixed"), biff::label(0, 2, "real"),
                              biff::label(0, 3, "text"), biff::label(0, 4, "int"),
                              biff::number(1, 0, 45322, 1), biff::number(1, 1, 45322, 1), biff::number(1, 2, 7),
                              biff::label(1, 3, "7"), biff::number(1, 4, 1),
                              biff::number(2, 0, 45323, 1), biff::number(2, 1, 12), biff::number(2, 2, 0.5),
                              biff::label(2, 3, "x"), biff::label(2, 4, "   ")});
  const Bytes stream = biff::workbook(globals, {{"Empty", {}}, {"Dated", dated}});
  const DatabaseMetadata metadata = driver.open(write(testing::compoundFileWith("Workbook", stream)));
  EXPECT_EQ(testing::tableNames(metadata), std::vector<std::string>{"Dated"});  // the sheet without cells is left out
  EXPECT_EQ(testing::columnTypes(driver, "Dated"), (std::vector<std::string>{"DATETIME", "TEXT", "REAL", "TEXT", "INTEGER"}));
  const DataTable stored = driver.query(
      "SELECT due, typeof(mixed), mixed, typeof(real), real, typeof(text), text, typeof(int), quote(int) FROM Dated");
  std::vector<std::string> texts;
  for (const DataRow& row : stored.rows)
    for (const CellValue& value : row.values) texts.push_back(value.rawValueString());
  EXPECT_EQ(texts, (std::vector<std::string>{"2024-01-31", "text", "2024-01-31", "real", "7.0", "text", "7", "integer",
                                             "1", "2024-02-01", "text", "12", "real", "0.5", "text", "x", "text",
                                             "'   '"}));
}

TEST_F(XLSDriverTest, WhatIsNoReadableWorkbookIsRefused) {
  const std::pair<std::filesystem::path, std::string> refused[] = {
      {write(Bytes(600, 'x'), "text.xls"), CompoundFile::kNotCompoundFileMessage},
      {write(Bytes(511, 0xD0), "short.xls"), CompoundFile::kNotCompoundFileMessage},
  };
  for (const auto& [path, message] : refused) {
    const DriverError error = errorOf([&] { driver.open(path); });
    EXPECT_EQ(error.domain(), "XLSDriver") << path;
    EXPECT_EQ(error.message(), message) << path;
  }
}

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

// (How a shared string counts each time a cell names it is in workbook_driver_test.cpp.)
TEST_F(XLSDriverTest, EmptySharedStringsCostTheirBookkeeping) {
  // 4,000 of them take 128,000 bytes.
  driver.memoryBudgetBytes = 100'000;
  const Bytes empties = biff::workbook(biff::sst(std::vector<std::string>(4000)), {{"S", biff::label(0, 0, "h")}});
  EXPECT_EQ(errorOf([&] { driver.open(write(testing::compoundFileWith("Workbook", empties))); }).message(),
            "The workbook needs more than 100000 bytes of memory to stage (shared strings)");
}

}  // namespace
}  // namespace tabvora::internal
