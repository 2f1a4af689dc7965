#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tabvora::internal {

// What one stat(2) of a path (symbolic links followed) says about it, and whether a reader
// may open it. Pipes, sockets and devices are never opened by a reader: a pipe without a
// writer blocks forever and a device may never end.
struct FileProbe {
  enum class Kind { regular, directory, special, missing, unreadable };

  Kind kind = Kind::missing;
  std::int64_t size = 0;                         // bytes, as reported; 0 unless regular
  std::optional<std::int64_t> modificationTime;  // nanoseconds since 1970
  int error = 0;                                 // errno of a failed stat

  static FileProbe of(const std::filesystem::path& path);

  bool isRegular() const { return kind == Kind::regular; }

  // Why the path must not be opened by a reader, naming its file name, or nothing for a
  // regular file. A missing file is left to the reader, which reports it in its own words.
  std::optional<std::string> refusal(const std::filesystem::path& path) const;
};

}  // namespace tabvora::internal
