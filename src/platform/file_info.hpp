#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tabvora {

// Size of the file in bytes; absent when its attributes cannot be read.
std::optional<std::int64_t> fileSizeOf(const std::filesystem::path& path);

// Modification time in nanoseconds since 1970; absent when unavailable. Compared for
// equality to notice a file changed by someone else.
std::optional<std::int64_t> modificationDateOf(const std::filesystem::path& path);

}  // namespace tabvora
