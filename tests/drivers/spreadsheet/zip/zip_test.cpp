// The ZIP reader on archives built in memory: finding the directory, looking entries up,
// extracting them, and refusing every flaw without reading out of bounds; and entries read
// a chunk at a time: the same bytes as extract, the same failures (a size that lies, a
// checksum that does not match, data cut short), and never more than the recorded size
// handed out.
#include <gtest/gtest.h>

#include <cstring>

#include "drivers/spreadsheet/zip/zip_archive_reader.hpp"
#include "drivers/spreadsheet/zip/zip_entry_stream.hpp"
#include "drivers/spreadsheet/zip/zip_test_archive.hpp"

namespace tabvora::internal {
namespace {

using testing::ZipTestArchive;

std::optional<ZipArchiveReader> readerOf(const std::string& bytes) {
  ByteBuffer buffer;
  std::uint8_t* target = buffer.reserveTail(bytes.size());
  if (!bytes.empty()) std::memcpy(target, bytes.data(), bytes.size());
  buffer.commit(bytes.size());
  return ZipArchiveReader::fromBytes(std::move(buffer));
}

std::optional<std::string> extract(const std::string& archive, const std::string& name) {
  std::optional<ZipArchiveReader> reader = readerOf(archive);
  if (!reader) return std::nullopt;
  std::optional<ByteBuffer> data = reader->data(name);
  if (!data) return std::nullopt;
  return std::string(data->text());
}

const std::string kSheet = "<worksheet><sheetData><row><c><v>1</v></c></row></sheetData></worksheet>";

TEST(ZipArchiveReader, FindsTheDirectoryBehindCommentsUpToTheLimit) {
  const ZipTestArchive archive = ZipTestArchive().stored("a.txt", "alpha").deflated("xl/b.xml", kSheet);
  EXPECT_EQ(extract(archive.bytes(), "a.txt"), "alpha");
  EXPECT_EQ(extract(archive.bytes(), "xl/b.xml"), kSheet);
  EXPECT_EQ(extract(archive.bytes(std::string(65535, 'c')), "xl/b.xml"), kSheet);

  // An end record farther from the end than the longest comment is not looked for.
  EXPECT_FALSE(readerOf(archive.bytes(std::string(65535, 'c')) + "x"));
  EXPECT_FALSE(readerOf(archive.bytes().substr(0, 21)));
  EXPECT_FALSE(readerOf(ZipTestArchive().bytes())) << "an end record listing no entry";
  EXPECT_FALSE(readerOf(std::string(4096, 'z')));
}

TEST(ZipArchiveReader, ADamagedDirectoryRefusesTheWholeArchive) {
  ZipTestArchive wrongSignature = ZipTestArchive().stored("good.txt", "ok").stored("bad.txt", "x");
  wrongSignature.last().centralSignature = 0x02014B51;
  EXPECT_FALSE(readerOf(wrongSignature.bytes()));

  // Every cut of a good archive is either refused or reads only what is still there.
  const std::string whole = ZipTestArchive().deflated("xl/b.xml", kSheet).stored("c.txt", "gamma").bytes();
  for (std::size_t length = 0; length < whole.size(); ++length) {
    std::optional<ZipArchiveReader> reader = readerOf(whole.substr(0, length));
    if (reader) {
      EXPECT_FALSE(reader->data("c.txt")) << length;
    }
  }
  // Offsets and sizes that point outside the file give nothing.
  std::string outside = ZipTestArchive().stored("c.txt", "gamma").bytes();
  outside[outside.size() - 3] = '\x7f';  // the directory offset's top byte
  EXPECT_FALSE(readerOf(outside));
  std::string lying = ZipTestArchive().stored("c.txt", "gamma").bytes();
  lying[lying.find("c.txt", 40) - 23] = '\x7f';  // the central compressed size's top byte
  EXPECT_FALSE(extract(lying, "c.txt"));
}

TEST(ZipArchiveReader, LooksNamesUpExactlyThenWithoutCaseAndBackslashes) {
  const std::string archive = ZipTestArchive()
                                  .stored("XL\\Workbook.xml", "workbook")
                                  .stored("dup.txt", "first")
                                  .stored("dup.txt", "second")
                                  .stored("Bad\xff.txt", "repaired")
                                  .bytes();
  EXPECT_EQ(extract(archive, "xl/workbook.xml"), "workbook");
  EXPECT_EQ(extract(archive, "XL\\Workbook.xml"), "workbook");
  EXPECT_EQ(extract(archive, "dup.txt"), "second") << "a later entry of the same name wins";
  EXPECT_EQ(extract(archive, "Bad\xEF\xBF\xBD.txt"), "repaired");
  EXPECT_FALSE(extract(archive, "xl/workbook"));
}

TEST(ZipArchiveReader, SizesNoStreamCanReachAreRefusedBeforeAllocating) {
  ZipTestArchive archive;
  // A few bytes claiming to hold 2 GB: more than DEFLATE can expand them to.
  archive.deflated("bomb.xml", "x").last().uncompressedSize = 2'000'000'000;
  archive.stored("stored.bin", "abc").last().uncompressedSize = 2'000'000'001;
  std::optional<ZipArchiveReader> reader = readerOf(archive.bytes());
  ASSERT_TRUE(reader);
  EXPECT_FALSE(reader->data("bomb.xml"));
  EXPECT_FALSE(reader->data("stored.bin")) << "the entry cap holds for every method";

  // A real bomb within the ratio inflates exactly, and only once per cap.
  const std::string zeros(64 << 20, '\0');
  std::optional<ZipArchiveReader> real = readerOf(ZipTestArchive().deflated("zeros.bin", zeros).bytes());
  ASSERT_TRUE(real);
  EXPECT_EQ(real->data("zeros.bin")->size(), zeros.size());
}

using Failure = ZipArchiveReader::Failure;

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
  std::optional<ZipArchiveReader> reader = readerOf(archive.bytes());
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
