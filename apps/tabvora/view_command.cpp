#include "view_command.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tabvora/preview_page.hpp"

extern char** environ;

namespace tabvora::cli {

namespace {

constexpr std::string_view kOpener = "xdg-open";
constexpr std::string_view kFolderPattern = "tabvora-view-XXXXXX";
constexpr std::string_view kPageName = "preview.html";

std::string errnoText(int error) { return std::generic_category().message(error); }

// $TMPDIR when it names a folder, else /tmp.
std::filesystem::path temporaryFolder() {
  const char* configured = std::getenv("TMPDIR");
  std::error_code error;
  if (configured != nullptr && *configured != '\0' && std::filesystem::is_directory(configured, error))
    return configured;
  return "/tmp";
}

// The page in a folder only this user can enter; the name is fixed, so the exclusive
// create fails rather than follow anything placed there meanwhile.
std::filesystem::path writePage(const std::filesystem::path& folder, std::string_view page) {
  std::filesystem::path path = folder / kPageName;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot create " + path.string());
  std::size_t written = 0;
  while (written < page.size()) {
    const ssize_t n = ::write(fd, page.data() + written, page.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      ::close(fd);
      throw std::system_error(error, std::generic_category(), "cannot write " + path.string());
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) throw std::system_error(errno, std::generic_category(), "cannot write " + path.string());
  return path;
}

}  // namespace

int startOpener(const std::string& target, pid_t& pid) {
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
  std::string program(kOpener);
  std::string argument = target;
  char* arguments[] = {program.data(), argument.data(), nullptr};
  const int error = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return error;
}

namespace {

// Runs the opener on `page` and waits for it. Returns why it failed, or "".
std::string openWithOpener(const std::filesystem::path& page) {
  const std::string program(kOpener);
  pid_t pid = 0;
  const int error = startOpener(page.string(), pid);
  if (error == ENOENT) return program + " was not found on PATH (it comes with xdg-utils)";
  if (error != 0) return "cannot run " + program + ": " + errnoText(error);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return "cannot wait for " + program + ": " + errnoText(errno);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFEXITED(status))
    return program + " could not open the page (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
  return program + " was ended by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace

CommandOutcome runView(const Invocation& invocation) {
  const std::filesystem::path base = temporaryFolder();
  std::string pattern = (base / kFolderPattern).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    return {kExitFailure, "cannot make a folder for the page in " + base.string() + ": " + errnoText(errno)};
  }
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(pattern, error);
  if (error) folder = pattern;
  std::string failure;
  PreviewOptions page;
  page.open.inputFormat = invocation.inputFormat;
  page.open.textEncoding = invocation.encoding;
  try {
    const std::filesystem::path written = writePage(folder, tabvora::previewPage(invocation.file, page));
    failure = openWithOpener(written);
  } catch (const std::exception& error) {
    failure = error.what();
  }
  if (failure.empty()) return {kExitSuccess, {}};
  // Nothing will load the page: it goes with its folder.
  std::filesystem::remove_all(folder, error);
  return {kExitFailure, failure};
}

}  // namespace tabvora::cli
