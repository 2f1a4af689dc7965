#pragma once

#include <filesystem>

namespace tabvora::workspace {

// A copy of a database file in a private temporary folder, which an editing connection may
// change at once: the file itself is changed only by writeBack. The folder and everything
// in it are removed with the object, which must outlive the connection on the copy.
class PrivateDatabaseCopy {
 public:
  // Copies `file` (throws std::system_error when it cannot).
  explicit PrivateDatabaseCopy(const std::filesystem::path& file);
  ~PrivateDatabaseCopy();
  PrivateDatabaseCopy(const PrivateDatabaseCopy&) = delete;
  PrivateDatabaseCopy& operator=(const PrivateDatabaseCopy&) = delete;

  const std::filesystem::path& path() const { return copy_; }

  // Whether `file` has a rollback journal or a write-ahead log beside it, holding changes
  // another program made or is making: a copy of the file alone would miss them, and a
  // file written back under them would be overwritten when they are replayed.
  static bool hasJournal(const std::filesystem::path& file);

  // Replaces `target`'s contents with the copy's, atomically. The copy must hold all its
  // changes in its own file (no open transaction, its write-ahead log checkpointed).
  void writeBack(const std::filesystem::path& target) const;

 private:
  std::filesystem::path folder_;
  std::filesystem::path copy_;
};

}  // namespace tabvora::workspace
