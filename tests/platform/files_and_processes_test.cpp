// What the platform does with files and programs: atomic replacement of files, the file
// probe and the bounded reader (what may be opened, what is read, and how a file that
// changes underneath is reported), and child processes (how they end, what is kept of
// their output, and that nothing is left behind).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <system_error>

#include "platform/atomic_file.hpp"
#include "platform/child_process.hpp"
#include "platform/file_probe.hpp"
#include "platform/file_reader.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::listDirectory;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

mode_t permissionsOf(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(AtomicFile, ReplacesContentsKeepingPermissionsAndLinks) {
  TempDir dir;
  const auto target = dir / "data.csv";
  writeFile(target, "old contents that are longer");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  writeFileAtomically(target, std::string_view("new"));
  EXPECT_EQ(readFile(target), "new");
  EXPECT_EQ(permissionsOf(target), 0640u);
  EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"data.csv"});

  writeFileAtomically(dir / "fresh.json", std::string_view("{}"));
  EXPECT_EQ(readFile(dir / "fresh.json"), "{}");
  EXPECT_EQ(permissionsOf(dir / "fresh.json"), 0644u) << "new files get the default permissions";

  std::filesystem::create_symlink("data.csv", dir / "link.csv");
  writeFileAtomically(dir / "link.csv", std::string_view("b"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.csv"));
  EXPECT_EQ(readFile(target), "b");

  // A name too long to take a suffix still gets a temporary file.
  const std::string name(250, 'n');
  writeFileAtomically(dir / name, std::string_view("long"));
  EXPECT_EQ(readFile(dir / name), "long");
  EXPECT_EQ(listDirectory(dir.path()).size(), 4u);
}

TEST(AtomicFile, FailuresLeaveNothingBehind) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  EXPECT_THROW(writeFileAtomically(dir / "folder", std::string_view("x")), std::system_error);
  EXPECT_THROW(writeFileAtomically(dir / "no" / "such" / "file", std::string_view("x")), std::system_error);
  // A FIFO, or a link to one, is not replaced by a file.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink("fifo", dir / "link");
  EXPECT_THROW(writeFileAtomically(dir / "fifo", std::string_view("x")), std::system_error);
  EXPECT_THROW(writeFileAtomically(dir / "link", std::string_view("x")), std::system_error);
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo"));
  EXPECT_EQ(listDirectory(dir.path()), (std::vector<std::string>{"fifo", "folder", "link"}));
  EXPECT_TRUE(listDirectory(dir / "folder").empty());
}


FileReadError::Reason reasonOf(const std::function<void()>& operation, std::string* message = nullptr) {
  try {
    operation();
  } catch (const FileReadError& error) {
    if (message) *message = error.what();
    return error.reason();
  }
  ADD_FAILURE() << "no FileReadError";
  return FileReadError::Reason::cannotOpen;
}

TEST(FileProbe, KindsAndRefusals) {
  TempDir dir;
  writeFile(dir / "data.csv", "a,b\n");
  ASSERT_EQ(::mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "folder.db");
  std::filesystem::create_symlink(dir / "pipe.csv", dir / "link.csv");

  const FileProbe regular = FileProbe::of(dir / "data.csv");
  EXPECT_TRUE(regular.isRegular());
  EXPECT_EQ(regular.size, 4);
  struct timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000, 123}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "data.csv").c_str(), times, 0), 0);
  EXPECT_EQ(FileProbe::of(dir / "data.csv").modificationTime, 1'000'000'000'000'000'123LL);
  EXPECT_EQ(regular.refusal(dir / "data.csv"), std::nullopt);

  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"missing.csv", std::nullopt},  // left to the reader, in its own words
      {"folder.db", "\"folder.db\" is a folder, not a file"},
      {"pipe.csv", "\"pipe.csv\" is not a regular file (a pipe, socket or device) and cannot be read"},
      {"link.csv", "\"link.csv\" is not a regular file (a pipe, socket or device) and cannot be read"},
      {"data.csv/inside", std::nullopt},
  };
  for (const auto& [name, refusal] : cases) EXPECT_EQ(FileProbe::of(dir / name).refusal(dir / name), refusal) << name;
}

TEST(FileReader, ReadsWithinTheReportedSizeOnly) {
  TempDir dir;
  writeFile(dir / "f", "0123456789");
  const FileReader reader(dir / "f");
  EXPECT_EQ(reader.size(), 10u);

  ByteBuffer prefix;
  EXPECT_EQ(reader.readAt(0, 4, prefix), 4u);
  EXPECT_EQ(reader.readAt(4, 100, prefix), 6u);  // cut at the end
  EXPECT_EQ(reader.readAt(10, 5, prefix), 0u);
  EXPECT_EQ(prefix.text(), "0123456789");

  // Bytes added after the open are not read: the size seen at the open bounds every read,
  // so a file that reports 0 bytes is empty however much it would yield.
  writeFile(dir / "f", "0123456789 and more");
  EXPECT_EQ(reader.readAll().text(), "0123456789");
  writeFile(dir / "empty", "");
  EXPECT_TRUE(FileReader(dir / "empty").readAll().empty());

  EXPECT_EQ(FileReader(dir / "f").readAll(19).size(), 19u);
  std::string message;
  EXPECT_EQ(reasonOf([&] { FileReader(dir / "f").readAll(18); }, &message), FileReadError::Reason::tooLarge);
  EXPECT_EQ(message, "The file is 19 bytes, more than the 18 bytes that can be read");
}

TEST(FileReader, AFileThatShrinksIsReportedAsChanged) {
  TempDir dir;
  writeFile(dir / "f", std::string(100000, 'x'));
  const FileReader reader(dir / "f");
  ByteBuffer start;
  reader.readAt(0, 1000, start);
  ASSERT_EQ(::truncate((dir / "f").c_str(), 500), 0);
  std::string message;
  EXPECT_EQ(reasonOf([&] { reader.readAll(); }, &message), FileReadError::Reason::changed);
  EXPECT_EQ(message, "The file changed while it was being read");
  ByteBuffer rest;
  EXPECT_EQ(reasonOf([&] { reader.readAt(400, 1000, rest); }), FileReadError::Reason::changed);
}

TEST(FileReader, FoldersPipesSocketsAndMissingFilesAreNeverRead) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);  // no writer: opening must not wait
  std::filesystem::create_directory(dir / "folder");
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (dir / "socket").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  for (const char* name : {"pipe", "folder", "socket"})
    EXPECT_EQ(reasonOf([&] { FileReader reader(dir / name); }), FileReadError::Reason::notRegular) << name;
  EXPECT_EQ(reasonOf([&] { FileReader reader(dir / "missing"); }), FileReadError::Reason::cannotOpen);
  ::close(listener);
}

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
