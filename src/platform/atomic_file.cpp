#include "platform/atomic_file.hpp"

#include <cerrno>
#include <csignal>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/termination_cleanup.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {

// Defines public types (include/tabvora/) with internal helpers.
using namespace internal;

namespace {

constexpr mode_t kNewFilePermissions = 0644;
// Longest part of the target's name copied into the temporary name, so that
// ".<name>.tmp-XXXXXX" stays within the 255-byte name limit of common file systems.
constexpr std::size_t kMaxNameInTempName = 200;

[[noreturn]] void throwErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

std::filesystem::path folderOf(const std::filesystem::path& target) {
  std::filesystem::path folder = target.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& path) : target_(path) {
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    if (!ec) target_ = resolved;
  }
  permissions_ = kNewFilePermissions;
  struct stat existing {};
  exists_ = ::stat(target_.c_str(), &existing) == 0;
  if (exists_) {
    if (S_ISDIR(existing.st_mode)) throwErrno(EISDIR, target_.string());
    // Renaming a file over a device or FIFO would take its place, not write to it.
    if (!S_ISREG(existing.st_mode)) throwErrno(EINVAL, target_.string() + " is not a regular file");
    permissions_ = existing.st_mode & 07777;
    owner_ = existing.st_uid;
    group_ = existing.st_gid;
  }
  // The name is cut at a character boundary; a name of 255 bytes still leaves room for the suffix.
  const std::string name = target_.filename().string();
  // Appended piece by piece: GCC 12 misreads "literal" + std::string as overlapping copies
  // (-Wrestrict).
  std::string hidden = ".";
  hidden += name.substr(0, utf8PrefixLength(name, kMaxNameInTempName));
  hidden += ".tmp-XXXXXX";
  tempPath_ = (folderOf(target_) / hidden).string();
  // The file is made and registered for removal with the termination signals held back: one
  // that came in between would end the program and leave the file behind.
  sigset_t termination;
  sigset_t previous;
  sigemptyset(&termination);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&termination, signal);
  pthread_sigmask(SIG_BLOCK, &termination, &previous);
  fd_ = ::mkostemp(tempPath_.data(), O_CLOEXEC);
  const int made = errno;
  if (fd_ >= 0) {
    std::error_code ignored;
    cleanupSlot_ = TerminationCleanup::addFile(std::filesystem::absolute(tempPath_, ignored));
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (fd_ < 0) throwErrno(made, target_.string());
}

AtomicFileWriter::~AtomicFileWriter() {
  if (!committed_) discard();
}

void AtomicFileWriter::discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ::unlink(tempPath_.c_str());
  TerminationCleanup::removeFile(cleanupSlot_);
  cleanupSlot_ = -1;
}

void AtomicFileWriter::write(std::string_view bytes) {
  if (fd_ < 0) throwErrno(EBADF, target_.string());
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, target_.string());
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void AtomicFileWriter::commit() {
  if (fd_ < 0) throwErrno(EBADF, target_.string());
  const std::string targetText = target_.string();
  if (::fchmod(fd_, static_cast<mode_t>(permissions_)) != 0) throwErrno(errno, targetText);
  // Keep the owner too where allowed; an ordinary user simply cannot, which is fine.
  if (exists_ && ::fchown(fd_, owner_, group_) != 0) errno = 0;
  if (::fsync(fd_) != 0) throwErrno(errno, targetText);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throwErrno(errno, targetText);
  if (::rename(tempPath_.c_str(), target_.c_str()) != 0) throwErrno(errno, targetText);
  committed_ = true;
  TerminationCleanup::removeFile(cleanupSlot_);
  cleanupSlot_ = -1;

  // The new contents are in place once the rename succeeded; flushing the folder makes the
  // rename itself durable, and its failure is not reported because nothing was lost.
  const int dirFd = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

void internal::writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  AtomicFileWriter writer(path);
  writer.write(bytes);
  writer.commit();
}

void internal::writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace tabvora
