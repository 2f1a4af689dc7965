// Entries read a chunk at a time: the same bytes as extract, the same failures (a size that
// lies, a checksum that does not match, data cut short), and never more than the recorded
// size handed out.
#include <gtest/gtest.h>

#include <cstring>

#include "drivers/spreadsheet/zip/zip_entry_stream.hpp"
#include "drivers/spreadsheet/zip/zip_test_archive.hpp"

namespace tabvora::internal {
namespace {

using Failure = ZipArchiveReader::Failure;
using testing::ZipTestArchive;

struct Streamed {
  std::string bytes;
  Failure failure;
  bool atEnd;
};

Streamed readAll(const ZipArchiveReader& archive, const std::string& name) {
  ZipEntryStream stream(archive, name);
  Streamed out{};
  for (std::span<const std::uint8_t> chunk = stream.next(); !chunk.empty(); chunk = stream.next()) {
    EXPECT_LE(chunk.size(), ZipEntryStream::kChunkBytes);
    out.bytes.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
  }
  EXPECT_EQ(stream.producedBytes(), static_cast<std::int64_t>(out.bytes.size())) << name;
  out.failure = stream.failure();
  out.atEnd = stream.atEnd();
  return out;
}

TEST(ZipEntryStream, YieldsWhatExtractDoesOrFailsAsItDoes) {
  std::string rows;  // several chunks inflated from several chunks of input
  for (int i = 0; rows.size() < 3 * ZipEntryStream::kChunkBytes; ++i)
    rows += "<row r=\"" + std::to_string(i) + "\"><c><v>" + std::to_string(i * 7919 % 100'003) + "</v></c></row>";
  const std::string deflatedRows = ZipTestArchive::deflate(rows);

  ZipTestArchive archive;
  archive.stored("stored.xml", rows);
  archive.deflated("deflated.xml", rows);
  archive.deflated("empty.xml", "");
  archive.stored("stored-empty.xml", "");
  archive.deflated("short.xml", rows).last().uncompressedSize += 1;
  archive.deflated("long.xml", rows).last().uncompressedSize -= 1;
  archive.deflated("cut.xml", rows).last().bytes = deflatedRows.substr(0, deflatedRows.size() / 2);
  archive.deflated("tail-cut.xml", rows).last().bytes.pop_back();
  archive.deflated("checksum.xml", rows).last().crc ^= 1;
  archive.stored("stored-checksum.xml", rows).last().crc ^= 1;
  archive.deflated("empty-checksum.xml", "").last().crc = 1;
  archive.deflated("garbage.xml", rows).last().bytes = std::string(40, '\xff');
  archive.deflated("bomb.xml", "x").last().uncompressedSize = 2'000'000'000;
  archive.member({"bzip2.xml", "BZh91AY&SY", 12, 100});
  archive.member({"lzma.xml", "\x5d\x00\x00", 14, 100});
  archive.stored("locked.xml", rows).last().flags = 1;
  const std::string bytes = archive.bytes();
  ByteBuffer buffer;
  std::memcpy(buffer.reserveTail(bytes.size()), bytes.data(), bytes.size());
  buffer.commit(bytes.size());
  std::optional<ZipArchiveReader> reader = ZipArchiveReader::fromBytes(std::move(buffer));
  ASSERT_TRUE(reader);

  const std::pair<const char*, Failure> cases[] = {
      {"stored.xml", Failure::none},
      {"deflated.xml", Failure::none},
      {"empty.xml", Failure::none},
      {"stored-empty.xml", Failure::none},
      {"short.xml", Failure::sizeMismatch},
      {"long.xml", Failure::sizeMismatch},
      {"cut.xml", Failure::sizeMismatch},
      {"tail-cut.xml", Failure::sizeMismatch},
      {"checksum.xml", Failure::checksumMismatch},
      {"stored-checksum.xml", Failure::checksumMismatch},
      {"empty-checksum.xml", Failure::checksumMismatch},
      {"garbage.xml", Failure::sizeMismatch},
      {"bomb.xml", Failure::sizeMismatch},
      {"bzip2.xml", Failure::unsupportedMethod},
      {"lzma.xml", Failure::unsupportedMethod},
      {"locked.xml", Failure::encrypted},
      {"absent.xml", Failure::missing},
  };
  for (const auto& [name, failure] : cases) {
    const ZipArchiveReader::Extraction extraction = reader->extract(name);
    const Streamed streamed = readAll(*reader, name);
    EXPECT_EQ(extraction.failure, failure) << name;
    EXPECT_EQ(streamed.failure, failure) << name;
    EXPECT_EQ(streamed.atEnd, failure == Failure::none) << name;
    if (extraction.bytes) {
      EXPECT_EQ(streamed.bytes, extraction.bytes->text()) << name;
    }
    // Whatever the entry holds, no more than its recorded size is handed out.
    const auto recorded = reader->entries().count(name) ? reader->entries().at(name).uncompressedSize : 0;
    EXPECT_LE(static_cast<std::int64_t>(streamed.bytes.size()), recorded) << name;
  }
  EXPECT_EQ(readAll(*reader, "deflated.xml").bytes, rows);
  EXPECT_EQ(ZipArchiveReader::describe(Failure::checksumMismatch, 8),
            "does not match its recorded checksum (the package is damaged)");
}

}  // namespace
}  // namespace tabvora::internal
