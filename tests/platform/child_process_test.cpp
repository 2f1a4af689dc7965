#include "platform/child_process.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <system_error>

#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using Ending = ChildProcess::Ending;
using namespace std::chrono_literals;

ChildProcess::Result runShell(const std::string& script, ChildProcess::Limits limits = {}) {
  return ChildProcess::run("/bin/sh", {"-c", script}, limits);
}

TEST(ChildProcessTest, EndingsAndWhatIsKept) {
  ChildProcess::Limits small;
  small.timeLimit = 300ms;
  small.outputLimit = 1000;
  small.errorLimit = 10;
  struct Case {
    const char* script;
    Ending ending;
    int exitStatus;
    std::optional<std::string> output;
    std::string errorText;
  } cases[] = {
      {"printf 'a b'", Ending::exited, 0, "a b", ""},
      {"echo oops >&2; exit 3", Ending::exited, 3, "", "oops\n"},
      {"head -c 5000 /dev/zero >&2; printf x", Ending::exited, 0, "x", std::string(10, '\0')},
      {"head -c 1000 /dev/zero | tr '\\0' y", Ending::exited, 0, std::string(1000, 'y'), ""},  // the limit
      {"head -c 1001 /dev/zero", Ending::outputTooLarge, 0, std::nullopt, ""},
      {"yes", Ending::outputTooLarge, 0, std::nullopt, ""},
      {"exec sleep 1000", Ending::timedOut, 0, "", ""},
      {"exec >&- 2>&-; sleep 1000", Ending::timedOut, 0, "", ""},  // closes its pipes and stays
      {"kill -9 $$", Ending::signalled, 0, "", ""},
      {"cat", Ending::exited, 0, "", ""},  // standard input is empty, never the caller's
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const auto start = std::chrono::steady_clock::now();
    ChildProcess::Result result = runShell(c.script, small);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(result.ending, c.ending);
    EXPECT_EQ(result.exitStatus, c.exitStatus);
    EXPECT_LE(result.output.size(), small.outputLimit);
    if (c.output) {
      EXPECT_EQ(result.output, *c.output);
    }
    EXPECT_EQ(result.errorText, c.errorText);
  }
}

TEST(ChildProcessTest, LeavesNothingBehindAndPassesNoDescriptor) {
  // A descriptor this process holds without close-on-exec must not reach the child.
  const int leaked = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(::dup2(leaked, 50), 0);
  ChildProcess::Result fds = runShell("for fd in 0 1 2 50; do [ -e /proc/$$/fd/$fd ] && printf \"$fd \"; done");
  ::close(50);
  ::close(leaked);
  EXPECT_EQ(fds.output, "0 1 2 ");

  // A background child that keeps the output pipe open is killed with the group at once.
  const auto start = std::chrono::steady_clock::now();
  ChildProcess::Result result = runShell("sleep 1000 & echo started");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, "started\n");
}

TEST(ChildProcessTest, ArgumentsReachTheProgramUnchangedAndBadProgramsThrow) {
  ChildProcess::Result echo = ChildProcess::run("/bin/echo", {"a b", "$HOME", "'q'", "*"}, {});
  EXPECT_EQ(echo.output, "a b $HOME 'q' *\n");

  testing::TempDir dir;
  testing::writeFile(dir / "text", "no program here\n");
  ::chmod((dir / "text").c_str(), 0755);
  for (const std::filesystem::path& program : {dir / "missing", dir.path(), dir / "text"}) {
    SCOPED_TRACE(program);
    EXPECT_THROW(ChildProcess::run(program, {}, {}), std::system_error);
  }
}

}  // namespace
}  // namespace tabvora::internal
