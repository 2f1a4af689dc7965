#include "platform/atomic_file.hpp"

#include <cerrno>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabvora {

namespace {

constexpr mode_t kNewFilePermissions = 0644;
// Longest part of the target's name copied into the temporary name, so that
// ".<name>.tmp-XXXXXX" stays within the 255-byte name limit of common file systems.
constexpr std::size_t kMaxNameInTempName = 200;

[[noreturn]] void throwErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

// Cuts at most `limit` bytes of UTF-8 without splitting a character.
std::string truncatedName(const std::string& name, std::size_t limit) {
  if (name.size() <= limit) return name;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

void writeAll(int fd, const std::uint8_t* data, std::size_t size, const std::string& what) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, what);
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

}  // namespace

void writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  // Writing through a symbolic link replaces the file it points to and keeps the link.
  std::filesystem::path target = path;
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    if (!ec) target = resolved;
  }
  const std::string targetText = target.string();

  mode_t permissions = kNewFilePermissions;
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists) {
    if (S_ISDIR(existing.st_mode)) throwErrno(EISDIR, targetText);
    // Renaming a file over a device or FIFO would take its place, not write to it.
    if (!S_ISREG(existing.st_mode)) throwErrno(EINVAL, targetText + " is not a regular file");
    permissions = existing.st_mode & 07777;
  }

  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern =
      (folder / ("." + truncatedName(target.filename().string(), kMaxNameInTempName) + ".tmp-XXXXXX")).string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) throwErrno(errno, targetText);

  bool fdOpen = true;
  try {
    writeAll(fd, bytes.data(), bytes.size(), targetText);
    if (::fchmod(fd, permissions) != 0) throwErrno(errno, targetText);
    if (exists) {
      // Keep the owner too where allowed; an ordinary user simply cannot, which is fine.
      [[maybe_unused]] const int ignored = ::fchown(fd, existing.st_uid, existing.st_gid);
    }
    if (::fsync(fd) != 0) throwErrno(errno, targetText);
    fdOpen = false;
    if (::close(fd) != 0) throwErrno(errno, targetText);
  } catch (...) {
    if (fdOpen) ::close(fd);
    ::unlink(pattern.c_str());
    throw;
  }

  if (::rename(pattern.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(pattern.c_str());
    throwErrno(error, targetText);
  }

  // The new contents are in place once the rename succeeded; flushing the folder makes the
  // rename itself durable, and its failure is not reported because nothing was lost.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  writeFileAtomically(path, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                          bytes.size()));
}

}  // namespace tabvora
