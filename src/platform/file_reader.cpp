#include "platform/file_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/byte_count.hpp"

namespace tabvora::internal {

namespace {

using Reason = FileReadError::Reason;

// One read(2) asks for at most this much, so a huge read is not one uninterruptible call.
constexpr std::size_t kReadStep = std::size_t{1} << 26;

int openWithoutBlocking(const std::filesystem::path& path) {
  // O_NONBLOCK keeps opening a FIFO without a writer from waiting forever; a regular file
  // ignores it.
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

}  // namespace

FileReader::FileReader(const std::filesystem::path& path) : path_(path), fd_(openWithoutBlocking(path)) {
  if (fd_.get() < 0) {
    // A path that cannot even be opened may still be a folder or a device the user should
    // hear about in those words.
    const int error = errno;
    const FileProbe probe = FileProbe::of(path);
    if (probe.kind == FileProbe::Kind::directory || probe.kind == FileProbe::Kind::special)
      throw FileReadError(Reason::notRegular, *probe.refusal(path));
    throw FileReadError(Reason::cannotOpen, path.string() + ": " + std::strerror(error));
  }
  struct stat info {};
  if (::fstat(fd_.get(), &info) != 0)
    throw FileReadError(Reason::cannotOpen, path.string() + ": " + std::strerror(errno));
  if (!S_ISREG(info.st_mode)) {
    FileProbe probe;
    probe.kind = S_ISDIR(info.st_mode) ? FileProbe::Kind::directory : FileProbe::Kind::special;
    throw FileReadError(Reason::notRegular, *probe.refusal(path));
  }
  size_ = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
}

std::size_t FileReader::readAt(std::uint64_t offset, std::size_t count, ByteBuffer& out) const {
  if (offset >= size_) return 0;
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
  std::uint8_t* target = nullptr;
  try {
    target = out.reserveTail(wanted);
  } catch (const std::bad_alloc&) {
    throw FileReadError(Reason::outOfMemory, "Not enough memory to read " +
                                                 formatByteCount(static_cast<std::int64_t>(wanted)) + " of the file");
  }
  std::size_t done = 0;
  while (done < wanted) {
    const ssize_t got =
        ::pread(fd_.get(), target + done, std::min(wanted - done, kReadStep), static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FileReadError(Reason::cannotOpen, path_.string() + ": " + std::strerror(errno));
    }
    if (got == 0) throw FileReadError(Reason::changed, kChangedMessage);
    done += static_cast<std::size_t>(got);
  }
  out.commit(done);
  return done;
}

ByteBuffer FileReader::readAll(std::size_t maxBytes) const {
  if (size_ > maxBytes)
    throw FileReadError(Reason::tooLarge,
                        "The file is " + formatByteCount(static_cast<std::int64_t>(size_)) + ", more than the " +
                            formatByteCount(static_cast<std::int64_t>(maxBytes)) + " that can be read");
  ByteBuffer buffer;
  readAt(0, static_cast<std::size_t>(size_), buffer);
  return buffer;
}

}  // namespace tabvora::internal
