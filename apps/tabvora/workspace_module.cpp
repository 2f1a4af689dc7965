// The workspace module (see workspace_module.hpp): built into tabvora-workspace.so, never
// into the program itself.

#include "workspace_module.hpp"

#include <exception>
#include <iostream>
#include <optional>
#include <type_traits>

#include <sys/wait.h>

#include "workspace/workspace_server.hpp"

using namespace tabvora;
using namespace tabvora::cli;

extern "C" __attribute__((visibility("default"))) void tabvora_open_workspace_1(const Invocation& invocation,
                                                                                StartOpener startOpener,
                                                                                CommandOutcome& outcome) {
  static_assert(std::is_same_v<decltype(&tabvora_open_workspace_1), WorkspaceEntryPoint>);
  std::optional<workspace::WorkspaceSession> session;
  try {
    // The first rows are served at once; the whole file is opened meanwhile.
    session.emplace(invocation.file, invocation.readOnly, workspace::ColumnLayoutStore::defaultFolder(), true);
  } catch (const std::exception& error) {
    outcome = {kExitFailure, invocation.file.string() + ": " + error.what()};
    return;
  }
  std::optional<workspace::WorkspaceServer> server;
  try {
    workspace::WorkspaceServer::Options options;
    options.port = invocation.port;
    options.stopOnSignals = true;
    server.emplace(*session, options);
  } catch (const std::exception& error) {
    outcome = {kExitFailure, error.what()};
    return;
  }
  std::cout << server->url() << '\n' << std::flush;
  std::optional<pid_t> opener;
  if (!invocation.noBrowser) {
    // xdg-open: some browsers keep it running, so it is not waited for here.
    pid_t pid = 0;
    if (startOpener(server->url(), pid) == 0) opener = pid;
    if (!opener) std::cerr << "tabvora: xdg-open could not be started; open the address above in a browser\n";
  }
  server->run();
  if (opener) ::waitpid(*opener, nullptr, WNOHANG);
  outcome = {};
}
