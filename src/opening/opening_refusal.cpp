#include "opening/opening_refusal.hpp"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "platform/binary_content.hpp"
#include "platform/file_descriptor.hpp"
#include "platform/file_probe.hpp"

namespace tabvora::internal {

std::optional<std::string> openingRefusal(const std::filesystem::path& path, DriverKind kind) {
  const FileProbe probe = FileProbe::of(path);
  if (auto refusal = probe.refusal(path)) return refusal;
  std::string name = "\"";
  name.append(path.filename().string()).push_back('"');
  if (!probe.isRegular()) return name + " cannot be opened: " + std::strerror(probe.error);

  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return name + " cannot be opened: " + std::strerror(errno);
  const FileDescriptor file(fd);
  if (!readsTextFormat(kind)) return std::nullopt;
  std::vector<std::uint8_t> bytes(kBinarySniffLength);
  ssize_t count = -1;
  do {
    count = ::pread(file.get(), bytes.data(), bytes.size(), 0);
  } while (count < 0 && errno == EINTR);
  // A file that cannot be read is left to its driver, which says why in its own words.
  if (count <= 0) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(count));
  if (auto what = binaryContentName(bytes))
    return name + " is not a tabular data file (it holds " + std::string(*what) + ")";
  return std::nullopt;
}

}  // namespace tabvora::internal
