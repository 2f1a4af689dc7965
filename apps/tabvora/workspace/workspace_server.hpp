#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "access_guard.hpp"
#include "workspace_session.hpp"

namespace httplib {
class Server;
}

namespace tabvora::workspace {

// The HTTP server of a workspace: the embedded page and the JSON routes over one session,
// on 127.0.0.1 only, behind an AccessGuard.
class WorkspaceServer {
 public:
  struct Options {
    std::optional<int> port;  // a free one when absent
    // Once the page has sent a heartbeat, the server stops when none came for this long.
    std::chrono::milliseconds idleLimit = std::chrono::seconds(30);
    // SIGINT and SIGTERM stop the server (the program's; tests leave them alone).
    bool stopOnSignals = false;
  };
  // The largest request body taken (a console statement, an edit).
  static constexpr std::size_t kMaxBodyBytes = 1 << 20;

  // Binds the port; throws std::runtime_error when it cannot.
  WorkspaceServer(WorkspaceSession& session, const Options& options);
  ~WorkspaceServer();
  WorkspaceServer(const WorkspaceServer&) = delete;
  WorkspaceServer& operator=(const WorkspaceServer&) = delete;

  int port() const { return guard_.port(); }
  // http://127.0.0.1:PORT/?token=TOKEN, the one address that lets a browser in.
  std::string url() const;

  // Serves until stop(), a signal (when asked for) or the page's silence; returns why it
  // stopped: "stopped", "signal" or "idle".
  std::string run();
  // From any thread.
  void stop() { stopRequested_ = true; }

 private:
  void addRoutes();
  void beat();

  WorkspaceSession& session_;
  Options options_;
  std::unique_ptr<httplib::Server> server_;
  AccessGuard guard_;
  std::atomic<bool> stopRequested_{false};
  std::mutex beatMutex_;
  std::optional<std::chrono::steady_clock::time_point> lastBeat_;
};

}  // namespace tabvora::workspace
