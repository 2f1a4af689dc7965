#include "drivers/delimited/delimited_driver_fixture.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal {
namespace {

using namespace std::string_literals;

class DelimitedSaveTest : public DelimitedDriverTest {
 protected:
  DataRow row(DelimitedDriver& driver, std::size_t index) { return all(driver).rows.at(index); }
  const DataColumn& column(DelimitedDriver& driver, std::size_t index) { return driver.allColumns().at(index); }
  // Marks the file as changed by someone else without relying on the clock's resolution.
  void touch(const std::filesystem::path& path) {
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::seconds(10));
  }
};

const std::string kSales =
    "id,code,price,note, spaced \r\n"
    "1,007,1.50,\"a,b\",x\r\n"
    "2,010,2.00,\"plain\",\r\n"
    "3,011,2.25,\"say \"\"hi\"\"\",y\r\n";

TEST_F(DelimitedSaveTest, SavingWithoutEditsKeepsEveryCellsTextUnlessTheFileChanged) {
  const auto path = write("sales.csv", kSales);
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(path);
  driver.saveChanges();
  // Only the needlessly quoted "plain" changes.
  EXPECT_EQ(testing::readFile(path),
            "id,code,price,note, spaced \r\n"
            "1,007,1.50,\"a,b\",x\r\n"
            "2,010,2.00,plain,\r\n"
            "3,011,2.25,\"say \"\"hi\"\"\",y\r\n");

  // Once the file changed on disk, it is rewritten from the staged values.
  touch(path);
  driver.saveChanges();
  EXPECT_EQ(testing::readFile(path),
            "id,code,price,note,spaced\r\n"
            "1,007,1.5,\"a,b\",x\r\n"
            "2,010,2.0,plain,\r\n"
            "3,011,2.25,\"say \"\"hi\"\"\",y\r\n");
}

TEST_F(DelimitedSaveTest, EditedCellsAreWrittenFromTheirValues) {
  const auto path = write("sales.csv", kSales);
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(path);
  driver.updateCell("sales", row(driver, 1), column(driver, 2), CellValue::real(9.5));
  driver.updateCell("sales", row(driver, 2), column(driver, 3), CellValue::text("line1\nline2"));
  driver.insertRow("sales", {{"id", CellValue::integer(4)}, {"code", CellValue::text("012")}, {"price", CellValue::real(3)}});
  driver.saveChanges();
  EXPECT_EQ(testing::readFile(path),
            "id,code,price,note, spaced \r\n"
            "1,007,1.50,\"a,b\",x\r\n"
            "2,010,9.5,plain,\r\n"
            "3,011,2.25,\"line1\nline2\",y\r\n"
            "4,012,3.0,,\r\n");

  DelimitedDriver reopened(DatabaseFormat::csv);
  reopened.open(path);
  EXPECT_EQ(texts(reopened), texts(driver));
}

TEST_F(DelimitedSaveTest, LaterSavesStillMapRowsToTheirLines) {
  // Large enough that every row is read back, not just a first page.
  std::string text = "n,v\n";
  for (int i = 0; i < 3000; ++i) text += std::to_string(i) + "," + std::to_string(i) + ".50\n";
  const auto path = write("large.csv", text);
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(path);
  driver.deleteRow("large", row(driver, 0));
  driver.saveChanges();
  text.erase(4, std::string("0,0.50\n").size());
  EXPECT_EQ(testing::readFile(path), text);
  driver.saveChanges();
  EXPECT_EQ(testing::readFile(path), text);
  driver.deleteRow("large", row(driver, 1500));
  driver.saveChanges();
  text.erase(text.find("\n1501,") + 1, std::string("1501,1501.50\n").size());
  EXPECT_EQ(testing::readFile(path), text);
}

TEST_F(DelimitedSaveTest, AFileThatDisappearedIsWrittenAnew) {
  const auto path = write("gone.csv", "a,b\n1,x\n");
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(path);
  std::filesystem::remove(path);
  driver.saveChanges();
  EXPECT_EQ(testing::readFile(path), "a,b\n1,x\n");

  // With its folder gone too the save fails clearly and leaves nothing behind.
  const auto folder = dir_ / "sub";
  std::filesystem::create_directory(folder);
  testing::writeFile(folder / "f.csv", "a\n1\n");
  DelimitedDriver other(DatabaseFormat::csv);
  other.open(folder / "f.csv");
  std::filesystem::remove_all(folder);
  const DriverError error = errorOf([&] { other.saveChanges(); });
  EXPECT_EQ(error.domain(), "DelimitedDriver");
  EXPECT_EQ(error.code(), -1);
  EXPECT_TRUE(error.message().starts_with("Failed to write file at " + (folder / "f.csv").string())) << error.message();
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(DelimitedSaveTest, IncompleteOpensRefuseToSave) {
  std::string text = "n\n";
  for (int i = 0; i < 300; ++i) text += std::to_string(i) + "\n";
  const auto path = write("many.csv", text);
  const auto before = std::filesystem::last_write_time(path);

  DelimitedDriver limited(DatabaseFormat::csv);
  limited.previewRowLimit = 200;
  limited.open(path);
  const DriverError error = errorOf([&] { limited.saveChanges(); });
  EXPECT_EQ(error.domain(), "DelimitedDriver");
  EXPECT_EQ(error.code(), -2);
  EXPECT_EQ(error.message(),
            "Cannot save: only the first 200 data rows of the file were loaded, and saving would drop the rest");
  EXPECT_EQ(testing::readFile(path), text);
  EXPECT_EQ(std::filesystem::last_write_time(path), before);

  // A limit the file stays within stages everything, so saving is fine.
  limited.previewRowLimit = 300;
  limited.open(path);
  EXPECT_NO_THROW(limited.saveChanges());
  EXPECT_EQ(testing::readFile(path), text);

  // A failed open leaves nothing that may be saved over the file.
  DelimitedDriver failed(DatabaseFormat::csv);
  const auto empty = write("empty.csv", "\n");
  EXPECT_THROW(failed.open(empty), DriverError);
  EXPECT_EQ(errorOf([&] { failed.saveChanges(); }).code(), -2);

  // Fields past the last loadable column would be lost.
  const std::string wide = "h\n" + std::string(2100, ',') + "v\n";
  const auto widePath = write("wide.csv", wide);
  DelimitedDriver wideDriver(DatabaseFormat::csv);
  wideDriver.open(widePath);
  EXPECT_EQ(wideDriver.allColumns().size(), 2000u);
  EXPECT_EQ(errorOf([&] { wideDriver.saveChanges(); }).code(), -2);
  EXPECT_EQ(testing::readFile(widePath), wide);
}

TEST_F(DelimitedSaveTest, EncodingsAreReadAndWrittenBackAsRead) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/delimited/delimited_save.cases")) {
    const auto path = write(c.word(1), c.input.at(0));
    DelimitedDriver driver(DatabaseFormat::csv);
    driver.open(path);
    EXPECT_EQ(columnNames(driver), (Names{"a", "b"})) << c.where;
    const Rows rows = texts(driver);
    ASSERT_EQ(rows.size(), 1u) << c.where;
    EXPECT_EQ((std::vector<std::string>{encodingName(driver.sourceEncoding()), driver.hasUTF8BOM() ? "mark" : "no mark",
                                        rows[0].at(0) + "|" + rows[0].at(1)}),
              c.expected)
        << c.where;
    driver.saveChanges();
    EXPECT_EQ(testing::readFile(path), c.input.at(0)) << c.where;
  }

  // An edit keeps the mark and the encoding.
  const auto path = write("bomcp.csv", "\xEF\xBB\xBF" "a,b\n1,\xE9\n");
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(path);
  driver.updateCell("bomcp", row(driver, 0), column(driver, 1), CellValue::text("\xC3\xA8"));
  driver.saveChanges();
  EXPECT_EQ(testing::readFile(path), "\xEF\xBB\xBF" "a,b\n1,\xE8\n");
}

TEST_F(DelimitedSaveTest, ACharacterOutsideTheCodePageSwitchesToUTF8WithAMark) {
  const auto path = write("cp.csv", "name,n\nCaf\xE9,1\n");
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(path);
  ASSERT_EQ(driver.sourceEncoding(), TextEncoding::windows1252);
  driver.updateCell("cp", row(driver, 0), column(driver, 0), CellValue::text("\xE2\x9C\x93 ok"));
  driver.saveChanges();
  EXPECT_EQ(testing::readFile(path), "\xEF\xBB\xBFname,n\n\xE2\x9C\x93 ok,1\n");
  EXPECT_EQ(driver.sourceEncoding(), TextEncoding::utf8);
  EXPECT_TRUE(driver.hasUTF8BOM());

  // It stays so, even once the character is gone again.
  driver.updateCell("cp", row(driver, 0), column(driver, 0), CellValue::text("plain"));
  driver.saveChanges();
  EXPECT_EQ(testing::readFile(path), "\xEF\xBB\xBFname,n\nplain,1\n");
}

TEST_F(DelimitedSaveTest, HeadersAndDelimitersSurviveTheRoundTrip) {
  // A semicolon file whose header needs quoting and whose rows are wider than the header.
  const auto path = write("semi.csv", "\"a;b\";c\n1;2;3\n");
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(path);
  ASSERT_EQ(driver.activeDelimiter(), ';');
  driver.saveChanges();
  EXPECT_EQ(testing::readFile(path), "\"a;b\";c;\n1;2;3\n");
  touch(path);
  driver.saveChanges();
  EXPECT_EQ(testing::readFile(path), "\"a;b\";c;col_3\n1;2;3\n");
}

}  // namespace
}  // namespace tabvora::internal
