#pragma once

#include <libdeflate.h>

#include <cstdint>
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
  };

  // A member stored as is.
  ZipTestArchive& stored(const std::string& name, const std::string& content) {
    members_.push_back({name, content, 0, static_cast<std::uint32_t>(content.size())});
    return *this;
  }
  // A member compressed with raw DEFLATE.
  ZipTestArchive& deflated(const std::string& name, const std::string& content) {
    members_.push_back({name, deflate(content), 8, static_cast<std::uint32_t>(content.size())});
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
      put32(out, 0x04034B50);
      put16(out, 20), put16(out, 0), put16(out, m.method), put32(out, 0), put32(out, 0);
      put32(out, static_cast<std::uint32_t>(m.bytes.size())), put32(out, m.uncompressedSize);
      put16(out, static_cast<std::uint16_t>(m.name.size())), put16(out, 0);
      out += m.name + m.bytes;

      put32(directory, m.centralSignature);
      put16(directory, 20), put16(directory, 20), put16(directory, 0), put16(directory, m.method);
      put32(directory, 0), put32(directory, 0);
      put32(directory, static_cast<std::uint32_t>(m.bytes.size())), put32(directory, m.uncompressedSize);
      put16(directory, static_cast<std::uint16_t>(m.name.size())), put16(directory, 0), put16(directory, 0);
      put16(directory, 0), put16(directory, 0), put32(directory, 0), put32(directory, offset);
      directory += m.name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    out += directory;
    put32(out, 0x06054B50);
    put16(out, 0), put16(out, 0);
    put16(out, static_cast<std::uint16_t>(members_.size())), put16(out, static_cast<std::uint16_t>(members_.size()));
    put32(out, static_cast<std::uint32_t>(directory.size())), put32(out, directoryOffset);
    put16(out, static_cast<std::uint16_t>(comment.size()));
    return out + comment;
  }

  static std::string deflate(const std::string& content) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    std::string out(libdeflate_deflate_compress_bound(compressor, content.size()), '\0');
    out.resize(libdeflate_deflate_compress(compressor, content.data(), content.size(), out.data(), out.size()));
    libdeflate_free_compressor(compressor);
    return out;
  }

 private:
  static void put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  }
  static void put32(std::string& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
  }
  std::vector<Member> members_;
};

}  // namespace tabvora::testing
