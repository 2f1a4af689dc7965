#include <tuple>

#include "drivers/delimited/delimited_driver_fixture.hpp"

namespace tabvora {
namespace {

constexpr std::int64_t kPreviewRows = 200;

// A header and `rows` ASCII data lines, each about 120 bytes, so 200 of them reach past the
// 20,000-byte delimiter sample.
std::string numberedLines(int rows) {
  std::string text = "id,label,amount\n";
  for (int i = 1; i <= rows; ++i) {
    text += std::to_string(i) + "," + std::string(100, 'a' + i % 26) + "," + std::to_string(i) + ".5\n";
  }
  return text;
}

// What a page shows of a file: its metadata (less the file's name), columns, cells and row ids.
using Page = std::tuple<DatabaseFormat::Value, std::int64_t, std::vector<TableMetadata>, std::vector<std::string>,
                        std::vector<std::vector<std::string>>, std::vector<std::optional<std::int64_t>>>;

class DelimitedRowLimitTest : public DelimitedDriverTest {
 protected:
  Page page(const std::filesystem::path& path, std::optional<std::int64_t> limit) {
    DelimitedDriver driver(DatabaseFormat::csv);
    driver.previewRowLimit = limit;
    const DatabaseMetadata metadata = driver.open(path);
    std::vector<std::optional<std::int64_t>> rowids;
    for (const DataRow& row : all(driver).rows) rowids.push_back(row.rowid);
    return {metadata.format, metadata.fileSize, metadata.tables, columnNames(driver), texts(driver), rowids};
  }
};

TEST_F(DelimitedRowLimitTest, StagesOnlyTheFirstRowsAndNeverClassifiesTheRest) {
  std::string text = numberedLines(1000);
  text += "not a number,x,y\n";
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.previewRowLimit = kPreviewRows;
  const DatabaseMetadata metadata = driver.open(write("big.csv", text));
  EXPECT_EQ(driver.totalRows(), kPreviewRows);
  EXPECT_EQ(metadata.tables[0].rowCount, kPreviewRows);
  EXPECT_EQ(driver.allColumns()[0].type, ColumnType::integer);

  driver.previewRowLimit.reset();
  driver.open(write("big.csv", text));
  EXPECT_EQ(driver.totalRows(), 1001);
  EXPECT_EQ(driver.allColumns()[0].type, ColumnType::text);

  // A negative limit stages no rows, like zero, rather than passing over the header too.
  driver.previewRowLimit = -1;
  driver.open(write("big.csv", text));
  EXPECT_EQ(driver.totalRows(), 0);
  EXPECT_EQ(driver.allColumns().size(), 3u);
}

TEST_F(DelimitedRowLimitTest, APageDependsOnlyOnTheRowsItReads) {
  const std::string valid = numberedLines(1000) + "end,tail,1.5\n";
  std::string invalid = valid;
  invalid[invalid.size() - 2] = '\xFF';  // the only byte that is not UTF-8
  std::filesystem::create_directory(dir_ / "twin");
  const auto invalidPath = write("twin/data.csv", invalid);
  EXPECT_EQ(page(write("data.csv", valid), kPreviewRows), page(invalidPath, kPreviewRows));

  // A file within the limit is read whole, so its encoding is settled from every byte.
  std::string small = numberedLines(150);
  small.back() = '\xFF';
  const auto smallPath = write("small.csv", small);
  EXPECT_EQ(page(smallPath, kPreviewRows), page(smallPath, std::nullopt));

  // Without a limit the whole file is settled: Windows-1252 reads the last byte as ÿ.
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(invalidPath);
  EXPECT_EQ(driver.sourceEncoding(), TextEncoding::windows1252);
  EXPECT_EQ(texts(driver).back()[2], "1.\xC3\xBF");
  driver.previewRowLimit = kPreviewRows;
  driver.open(smallPath);
  EXPECT_EQ(driver.sourceEncoding(), TextEncoding::windows1252);
}

TEST_F(DelimitedRowLimitTest, NonASCIIInTheRowsReadFollowsTheDecodingRules) {
  // The label of data row `row` starting with `bytes`: row 26 lies within the delimiter
  // sample, row 195 past it but inside the rows a preview reads.
  ASSERT_GT(numberedLines(300).find("\n195,"), 20000u);
  for (const auto& [row, bytes, encoding] : std::vector<std::tuple<int, std::string, TextEncoding>>{
           {26, "\xE9", TextEncoding::windows1252},
           {195, "\xE9", TextEncoding::windows1252},
           {195, "\xC3\xA9", TextEncoding::utf8}}) {
    SCOPED_TRACE(row);
    std::string text = numberedLines(300);
    text.replace(text.find("\n" + std::to_string(row) + ",") + std::to_string(row).size() + 2, 1, bytes);
    DelimitedDriver driver(DatabaseFormat::csv);
    driver.previewRowLimit = kPreviewRows;
    driver.open(write("rows.csv", text));
    EXPECT_EQ(driver.sourceEncoding(), encoding);
    EXPECT_TRUE(texts(driver).at(row - 1)[1].starts_with("\xC3\xA9"));
  }

  // A NUL among the rows read sends the open through the full decoding, which drops it.
  std::string withNul = numberedLines(300);
  withNul[withNul.find("\n150,") + 5] = '\0';
  withNul.back() = '\xFF';
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.previewRowLimit = kPreviewRows;
  driver.open(write("nul.csv", withNul));
  EXPECT_EQ(driver.sourceEncoding(), TextEncoding::windows1252);
  EXPECT_EQ(texts(driver).at(149)[1], std::string(99, 'a' + 150 % 26));
}

}  // namespace
}  // namespace tabvora
