#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tabvora {

// Why a path cannot be read as a data file without risk, or nothing when it can: named
// pipes, sockets and devices (symbolic links followed) may block a reader forever or
// never end, so they are refused before any driver opens them. Missing files and folders
// are left to the drivers, which report them in their own words.
std::optional<std::string> specialFileRefusal(const std::filesystem::path& path);

}  // namespace tabvora
