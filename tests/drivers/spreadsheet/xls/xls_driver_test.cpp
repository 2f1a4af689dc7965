// The XLS driver: a real workbook cut anywhere is refused, and empty shared strings cost
// their bookkeeping. What both workbook drivers share is in workbook_driver_test.cpp; real
// and built workbooks (date columns, values bound by column type, files refused) are in the
// golden corpus (tests/data/spreadsheet).
#include <gtest/gtest.h>

#include "drivers/spreadsheet/ole2/compound_file.hpp"
#include "drivers/spreadsheet/sheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xls/xls_driver.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::Bytes;
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
