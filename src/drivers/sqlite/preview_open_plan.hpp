#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tabvora::internal {

// How to open a database so that reading it changes nothing on disk: not the file, not
// its folder, not its sidecar files. SQLite itself may write while only reading: a
// read-write connection checkpoints a WAL on close and rolls back a hot journal, and a
// mode=ro connection to a WAL database creates -wal and -shm files it leaves behind;
// immutable=1 writes nothing but ignores committed pages still in the WAL. So:
//   - no -wal or -journal beside the file: rollback-journal databases open read-only,
//     WAL databases open immutable (there is nothing in a WAL to miss);
//   - otherwise the file and its -wal or -journal are copied into a private temporary
//     folder and the copy is opened read-write, so SQLite applies the WAL or rolls back
//     the journal in the copy; the caller removes that folder after closing.
struct PreviewOpenPlan {
  std::string filename;  // what sqlite3_open_v2 gets: a path or a file: URI
  int flags = 0;
  // The file the connection reads: the original or its private copy.
  std::filesystem::path databasePath;
  // Set for a private copy: the folder to remove after the connection is closed. The
  // connection must then refuse writes, since they would go to a copy nobody keeps.
  std::optional<std::filesystem::path> copyDirectory;

  // Throws DriverError (domain "SQLiteDriver", code -1) when the copy cannot be made.
  static PreviewOpenPlan make(const std::filesystem::path& database);
};

// True when the file starts with an SQLite header whose read or write version says WAL.
bool isWriteAheadLogDatabase(const std::filesystem::path& database);

// Removes a private copy folder made by PreviewOpenPlan, with everything in it; never throws.
void removePreviewCopy(const std::filesystem::path& directory) noexcept;

}  // namespace tabvora::internal
