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

// Appends (or, with `at`, overwrites) `width` little-endian bytes of `value`.
inline void put(Bytes& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
inline void setU32(Bytes& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

namespace biff {
constexpr std::uint16_t BOF = 0x0809, FILEPASS = 0x002F, CODEPAGE = 0x0042, DATEMODE = 0x0022, SST = 0x00FC,
                        CONTINUE = 0x003C, NUMBER = 0x0203, MULRK = 0x00BD, BOOLERR = 0x0205, FORMULA = 0x0006,
                        STRING = 0x0207;

inline Bytes record(std::uint16_t id, const Bytes& body) {
  Bytes out;
  put(out, id, 2);
  put(out, body.size(), 2);
  return concat({out, body});
}
inline Bytes bof(std::uint16_t version = 0x0600, std::uint16_t type = 0x0010) {
  Bytes body;
  put(body, version, 2);
  put(body, type, 2);
  body.resize(version == 0x0600 ? 16 : 8);
  return record(BOF, body);
}
inline Bytes eof() { return record(0x000A, {}); }
// A string with a `countBytes`-byte length: BIFF8 (a flags byte for 8-bit characters,
// then the characters) or BIFF5 (the bytes alone).
inline Bytes str(std::string_view text, int countBytes = 2, bool biff8 = true) {
  Bytes out;
  put(out, text.size(), countBytes);
  if (biff8) out.push_back(0);
  out.insert(out.end(), text.begin(), text.end());
  return out;
}
inline Bytes cell(std::uint16_t row, std::uint16_t column, std::uint16_t xf = 0) {
  Bytes out;
  for (const std::uint16_t field : {row, column, xf}) put(out, field, 2);
  return out;
}
// A cell record whose cell fields are followed by `width` bytes of `value`.
inline Bytes cellWith(std::uint16_t id, Bytes fields, std::uint64_t value, int width) {
  put(fields, value, width);
  return record(id, fields);
}
inline Bytes number(std::uint16_t row, std::uint16_t column, double value, std::uint16_t xf = 0) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return cellWith(NUMBER, cell(row, column, xf), bits, 8);
}
inline Bytes rk(std::uint16_t row, std::uint16_t column, std::uint32_t value) {
  return cellWith(0x027E, cell(row, column), value, 4);
}
inline Bytes label(std::uint16_t row, std::uint16_t column, std::string_view text, bool biff8 = true) {
  return record(0x0204, concat({cell(row, column), str(text, 2, biff8)}));
}
inline Bytes labelSST(std::uint16_t row, std::uint16_t column, std::uint32_t index) {
  return cellWith(0x00FD, cell(row, column), index, 4);
}
inline Bytes xf(std::uint16_t formatId) {
  Bytes body(2);
  put(body, formatId, 2);
  body.resize(20);
  return record(0x00E0, body);
}
inline Bytes format(std::uint16_t id, std::string_view code) {
  Bytes body;
  put(body, id, 2);
  return record(0x041E, concat({body, str(code)}));
}
inline Bytes sst(const std::vector<std::string>& strings, std::uint32_t claimed = 0) {
  Bytes body;
  put(body, strings.size(), 4);
  put(body, claimed != 0 ? claimed : strings.size(), 4);
  for (const std::string& text : strings) body = concat({body, str(text)});
  return record(SST, body);
}

struct Sheet {
  std::string name;
  Bytes records;          // between the sheet's BOF and EOF
  std::uint8_t type = 0;  // 0 worksheet, 2 chart, ...
};

// A workbook stream: BOF, `globals`, one BOUNDSHEET per sheet, EOF, then each sheet as
// BOF, its records, EOF.
inline Bytes workbook(const Bytes& globals, const std::vector<Sheet>& sheets, std::uint16_t version = 0x0600) {
  auto boundSheet = [&](const Sheet& sheet, std::size_t offset) {
    Bytes body;
    put(body, offset, 4);
    body.insert(body.end(), {0, sheet.type});
    return record(0x0085, concat({body, str(sheet.name, 1, version == 0x0600)}));
  };
  std::size_t offset = bof(version, 5).size() + globals.size() + eof().size();
  for (const Sheet& sheet : sheets) offset += boundSheet(sheet, 0).size();
  Bytes out = concat({bof(version, 5), globals});
  for (const Sheet& sheet : sheets) {
    out = concat({out, boundSheet(sheet, offset)});
    offset += bof(version).size() + sheet.records.size() + eof().size();
  }
  out = concat({out, eof()});
  for (const Sheet& sheet : sheets) out = concat({out, bof(version), sheet.records, eof()});
  return out;
}
}  // namespace biff

// An OLE2 compound file with 2^sectorShift-byte sectors (9 or 12): a root entry, then the
// streams and storages in order. Streams below `cutoff` bytes live in the mini stream.
// Chains are laid out in order: directory, mini FAT, mini stream, large streams, FAT.
struct CompoundFileBuilder {
  static constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF;
  unsigned sectorShift = 9;
  std::uint32_t cutoff = 4096;
  std::vector<std::pair<std::string, Bytes>> streams;
  std::vector<std::string> storages;

  // Filled by build(): where things went.
  std::vector<std::uint32_t> fatSectors;
  std::vector<std::uint32_t> streamStarts;  // per stream: its first (mini) sector
  std::uint32_t directoryStart = 0, miniFatStart = kEnd;

  std::size_t sectorSize() const { return std::size_t{1} << sectorShift; }
  std::size_t offsetOf(std::uint32_t sector) const { return (sector + 1) * sectorSize(); }
  std::size_t fatEntryOffset(std::uint32_t i) const {
    return offsetOf(fatSectors[i / (sectorSize() / 4)]) + 4 * (i % (sectorSize() / 4));
  }
  std::size_t slotOffset(std::size_t i) const { return offsetOf(directoryStart) + 128 * i; }

  Bytes build() {
    Bytes body;  // every sector after the header
    std::vector<std::uint32_t> fat;
    auto chain = [&](const Bytes& data) -> std::uint32_t {
      if (data.empty()) return kEnd;
      const auto first = static_cast<std::uint32_t>(fat.size());
      body.insert(body.end(), data.begin(), data.end());
      body.resize((body.size() + sectorSize() - 1) / sectorSize() * sectorSize());
      while (fat.size() < body.size() / sectorSize()) fat.push_back(static_cast<std::uint32_t>(fat.size() + 1));
      fat.back() = kEnd;
      return first;
    };
    Bytes miniStream, miniFat, directory;
    streamStarts.assign(streams.size(), kEnd);
    for (std::size_t i = 0; i < streams.size(); ++i) {
      const Bytes& data = streams[i].second;
      if (data.size() >= cutoff || data.empty()) continue;
      streamStarts[i] = static_cast<std::uint32_t>(miniStream.size() / 64);
      for (std::size_t at = 64; at < data.size(); at += 64) put(miniFat, miniFat.size() / 4 + 1, 4);
      put(miniFat, kEnd, 4);
      miniStream = concat({miniStream, data});
      miniStream.resize((miniStream.size() + 63) / 64 * 64);
    }
    directoryStart = chain(Bytes(128 * (1 + streams.size() + storages.size())));
    miniFatStart = chain(miniFat);
    const std::uint32_t miniStreamStart = chain(miniStream);
    for (std::size_t i = 0; i < streams.size(); ++i)
      if (streams[i].second.size() >= cutoff) streamStarts[i] = chain(streams[i].second);
    auto slot = [&](std::string_view name, std::uint8_t type, std::uint32_t start, std::size_t size) {
      Bytes entry(128);
      for (std::size_t i = 0; i < name.size(); ++i) entry[2 * i] = static_cast<std::uint8_t>(name[i]);
      entry[64] = static_cast<std::uint8_t>(2 * name.size() + 2);
      entry[66] = type;
      setU32(entry, 116, start);
      setU32(entry, 120, static_cast<std::uint32_t>(size));
      directory = concat({directory, entry});
    };
    slot("Root Entry", 5, miniStreamStart, miniStream.size());
    for (std::size_t i = 0; i < streams.size(); ++i)
      slot(streams[i].first, 2, streamStarts[i], streams[i].second.size());
    for (const std::string& name : storages) slot(name, 1, kEnd, 0);
    std::copy(directory.begin(), directory.end(),
              body.begin() + static_cast<std::ptrdiff_t>(directoryStart * sectorSize()));

    const std::size_t perSector = sectorSize() / 4;
    fatSectors.clear();
    while (fatSectors.size() * perSector < fat.size()) {
      fatSectors.push_back(static_cast<std::uint32_t>(fat.size()));
      fat.push_back(0xFFFFFFFD);
    }
    fat.resize(fatSectors.size() * perSector, kFree);
    for (const std::uint32_t entry : fat) put(body, entry, 4);

    Bytes file(sectorSize(), 0);
    const std::uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(signature), std::end(signature), file.begin());
    file[26] = sectorShift == 9 ? 3 : 4;
    file[30] = static_cast<std::uint8_t>(sectorShift);
    file[32] = 6;
    setU32(file, 44, static_cast<std::uint32_t>(fatSectors.size()));
    setU32(file, 48, directoryStart);
    setU32(file, 56, cutoff);
    setU32(file, 60, miniFatStart);
    setU32(file, 68, kEnd);
    for (std::size_t i = 0; i < 109; ++i) setU32(file, 76 + 4 * i, i < fatSectors.size() ? fatSectors[i] : kFree);
    return concat({file, body});
  }
};

inline Bytes compoundFileWith(const std::string& name, const Bytes& stream) {
  CompoundFileBuilder builder;
  builder.streams = {{name, stream}};
  return builder.build();
}

}  // namespace tabvora::testing
