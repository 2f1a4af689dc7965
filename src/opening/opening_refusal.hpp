#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "opening/driver_choice.hpp"

namespace tabvora::internal {

// Why a file must not be handed to the driver chosen for it, or nothing. Checked by every
// caller before a driver opens the file, so each says the same:
//   a folder, pipe, socket or device: the file probe's refusal;
//   a file that cannot be opened: "\"NAME\" cannot be opened: " and the system's reason
//     ("No such file or directory", "Permission denied");
//   a text driver given binary content: "\"NAME\" is not a tabular data file (it holds
//     gzip-compressed data)", and so on.
// A device or FIFO is never opened here.
std::optional<std::string> openingRefusal(const std::filesystem::path& path, DriverKind kind);

}  // namespace tabvora::internal
