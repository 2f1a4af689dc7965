#include "drivers/spreadsheet/ole2/compound_file.hpp"

#include <algorithm>
#include <array>

#include "model/driver_error.hpp"
#include "platform/ascii_case.hpp"
#include "platform/byte_cursor.hpp"
#include "platform/utf16_text.hpp"

namespace tabvora::internal {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kMaxNameUnits = 31;

// Header fields: offset of each.
constexpr std::size_t kSectorShiftAt = 30;
constexpr std::size_t kMiniSectorShiftAt = 32;
constexpr std::size_t kFATSectorCountAt = 44;
constexpr std::size_t kFirstDirectorySectorAt = 48;
constexpr std::size_t kMiniStreamCutoffAt = 56;
constexpr std::size_t kFirstMiniFATSectorAt = 60;
constexpr std::size_t kFirstDIFATSectorAt = 68;
constexpr std::size_t kHeaderDIFATAt = 76;

// Directory slot fields: offset of each.
constexpr std::size_t kNameLengthAt = 64;
constexpr std::size_t kTypeAt = 66;
constexpr std::size_t kStartSectorAt = 116;
constexpr std::size_t kSizeAt = 120;

[[noreturn]] void fail(const char* message) { throw DriverError("XLSDriver", -1, message); }
[[noreturn]] void damaged() { fail(CompoundFile::kDamagedMessage); }

std::uint16_t u16At(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  ByteCursor cursor;
  std::uint16_t value = 0;
  if (!ByteCursor(bytes).at(offset, cursor) || !cursor.readU16LE(value)) damaged();
  return value;
}

std::uint32_t u32At(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
  ByteCursor cursor;
  std::uint32_t value = 0;
  if (!ByteCursor(bytes).at(offset, cursor) || !cursor.readU32LE(value)) damaged();
  return value;
}

void appendSectorNumbers(std::vector<std::uint32_t>& out, std::span<const std::uint8_t> bytes) {
  for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) out.push_back(u32At(bytes, at));
}

}  // namespace

CompoundFile::CompoundFile(std::span<const std::uint8_t> bytes) : bytes_(bytes) {
  if (bytes.size() < kHeaderBytes || !std::equal(kSignature.begin(), kSignature.end(), bytes.begin()))
    fail(kNotCompoundFileMessage);

  sectorShift_ = u16At(bytes, kSectorShiftAt);
  const unsigned miniSectorShift = u16At(bytes, kMiniSectorShiftAt);
  if ((sectorShift_ != 9 && sectorShift_ != 12) || miniSectorShift < 2 || miniSectorShift >= sectorShift_) damaged();
  sectorSize_ = std::size_t{1} << sectorShift_;
  miniSectorSize_ = std::size_t{1} << miniSectorShift;
  maxSectors_ = bytes.size() / sectorSize_ + 1;

  miniStreamCutoff_ = u32At(bytes, kMiniStreamCutoffAt);
  readFAT(u32At(bytes, kFATSectorCountAt), u32At(bytes, kFirstDIFATSectorAt));
  readDirectory(u32At(bytes, kFirstDirectorySectorAt));

  if (!entries_.empty() && entries_.front().type == DirectoryEntry::root && entries_.front().startSector < kFirstMarker)
    miniStream_ = readChain(entries_.front().startSector, entries_.front().size);

  const std::uint32_t firstMiniFATSector = u32At(bytes, kFirstMiniFATSectorAt);
  if (firstMiniFATSector < kFirstMarker) {
    const std::vector<std::uint8_t> table = readChain(firstMiniFATSector, std::nullopt);
    miniFat_.reserve(table.size() / 4);
    appendSectorNumbers(miniFat_, table);
  }
}

void CompoundFile::readFAT(std::uint32_t fatSectorCount, std::uint32_t firstDIFATSector) {
  if (fatSectorCount > maxSectors_) damaged();
  // Free and marker entries are skipped wherever they stand, not taken as the list's end.
  std::vector<std::uint32_t> fatSectors;
  auto addFATSectors = [&](std::span<const std::uint8_t> list) {
    for (std::size_t at = 0; at + 4 <= list.size(); at += 4) {
      const std::uint32_t sector = u32At(list, at);
      if (sector < kFirstMarker) fatSectors.push_back(sector);
    }
    if (fatSectors.size() > maxSectors_) damaged();
  };
  addFATSectors(bytes_.subspan(kHeaderDIFATAt, kHeaderDIFATEntries * 4));

  std::uint32_t difatSector = firstDIFATSector;
  for (std::uint64_t visited = 0; difatSector < kFirstMarker; ++visited) {
    if (visited >= maxSectors_) damaged();
    const std::uint64_t offset = sectorOffset(difatSector);
    addFATSectors(bytes_.subspan(offset, sectorSize_ - 4));
    difatSector = u32At(bytes_, offset + sectorSize_ - 4);
  }

  fat_.reserve(fatSectors.size() * (sectorSize_ / 4));
  for (const std::uint32_t sector : fatSectors)
    appendSectorNumbers(fat_, bytes_.subspan(sectorOffset(sector), sectorSize_));
}

void CompoundFile::readDirectory(std::uint32_t firstSector) {
  const std::vector<std::uint8_t> directory = readChain(firstSector, std::nullopt);
  const std::span<const std::uint8_t> all(directory);
  entries_.reserve(directory.size() / kDirectorySlotBytes);
  for (std::size_t at = 0; at + kDirectorySlotBytes <= directory.size(); at += kDirectorySlotBytes) {
    const std::span<const std::uint8_t> slot = all.subspan(at, kDirectorySlotBytes);
    DirectoryEntry entry;
    const std::uint16_t nameLength = u16At(slot, kNameLengthAt);
    if (nameLength >= 3) {
      std::u16string units(std::min<std::size_t>((nameLength - 2 + 1) / 2, kMaxNameUnits), u'\0');
      for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(u16At(slot, 2 * i));
      appendUTF16AsUTF8(entry.name, units);
    }
    entry.type = slot[kTypeAt];
    entry.startSector = u32At(slot, kStartSectorAt);
    if (entry.type == DirectoryEntry::stream || entry.type == DirectoryEntry::root) {
      entry.size = u32At(slot, kSizeAt);
      // Files with 512-byte sectors may leave garbage in the high half; only larger
      // sectors make it part of the size.
      if (sectorShift_ != 9) entry.size |= std::uint64_t{u32At(slot, kSizeAt + 4)} << 32;
      if (entry.size > bytes_.size()) damaged();
    }
    entries_.push_back(std::move(entry));
  }
}

std::uint64_t CompoundFile::sectorOffset(std::uint32_t sector) const {
  if (sector >= kFirstMarker) damaged();
  const std::uint64_t offset = (std::uint64_t{sector} + 1) * sectorSize_;
  if (offset > bytes_.size() || sectorSize_ > bytes_.size() - offset) damaged();
  return offset;
}

std::vector<std::uint8_t> CompoundFile::readChain(std::uint32_t start, std::optional<std::uint64_t> limit) const {
  std::vector<std::uint8_t> out;
  if (start == kEndOfChain) return out;
  if (limit) out.reserve(static_cast<std::size_t>(*limit));
  const std::uint64_t maxSteps = std::min<std::uint64_t>(fat_.size(), maxSectors_);
  std::vector<bool> visited(static_cast<std::size_t>(maxSteps));
  std::uint32_t sector = start;
  for (std::uint64_t step = 0;; ++step) {
    if (step >= maxSteps || sector >= maxSteps || visited[sector]) damaged();
    visited[sector] = true;
    const std::uint8_t* first = bytes_.data() + sectorOffset(sector);
    out.insert(out.end(), first, first + sectorSize_);
    if (limit && out.size() >= *limit) break;
    sector = fat_[sector];
    if (sector == kEndOfChain) break;
  }
  if (limit) {
    if (out.size() < *limit) damaged();
    out.resize(static_cast<std::size_t>(*limit));
  }
  return out;
}

std::vector<std::uint8_t> CompoundFile::readMiniChain(std::uint32_t start, std::uint64_t size) const {
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(size));
  std::vector<bool> visited(miniFat_.size());
  std::uint32_t sector = start;
  for (std::uint64_t step = 0; sector != kEndOfChain && out.size() < size; ++step) {
    if (step >= miniFat_.size() || sector >= miniFat_.size() || visited[sector]) damaged();
    visited[sector] = true;
    const std::uint64_t offset = std::uint64_t{sector} * miniSectorSize_;
    if (offset > miniStream_.size() || miniSectorSize_ > miniStream_.size() - offset) damaged();
    out.insert(out.end(), miniStream_.begin() + static_cast<std::ptrdiff_t>(offset),
               miniStream_.begin() + static_cast<std::ptrdiff_t>(offset + miniSectorSize_));
    sector = miniFat_[sector];
  }
  if (out.size() < size) damaged();
  out.resize(static_cast<std::size_t>(size));
  return out;
}

std::optional<std::vector<std::uint8_t>> CompoundFile::stream(std::string_view name) const {
  for (const DirectoryEntry& entry : entries_) {
    if (entry.type != DirectoryEntry::stream || !equalsIgnoringASCIICase(entry.name, name)) continue;
    if (entry.size >= miniStreamCutoff_) return readChain(entry.startSector, entry.size);
    return readMiniChain(entry.startSector, entry.size);
  }
  return std::nullopt;
}

}  // namespace tabvora::internal
