#include "drivers/sqlite/private_copy_registry.hpp"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/termination_cleanup.hpp"

namespace tabvora::internal {

namespace {

// A slot is read by a signal handler, so it holds plain characters and is published with
// an atomic flag: the handler reads only slots marked in use, whose text no longer changes.
struct Slot {
  std::atomic<bool> inUse{false};
  char folder[PATH_MAX] = {};
  char database[PATH_MAX] = {};
};

std::array<Slot, PrivateCopyRegistry::kCapacity> slots;
std::mutex registryMutex;

// SQLite's sidecars of a copy: the database itself, its rollback journal, its WAL and the
// WAL's shared-memory index.
constexpr const char* kCopySuffixes[] = {"", "-journal", "-wal", "-shm"};

bool copyInto(char (&target)[PATH_MAX], const std::string& text) {
  if (text.size() >= PATH_MAX) return false;
  std::memcpy(target, text.c_str(), text.size() + 1);
  return true;
}

std::string resolved(const std::filesystem::path& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) == nullptr) return path.string();
  return buffer;
}

// Only async-signal-safe calls: unlink, rmdir, strlen, memcpy.
void removeAllCopies() {
  for (Slot& slot : slots) {
    if (!slot.inUse.load(std::memory_order_acquire)) continue;
    for (const char* suffix : kCopySuffixes) {
      char path[PATH_MAX + 16];
      const std::size_t length = std::strlen(slot.database);
      const std::size_t suffixLength = std::strlen(suffix);
      std::memcpy(path, slot.database, length);
      std::memcpy(path + length, suffix, suffixLength + 1);
      ::unlink(path);
    }
    ::rmdir(slot.folder);
  }
}

}  // namespace

bool PrivateCopyRegistry::add(const std::filesystem::path& folder, const std::filesystem::path& database) {
  std::lock_guard guard(registryMutex);
  for (Slot& slot : slots) {
    if (slot.inUse.load(std::memory_order_relaxed)) continue;
    if (!copyInto(slot.folder, resolved(folder)) || !copyInto(slot.database, database.string())) return false;
    slot.inUse.store(true, std::memory_order_release);
    return true;
  }
  return false;
}

void PrivateCopyRegistry::remove(const std::filesystem::path& folder) {
  std::lock_guard guard(registryMutex);
  const std::string target = resolved(folder);
  const std::string given = folder.string();
  for (Slot& slot : slots) {
    if (slot.inUse.load(std::memory_order_relaxed) && (target == slot.folder || given == slot.folder))
      slot.inUse.store(false, std::memory_order_release);
  }
}

bool PrivateCopyRegistry::containsEntry(const char* path) {
  if (path == nullptr || *path == '\0') return false;
  const std::filesystem::path entry(path);
  const std::string name = entry.filename().string();
  if (name.empty() || name == "." || name == "..") return false;
  std::filesystem::path parent = entry.parent_path();
  if (parent.empty()) parent = ".";
  char buffer[PATH_MAX];
  if (::realpath(parent.c_str(), buffer) == nullptr) return false;
  std::lock_guard guard(registryMutex);
  for (const Slot& slot : slots) {
    if (slot.inUse.load(std::memory_order_relaxed) && std::strcmp(slot.folder, buffer) == 0) return true;
  }
  return false;
}

void PrivateCopyRegistry::installSignalCleanup() {
  TerminationCleanup::addHandler(removeAllCopies);
  TerminationCleanup::install();
}

}  // namespace tabvora::internal
