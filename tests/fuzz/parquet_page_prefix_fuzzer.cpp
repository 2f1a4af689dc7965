// Feeds arbitrary bytes to the partial decompression of a Parquet page: a first byte
// choosing the codec (UNCOMPRESSED, SNAPPY or ZSTD), a second the steps the page grows by,
// two bytes of stated size, then the compressed page. Whatever it decompresses must be
// what decompressing the page whole gives, and a page decompressed whole must be one its
// parts reach.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "drivers/parquet/parquet_codec.hpp"
#include "drivers/parquet/parquet_page_prefix.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tabvora::internal;
  if (size < 4) return 0;
  static constexpr std::int32_t kCodecs[] = {0, 1, 6};
  const std::int32_t codec = kCodecs[data[0] % 3];
  const std::size_t step = std::size_t{1} << (data[1] % 16);
  const std::size_t stated = static_cast<std::size_t>(data[2] | data[3] << 8);
  const std::span<const std::uint8_t> page(data + 4, size - 4);

  std::vector<std::uint8_t> whole;
  const bool wholeRead = tabvora::fuzzing::refusalAllowed([&] { ParquetCodec::decompress(codec, page, stated, whole); });
  ByteBuffer input, output;
  std::vector<std::uint8_t> parts;
  const bool partsRead = tabvora::fuzzing::refusalAllowed([&] {
    ParquetPagePrefix prefix(
        codec, page.size(), stated,
        [&](std::uint64_t offset, std::uint64_t count) {
          tabvora::fuzzing::check(offset + count <= page.size());
          return page.subspan(offset, count);
        },
        input, output);
    for (std::size_t want = step;; want += step) {
      const std::span<const std::uint8_t> part = prefix.grow(want);
      tabvora::fuzzing::check(part.size() >= std::min(want, stated) && part.size() <= stated);
      parts.assign(part.begin(), part.end());
      if (prefix.whole()) break;
    }
  });
  // A part that was made before a failure must still be the page's start.
  if (wholeRead && !parts.empty()) tabvora::fuzzing::check(std::equal(parts.begin(), parts.end(), whole.begin()));
  tabvora::fuzzing::check(wholeRead == partsRead);
  if (partsRead) tabvora::fuzzing::check(parts == whole);
  return 0;
}
