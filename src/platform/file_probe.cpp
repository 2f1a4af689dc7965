#include "platform/file_probe.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace tabvora::internal {

namespace {
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
}  // namespace

FileProbe FileProbe::of(const std::filesystem::path& path) {
  FileProbe probe;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    probe.error = errno;
    probe.kind = errno == ENOENT || errno == ENOTDIR ? Kind::missing : Kind::unreadable;
    return probe;
  }
  probe.modificationTime = static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNanosPerSecond +
                           static_cast<std::int64_t>(info.st_mtim.tv_nsec);
  if (S_ISREG(info.st_mode)) {
    probe.kind = Kind::regular;
    probe.size = static_cast<std::int64_t>(info.st_size);
  } else {
    probe.kind = S_ISDIR(info.st_mode) ? Kind::directory : Kind::special;
  }
  return probe;
}

std::optional<std::string> FileProbe::refusal(const std::filesystem::path& path) const {
  std::string name = "\"";  // appended, not "\"" + ..., which GCC 12 misreads (-Wrestrict)
  name += path.filename().string();
  name += '"';
  switch (kind) {
    case Kind::regular:
    case Kind::missing: return std::nullopt;
    case Kind::directory: return name + " is a folder, not a file";
    case Kind::special: return name + " is not a regular file (a pipe, socket or device) and cannot be read";
    case Kind::unreadable: return name + " cannot be read: " + std::strerror(error);
  }
  return std::nullopt;
}

}  // namespace tabvora::internal
