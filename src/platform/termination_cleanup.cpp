#include "platform/termination_cleanup.hpp"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

namespace tabvora::internal {

namespace {

// A slot is read by a signal handler, so it holds plain characters and is published with
// an atomic flag: the handler reads only slots marked in use, whose text no longer changes.
struct Slot {
  std::atomic<bool> inUse{false};
  char path[PATH_MAX] = {};
};

constexpr int kMaxHandlers = 4;

std::array<Slot, TerminationCleanup::kCapacity> slots;
std::array<std::atomic<void (*)()>, kMaxHandlers> handlers{};
std::mutex registryMutex;

void onTerminatingSignal(int signal) {
  for (auto& handler : handlers) {
    if (void (*run)() = handler.load(std::memory_order_acquire)) run();
  }
  for (Slot& slot : slots) {
    if (slot.inUse.load(std::memory_order_acquire)) ::unlink(slot.path);
  }
  // End the process the way the signal would have, so the parent sees the same status.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
}

}  // namespace

int TerminationCleanup::addFile(const std::filesystem::path& file) {
  const std::string text = file.string();
  if (text.size() >= PATH_MAX) return -1;
  std::lock_guard guard(registryMutex);
  for (int i = 0; i < kCapacity; ++i) {
    Slot& slot = slots[static_cast<std::size_t>(i)];
    if (slot.inUse.load(std::memory_order_relaxed)) continue;
    std::memcpy(slot.path, text.c_str(), text.size() + 1);
    slot.inUse.store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

void TerminationCleanup::removeFile(int slot) {
  if (slot < 0 || slot >= kCapacity) return;
  slots[static_cast<std::size_t>(slot)].inUse.store(false, std::memory_order_release);
}

void TerminationCleanup::addHandler(void (*handler)()) {
  std::lock_guard guard(registryMutex);
  for (auto& entry : handlers) {
    if (entry.load(std::memory_order_relaxed) == handler) return;
    if (entry.load(std::memory_order_relaxed) == nullptr) {
      entry.store(handler, std::memory_order_release);
      return;
    }
  }
}

void TerminationCleanup::install() {
  struct sigaction action {};
  action.sa_handler = onTerminatingSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal, &action, nullptr);
}

}  // namespace tabvora::internal
