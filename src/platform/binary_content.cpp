#include "platform/binary_content.hpp"

#include <algorithm>

#include "platform/byte_order_mark.hpp"

namespace tabvora::internal {

namespace {

struct Signature {
  std::string_view magic;
  std::size_t offset;
  std::string_view name;
};

using namespace std::string_view_literals;

// Signatures at the start of a file (tar's at offset 257). Text formats that might begin
// like one of these are not listed: the NUL test catches their binary kin instead.
constexpr Signature kSignatures[] = {
    {"\x1F\x8B"sv, 0, "gzip-compressed data"},
    {"BZh"sv, 0, "bzip2-compressed data"},  // checked with its block magic below
    {"\xFD"
     "7zXZ\x00"sv,
     0, "xz-compressed data"},
    {"\x28\xB5\x2F\xFD"sv, 0, "zstd-compressed data"},
    {"\x04\x22\x4D\x18"sv, 0, "LZ4-compressed data"},
    {"7z\xBC\xAF\x27\x1C"sv, 0, "a 7-Zip archive"},
    {"Rar!\x1A\x07"sv, 0, "a RAR archive"},
    {"PK\x05\x06"sv, 0, "an empty ZIP archive"},
    {"PK\x07\x08"sv, 0, "a ZIP archive"},
    {"ustar"sv, 257, "a tar archive"},
    {"\x7F"
     "ELF"sv,
     0, "an ELF executable"},
    {"\xCF\xFA\xED\xFE"sv, 0, "a Mach-O executable"},
    {"\xCE\xFA\xED\xFE"sv, 0, "a Mach-O executable"},
    {"\xCA\xFE\xBA\xBE"sv, 0, "a Mach-O or Java class file"},
    {"\x00"
     "asm"sv,
     0, "a WebAssembly module"},
    {"\x89PNG\r\n\x1A\n"sv, 0, "a PNG image"},
    {"\xFF\xD8\xFF"sv, 0, "a JPEG image"},
    {"GIF87a"sv, 0, "a GIF image"},
    {"GIF89a"sv, 0, "a GIF image"},
    {"II*\x00"sv, 0, "a TIFF image"},
    {"MM\x00*"sv, 0, "a TIFF image"},
    {"%PDF-"sv, 0, "a PDF document"},
    {"\x00\x00\x01\x00"sv, 0, "an icon image"},
    {"OggS"sv, 0, "an Ogg stream"},
    {"fLaC"sv, 0, "a FLAC stream"},
    {"ID3"sv, 0, "MP3 audio"},
    {"\x1A\x45\xDF\xA3"sv, 0, "a Matroska or WebM video"},
};

bool hasAt(std::span<const std::uint8_t> bytes, std::string_view magic, std::size_t offset) {
  if (bytes.size() < offset + magic.size()) return false;
  return std::equal(magic.begin(), magic.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

// A bzip2 stream: "BZh", a block size digit 1-9, then the block magic (pi in BCD) or the
// end-of-stream magic of an empty stream.
bool isBzip2(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 10 || bytes[3] < '1' || bytes[3] > '9') return false;
  return hasAt(bytes, "\x31\x41\x59\x26\x53\x59"sv, 4) || hasAt(bytes, "\x17\x72\x45\x38\x50\x90"sv, 4);
}

// Whether every whole four-byte unit is a code point of UTF-32 in the given byte order.
bool looksLikeUTF32(std::span<const std::uint8_t> bytes, bool bigEndian) {
  const std::size_t units = bytes.size() / 4;
  if (units == 0) return false;
  for (std::size_t i = 0; i < units * 4; i += 4) {
    const std::uint8_t top = bigEndian ? bytes[i] : bytes[i + 3];
    const std::uint8_t plane = bigEndian ? bytes[i + 1] : bytes[i + 2];
    if (top != 0 || plane > 0x10) return false;
    if ((bytes[i] | bytes[i + 1] | bytes[i + 2] | bytes[i + 3]) == 0) return false;  // U+0000 is no text
  }
  return true;
}

// Whether the NULs fit UTF-16 text: the high byte of an ASCII character (every delimiter
// and line break, whatever the script) is NUL, so NULs sit only at odd offsets
// (little-endian) or only at even ones (big-endian), and there are many of them: at least
// one unit in eight. A stray NUL in other bytes is not enough.
bool nulsFitUTF16(std::span<const std::uint8_t> bytes) {
  std::size_t even = 0;
  std::size_t odd = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == 0) ++(i % 2 == 0 ? even : odd);
    if (i % 2 == 1 && bytes[i - 1] == 0 && bytes[i] == 0) return false;  // U+0000 is no text
  }
  const std::size_t nuls = even + odd;
  return (even == 0 || odd == 0) && nuls * 16 >= bytes.size();
}

}  // namespace

std::optional<std::string_view> binaryContentName(std::span<const std::uint8_t> leadingBytes) {
  const std::span<const std::uint8_t> bytes = leadingBytes.first(std::min(leadingBytes.size(), kBinarySniffLength));
  for (const Signature& signature : kSignatures) {
    if (!hasAt(bytes, signature.magic, signature.offset)) continue;
    if (signature.magic == "BZh"sv && !isBzip2(bytes)) continue;
    return signature.name;
  }
  if (ByteOrderMark::sniff(bytes).present()) return std::nullopt;
  if (std::find(bytes.begin(), bytes.end(), std::uint8_t{0}) == bytes.end()) return std::nullopt;
  if (looksLikeUTF32(bytes, false) || looksLikeUTF32(bytes, true) || nulsFitUTF16(bytes)) return std::nullopt;
  return "binary data";
}

}  // namespace tabvora::internal
