#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "tabvora/atomic_file.hpp"

namespace tabvora::internal {

// The whole of a file's new contents at once, through AtomicFileWriter.
void writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tabvora::internal
