// Decompress-then-detect on arbitrary bytes: the file is opened as a preview and in full,
// with small bounds, by the driver its decompressed first bytes call for; and each codec
// reads the bytes as its own form. Every failure must be a clean error, and a stream must
// never produce more than its bound.

#include <fcntl.h>

#include <array>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "opening/opened_file.hpp"
#include "platform/decompressing_stream.hpp"

namespace {

using namespace tabvora;
using namespace tabvora::internal;

constexpr std::uint64_t kBound = std::uint64_t{4} << 20;

void readEveryCodec(const std::filesystem::path& path) {
  for (Compression form : {Compression::gzip, Compression::bzip2, Compression::xz, Compression::zstd}) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) std::abort();
    try {
      DecompressingStream stream(fd, {}, form, {kBound, kBound / 4, 100}, "input");
      std::array<std::uint8_t, 65536> buffer{};
      while (stream.read(buffer) != 0) fuzzing::check(stream.contentBytes() <= kBound);
    } catch (const DecompressionError&) {
    }
    ::close(fd);
  }
}

void open(const std::filesystem::path& path, bool preview) {
  OpenOptions options;
  options.maxContentBytes = kBound;
  if (preview) options.previewRowLimit = 20;
  fuzzing::refusalAllowed([&] {
    OpenedFile opened = OpenedFile::open(path, options);
    for (const TableMetadata& table : opened.metadata.tables) {
      (void)opened.driver->fetchTableData(table.name, 5, 0, std::nullopt, true, std::nullopt);
    }
    opened.driver->close();
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path path = fuzzing::privateFolder() / "input";
  fuzzing::writeBytes(path, data, size);
  readEveryCodec(path);
  open(path, true);
  open(path, false);
  return 0;
}
