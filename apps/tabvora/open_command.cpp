#include "open_command.hpp"

#include <cerrno>
#include <csignal>
#include <iostream>
#include <optional>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "workspace/workspace_server.hpp"

extern char** environ;

namespace tabvora::cli {

namespace {

// Starts `xdg-open url` without waiting for it (some browsers keep it running), standard
// input from /dev/null, no descriptor past standard error, signals at their defaults.
std::optional<pid_t> startOpener(const std::string& url) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string program = "xdg-open";
  std::string argument = url;
  char* arguments[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  const int error = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return std::nullopt;
  return pid;
}

}  // namespace

CommandOutcome runOpen(const Invocation& invocation) {
  std::optional<workspace::WorkspaceSession> session;
  try {
    session.emplace(invocation.file, invocation.readOnly, workspace::ColumnLayoutStore::defaultFolder());
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
    opener = startOpener(server->url());
    if (!opener) std::cerr << "tabvora: xdg-open could not be started; open the address above in a browser\n";
  }
  server->run();
  if (opener) ::waitpid(*opener, nullptr, WNOHANG);
  return {};
}

}  // namespace tabvora::cli
