#include "opening/opened_file.hpp"

#include <zlib.h>

#include <gtest/gtest.h>

#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

constexpr int kRows = 400'000;  // about 20 MB of text

// A gzip file of a CSV table of `rows` rows, compressed here (no tool needed).
std::string gzippedTable(int rows) {
  std::string text = "id,label,amount\n";
  for (int i = 0; i < rows; ++i) text += std::to_string(i) + ",row number " + std::to_string(i) + ",12.5\n";
  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(text.data());
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

TEST(OpenedFile, PreviewOfCompressedTextDecompressesOnlyAFirstPartAndFullOpenAll) {
  testing::TempDir dir;
  const auto path = dir.path() / "big.csv.gz";
  testing::writeFile(path, gzippedTable(kRows));

  OpenOptions preview;
  preview.previewRowLimit = 200;
  OpenedFile partial = OpenedFile::open(path, preview);
  EXPECT_LT(partial.input->bytesRead(), std::uint64_t{2} << 20);
  ASSERT_EQ(partial.metadata.tables.size(), 1u);
  EXPECT_EQ(partial.metadata.tables[0].name, "big");
  EXPECT_EQ(partial.metadata.tables[0].rowCount, 200);
  EXPECT_TRUE(partial.metadata.tables[0].rowCountIsLowerBound);
  EXPECT_EQ(partial.metadata.name, "big.csv.gz");

  OpenedFile whole = OpenedFile::open(path, {});
  EXPECT_EQ(whole.metadata.tables[0].rowCount, kRows);
  EXPECT_FALSE(whole.metadata.tables[0].rowCountIsLowerBound);

  OpenOptions capped;
  capped.maxContentBytes = 4 << 20;
  try {
    OpenedFile refused = OpenedFile::open(path, capped);
    FAIL() << "the cap was not applied";
  } catch (const DriverError& error) {
    EXPECT_EQ(error.message(), "\"big.csv.gz\" holds more than 4.2 MB once decompressed, the most that is read");
  }
}

}  // namespace
}  // namespace tabvora::internal
