#include "platform/file_info.hpp"

#include <sys/stat.h>

namespace tabvora {

namespace {

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

}  // namespace

std::optional<std::int64_t> fileSizeOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.st_size);
}

std::optional<std::int64_t> modificationDateOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNanosPerSecond +
         static_cast<std::int64_t>(info.st_mtim.tv_nsec);
}

}  // namespace tabvora
