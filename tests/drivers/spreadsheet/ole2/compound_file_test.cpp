// The compound-file reader over containers built here and then corrupted: streams come back
// whole from either allocation table, and every damaged structure or cycle is refused.
// (What is no compound file at all is refused in the driver's tests.)
#include <gtest/gtest.h>

#include <functional>

#include "drivers/spreadsheet/ole2/compound_file.hpp"
#include "drivers/spreadsheet/xls/xls_test_workbook.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::Bytes;
using testing::CompoundFileBuilder;
using testing::errorOf;
using testing::setU32;

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
  return out;
}

std::string messageOf(const Bytes& file, std::string_view stream = "Workbook") {
  return errorOf([&] { (void)CompoundFile(file).stream(stream); }).message();
}

TEST(CompoundFile, ReadsStreamsFromTheFATAndTheMiniStreamAroundTheCutoff) {
  for (const unsigned shift : {9u, 12u}) {
    CompoundFileBuilder builder;
    builder.sectorShift = shift;
    builder.storages = {"Small"};  // a storage of a wanted name is never a stream
    builder.streams = {{"Exact", pattern(4096, 1)}, {"Small", pattern(4095, 2)}, {"Long", pattern(20'000, 3)},
                       {"Empty", {}}};
    const Bytes file = builder.build();
    const CompoundFile container(file);
    EXPECT_EQ(container.stream("EXACT"), pattern(4096, 1)) << shift;
    EXPECT_EQ(container.stream("small"), pattern(4095, 2)) << shift;
    EXPECT_EQ(container.stream("Long"), pattern(20'000, 3)) << shift;
    EXPECT_EQ(container.stream("Empty"), Bytes()) << shift;
    EXPECT_EQ(container.stream("Book"), std::nullopt) << shift;
  }
}

TEST(CompoundFile, OddButSoundHeadersAndSizes) {
  for (const unsigned shift : {9u, 12u}) {
    // Garbage in a size's high half counts only with sectors larger than 512 bytes.
    CompoundFileBuilder builder;
    builder.sectorShift = shift;
    builder.streams = {{"Workbook", pattern(5000, 1)}};
    Bytes file = builder.build();
    setU32(file, builder.slotOffset(1) + 124, 0xDEADBEEF);
    if (shift == 9)
      EXPECT_EQ(CompoundFile(file).stream("Workbook"), pattern(5000, 1));
    else
      EXPECT_EQ(messageOf(file), CompoundFile::kDamagedMessage);
  }
  // A free entry amid the header's FAT sector list is skipped, not taken as its end.
  CompoundFileBuilder builder;
  builder.streams = {{"Workbook", pattern(80'000, 5)}};  // more sectors than one FAT sector maps
  Bytes file = builder.build();
  ASSERT_EQ(builder.fatSectors.size(), 2u);
  setU32(file, 80, CompoundFileBuilder::kFree);
  setU32(file, 84, builder.fatSectors[1]);
  EXPECT_EQ(CompoundFile(file).stream("Workbook"), pattern(80'000, 5));
}

TEST(CompoundFile, DamageAndCyclesEndInTheDamagedError) {
  CompoundFileBuilder builder;
  builder.streams = {{"Workbook", pattern(6000, 1)}, {"Mini", pattern(300, 2)}};
  const Bytes good = builder.build();
  const std::uint32_t big = builder.streamStarts[0];
  const std::uint32_t pastTheEnd = static_cast<std::uint32_t>(good.size() / 512 + 3);
  const std::vector<std::pair<std::string, std::function<void(Bytes&)>>> damage = {
      {"sector shift 10", [](Bytes& f) { f[30] = 10; }},
      {"mini sector shift not below the sector shift", [](Bytes& f) { f[32] = 9; }},
      {"mini sector shift 1", [](Bytes& f) { f[32] = 1; }},
      {"more FAT sectors than the file holds", [](Bytes& f) { setU32(f, 44, 1000); }},
      {"FAT sector past the end", [&](Bytes& f) { setU32(f, 76, pastTheEnd); }},
      {"FAT sector number is a marker", [](Bytes& f) { setU32(f, 48, 0xFFFFFFFD); }},
      {"FAT chain loops", [&](Bytes& f) { setU32(f, builder.fatEntryOffset(big + 2), big); }},
      {"FAT chain ends early", [&](Bytes& f) { setU32(f, builder.fatEntryOffset(big + 2), 0xFFFFFFFE); }},
      {"FAT chain runs past the file", [&](Bytes& f) { setU32(f, builder.fatEntryOffset(big + 2), pastTheEnd); }},
      {"directory chain loops", [&](Bytes& f) {
         setU32(f, builder.fatEntryOffset(builder.directoryStart), builder.directoryStart);
       }},
      {"DIFAT chain never ends", [&](Bytes& f) {
         const std::uint32_t self = builder.fatSectors[0];
         setU32(f, 68, self);
         setU32(f, builder.offsetOf(self) + 508, self);
       }},
      {"stream size beyond the file", [&](Bytes& f) { setU32(f, builder.slotOffset(1) + 120, 0x7FFFFFFF); }},
      {"mini FAT chain loops", [&](Bytes& f) { setU32(f, builder.offsetOf(builder.miniFatStart) + 4, 0); }},
  };
  for (const auto& [what, corrupt] : damage) {
    Bytes file = good;
    corrupt(file);
    const std::string wanted = what.starts_with("mini FAT") ? "Mini" : "Workbook";
    EXPECT_EQ(messageOf(file, wanted), CompoundFile::kDamagedMessage) << what;
  }
}

}  // namespace
}  // namespace tabvora::internal
