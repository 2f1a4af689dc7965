#include "drivers/delimited/delimited_driver_fixture.hpp"
#include "support/case_file.hpp"
#include "support/edit_steps.hpp"

namespace tabvora::internal {
namespace {

using namespace std::string_literals;

class DelimitedSaveTest : public DelimitedDriverTest {
 protected:
  DataRow row(DelimitedDriver& driver, std::size_t index) { return all(driver).rows.at(index); }
};

// The edits and saves of drivers/delimited/delimited_save.cases.
TEST_F(DelimitedSaveTest, EditsAndSavesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("drivers/delimited/delimited_save.cases")) {
    if (c.word(0) != "save") continue;
    const auto path = write(c.word(1), c.input.at(0));
    DelimitedDriver driver(DatabaseFormat::csv);
    driver.open(path);
    for (std::size_t i = 1; i < c.input.size(); ++i) testing::applyStep(driver, path.stem().string(), path, c.input[i]);
    EXPECT_EQ(testing::readFile(path), c.expected.at(0)) << c.where;
    DelimitedDriver reopened(DatabaseFormat::csv);
    reopened.open(path);
    EXPECT_EQ(texts(reopened), texts(driver)) << c.where;
  }
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
    if (c.word(0) != "roundtrip") continue;
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
}

}  // namespace
}  // namespace tabvora::internal
