#include "drivers/sqlite/preview_open_plan.hpp"

#include <pthread.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <array>
#include <cstring>
#include <fstream>

#include "drivers/sqlite/private_copy_registry.hpp"
#include "drivers/sqlite/sqlite_uri.hpp"
#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {
// The 100-byte database header: magic at 0, file-format write and read versions at 18
// and 19 (1 = rollback journal, 2 = WAL).
constexpr std::size_t kHeaderPrefix = 20;
constexpr char kMagic[] = "SQLite format 3";  // followed by a NUL, 16 bytes in all
constexpr std::size_t kWriteVersionOffset = 18;
constexpr std::size_t kReadVersionOffset = 19;
constexpr char kWalVersion = 2;

bool pathExists(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

// Holds the signals that remove the registered copies while alive, so none can end the
// process between making a private folder and registering it.
class TerminatingSignalsHeld {
 public:
  TerminatingSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~TerminatingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  TerminatingSignalsHeld(const TerminatingSignalsHeld&) = delete;
  TerminatingSignalsHeld& operator=(const TerminatingSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

std::filesystem::path sidecar(const std::filesystem::path& database, const char* suffix) {
  std::filesystem::path path = database;
  path += suffix;
  return path;
}

[[noreturn]] void failCopy(const std::string& why) {
  throw DriverError("SQLiteDriver", -1, "Failed to make a private copy of the database for reading: " + why);
}
}  // namespace

bool isWriteAheadLogDatabase(const std::filesystem::path& database) {
  std::ifstream in(database, std::ios::binary);
  std::array<char, kHeaderPrefix> header{};
  if (!in.read(header.data(), header.size())) return false;
  if (std::memcmp(header.data(), kMagic, sizeof kMagic) != 0) return false;
  return header[kWriteVersionOffset] == kWalVersion || header[kReadVersionOffset] == kWalVersion;
}

PreviewOpenPlan PreviewOpenPlan::make(const std::filesystem::path& path) {
  // SQLite keeps the sidecars beside the file a symbolic link points to, so look there.
  std::error_code unresolved;
  std::filesystem::path database = std::filesystem::canonical(path, unresolved);
  if (unresolved) database = path;
  const std::filesystem::path wal = sidecar(database, "-wal");
  const std::filesystem::path journal = sidecar(database, "-journal");
  const bool hasWal = pathExists(wal);
  const bool hasJournal = pathExists(journal);

  PreviewOpenPlan plan;
  if (!hasWal && !hasJournal) {
    plan.databasePath = database;
    plan.flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX;
    plan.filename = sqliteFileURI(database, isWriteAheadLogDatabase(database) ? "immutable=1" : "mode=ro");
    return plan;
  }

  std::string pattern = (std::filesystem::temp_directory_path() / "tabvora-sqlite-XXXXXX").string();
  std::filesystem::path directory, copy;
  {
    const TerminatingSignalsHeld held;
    if (!mkdtemp(pattern.data())) failCopy(std::strerror(errno));
    directory = pattern;
    copy = directory / database.filename();
    if (!PrivateCopyRegistry::add(directory, copy)) {
      removePreviewCopy(directory);
      failCopy("too many databases are being read at once");
    }
  }
  try {
    std::filesystem::copy_file(database, copy);
    if (hasWal) std::filesystem::copy_file(wal, sidecar(copy, "-wal"));
    if (hasJournal) std::filesystem::copy_file(journal, sidecar(copy, "-journal"));
    plan.databasePath = copy;
  } catch (const std::filesystem::filesystem_error& error) {
    removePreviewCopy(directory);
    failCopy(error.code().message());
  }
  plan.copyDirectory = directory;
  plan.flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX;
  plan.filename = plan.databasePath.string();
  return plan;
}

void removePreviewCopy(const std::filesystem::path& directory) noexcept {
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
  // Unregistered only once gone, so a signal arriving meanwhile still removes it.
  PrivateCopyRegistry::remove(directory);
}

}  // namespace tabvora::internal
