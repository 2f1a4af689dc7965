#pragma once

// Builders of legacy workbook bytes for tests: BIFF records and streams, and OLE2 compound
// files holding them, with the positions a test needs to corrupt them.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabvora::testing {

using Bytes = std::vector<std::uint8_t>;

inline void putU16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void putU32(Bytes& out, std::uint32_t value) {
  putU16(out, value & 0xFFFF);
  putU16(out, value >> 16);
}
inline void putF64(Bytes& out, double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  putU32(out, static_cast<std::uint32_t>(bits));
  putU32(out, static_cast<std::uint32_t>(bits >> 32));
}
inline void setU32(Bytes& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// BIFF records: id, body length, body.
namespace biff {
constexpr std::uint16_t BOF = 0x0809, EOF_ = 0x000A, FILEPASS = 0x002F, CODEPAGE = 0x0042, DATEMODE = 0x0022,
                        BOUNDSHEET = 0x0085, SST = 0x00FC, CONTINUE = 0x003C, FORMAT = 0x041E, XF = 0x00E0,
                        LABELSST = 0x00FD, LABEL = 0x0204, NUMBER = 0x0203, RK = 0x027E, MULRK = 0x00BD,
                        BOOLERR = 0x0205, FORMULA = 0x0006, STRING = 0x0207;

inline Bytes record(std::uint16_t id, const Bytes& body) {
  Bytes out;
  putU16(out, id);
  putU16(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}
inline Bytes bof(std::uint16_t version = 0x0600, std::uint16_t type = 0x0010) {
  Bytes body;
  putU16(body, version);
  putU16(body, type);
  body.resize(version == 0x0600 ? 16 : 8);
  return record(BOF, body);
}
inline Bytes eof() { return record(EOF_, {}); }
// A BIFF8 string of 8-bit characters with a `countBytes`-byte count.
inline Bytes string8(std::string_view text, int countBytes = 2) {
  Bytes out;
  if (countBytes == 1) out.push_back(static_cast<std::uint8_t>(text.size()));
  else putU16(out, static_cast<std::uint32_t>(text.size()));
  out.push_back(0);
  out.insert(out.end(), text.begin(), text.end());
  return out;
}
// A BIFF5 byte string with a `countBytes`-byte length.
inline Bytes byteString(std::string_view bytes, int countBytes = 2) {
  Bytes out;
  if (countBytes == 1) out.push_back(static_cast<std::uint8_t>(bytes.size()));
  else putU16(out, static_cast<std::uint32_t>(bytes.size()));
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}
inline Bytes cellHeader(std::uint16_t row, std::uint16_t column, std::uint16_t xf = 0) {
  Bytes out;
  putU16(out, row);
  putU16(out, column);
  putU16(out, xf);
  return out;
}
inline Bytes number(std::uint16_t row, std::uint16_t column, double value, std::uint16_t xf = 0) {
  Bytes body = cellHeader(row, column, xf);
  putF64(body, value);
  return record(NUMBER, body);
}
inline Bytes rk(std::uint16_t row, std::uint16_t column, std::uint32_t value, std::uint16_t xf = 0) {
  Bytes body = cellHeader(row, column, xf);
  putU32(body, value);
  return record(RK, body);
}
inline Bytes label(std::uint16_t row, std::uint16_t column, std::string_view text, bool biff8 = true) {
  return record(LABEL, concat({cellHeader(row, column), biff8 ? string8(text) : byteString(text)}));
}
inline Bytes labelSST(std::uint16_t row, std::uint16_t column, std::uint32_t index) {
  Bytes body = cellHeader(row, column);
  putU32(body, index);
  return record(LABELSST, body);
}
inline Bytes xf(std::uint16_t formatId) {
  Bytes body(4);
  body[2] = static_cast<std::uint8_t>(formatId);
  body[3] = static_cast<std::uint8_t>(formatId >> 8);
  body.resize(20);
  return record(XF, body);
}
inline Bytes format(std::uint16_t id, std::string_view code) {
  Bytes body;
  putU16(body, id);
  return record(FORMAT, concat({body, string8(code)}));
}
inline Bytes sst(const std::vector<std::string>& strings, std::uint32_t claimed = 0) {
  Bytes body;
  putU32(body, static_cast<std::uint32_t>(strings.size()));
  putU32(body, claimed != 0 ? claimed : static_cast<std::uint32_t>(strings.size()));
  for (const std::string& text : strings) body = concat({body, string8(text)});
  return record(SST, body);
}

struct Sheet {
  std::string name;
  Bytes records;            // between the sheet's BOF and EOF
  std::uint8_t type = 0;    // 0 worksheet, 2 chart, ...
};

// A workbook stream: BOF, `globals`, one BOUNDSHEET per sheet, EOF, then each sheet as
// BOF, its records, EOF.
inline Bytes workbook(const Bytes& globals, const std::vector<Sheet>& sheets, std::uint16_t version = 0x0600) {
  const bool biff8 = version == 0x0600;
  auto boundSheet = [&](const Sheet& sheet, std::uint32_t offset) {
    Bytes body;
    putU32(body, offset);
    body.push_back(0);
    body.push_back(sheet.type);
    return record(BOUNDSHEET, concat({body, biff8 ? string8(sheet.name, 1) : byteString(sheet.name, 1)}));
  };
  std::size_t globalsSize = bof(version, 5).size() + globals.size() + eof().size();
  for (const Sheet& sheet : sheets) globalsSize += boundSheet(sheet, 0).size();
  Bytes out = concat({bof(version, 5), globals});
  std::uint32_t offset = static_cast<std::uint32_t>(globalsSize);
  for (const Sheet& sheet : sheets) {
    out = concat({out, boundSheet(sheet, offset)});
    offset += static_cast<std::uint32_t>(bof(version).size() + sheet.records.size() + eof().size());
  }
  out = concat({out, eof()});
  for (const Sheet& sheet : sheets) out = concat({out, bof(version), sheet.records, eof()});
  return out;
}
}  // namespace biff

// An OLE2 compound file with 2^sectorShift-byte sectors (9 or 12): a root entry, then the
// streams and storages in order. Streams below `cutoff` bytes live in the mini stream.
struct CompoundFileBuilder {
  static constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFATSector = 0xFFFFFFFD;
  unsigned sectorShift = 9;
  std::uint32_t cutoff = 4096;
  std::vector<std::pair<std::string, Bytes>> streams;
  std::vector<std::string> storages;

  // Filled by build(): where things went.
  std::vector<std::uint32_t> fatSectors;
  std::vector<std::uint32_t> streamStarts;  // per stream: its first (mini) sector
  std::uint32_t directoryStart = 0, miniFatStart = kEnd;

  std::size_t sectorSize() const { return std::size_t{1} << sectorShift; }
  // Offset of sector s in the file.
  std::size_t offsetOf(std::uint32_t sector) const { return (sector + 1) * sectorSize(); }
  // Offset of FAT entry i in the file.
  std::size_t fatEntryOffset(std::uint32_t i) const {
    return offsetOf(fatSectors[i / (sectorSize() / 4)]) + 4 * (i % (sectorSize() / 4));
  }
  // Offset of directory slot i (the root is 0).
  std::size_t slotOffset(std::size_t i) const { return offsetOf(directoryStart) + 128 * i; }

  Bytes build() {
    std::vector<Bytes> sectors;
    std::vector<std::uint32_t> fat;
    auto chain = [&](const Bytes& data) -> std::uint32_t {
      if (data.empty()) return kEnd;
      const auto first = static_cast<std::uint32_t>(sectors.size());
      for (std::size_t at = 0; at < data.size(); at += sectorSize()) {
        Bytes sector(data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), at + sectorSize())));
        sector.resize(sectorSize());
        sectors.push_back(sector);
        fat.push_back(static_cast<std::uint32_t>(sectors.size()));
      }
      fat.back() = kEnd;
      return first;
    };
    Bytes miniStream;
    std::vector<std::uint32_t> miniFat;
    streamStarts.assign(streams.size(), kEnd);
    for (std::size_t i = 0; i < streams.size(); ++i) {
      const Bytes& data = streams[i].second;
      if (data.size() >= cutoff || data.empty()) continue;
      streamStarts[i] = static_cast<std::uint32_t>(miniStream.size() / 64);
      for (std::size_t at = 0; at < data.size(); at += 64) miniFat.push_back(static_cast<std::uint32_t>(miniFat.size() + 1));
      miniFat.back() = kEnd;
      miniStream.insert(miniStream.end(), data.begin(), data.end());
      miniStream.resize((miniStream.size() + 63) / 64 * 64);
    }
    Bytes directory;
    auto slot = [&](std::string_view name, std::uint8_t type, std::uint32_t start, std::uint32_t size) {
      Bytes entry(128);
      for (std::size_t i = 0; i < name.size(); ++i) entry[2 * i] = static_cast<std::uint8_t>(name[i]);
      entry[64] = static_cast<std::uint8_t>(2 * name.size() + 2);
      entry[66] = type;
      setU32(entry, 116, start);
      setU32(entry, 120, size);
      directory.insert(directory.end(), entry.begin(), entry.end());
    };
    // The directory comes first among the chains so its place is known before its contents.
    const std::size_t slots = 1 + streams.size() + storages.size();
    directoryStart = chain(Bytes(slots * 128, 0));
    Bytes miniFatBytes;
    for (std::uint32_t entry : miniFat) putU32(miniFatBytes, entry);
    miniFatStart = chain(miniFatBytes);
    const std::uint32_t miniStreamStart = chain(miniStream);
    for (std::size_t i = 0; i < streams.size(); ++i)
      if (streams[i].second.size() >= cutoff) streamStarts[i] = chain(streams[i].second);
    slot("Root Entry", 5, miniStreamStart, static_cast<std::uint32_t>(miniStream.size()));
    for (std::size_t i = 0; i < streams.size(); ++i)
      slot(streams[i].first, 2, streamStarts[i], static_cast<std::uint32_t>(streams[i].second.size()));
    for (const std::string& name : storages) slot(name, 1, kEnd, 0);
    for (std::size_t at = 0; at < directory.size(); at += sectorSize())
      std::copy(directory.begin() + static_cast<std::ptrdiff_t>(at),
                directory.begin() + static_cast<std::ptrdiff_t>(std::min(directory.size(), at + sectorSize())),
                sectors[directoryStart + at / sectorSize()].begin());

    const std::size_t perFATSector = sectorSize() / 4;
    std::size_t fatCount = 1;
    while (fatCount * perFATSector < sectors.size() + fatCount) ++fatCount;
    fatSectors.clear();
    for (std::size_t i = 0; i < fatCount; ++i) {
      fatSectors.push_back(static_cast<std::uint32_t>(sectors.size()));
      sectors.emplace_back(sectorSize());
      fat.push_back(kFATSector);
    }
    fat.resize(fatCount * perFATSector, kFree);
    for (std::size_t i = 0; i < fat.size(); ++i) {
      Bytes& sector = sectors[fatSectors[i / perFATSector]];
      for (int b = 0; b < 4; ++b) sector[4 * (i % perFATSector) + b] = static_cast<std::uint8_t>(fat[i] >> (8 * b));
    }

    Bytes file(sectorSize(), 0);
    const std::uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(signature), std::end(signature), file.begin());
    file[26] = sectorShift == 9 ? 3 : 4;
    file[28] = 0xFE;
    file[29] = 0xFF;
    file[30] = static_cast<std::uint8_t>(sectorShift);
    file[32] = 6;
    setU32(file, 44, static_cast<std::uint32_t>(fatCount));
    setU32(file, 48, directoryStart);
    setU32(file, 56, cutoff);
    setU32(file, 60, miniFatStart);
    setU32(file, 64, miniFat.empty() ? 0 : static_cast<std::uint32_t>((miniFatBytes.size() + sectorSize() - 1) / sectorSize()));
    setU32(file, 68, kEnd);
    for (std::size_t i = 0; i < 109; ++i) setU32(file, 76 + 4 * i, i < fatCount ? fatSectors[i] : kFree);
    for (const Bytes& sector : sectors) file.insert(file.end(), sector.begin(), sector.end());
    return file;
  }
};

// A compound file holding one stream.
inline Bytes compoundFileWith(const std::string& name, const Bytes& stream) {
  CompoundFileBuilder builder;
  builder.streams = {{name, stream}};
  return builder.build();
}

}  // namespace tabvora::testing
