#pragma once

#include <filesystem>

namespace tabvora::internal {

// The private folders that hold copies of databases being read, and the only places an
// inspection connection may create, write or delete a file (see InspectionVFS). A folder
// is registered from the moment it is made until it is removed, so a signal that ends the
// process can still remove it.
class PrivateCopyRegistry {
 public:
  // Most private copies open at once in one process.
  static constexpr int kCapacity = 64;

  // Registers `folder` (absolute) holding the copy `database`; false when the registry is
  // full. The folder is compared after resolving symbolic links.
  static bool add(const std::filesystem::path& folder, const std::filesystem::path& database);
  static void remove(const std::filesystem::path& folder);

  // Whether `path` names an entry directly inside a registered folder (its parent folder,
  // links resolved, is one of them). A path with no existing parent is never inside.
  static bool containsEntry(const char* path);

  // Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT that remove every registered
  // copy and then end the process as the signal would have. For programs; a library never
  // installs signal handlers on its own.
  static void installSignalCleanup();
};

}  // namespace tabvora::internal
