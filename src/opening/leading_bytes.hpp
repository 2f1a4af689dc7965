#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace tabvora::internal {

// Up to `count` bytes from the start of a regular file; fewer when the file is shorter.
// Absent when the path cannot be opened or is not a regular file (a folder, a pipe, a
// device): those are never read, so sniffing a named pipe cannot block and sniffing a
// device cannot run forever. The file is closed before returning and never changed.
std::optional<std::vector<std::uint8_t>> readLeadingBytes(const std::filesystem::path& path, std::size_t count);

}  // namespace tabvora::internal
