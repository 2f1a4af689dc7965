#include "open_command.hpp"

#include <cerrno>
#include <csignal>
#include <iostream>
#include <optional>

#include <sys/wait.h>
#include <unistd.h>

#include "view_command.hpp"
#include "workspace/workspace_server.hpp"

namespace tabvora::cli {

namespace {

// Starts `xdg-open url` (some browsers keep it running: it is not waited for here).
std::optional<pid_t> startBrowser(const std::string& url) {
  pid_t pid = 0;
  if (startOpener(url, pid) != 0) return std::nullopt;
  return pid;
}

}  // namespace

CommandOutcome runOpen(const Invocation& invocation) {
  std::optional<workspace::WorkspaceSession> session;
  try {
    // The first rows are served at once; the whole file is opened meanwhile.
    session.emplace(invocation.file, invocation.readOnly, workspace::ColumnLayoutStore::defaultFolder(), true);
  } catch (const std::exception& error) {
    return {kExitFailure, invocation.file.string() + ": " + error.what()};
  }
  std::optional<workspace::WorkspaceServer> server;
  try {
    workspace::WorkspaceServer::Options options;
    options.port = invocation.port;
    options.stopOnSignals = true;
    server.emplace(*session, options);
  } catch (const std::exception& error) {
    return {kExitFailure, error.what()};
  }
  std::cout << server->url() << '\n' << std::flush;
  std::optional<pid_t> opener;
  if (!invocation.noBrowser) {
    opener = startBrowser(server->url());
    if (!opener) std::cerr << "tabvora: xdg-open could not be started; open the address above in a browser\n";
  }
  server->run();
  if (opener) ::waitpid(*opener, nullptr, WNOHANG);
  return {};
}

}  // namespace tabvora::cli
