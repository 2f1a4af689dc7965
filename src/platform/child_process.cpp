#include "platform/child_process.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tabvora::internal {

namespace {

using Clock = std::chrono::steady_clock;

// Without a descriptor for the child (kernels before 5.3) its end is looked for this often.
constexpr int kExitCheckMilliseconds = 10;
constexpr std::size_t kReadChunk = std::size_t{64} * 1024;

[[noreturn]] void throwSystemError(int error, const char* what) {
  throw std::system_error(error, std::generic_category(), what);
}

// A descriptor that closes itself; movable, unlike the readers' FileDescriptor.
class OwnedDescriptor {
 public:
  OwnedDescriptor() = default;
  explicit OwnedDescriptor(int fd) : fd_(fd) {}
  OwnedDescriptor(OwnedDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  OwnedDescriptor& operator=(OwnedDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~OwnedDescriptor() { reset(); }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  OwnedDescriptor read;
  OwnedDescriptor write;
};

Pipe makePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throwSystemError(errno, "cannot make a pipe for a child process");
  Pipe pipe{OwnedDescriptor(fds[0]), OwnedDescriptor(fds[1])};
  ::fcntl(pipe.read.get(), F_SETFL, O_NONBLOCK);
  return pipe;
}

// RAII for the spawn attribute objects, which must be destroyed on every path.
struct SpawnSettings {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSettings() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSettings() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

// One pipe being read: a kept prefix of at most `limit` bytes (one more marks an overflow
// when `dropExcess` is false, which the caller then treats as too much output).
struct Stream {
  OwnedDescriptor fd;
  std::string* text;
  std::size_t limit;
  bool dropExcess;
  bool open = true;

  // Reads what the pipe holds now; false once it holds more than the limit (the byte past
  // it tells "exactly the limit" from "more") and the excess is not to be dropped.
  bool readAvailable() {
    char discard[kReadChunk];
    while (open) {
      if (!dropExcess && text->size() > limit) return false;
      ssize_t count;
      if (text->size() >= limit + (dropExcess ? 0 : 1)) {
        count = ::read(fd.get(), discard, sizeof discard);
      } else {
        const std::size_t want = std::min(limit + 1 - text->size(), kReadChunk);
        const std::size_t before = text->size();
        text->resize(before + want);
        count = ::read(fd.get(), text->data() + before, want);
        text->resize(before + static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
        if (dropExcess && text->size() > limit) text->resize(limit);
      }
      if (count > 0) continue;
      if (count < 0 && errno == EINTR) continue;
      if (count < 0 && errno == EAGAIN) break;
      open = false;  // end of file, or an error that no retry would mend
    }
    return dropExcess || text->size() <= limit;
  }
};

// True also when the child cannot be waited for at all (ECHILD: this process ignores
// SIGCHLD, so the system reaped it); `run` then reports no exit status.
bool hasExited(pid_t pid) {
  siginfo_t info{};
  // WNOWAIT leaves the child a zombie, so its process id (and group id) cannot be reused
  // before the group is killed below.
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno != EINTR) return true;
  }
  return info.si_pid == pid;
}

int openProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

}  // namespace

ChildProcess::Result ChildProcess::run(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                       const Limits& limits) {
  Result result;
  Pipe output = makePipe();
  Pipe error = makePipe();

  SpawnSettings settings;
  posix_spawn_file_actions_addopen(&settings.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&settings.actions, output.write.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&settings.actions, error.write.get(), STDERR_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&settings.actions, STDERR_FILENO + 1);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&settings.attributes, &signals);
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&settings.attributes, &signals);
  posix_spawnattr_setpgroup(&settings.attributes, 0);
  posix_spawnattr_setflags(&settings.attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  std::string programText = program.string();
  argv.push_back(programText.data());
  std::vector<std::string> argumentCopies = arguments;
  for (std::string& argument : argumentCopies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const Clock::time_point deadline = Clock::now() + limits.timeLimit;
  pid_t pid = 0;
  if (int failure =
          ::posix_spawn(&pid, programText.c_str(), &settings.actions, &settings.attributes, argv.data(), environ)) {
    throwSystemError(failure, "cannot start the program");
  }
  output.write.reset();
  error.write.reset();
  OwnedDescriptor processFd(openProcessDescriptor(pid));

  Stream streams[2] = {{std::move(output.read), &result.output, limits.outputLimit, false},
                       {std::move(error.read), &result.errorText, limits.errorLimit, true}};
  bool exited = false;
  bool tooMuch = false;
  bool late = false;
  while (!(exited && !streams[0].open && !streams[1].open)) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      late = true;
      break;
    }
    pollfd fds[3];
    nfds_t count = 0;
    for (Stream& stream : streams)
      if (stream.open) fds[count++] = {stream.fd.get(), POLLIN, 0};
    if (processFd.valid()) fds[count++] = {processFd.get(), POLLIN, 0};
    int wait = static_cast<int>(std::min<std::int64_t>(left.count(), 60'000));
    if (!processFd.valid()) wait = std::min(wait, kExitCheckMilliseconds);
    if (::poll(fds, count, wait) < 0 && errno != EINTR) throwSystemError(errno, "cannot wait for a child process");

    for (Stream& stream : streams) tooMuch = tooMuch || !stream.readAvailable();
    if (tooMuch) break;
    exited = hasExited(pid);
    if (exited) {
      // What it wrote before ending is in the pipes; anything still holding them open is
      // a process it left behind, which is killed with the group.
      for (Stream& stream : streams) tooMuch = tooMuch || !stream.readAvailable();
      break;
    }
  }

  ::kill(-pid, SIGKILL);
  int status = 0;
  int reaped = 0;
  while ((reaped = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }

  if (tooMuch) {
    result.ending = Ending::outputTooLarge;
    result.output.resize(std::min(result.output.size(), limits.outputLimit));
  } else if (late) {
    result.ending = Ending::timedOut;
  } else if (reaped == pid && WIFEXITED(status)) {
    result.ending = Ending::exited;
    result.exitStatus = WEXITSTATUS(status);
  } else {
    result.ending = Ending::signalled;
    result.signal = reaped == pid && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  return result;
}

}  // namespace tabvora::internal
