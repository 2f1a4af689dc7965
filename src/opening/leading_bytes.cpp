#include "opening/leading_bytes.hpp"

#include "platform/file_reader.hpp"

namespace tabvora::internal {

std::optional<std::vector<std::uint8_t>> readLeadingBytes(const std::filesystem::path& path, std::size_t count) {
  try {
    const FileReader reader(path);
    ByteBuffer buffer;
    reader.readAt(0, count, buffer);
    return std::vector<std::uint8_t>(buffer.bytes().begin(), buffer.bytes().end());
  } catch (const FileReadError&) {
    // A file that shrank while its first bytes were read is sniffed by what its driver
    // makes of it.
    return std::nullopt;
  }
}

}  // namespace tabvora::internal
