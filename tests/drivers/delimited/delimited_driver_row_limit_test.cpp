#include <tuple>

#include "drivers/delimited/delimited_driver_fixture.hpp"

namespace tabvora::internal {
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

TEST_F(DelimitedRowLimitTest, APreviewShowsTheFirstRowsOfAFullOpen) {
  // UTF-8 until a last line past the first megabyte a preview reads, which decides the
  // file's encoding. (The other encodings a first part can end in are DelimitedInput's.)
  std::string text = numberedLines(10'000) + "10001,\xFF,1.5\n";
  ASSERT_GT(text.size(), 1'000'000u);
  text.insert(text.find("\n3,") + 3, "\xC3\xA9");
  const auto path = write("data.csv", text);
  Page full = page(path, std::nullopt);
  std::get<2>(full)[0].rowCount = kPreviewRows;
  std::get<2>(full)[0].rowCountIsLowerBound = true;
  std::get<4>(full).resize(kPreviewRows);
  std::get<5>(full).resize(kPreviewRows);
  EXPECT_EQ(page(path, kPreviewRows), full);

  DelimitedDriver driver(DatabaseFormat::csv);
  driver.previewRowLimit = kPreviewRows;
  driver.open(path);
  EXPECT_EQ(driver.sourceEncoding(), TextEncoding::windows1252);
}

// A full open splits the records on a second thread while the first inserts them (and gives
// back the file's bytes behind them); it stages
// the values (and their kinds) a one-thread open stages when its limit is not reached.
TEST_F(DelimitedRowLimitTest, AFullOpenOnTwoThreadsStagesWhatOneThreadStages) {
  std::string text = "n,label,amount\n";
  for (int i = 0; i < 10'000; ++i) {
    text += (i % 7 ? " " + std::to_string(i - 5000) + " " : std::string()) + ",\"q\"\"" + std::to_string(i) + '"';
    text += i % 11 ? (i % 5 ? ",12.50\n" : ",1e3\n") : "\n";
  }
  const auto path = write("data.csv", text);
  const auto values = [&](std::optional<std::int64_t> limit) {
    DelimitedDriver driver(DatabaseFormat::csv);
    driver.previewRowLimit = limit;
    driver.open(path);
    std::vector<std::vector<CellValue>> rows;
    for (const DataRow& row : all(driver).rows) rows.push_back(row.values);
    return rows;
  };
  const auto full = values(std::nullopt);
  ASSERT_EQ(full.size(), 10'000u);
  EXPECT_EQ(full[1], (std::vector<CellValue>{CellValue::integer(-4999), CellValue::text("q\"1"), CellValue::real(12.5)}));
  EXPECT_EQ(full, values(20'000));
  // Every row in file order across the several-row statements, and no text read from input
  // given back after its rows went in.
  for (std::size_t i = 0; i < full.size(); ++i) {
    const CellValue amount = i % 11 ? CellValue::real(i % 5 ? 12.5 : 1000) : CellValue();
    ASSERT_EQ(full[i][1], CellValue::text("q\"" + std::to_string(i))) << i;
    ASSERT_EQ(full[i][2], amount) << i;
  }
}

}  // namespace
}  // namespace tabvora::internal
