#include "platform/mapped_file.hpp"

#include <cerrno>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_descriptor.hpp"

namespace tabvora {

namespace {

// A pipe or device has no size to check up front; reading stops with EFBIG past this, so
// an endless source (/dev/zero) cannot exhaust memory.
constexpr std::size_t kMaxStreamedBytes = std::size_t{4} << 30;
constexpr std::size_t kReadChunk = std::size_t{1} << 16;

[[noreturn]] void throwErrno(int error, const std::filesystem::path& path) {
  throw std::system_error(error, std::generic_category(), path.string());
}

}  // namespace

MappedFile MappedFile::read(const std::filesystem::path& path) {
  // O_NONBLOCK keeps opening a FIFO without a writer from waiting forever; blocking reads
  // are restored right after.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) throwErrno(errno, path);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throwErrno(errno, path);
  if (S_ISDIR(info.st_mode)) throwErrno(EISDIR, path);
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);

  MappedFile file;
  // A regular file reported empty is read rather than mapped: files under /proc report
  // size 0 yet have contents, and a really empty file simply reads nothing.
  if (S_ISREG(info.st_mode) && info.st_size > 0) {
    const auto size = static_cast<std::size_t>(info.st_size);
    void* mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (mapping != MAP_FAILED) {
      file.mapping_ = mapping;
      file.data_ = static_cast<const std::uint8_t*>(mapping);
      file.size_ = size;
      return file;
    }
    // Some file systems cannot map; read the file instead.
  }

  std::vector<std::uint8_t> buffer;
  std::size_t used = 0;
  for (;;) {
    if (buffer.size() - used < kReadChunk) buffer.resize(used + kReadChunk);
    const ssize_t got = ::read(fd.get(), buffer.data() + used, buffer.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      throwErrno(errno, path);
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
    if (used > kMaxStreamedBytes) throwErrno(EFBIG, path);
  }
  buffer.resize(used);
  file.owned_ = std::move(buffer);
  file.data_ = file.owned_.data();
  file.size_ = file.owned_.size();
  return file;
}

MappedFile::MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this == &other) return *this;
  if (mapping_ != nullptr) ::munmap(mapping_, size_);
  mapping_ = std::exchange(other.mapping_, nullptr);
  owned_ = std::move(other.owned_);
  size_ = std::exchange(other.size_, 0);
  // A moved vector keeps its buffer, so the owned bytes' address carries over.
  data_ = mapping_ != nullptr ? static_cast<const std::uint8_t*>(mapping_) : owned_.data();
  if (size_ == 0) data_ = nullptr;
  other.data_ = nullptr;
  other.owned_.clear();
  return *this;
}

MappedFile::~MappedFile() {
  if (mapping_ != nullptr) ::munmap(mapping_, size_);
}

}  // namespace tabvora
