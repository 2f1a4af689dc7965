#include "drivers/parquet/parquet_page_prefix.hpp"

#include <gtest/gtest.h>
#include <snappy-c.h>
#include <zstd.h>

#include <algorithm>
#include <random>
#include <string>

#include "drivers/parquet/parquet_codec.hpp"
#include "model/driver_error.hpp"

namespace tabvora::internal {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Runs of repeated text (long and overlapping copies) between stretches of random bytes
// (literals): 300 KB, a few zstd blocks.
std::string samplePage() {
  std::mt19937 random(7);
  std::string page;
  while (page.size() < 300'000) {
    const std::size_t run = random() % 2000;
    if (random() % 2 == 0)
      page.append(run, static_cast<char>('a' + random() % 3));
    else
      for (std::size_t i = 0; i < run; ++i) page += static_cast<char>(random());
  }
  return page;
}

struct Compressed {
  int codec;
  std::string bytes;
};

std::vector<Compressed> compressedForms(const std::string& page) {
  std::string snappy(snappy_max_compressed_length(page.size()), '\0');
  std::size_t length = snappy.size();
  snappy_compress(page.data(), page.size(), snappy.data(), &length);
  snappy.resize(length);
  auto zstd = [](std::string_view text) {
    std::string bytes(ZSTD_compressBound(text.size()), '\0');
    bytes.resize(ZSTD_compress(bytes.data(), bytes.size(), text.data(), text.size(), 3));
    return bytes;
  };
  // The page in two frames, as a writer may put it, and followed by a skippable frame (its
  // magic number, its length, its bytes).
  const std::string_view text(page);
  const std::string frames = zstd(text.substr(0, text.size() / 3)) + zstd(text.substr(text.size() / 3));
  const std::string skippable("\x50\x2A\x4D\x18\x03\x00\x00\x00xyz", 11);
  return {{0, page}, {1, snappy}, {6, zstd(page)}, {6, frames}, {6, zstd(page) + skippable}};
}

// Decompresses `compressed` growing by `step` until whole (the page's end checked); checks
// each part against `page` and returns the compressed bytes read for the first part.
std::uint64_t readInSteps(const Compressed& compressed, std::string_view page, std::size_t step) {
  ByteBuffer input, output;
  std::uint64_t read = 0;
  ParquetPagePrefix prefix(
      compressed.codec, compressed.bytes.size(), page.size(),
      [&](std::uint64_t offset, std::uint64_t count) {
        EXPECT_LE(offset + count, compressed.bytes.size());
        read = std::max(read, offset + count);
        return bytesOf(compressed.bytes).subspan(offset, count);
      },
      input, output);
  std::uint64_t firstRead = 0;
  for (std::size_t want = step;; want += step) {
    const std::span<const std::uint8_t> part = prefix.grow(want);
    if (firstRead == 0) firstRead = read;
    EXPECT_GE(part.size(), std::min(want, page.size()));
    EXPECT_TRUE(std::equal(part.begin(), part.end(), bytesOf(page).begin()));
    if (prefix.whole()) break;
  }
  return firstRead;
}

void expectRefused(int codec, std::string_view compressed, std::size_t size) {
  ByteBuffer input, output;
  EXPECT_THROW(
      {
        ParquetPagePrefix prefix(
            codec, compressed.size(), size,
            [&](std::uint64_t offset, std::uint64_t count) { return bytesOf(compressed).subspan(offset, count); },
            input, output);
        prefix.grow(size);
      },
      DriverError)
      << codec << " " << compressed.size() << " " << size;
}

// The parts of a page are the page's first bytes however it grows, read from only as many
// compressed bytes as they need; every cut or change of the compressed bytes that breaks
// them, and a wrong stated size, is refused (the sanitizers watch the reads).
TEST(ParquetPagePrefixTest, PartsAreThePagesFirstBytesAndDamageIsRefused) {
  const std::string page = samplePage();
  for (const Compressed& compressed : compressedForms(page)) {
    SCOPED_TRACE(compressed.codec);
    // A whole page's decompression (a full load's) reads the same bytes.
    std::vector<std::uint8_t> whole;
    ParquetCodec::decompress(compressed.codec, bytesOf(compressed.bytes), page.size(), whole);
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), bytesOf(page).begin()));
    for (const std::size_t step : {std::size_t{1'000}, std::size_t{65'536}, page.size()}) {
      const std::uint64_t firstRead = readInSteps(compressed, page, step);
      // zstd decodes whole blocks (128 KB): the page holds three.
      if (step == 1'000) {
        EXPECT_LT(firstRead, compressed.bytes.size() / (compressed.codec == 6 ? 1 : 4));
      }
    }
    const std::string& bytes = compressed.bytes;
    for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, bytes.size() / 2, bytes.size() - 1})
      expectRefused(compressed.codec, std::string_view(bytes).substr(0, cut), page.size());
    expectRefused(compressed.codec, bytes + '\0', page.size());
    expectRefused(compressed.codec, bytes, page.size() + 1);
    expectRefused(compressed.codec, bytes, page.size() - 1);
  }
  for (const Compressed& empty : compressedForms("")) readInSteps(empty, "", 1);
  // A page of 1 MB held in a few compressed bytes: a small part decodes one block of it.
  const std::string repeated(1 << 20, 'r');
  const Compressed small = compressedForms(repeated)[2];
  ByteBuffer input, output;
  ParquetPagePrefix prefix(
      6, small.bytes.size(), repeated.size(),
      [&](std::uint64_t offset, std::uint64_t count) { return bytesOf(small.bytes).subspan(offset, count); }, input,
      output);
  EXPECT_EQ(prefix.grow(1000).size(), std::size_t{128} << 10);
  // Snappy elements that reach outside the page: a copy from no distance or from before its
  // start, a literal past its end; and a run repeated by an overlapping copy, which holds.
  expectRefused(1, std::string("\x08\x0c" "abcd\x01\x00", 8), 8);
  expectRefused(1, "\x08\x0c" "abcd\x01\x05", 8);
  expectRefused(1, "\x03\x0c" "abcd", 3);
  readInSteps({1, "\x0a\x04" "ab\x11\x02"}, "ababababab", 3);
}

}  // namespace
}  // namespace tabvora::internal
