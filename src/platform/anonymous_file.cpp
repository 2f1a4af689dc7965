#include "platform/anonymous_file.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

namespace tabvora::internal {

AnonymousFile::AnonymousFile(const std::string& name) : fd_(::memfd_create(name.c_str(), MFD_CLOEXEC)) {
  if (fd_.get() < 0) throw std::system_error(errno, std::generic_category(), "cannot make a private in-memory file");
  path_ = "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd_.get());
}

void AnonymousFile::append(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0)
      throw std::system_error(written < 0 ? errno : ENOSPC, std::generic_category(),
                              "cannot hold the content in memory");
    bytes = bytes.subspan(static_cast<std::size_t>(written));
    size_ += static_cast<std::uint64_t>(written);
  }
}

bool AnonymousFile::isDescriptorPath(const std::filesystem::path& path) {
  std::string_view name = path.native();
  if (!name.starts_with("/proc/")) return false;
  name.remove_prefix(6);
  const std::size_t slash = name.find("/fd/");
  if (slash == std::string_view::npos || slash == 0 || name.size() == slash + 4) return false;
  const auto digitsOnly = [](std::string_view text) { return text.find_first_not_of("0123456789") == text.npos; };
  return digitsOnly(name.substr(0, slash)) && digitsOnly(name.substr(slash + 4));
}

}  // namespace tabvora::internal
