#pragma once

#include <unistd.h>

namespace tabvora::internal {

// Owns an open file descriptor and closes it on every path; a failing close is of no
// interest to a reader. A negative descriptor (a failed open) is held and never closed.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace tabvora::internal
