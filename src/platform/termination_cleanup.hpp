#pragma once

#include <filesystem>

namespace tabvora::internal {

// Files that must not outlive a run that a signal ends: temporary files and private
// copies. A file is registered from the moment it is made until it is put in place or
// removed, so a handler can still remove it. Handlers run only async-signal-safe calls.
class TerminationCleanup {
 public:
  // Most files registered at once in one process.
  static constexpr int kCapacity = 64;

  // Registers `file` to be unlinked if a terminating signal ends the process; returns its
  // slot, or -1 when the registry is full or the path too long (the file is then only
  // removed by the normal path).
  static int addFile(const std::filesystem::path& file);
  static void removeFile(int slot);

  // Adds a function the signal handler runs first (at most 4); it may only make
  // async-signal-safe calls.
  static void addHandler(void (*handler)());

  // Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT that run the added functions,
  // unlink every registered file and end the process as the signal would have. For
  // programs; a library never installs signal handlers on its own. SIGKILL cannot be caught:
  // a run killed by it leaves its temporary files.
  static void install();
};

}  // namespace tabvora::internal
