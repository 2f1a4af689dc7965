#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tabvora::internal {

// Reader of the OLE2 compound file (structured storage) that holds a legacy workbook's
// record stream. Construction checks the header, builds the sector allocation table from
// the header's and the chained DIFAT lists, reads every directory slot, and loads the mini
// stream and its allocation table; stream() then returns a named stream's bytes. Storages
// are not followed as a tree: names are looked up in the flat list of directory slots.
//
// Every walk over file data is bounded: DIFAT sectors by the number of sectors the file
// can hold, and a chain may visit no sector twice (a sound chain never does, and one that
// loops would otherwise fill a stream with repeats), so a cycle ends in an error and no
// result outgrows the file.
// Errors are DriverError("XLSDriver", -1, ...) with kNotCompoundFileMessage for a file
// that is not a compound file at all and kDamagedMessage for anything else.
class CompoundFile {
 public:
  static constexpr const char* kNotCompoundFileMessage = "Not a legacy Excel (.xls) workbook";
  static constexpr const char* kDamagedMessage = "The Excel workbook is damaged or incomplete";

  static constexpr std::size_t kHeaderBytes = 512;
  static constexpr std::size_t kDirectorySlotBytes = 128;
  static constexpr std::size_t kHeaderDIFATEntries = 109;
  // Sector numbers from here up are markers, not sectors.
  static constexpr std::uint32_t kFirstMarker = 0xFFFF'FFFB;
  static constexpr std::uint32_t kEndOfChain = 0xFFFF'FFFE;

  struct DirectoryEntry {
    enum Type : std::uint8_t { empty = 0, storage = 1, stream = 2, root = 5 };
    std::string name;
    std::uint8_t type = empty;
    std::uint32_t startSector = kEndOfChain;
    std::uint64_t size = 0;  // streams and the root only
  };

  // Reads the container in `bytes`, which must outlive this object. Throws DriverError.
  explicit CompoundFile(std::span<const std::uint8_t> bytes);

  // The bytes of the first stream entry whose name equals `name` ignoring (ASCII) case;
  // absent when there is none. Throws DriverError when that stream's chain is damaged.
  std::optional<std::vector<std::uint8_t>> stream(std::string_view name) const;

  const std::vector<DirectoryEntry>& entries() const { return entries_; }
  std::size_t sectorSize() const { return sectorSize_; }

 private:
  std::uint64_t sectorOffset(std::uint32_t sector) const;
  // The chain from `start` through the FAT; with `limit`, exactly that many bytes.
  std::vector<std::uint8_t> readChain(std::uint32_t start, std::optional<std::uint64_t> limit) const;
  std::vector<std::uint8_t> readMiniChain(std::uint32_t start, std::uint64_t size) const;
  void readFAT(std::uint32_t fatSectorCount, std::uint32_t firstDIFATSector);
  void readDirectory(std::uint32_t firstSector);

  std::span<const std::uint8_t> bytes_;
  unsigned sectorShift_ = 9;
  std::size_t sectorSize_ = 512;
  std::size_t miniSectorSize_ = 64;
  std::uint32_t miniStreamCutoff_ = 4096;
  // The most sectors the file can hold, plus one: bounds every table and walk.
  std::uint64_t maxSectors_ = 0;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> miniFat_;
  std::vector<std::uint8_t> miniStream_;
  std::vector<DirectoryEntry> entries_;
};

}  // namespace tabvora::internal
