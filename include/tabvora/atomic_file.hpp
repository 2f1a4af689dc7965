#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tabvora {

// Replaces a file's contents atomically: the bytes go to a temporary file in the same
// folder, are flushed to disk, get the target's permissions and are renamed over the
// target by commit. Readers see the old or the new file, never a mix; until commit
// succeeds the target is untouched, and a writer dropped without commit removes its
// temporary file. Writing through a symbolic link replaces the file it points to and keeps
// the link. Only for regular files and new names: an existing target of another kind
// (directory, device, FIFO) is left alone and fails. A program that called
// installSignalCleanup() (tabvora/library.hpp) loses no temporary file to a terminating
// signal either. Throws std::system_error.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::filesystem::path& path);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void write(std::string_view bytes);
  // Makes the written bytes the target's contents. Call at most once.
  void commit();

 private:
  void discard() noexcept;

  std::filesystem::path target_;
  std::string tempPath_;
  int fd_ = -1;
  int cleanupSlot_ = -1;  // removed by a terminating signal until committed or discarded
  bool committed_ = false;
  bool exists_ = false;
  unsigned permissions_ = 0;
  unsigned owner_ = 0;
  unsigned group_ = 0;
};

}  // namespace tabvora
