#include "preview/special_file.hpp"

#include <system_error>

namespace tabvora {

std::optional<std::string> specialFileRefusal(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) return std::nullopt;
  switch (status.type()) {
    case std::filesystem::file_type::fifo:
    case std::filesystem::file_type::socket:
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character:
      return "\"" + path.filename().string() + "\" is not a regular file (a pipe, socket or device) and cannot be read";
    default: return std::nullopt;
  }
}

}  // namespace tabvora
