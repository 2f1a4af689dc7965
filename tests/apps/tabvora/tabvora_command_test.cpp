// What the command-line cases (cases/*.test) cannot say: signals, device nodes, readers of a
// FIFO and closed pipes, and a pseudo-terminal on standard output.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "drivers/sqlite/sqlite_test_database.hpp"
#include "platform/display_width.hpp"
#include "progress_line.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::CommandResult;
using testing::contains;
using testing::listDirectory;
using testing::runTabvora;
using testing::runTabvoraWritingTo;

bool isOneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

// Everything a descriptor delivers until its writers are gone; what came within `idle` ms.
std::string readUntilClosed(int fd, int idle) {
  std::string text;
  char buffer[65536];
  for (pollfd ready{fd, POLLIN, 0}; ::poll(&ready, 1, idle) > 0;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

class TabvoraCommand : public ::testing::Test {
 protected:
  // Starts tabvora, waits until `folder` has an entry, sends `signal`; whether it ended by it.
  bool interruptedOnceWriting(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                              int signal) {
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("TMPDIR", (dir / "tmp").c_str(), 1);
      const int quiet = ::open("/dev/null", O_WRONLY);
      dup2(quiet, 1);
      std::vector<char*> argv{const_cast<char*>(TABVORA_BINARY)};
      for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      execv(TABVORA_BINARY, argv.data());
      _exit(127);
    }
    for (int i = 0; i < 500 && listDirectory(folder).empty(); ++i) usleep(10'000);
    EXPECT_FALSE(listDirectory(folder).empty()) << "nothing was written in " << folder;
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
  }

  testing::TempDir dir;
  const std::filesystem::path music = dir.copy("sqlite/music.sqlite", "music.sqlite");
  const std::string kEndlessView = "CREATE VIEW a AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
                                   "SELECT x FROM r ORDER BY x DESC;";
};

// A journal beside the database makes the preview read a private copy; the endless view keeps
// it busy until the signal comes. Ctrl-C ends a statement that would never end, in stats and
// export alike, and the unfinished output goes.
TEST_F(TabvoraCommand, AnInterruptedCommandLeavesNoCopyNorTemporaryFile) {
  std::filesystem::create_directory(dir / "tmp");
  std::filesystem::create_directory(dir / "out");
  testing::makeDatabase(dir / "busy.db", kEndlessView);
  testing::writeFile(dir / "busy.db-journal", std::string(512, '\0'));
  EXPECT_TRUE(interruptedOnceWriting({"preview", (dir / "busy.db").string()}, dir / "tmp", SIGTERM));
  EXPECT_TRUE(listDirectory(dir / "tmp").empty());

  testing::makeDatabase(dir / "endless.db", kEndlessView);
  const std::string out = (dir / "out" / "a.csv").string();
  for (const auto& [signal, command] : {std::pair{SIGINT, "export"}, {SIGTERM, "export"}, {SIGHUP, "export"},
                                        {SIGINT, "stats"}}) {
    const char* format = std::string_view(command) == "export" ? "--format=csv" : "--json";
    EXPECT_TRUE(interruptedOnceWriting({command, (dir / "endless.db").string(), format, "-o", out}, dir / "out", signal))
        << signal;
    EXPECT_TRUE(listDirectory(dir / "out").empty()) << signal;
  }
}

std::vector<std::vector<std::string>> everyCommand(const std::filesystem::path& database) {
  return {{"preview", database.string()},  {"preview", "--text", database.string()},
          {"tables", database.string()},   {"query", database.string(), "SELECT 1"},
          {"stats", database.string()},    {"export", database.string(), "--format", "json"},
          {"--help"}, {"--version"}};
}

TEST_F(TabvoraCommand, DevicesAreWrittenInPlaceAndAFullOneFailsEveryCommand) {
  if (!testing::makeCharacterDevice(dir / "null", 1, 3) || !testing::makeCharacterDevice(dir / "full", 1, 7) ||
      !testing::makeCharacterDevice(dir / "zero", 1, 5)) {
    GTEST_SKIP() << "device nodes need root and a folder that allows them";
  }
  EXPECT_TRUE(contains(runTabvora({"preview", (dir / "zero").string()}).out, "Unable to preview file"));
  std::filesystem::create_symlink("null", dir / "link");
  for (const char* name : {"null", "link"}) {
    CommandResult result = runTabvora({"preview", music.string(), "-o", (dir / name).string()});
    EXPECT_EQ(result.exitStatus, 0) << name << ": " << result.err;
  }
  CommandResult full = runTabvora({"preview", music.string(), "-o", (dir / "full").string()});
  EXPECT_EQ(full.exitStatus, 1);
  EXPECT_TRUE(isOneLine(full.err) && contains(full.err, "No space left on device")) << full.err;
  for (const char* name : {"null", "full", "zero"}) {
    struct stat info {};
    EXPECT_TRUE(::lstat((dir / name).c_str(), &info) == 0 && S_ISCHR(info.st_mode)) << name;
  }
  EXPECT_EQ(listDirectory(dir.path()), (std::vector<std::string>{"full", "link", "music.sqlite", "null", "zero"}));

  testing::makeDatabase(dir / "large.db", testing::numberedRows(20000));
  std::vector<std::vector<std::string>> commands = everyCommand(music);
  commands.push_back({"export", (dir / "large.db").string(), "--format", "csv"});
  for (const auto& arguments : commands) {
    const int fd = ::open((dir / "full").c_str(), O_WRONLY | O_CLOEXEC);
    CommandResult result = runTabvoraWritingTo(arguments, fd);
    ::close(fd);
    EXPECT_EQ(result.exitStatus, 1) << arguments[0];
    EXPECT_TRUE(isOneLine(result.err) && contains(result.err, "standard output")) << arguments[0] << result.err;
  }
}

TEST_F(TabvoraCommand, OutputGoesToTheReaderOfAFIFO) {
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink("fifo", dir / "link");
  const std::string page = runTabvora({"preview", music.string()}).out;
  for (const char* name : {"fifo", "link"}) {
    // Opened without waiting for a writer, so the reader is there before tabvora starts.
    const int fd = ::open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string received;
    std::thread reader([&] { received = readUntilClosed(fd, 10'000); });
    CommandResult result = runTabvora({"preview", music.string(), "-o", (dir / name).string()});
    reader.join();
    ::close(fd);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(received, page) << name;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo") && std::filesystem::is_symlink(dir / "link"));
}

TEST_F(TabvoraCommand, AClosedPipeEndsQuietlyAndAClosedStandardOutputIsReported) {
  // A table large enough that the export fails while rows are still being read.
  testing::makeDatabase(dir / "large.db", testing::numberedRows(20000));
  std::vector<std::vector<std::string>> commands = everyCommand(music);
  commands.push_back({"export", (dir / "large.db").string(), "--format", "json"});
  for (const auto& arguments : commands) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    CommandResult result = runTabvoraWritingTo(arguments, ends[1]);
    ::close(ends[1]);
    EXPECT_EQ(result.exitStatus, 1) << arguments[0];
    EXPECT_EQ(result.err, "") << arguments[0];
  }
  // With descriptor 1 closed, the database must not be opened as descriptor 1 and written to.
  const testing::FileState before = testing::captureState(music);
  CommandResult closed = runTabvoraWritingTo({"tables", music.string()}, -1);
  EXPECT_EQ(closed.exitStatus, 1);
  EXPECT_TRUE(isOneLine(closed.err) && contains(closed.err, "standard output")) << closed.err;
  EXPECT_EQ(testing::captureState(music), before);
}

// Runs tabvora with standard output and error on a raw pseudo-terminal of `columns` x `lines`
// (the default size when 0); what the terminal received.
std::string shownOnTerminal(const std::vector<std::string>& arguments, unsigned short columns = 0,
                            unsigned short lines = 0, int exitStatus = 0) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  EXPECT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios mode {};
  ::tcgetattr(terminal, &mode);
  ::cfmakeraw(&mode);
  ::tcsetattr(terminal, TCSANOW, &mode);
  if (columns) {
    winsize window{lines, columns, 0, 0};
    ::ioctl(terminal, TIOCSWINSZ, &window);
  }
  CommandResult result = runTabvoraWritingTo(arguments, terminal, true);
  EXPECT_EQ(result.exitStatus, exitStatus) << result.err;
  ::close(terminal);
  // With the terminal's last descriptor closed, reads give what is buffered, then fail.
  const std::string text = readUntilClosed(master, 5'000);
  ::close(master);
  return text;
}

// What reaches a file exactly (cases/tables_and_query.test) reaches a terminal as escapes.
TEST_F(TabvoraCommand, ControlCharactersFromAFileReachATerminalOnlyAsEscapes) {
  const auto names = dir / "names.db";
  testing::makeDatabase(names, "CREATE TABLE \"t\x1b[31m\" (a); INSERT INTO \"t\x1b[31m\" VALUES (1);");
  EXPECT_EQ(shownOnTerminal({"tables", names.string()}), "t\\x1b[31m\tTable\t1\t1\n");
  const std::string sql =
      "SELECT char(27) || '[2J' AS \"t\x1b]0;x\x07\", 'r' || char(13) || 'w' AS cr, char(155) || char(8238) || "
      "char(8294) || '\u00e9\u20ac' AS c1, 'a' || char(9) || char(127) || char(0) AS tab, CAST(x'ff41' AS TEXT) AS "
      "bad";
  EXPECT_EQ(shownOnTerminal({"query", music.string(), sql}),
            "t\\x1b]0;x\\x07,cr,c1,tab,bad\n\\x1b[2J,\"r\\x0dw\",\\u009b\\u202e\\u2066\u00e9\u20ac,a\t\\x7f\\x00,\\xffA\n");
  // The HTML page and every message that quotes the file are escaped there too.
  const auto cells = dir / "cells.db";
  testing::makeDatabase(cells, "CREATE TABLE c (v); INSERT INTO c VALUES ('x' || char(27) || '[2J');");
  const std::string page = shownOnTerminal({"preview", cells.string()});
  EXPECT_TRUE(contains(page, "x\\x1b[2J") && !contains(page, "\x1b")) << page;
  const std::string message = shownOnTerminal({"stats", names.string(), "--table", "x\x07\u202e"}, 0, 0, 2);
  EXPECT_TRUE(contains(message, "x\\x07\\u202e") && contains(message, "t\\x1b[31m") && !contains(message, "\x1b"))
      << message;
}

TEST_F(TabvoraCommand, TheTextGridFitsTheTerminalItIsShownOn) {
  const std::string shown = shownOnTerminal({"preview", "--text", music.string()}, 40, 9);
  ASSERT_TRUE(contains(shown, "\x1b[")) << "colour by default on a terminal";
  std::string plain;  // without the colour sequences
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] != '\x1b') plain += shown[i];
    else while (i < shown.size() && shown[i] != 'm') ++i;
  }
  std::size_t lines = 0;
  for (std::size_t start = 0; start < plain.size(); ++lines) {
    const std::size_t end = plain.find('\n', start);
    EXPECT_LE(displayWidth(plain.substr(start, end - start)), 40u) << plain.substr(start, end - start);
    start = end == std::string::npos ? plain.size() : end + 1;
  }
  EXPECT_EQ(lines, 9u) << plain;
  EXPECT_TRUE(contains(plain, "Showing 5 of 10 rows")) << plain;
}

// Work that takes long (here: any, with TABVORA_PROGRESS_DELAY=0) shows a progress line on a
// terminal's standard error, erased before the output; never on a pipe, with TERM=dumb or
// with --quiet.
TEST_F(TabvoraCommand, ProgressShowsOnATerminalOnlyAndIsErased) {
  std::string rows = "n,t\n";
  for (int i = 0; i < 10'000; ++i) rows += std::to_string(i) + ",x\n";
  const auto csv = dir / "rows.csv";
  testing::writeFile(csv, rows);
  const testing::ScopedEnvironment immediate("TABVORA_PROGRESS_DELAY", "0");
  const std::string erase = "\r\x1b[K";
  const std::string listed = shownOnTerminal({"tables", csv.string()});
  EXPECT_TRUE(contains(listed, erase + "tabvora: staged ") && listed.ends_with(erase + "rows\tTable\t10000\t2\n"))
      << listed;
  const std::string exported = shownOnTerminal({"export", csv.string(), "--format", "csv", "-o", (dir / "out.csv").string()});
  EXPECT_TRUE(contains(exported, erase + "tabvora: ") && exported.ends_with(erase)) << exported;
  EXPECT_EQ(cli::ProgressLine::text({Progress::Unit::rows, 2048, 10'000}), "tabvora: 2,048 of 10,000 rows (20%)");
  EXPECT_EQ(cli::ProgressLine::text({Progress::Unit::bytes, 35'700'000, 71'400'000}),
            "tabvora: staged 50% (35.7 MB of 71.4 MB)");
  EXPECT_EQ(shownOnTerminal({"tables", csv.string(), "--quiet"}), "rows\tTable\t10000\t2\n");
  EXPECT_EQ(runTabvora({"stats", csv.string(), "--json"}).err, "");
  const testing::ScopedEnvironment dumb("TERM", "dumb");
  EXPECT_EQ(shownOnTerminal({"tables", csv.string()}), "rows\tTable\t10000\t2\n");
}

}  // namespace
}  // namespace tabvora::internal
