#pragma once

#include <libdeflate.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tabvora::testing {

// Builds ZIP archives byte by byte, so tests can make every flaw a reader must survive.
class ZipTestArchive {
 public:
  struct Member {
    std::string name;
    std::string bytes;          // as stored in the archive (already compressed for method 8)
    std::uint16_t method = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint32_t centralSignature = 0x02014B50;
    std::uint16_t flags = 0;  // general-purpose flags; bit 0: encrypted
    std::uint32_t crc = 0;    // CRC-32 of the uncompressed content
  };

  // A member stored as is.
  ZipTestArchive& stored(const std::string& name, const std::string& content) {
    members_.push_back({name, content, 0, static_cast<std::uint32_t>(content.size())});
    members_.back().crc = crc32(content);
    return *this;
  }
  // A member compressed with raw DEFLATE.
  ZipTestArchive& deflated(const std::string& name, const std::string& content) {
    members_.push_back({name, deflate(content), 8, static_cast<std::uint32_t>(content.size())});
    members_.back().crc = crc32(content);
    return *this;
  }
  ZipTestArchive& member(Member m) {
    members_.push_back(std::move(m));
    return *this;
  }
  Member& last() { return members_.back(); }

  // The archive: local headers with data, the central directory, the end record and the
  // comment.
  std::string bytes(const std::string& comment = "") const {
    std::string out, directory;
    for (const Member& m : members_) {
      const auto offset = static_cast<std::uint32_t>(out.size());
      const auto stored = static_cast<std::uint32_t>(m.bytes.size());
      const auto name = static_cast<std::uint32_t>(m.name.size());
      put(out, {{0x04034B50, 4}, {20, 2}, {m.flags, 2}, {m.method, 2}, {0, 4}, {m.crc, 4}, {stored, 4},
                {m.uncompressedSize, 4}, {name, 2}, {0, 2}});
      out += m.name + m.bytes;
      put(directory, {{m.centralSignature, 4}, {20, 2}, {20, 2}, {m.flags, 2}, {m.method, 2}, {0, 4}, {m.crc, 4}, {stored, 4},
                      {m.uncompressedSize, 4}, {name, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 4}, {offset, 4}});
      directory += m.name;
    }
    const auto count = static_cast<std::uint32_t>(members_.size());
    put(directory, {{0x06054B50, 4}, {0, 2}, {0, 2}, {count, 2}, {count, 2},
                    {static_cast<std::uint32_t>(directory.size()), 4}, {static_cast<std::uint32_t>(out.size()), 4},
                    {static_cast<std::uint32_t>(comment.size()), 2}});
    return out + directory + comment;
  }

  static std::uint32_t crc32(const std::string& content) {
    return static_cast<std::uint32_t>(libdeflate_crc32(0, content.data(), content.size()));
  }

  static std::string deflate(const std::string& content) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    std::string out(libdeflate_deflate_compress_bound(compressor, content.size()), '\0');
    out.resize(libdeflate_deflate_compress(compressor, content.data(), content.size(), out.data(), out.size()));
    libdeflate_free_compressor(compressor);
    return out;
  }

 private:
  // Little-endian fields, each (value, width in bytes).
  static void put(std::string& out, std::initializer_list<std::pair<std::uint32_t, int>> fields) {
    for (const auto& [value, width] : fields)
      for (int i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i));
  }
  std::vector<Member> members_;
};

}  // namespace tabvora::testing
