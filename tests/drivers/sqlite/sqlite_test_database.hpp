#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tabvora::testing {

// A connection of its own to a database file, the way another program would hold one.
class RawConnection {
 public:
  explicit RawConnection(const std::filesystem::path& path);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  void exec(const std::string& sql);
  std::int64_t scalar(const std::string& sql);
  // Closes without checkpointing, leaving the -wal behind as a crashed writer would.
  void closeLeavingWal();
  sqlite3* get() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// Creates (or extends) a database file by running the SQL through its own connection.
void makeDatabase(const std::filesystem::path& path, const std::string& sql);

// What a reader must leave untouched: the bytes and modification time of a file and the
// names in its folder.
struct FileState {
  std::string bytes;
  std::optional<std::int64_t> modified;
  std::vector<std::string> folder;
  friend bool operator==(const FileState&, const FileState&) = default;
};
FileState captureState(const std::filesystem::path& file);

}  // namespace tabvora::testing
