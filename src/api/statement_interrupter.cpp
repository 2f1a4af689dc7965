#include "api/statement_interrupter.hpp"

#include <sqlite3.h>

#include <mutex>
#include <unordered_map>

namespace tabvora::internal {

namespace {

// Every recorded connection that is open, with the interrupter it belongs to.
std::mutex registryMutex;
std::unordered_map<sqlite3*, StatementInterrupter*>& registry() {
  static auto* connections = new std::unordered_map<sqlite3*, StatementInterrupter*>();
  return *connections;
}

thread_local StatementInterrupter* collecting = nullptr;

// The name of a function every recorded connection carries; SQLite destroys it as the
// connection closes, which takes the connection out of the record before it is freed.
constexpr const char* kMarkerFunction = "tabvora_connection_marker";

void markerValue(sqlite3_context* context, int, sqlite3_value**) { sqlite3_result_null(context); }

void forgetConnection(void* connection) {
  std::lock_guard guard(registryMutex);
  registry().erase(static_cast<sqlite3*>(connection));
}

// Called by SQLite for each connection the process opens, on the opening thread.
int onConnection(sqlite3* db, const char**, const sqlite3_api_routines*) {
  StatementInterrupter* owner = collecting;
  if (owner == nullptr) return SQLITE_OK;
  {
    std::lock_guard guard(registryMutex);
    registry()[db] = owner;
  }
  // On failure SQLite calls forgetConnection itself.
  sqlite3_create_function_v2(db, kMarkerFunction, 0, SQLITE_UTF8 | SQLITE_DIRECTONLY, db, markerValue, nullptr, nullptr,
                             forgetConnection);
  return SQLITE_OK;
}

}  // namespace

StatementInterrupter::StatementInterrupter() {
  static std::once_flag registered;
  // SQLite takes every entry point as void(void) and calls it with its real arguments.
  std::call_once(registered, [] { sqlite3_auto_extension(reinterpret_cast<void (*)()>(&onConnection)); });
}

StatementInterrupter::~StatementInterrupter() {
  std::lock_guard guard(registryMutex);
  std::erase_if(registry(), [this](const auto& entry) { return entry.second == this; });
}

StatementInterrupter::Collecting::Collecting(StatementInterrupter& interrupter) { collecting = &interrupter; }

StatementInterrupter::Collecting::~Collecting() { collecting = nullptr; }

void StatementInterrupter::interrupt() noexcept {
  std::lock_guard guard(registryMutex);
  for (const auto& [connection, owner] : registry())
    if (owner == this) sqlite3_interrupt(connection);
}

}  // namespace tabvora::internal
