#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/file_descriptor.hpp"

namespace tabvora::internal {

// A private file that lives in memory only (memfd_create): no folder entry exists, so
// nothing is left behind however the process ends, and no other process can reach it but
// through this process. Readers that need random access open it by path() like any regular
// file (also a child process this one starts).
class AnonymousFile {
 public:
  // Throws std::system_error when the system gives no such file.
  explicit AnonymousFile(const std::string& name);

  // Appends the bytes; throws std::system_error when memory runs out.
  void append(std::span<const std::uint8_t> bytes);
  std::uint64_t size() const { return size_; }
  // /proc/PID/fd/N: opens the file anew, from its start, for this process and its children.
  const std::filesystem::path& path() const { return path_; }
  // Whether a path has the form path() gives ("/proc/PID/fd/N"). It names a file only
  // through a link, which readers that refuse to follow links (SQLite) cannot open.
  static bool isDescriptorPath(const std::filesystem::path& path);

 private:
  FileDescriptor fd_;
  std::filesystem::path path_;
  std::uint64_t size_ = 0;
};

}  // namespace tabvora::internal
