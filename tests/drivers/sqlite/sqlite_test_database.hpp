#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/driver_error.hpp"
#include "platform/file_probe.hpp"
#include "support/test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;

// A connection of its own to a database file, the way another program would hold one.
class RawConnection {
 public:
  explicit RawConnection(const std::filesystem::path& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db_));
  }
  ~RawConnection() { sqlite3_close(db_); }
  void exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
  }
  // Closes without checkpointing, leaving the -wal behind as a crashed writer would.
  void closeLeavingWal() {
    int persist = 1;
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_close(db_);
    db_ = nullptr;
  }

 private:
  sqlite3* db_ = nullptr;
};

inline void makeDatabase(const std::filesystem::path& path, const std::string& sql) { RawConnection(path).exec(sql); }

// SQL that fills table `t` with `n` rows numbered 1..n (n INTEGER, label TEXT).
inline std::string numberedRows(int n) {
  return "CREATE TABLE t(n INTEGER, label TEXT); WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s "
         "WHERE x < " + std::to_string(n) + ") INSERT INTO t SELECT x, printf('%0100d', x) FROM s;";
}

// What a reader must leave untouched: a file's bytes and modification time, its folder's
// names and modification time (a sidecar made and removed again still moves the latter).
struct FileState {
  std::string bytes;
  std::optional<std::int64_t> modified, folderModified;
  std::vector<std::string> folder;
  friend bool operator==(const FileState&, const FileState&) = default;
};
inline FileState captureState(const std::filesystem::path& file) {
  return FileState{readFile(file), FileProbe::of(file).modificationTime, FileProbe::of(file.parent_path()).modificationTime,
                   listDirectory(file.parent_path())};
}

}  // namespace tabvora::testing
