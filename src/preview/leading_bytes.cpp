#include "preview/leading_bytes.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_descriptor.hpp"

namespace tabvora {

std::optional<std::vector<std::uint8_t>> readLeadingBytes(const std::filesystem::path& path,
                                                          std::size_t count) {
  // O_NONBLOCK keeps open itself from waiting for a writer when the path is a FIFO.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;

  std::vector<std::uint8_t> bytes(count);
  std::size_t filled = 0;
  while (filled < count) {
    ssize_t n = ::read(file.get(), bytes.data() + filled, count - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of file, or a read error: what was read so far is the answer
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace tabvora
