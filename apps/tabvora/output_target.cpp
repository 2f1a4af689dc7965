#include "output_target.hpp"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "commands.hpp"
#include "tabvora/terminal_text.hpp"

namespace tabvora::cli {

namespace {

// Output is written in blocks of about this size.
constexpr std::size_t kBlockBytes = std::size_t{64} * 1024;

// Writes everything; 0 or the errno of the failure. A descriptor the caller left
// non-blocking is waited on rather than given up.
int writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written >= 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd ready{fd, POLLOUT, 0};
      ::poll(&ready, 1, -1);
      continue;
    }
    return errno;
  }
  return 0;
}

// Closes; 0 or the errno of the failure. EINTR leaves the descriptor closed on Linux and
// tells nothing about the data.
int closeChecked(int fd) { return ::close(fd) != 0 && errno != EINTR ? errno : 0; }

const char* kindName(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a file";
}

}  // namespace

OutputTarget OutputTarget::open(const std::optional<std::filesystem::path>& path) {
  if (!path) return OutputTarget(std::nullopt, STDOUT_FILENO);
  const std::string shown = path->string();
  auto replacedWhole = [&]() {
    OutputTarget target(path, -1);
    try {
      target.file_ = std::make_unique<AtomicFileWriter>(*path);
    } catch (const std::system_error& error) {
      throw OutputFailure(kExitFailure, "could not write " + shown + ": " + error.code().message());
    }
    return target;
  };
  struct stat info {};
  // A name that does not resolve is left to the atomic writer, which reports why.
  if (::stat(path->c_str(), &info) != 0 || S_ISREG(info.st_mode)) return replacedWhole();
  if (!S_ISCHR(info.st_mode) && !S_ISFIFO(info.st_mode)) {
    throw OutputFailure(kExitUsage,
                        shown + " is " + kindName(info.st_mode) + "; OUT must be a file, a character device or a FIFO");
  }
  const int fd = ::open(path->c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENXIO && S_ISFIFO(info.st_mode)) {
      throw OutputFailure(kExitFailure, "could not write " + shown + ": no process is reading the FIFO");
    }
    throw OutputFailure(kExitFailure, "could not write " + shown + ": " + std::strerror(errno));
  }
  // Replaced by a regular file since it was looked at: that one is replaced whole instead.
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    ::close(fd);
    return replacedWhole();
  }
  // Opened without blocking only to learn whether a FIFO has a reader; writes may wait.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return OutputTarget(path, fd);
}

OutputTarget::OutputTarget(OutputTarget&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(other.fd_),
      file_(std::move(other.file_)),
      buffer_(std::move(other.buffer_)),
      visibly_(other.visibly_) {
  other.fd_ = -1;
}

OutputTarget::~OutputTarget() {
  if (path_ && fd_ >= 0) ::close(fd_);
}

bool OutputTarget::isTerminal() const { return fd_ >= 0 && ::isatty(fd_) == 1; }

std::string OutputTarget::destination() const { return path_ ? path_->string() : "to standard output"; }

void OutputTarget::write(std::string_view text) {
  if (visibly_) {
    buffer_ += visibleOnTerminal(text);
  } else {
    buffer_ += text;
  }
  if (buffer_.size() >= kBlockBytes) flush();
}

void OutputTarget::flush() {
  if (buffer_.empty()) return;
  int error = 0;
  if (file_) {
    try {
      file_->write(buffer_);
    } catch (const std::system_error& failure) {
      throw OutputFailure(kExitFailure, "could not write " + destination() + ": " + failure.code().message());
    }
  } else if (fd_ >= 0) {
    error = writeAll(fd_, buffer_);
  } else {
    error = EBADF;
  }
  buffer_.clear();
  if (error == EPIPE) throw OutputFailure(kExitFailure, "");
  if (error != 0) throw OutputFailure(kExitFailure, "could not write " + destination() + ": " + std::strerror(error));
}

void OutputTarget::finish() {
  flush();
  if (file_) {
    try {
      file_->commit();
    } catch (const std::system_error& error) {
      throw OutputFailure(kExitFailure, "could not write " + destination() + ": " + error.code().message());
    }
    file_.reset();
    return;
  }
  const int fd = fd_;
  fd_ = -1;
  const int error = closeChecked(fd);
  if (error == EPIPE) throw OutputFailure(kExitFailure, "");
  if (error != 0) throw OutputFailure(kExitFailure, "could not write " + destination() + ": " + std::strerror(error));
}

}  // namespace tabvora::cli
