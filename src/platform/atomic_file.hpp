#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace tabvora {

// Replaces the file's contents atomically: the bytes go to a temporary file in the same
// folder, are flushed to disk, get the target's permissions and are renamed over the
// target. Readers see the old or the new file, never a mix; on failure the target is
// untouched and the temporary file removed. Only for regular files and new names: an
// existing target of another kind (directory, device, FIFO) is left alone and fails.
// Throws std::system_error.
void writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tabvora
