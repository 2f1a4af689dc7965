// The tabvora program end to end: every preview answers a page, usage errors are one line,
// and inspecting a file never changes it or its folder.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "drivers/sqlite/sqlite_test_database.hpp"
#include "platform/display_width.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::captureState;
using testing::CommandResult;
using testing::contains;
using testing::listDirectory;
using testing::makeCharacterDevice;
using testing::readFile;
using testing::runTabvora;
using testing::runTabvoraWritingTo;
using testing::TempDir;
using testing::testData;
using testing::writeFile;

constexpr std::string_view kErrorHeading = "<h3>Unable to preview file in Quick Look</h3>";

bool isOneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }
bool isPage(const std::string& out) { return out.starts_with("<!DOCTYPE html>\n") && out.ends_with("</html>"); }

class TabvoraCommand : public ::testing::Test {
 protected:
  TempDir dir;
  const std::filesystem::path music = dir.copy("sqlite/music.sqlite", "music.sqlite");
};

TEST_F(TabvoraCommand, PreviewOfADatabaseShowsItsFirstTableAndPillsForAll) {
  CommandResult result = runTabvora({"preview", music.string()});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.err, "");
  ASSERT_TRUE(isPage(result.out));
  for (const char* shown : {"<span class=\"format-badge\">SQLite</span>", "<span class=\"filename\">music.sqlite</span>",
                            "      4 tables\n", "artists (8)", "tracks (24)",
                            "<span class=\"table-pill active\">albums (10)</span>",
                            "<span class=\"table-pill \">summary_by_album</span>", "Showing 10 of 10 rows",
                            // The first table's rows, with its NULL release year.
                            "<td class=\"align-left\">La Pistola y El Corazón</td><td class=\"align-right mono\">8</td>"
                            "<td class=\"align-right mono\"><span class=\"badge-null\">NULL</span></td>"}) {
    EXPECT_TRUE(contains(result.out, shown)) << shown;
  }
}

TEST_F(TabvoraCommand, EveryPreviewAnswersAPageAndExitsZeroWithoutBlocking) {
  auto empty = dir.copy("sqlite/empty.sqlite", "empty.sqlite");
  writeFile(dir / "zero.sqlite", "");
  writeFile(dir / "notes.db", "this is a text file, not a database\n");
  std::filesystem::create_directory(dir / "folder.db");
  std::filesystem::create_directory(dir / "folder");

  CommandResult emptyResult = runTabvora({"preview", empty.string()});
  EXPECT_EQ(emptyResult.exitStatus, 0);
  EXPECT_TRUE(contains(emptyResult.out, "      0 tables\n"));
  EXPECT_TRUE(contains(emptyResult.out, "Showing 0 of 0 rows"));

  // A zero-byte .sqlite file is an empty database; folders, pipes and missing files get the
  // error page, and a pipe no one writes to is refused rather than read.
  for (const char* name : {"pipe.db", "pipe.csv", "pipe.jsonl", "pipe"}) ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
  const std::pair<std::filesystem::path, bool> cases[] = {
      {dir / "missing.sqlite", true}, {dir / "zero.sqlite", false}, {dir / "notes.db", true},
      {dir / "folder.db", true},      {dir / "folder", true},        {dir / "missing-without-extension", true},
      {dir / "pipe.db", true},        {dir / "pipe.csv", true},      {dir / "pipe.jsonl", true},
      {dir / "pipe", true},
  };
  for (const auto& [path, errorPage] : cases) {
    CommandResult result = runTabvora({"preview", path.string()});
    EXPECT_EQ(result.exitStatus, 0) << path << ": " << result.err;
    EXPECT_TRUE(isPage(result.out)) << path;
    EXPECT_EQ(result.err, "") << path;
    EXPECT_EQ(contains(result.out, kErrorHeading), errorPage) << path;
    EXPECT_EQ(contains(result.out, "      0 tables\n"), !errorPage) << path;
    if (std::filesystem::is_fifo(path)) {
      EXPECT_TRUE(contains(result.out, "is not a regular file")) << path;
      EXPECT_EQ(runTabvora({"tables", path.string()}).exitStatus, 1) << path;
    }
  }
  EXPECT_EQ(readFile(dir / "zero.sqlite"), "");
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.sqlite"));
  if (makeCharacterDevice(dir / "zero", 1, 5)) {
    EXPECT_TRUE(contains(runTabvora({"preview", (dir / "zero").string()}).out, kErrorHeading));
  }
}

TEST_F(TabvoraCommand, TextFilesAreStagedOnlyTwoHundredRowsDeep) {
  std::string csv = "id,name\n";
  for (int i = 0; i < 20000; ++i) csv += std::to_string(i) + ",row " + std::to_string(i) + "\n";
  writeFile(dir / "big.csv", csv);
  CommandResult result = runTabvora({"preview", (dir / "big.csv").string()});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(contains(result.out, "<span class=\"format-badge\">CSV</span>"));
  // The total is never one the file does not have: what was staged, marked as a lower bound.
  EXPECT_TRUE(contains(result.out, "Showing 50 of 200+ rows"));
  EXPECT_TRUE(contains(runTabvora({"preview", "--text", "--width=60", (dir / "big.csv").string()}).out,
                       " of 200+ rows"));
  // Listing opens the whole file.
  EXPECT_EQ(runTabvora({"tables", (dir / "big.csv").string()}).out, "big\tTable\t20000\t2\n");

  CommandResult events = runTabvora({"preview", dir.copy("json/page_events.jsonl", "events.jsonl").string()});
  EXPECT_TRUE(contains(events.out, "<span class=\"format-badge\">JSON Lines</span>"));
  EXPECT_TRUE(contains(events.out, "Showing 8 of 8 rows"));
  std::string lines;
  for (int i = 0; i < 2000; ++i) lines += "{\"n\": " + std::to_string(i) + "}\n";
  writeFile(dir / "long.jsonl", lines);
  EXPECT_TRUE(contains(runTabvora({"preview", (dir / "long.jsonl").string()}).out, "Showing 50 of 200+ rows"));
}

TEST_F(TabvoraCommand, BinaryContentUnderATextNameIsRefusedAndTablesAreReadAsWhatTheyAre) {
  using namespace std::string_literals;
  const std::tuple<const char*, std::string, const char*> binaries[] = {
      {"ls.csv", "\x7f" "ELF\x02\x01\x01"s + std::string(120, '\0'), "an ELF executable"},
      {"people.csv", "\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x48\xcd\xc9\xc9\x07\x00"s, "gzip-compressed data"},
      {"people.tsv", "\x28\xb5\x2f\xfd\x04\x58\x29\x00\x00"s, "zstd-compressed data"},
      {"photo.json", "\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR"s, "a PNG image"},
      {"dump.sql", "CREATE TABLE t (a);\n\x01\x00\x02\x00\x00\x03"s, "binary data"},
  };
  for (const auto& [name, bytes, what] : binaries) {
    writeFile(dir / name, bytes);
    const std::string reason = "is not a tabular data file (it holds "s + what + ")";
    CommandResult tables = runTabvora({"tables", (dir / name).string()});
    EXPECT_EQ(tables.exitStatus, 1) << name;
    EXPECT_TRUE(contains(tables.err, reason)) << tables.err;
    CommandResult page = runTabvora({"preview", (dir / name).string()});
    EXPECT_TRUE(contains(page.out, kErrorHeading) && contains(page.out, reason)) << name;
  }
  // UTF-16 text without a byte-order mark has NULs and is still text.
  const std::string utf16 = "i\0d\0,\0n\0\n\0" "1\0,\0a\0\n\0"s;
  writeFile(dir / "wide.csv", utf16);
  EXPECT_FALSE(contains(runTabvora({"tables", (dir / "wide.csv").string()}).err, "not a tabular"));
  // A database under a text format's name is read as the database it is.
  EXPECT_EQ(runTabvora({"tables", dir.copy("sqlite/music.sqlite", "music.csv").string()}).out,
            runTabvora({"tables", music.string()}).out);
}

TEST_F(TabvoraCommand, InspectingAFileLeavesItAndItsFolderUnchanged) {
  const testing::FileState before = captureState(music);
  EXPECT_EQ(runTabvora({"preview", music.string()}).exitStatus, 0);
  EXPECT_EQ(runTabvora({"tables", music.string()}).exitStatus, 0);
  EXPECT_EQ(runTabvora({"query", music.string(), "SELECT count(*) FROM tracks"}).exitStatus, 0);
  runTabvora({"query", music.string(), "DELETE FROM tracks"});
  runTabvora({"query", music.string(), "CREATE TABLE extra (a)"});
  EXPECT_EQ(captureState(music), before);
}

TEST_F(TabvoraCommand, AnInterruptedPreviewRemovesItsPrivateCopy) {
  // A journal beside the database makes the preview read a private copy; the endless view
  // keeps it busy until the signal comes.
  const std::filesystem::path database = dir / "busy.db";
  testing::makeDatabase(database, "CREATE VIEW a AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
                         "SELECT x FROM r ORDER BY x DESC;");
  writeFile(dir / "busy.db-journal", std::string(512, '\0'));
  std::filesystem::create_directory(dir / "tmp");
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("TMPDIR", (dir / "tmp").c_str(), 1);
    const int quiet = ::open((dir / "page.html").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(quiet, 1);
    execl(TABVORA_BINARY, TABVORA_BINARY, "preview", database.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && testing::listDirectory(dir / "tmp").empty(); ++i) usleep(10'000);
  ASSERT_FALSE(testing::listDirectory(dir / "tmp").empty()) << "no private copy was made";
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "ends as the signal would have";
  EXPECT_TRUE(testing::listDirectory(dir / "tmp").empty());
}

TEST_F(TabvoraCommand, AnInterruptedExportLeavesNoTemporaryFile) {
  const std::filesystem::path database = dir / "endless.db";
  testing::makeDatabase(database, "CREATE VIEW a AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
                         "SELECT x FROM r ORDER BY x DESC;");
  std::filesystem::create_directory(dir / "out");
  // Ctrl-C ends a statement that would never end, stats and export alike.
  for (const auto& [signal, command] : {std::pair{SIGINT, "export"}, {SIGTERM, "export"}, {SIGHUP, "export"},
                                        {SIGINT, "stats"}}) {
    const pid_t pid = fork();
    if (pid == 0) {
      const char* format = std::string_view(command) == "export" ? "--format=csv" : "--json";
      execl(TABVORA_BINARY, TABVORA_BINARY, command, database.c_str(), format, "-o", (dir / "out" / "a.csv").c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500 && listDirectory(dir / "out").empty(); ++i) usleep(10'000);
    ASSERT_FALSE(listDirectory(dir / "out").empty()) << "no temporary file was made";
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_TRUE(listDirectory(dir / "out").empty()) << signal;
  }
}

TEST_F(TabvoraCommand, OutputFileIsWrittenWholeAndNeverOverTheInput) {
  CommandResult result = runTabvora({"preview", music.string(), "-o", (dir / "page.html").string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(readFile(dir / "page.html"), runTabvora({"preview", music.string()}).out);

  // No command writes over its input, under any of its names (a hard link included).
  const std::string original = readFile(music);
  std::filesystem::create_hard_link(music, dir / "link.sqlite");
  for (const auto& command : {std::vector<std::string>{"preview"}, {"preview", "--text"}, {"tables"},
                              {"query", "SELECT 1"}, {"stats"}, {"export", "--format=csv"}}) {
    for (const std::string& out : {music.string(), (dir / "link.sqlite").string()}) {
      std::vector<std::string> arguments = command;
      arguments.insert(arguments.begin() + 1, music.string());
      arguments.insert(arguments.end(), {"-o", out});
      CommandResult over = runTabvora(arguments);
      EXPECT_EQ(over.exitStatus, 2) << command[0] << " " << out;
      EXPECT_TRUE(isOneLine(over.err)) << over.err;
    }
  }
  EXPECT_EQ(readFile(music), original);
  std::filesystem::remove(dir / "link.sqlite");

  // An export that fails leaves the file it was to replace as it was, and no other file.
  CommandResult failed = runTabvora({"export", music.string(), "--format=csv", "--where=nope = 1",
                                     "--output=" + (dir / "page.html").string()});
  EXPECT_EQ(failed.exitStatus, 1);
  EXPECT_EQ(failed.err, "tabvora: " + music.string() + ": The table \"albums\" has no column \"nope\" (its columns: "
                        "AlbumId, Title, ArtistId, ReleaseYear)\n");
  EXPECT_EQ(readFile(dir / "page.html"), runTabvora({"preview", music.string()}).out);
  EXPECT_EQ(listDirectory(dir.path()), (std::vector<std::string>{"music.sqlite", "page.html"}));
}

TEST_F(TabvoraCommand, FailuresNameTheFileAndTheSystemsReason) {
  std::filesystem::create_directory(dir / "folder");
  ASSERT_EQ(mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
  const std::pair<std::filesystem::path, std::string> cases[] = {
      {dir / "missing.csv", "No such file or directory"},
      {dir / "folder", "Is a directory"},
      {dir / "pipe.csv", "is not a regular file"},
  };
  for (const auto& [path, reason] : cases) {
    for (const char* command : {"tables", "stats", "export", "preview"}) {
      std::vector<std::string> arguments = {command, path.string()};
      if (std::string_view(command) == "preview") arguments.insert(arguments.begin() + 1, "--text");
      CommandResult result = runTabvora(arguments);
      EXPECT_EQ(result.exitStatus, 1) << command << " " << path;
      EXPECT_EQ(result.out, "");
      EXPECT_TRUE(isOneLine(result.err) && result.err.starts_with("tabvora: " + path.string() + ": ") &&
                  contains(result.err, reason))
          << result.err;
    }
  }
  // A statement the file cannot run, and an OUT in no folder, fail alike without output.
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"query", music.string(), "SELECT * FROM no_such_table"},
           {"preview", music.string(), "-o", (dir / "no" / "such" / "dir.html").string()}}) {
    CommandResult result = runTabvora(arguments);
    EXPECT_EQ(result.exitStatus, 1) << arguments.back();
    EXPECT_EQ(result.out, "") << arguments.back();
    EXPECT_TRUE(isOneLine(result.err)) << arguments.back() << ": " << result.err;
  }
}

bool isCharacterDevice(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

std::vector<std::vector<std::string>> everyCommand(const std::filesystem::path& database) {
  return {{"preview", database.string()},  {"preview", "--text", database.string()},
          {"tables", database.string()},   {"query", database.string(), "SELECT 1"},
          {"stats", database.string()},    {"export", database.string(), "--format", "json"},
          {"--help"}, {"--version"}};
}

TEST_F(TabvoraCommand, DevicesAreWrittenInPlaceAndAFullOneFailsEveryCommand) {
  if (!makeCharacterDevice(dir / "null", 1, 3) || !makeCharacterDevice(dir / "full", 1, 7)) {
    GTEST_SKIP() << "device nodes need root and a folder that allows them";
  }
  std::filesystem::create_symlink("null", dir / "link");
  for (const char* name : {"null", "link"}) {
    CommandResult result = runTabvora({"preview", music.string(), "-o", (dir / name).string()});
    EXPECT_EQ(result.exitStatus, 0) << name << ": " << result.err;
  }
  CommandResult full = runTabvora({"preview", music.string(), "-o", (dir / "full").string()});
  EXPECT_EQ(full.exitStatus, 1);
  EXPECT_TRUE(isOneLine(full.err) && contains(full.err, "No space left on device")) << full.err;
  EXPECT_TRUE(isCharacterDevice(dir / "null") && isCharacterDevice(dir / "full"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(listDirectory(dir.path()), (std::vector<std::string>{"full", "link", "music.sqlite", "null"}));

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

// Everything a FIFO delivers until its last writer closes it; empty after ten idle seconds.
std::string readUntilClosed(int fd) {
  std::string text;
  char buffer[65536];
  for (pollfd ready{fd, POLLIN, 0}; ::poll(&ready, 1, 10'000) > 0;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

TEST_F(TabvoraCommand, OutputGoesToAFIFOsReaderOrFailsAtOnceWithoutOne) {
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink("fifo", dir / "link");
  const std::string page = runTabvora({"preview", music.string()}).out;
  for (const char* name : {"fifo", "link"}) {
    CommandResult lonely = runTabvora({"preview", music.string(), "-o", (dir / name).string()});
    EXPECT_EQ(lonely.exitStatus, 1) << name;
    EXPECT_TRUE(isOneLine(lonely.err) && contains(lonely.err, "no process is reading")) << lonely.err;

    // Opened without waiting for a writer, so the reader is there before tabvora starts.
    const int fd = ::open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string received;
    std::thread reader([&] { received = readUntilClosed(fd); });
    CommandResult result = runTabvora({"preview", music.string(), "-o", (dir / name).string()});
    reader.join();
    ::close(fd);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(received, page) << name;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));

  // "-" is standard output, not a file of that name.
  EXPECT_EQ(runTabvora({"preview", music.string(), "-o", "-"}).out, page);
}

TEST_F(TabvoraCommand, AClosedPipeEndsQuietlyAndAClosedStandardOutputIsReported) {
  // A table large enough that the export fails while rows are still being read.
  const std::filesystem::path large = dir / "large.db";
  testing::makeDatabase(large, testing::numberedRows(20000));
  std::vector<std::vector<std::string>> commands = everyCommand(music);
  commands.push_back({"export", large.string(), "--format", "json"});
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
  const testing::FileState before = captureState(music);
  CommandResult closed = runTabvoraWritingTo({"tables", music.string()}, -1);
  EXPECT_EQ(closed.exitStatus, 1);
  EXPECT_TRUE(isOneLine(closed.err) && contains(closed.err, "standard output")) << closed.err;
  EXPECT_EQ(captureState(music), before);
}

// Runs tabvora with standard output on a raw pseudo-terminal; what the terminal received.
// With `size` (columns, lines), the terminal has that size.
std::string shownOnTerminal(const std::vector<std::string>& arguments,
                            std::optional<std::pair<unsigned short, unsigned short>> size = std::nullopt,
                            int exitStatus = 0) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  EXPECT_GE(master, 0);
  EXPECT_EQ(::grantpt(master), 0);
  EXPECT_EQ(::unlockpt(master), 0);
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios mode {};
  ::tcgetattr(terminal, &mode);
  ::cfmakeraw(&mode);
  ::tcsetattr(terminal, TCSANOW, &mode);
  if (size) {
    winsize window{size->second, size->first, 0, 0};
    ::ioctl(terminal, TIOCSWINSZ, &window);
  }
  CommandResult result = runTabvoraWritingTo(arguments, terminal, true);
  EXPECT_EQ(result.exitStatus, exitStatus) << result.err;
  ::close(terminal);
  // With the terminal's last descriptor closed, reads give what is buffered, then fail.
  std::string text;
  char buffer[4096];
  for (pollfd ready{master, POLLIN, 0}; ::poll(&ready, 1, 5'000) > 0;) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(master);
  return text;
}

TEST_F(TabvoraCommand, ControlCharactersFromAFileReachATerminalOnlyAsEscapes) {
  using namespace std::string_literals;
  const auto names = dir / "names.db";
  testing::RawConnection(names).exec("CREATE TABLE \"t\x1b[31m\" (a); INSERT INTO \"t\x1b[31m\" VALUES (1);");
  const std::string sql =
      "SELECT char(27) || '[2J' AS \"t\x1b]0;x\x07\", 'r' || char(13) || 'w' AS cr, char(155) || char(8238) || "
      "char(8294) || '\u00e9\u20ac' AS c1, 'a' || char(9) || char(127) || char(0) AS tab, CAST(x'ff41' AS TEXT) AS "
      "bad";
  const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
      {{"tables", names.string()}, "t\x1b[31m\tTable\t1\t1\n", "t\\x1b[31m\tTable\t1\t1\n"},
      {{"query", music.string(), sql},
       "t\x1b]0;x\x07,cr,c1,tab,bad\n\x1b[2J,\"r\rw\",\u009b\u202e\u2066\u00e9\u20ac,a\t\x7f\0,\xff" "A\n"s,
       "t\\x1b]0;x\\x07,cr,c1,tab,bad\n\\x1b[2J,\"r\\x0dw\",\\u009b\\u202e\\u2066\u00e9\u20ac,a\t\\x7f\\x00,\\xffA\n"},
  };
  for (const auto& [arguments, exact, escaped] : cases) {
    EXPECT_EQ(runTabvora(arguments).out, exact) << arguments[0];
    EXPECT_EQ(shownOnTerminal(arguments), escaped) << arguments[0];
  }
  // The HTML page and every message that quotes the file are escaped there too.
  const auto cells = dir / "cells.db";
  testing::RawConnection(cells).exec("CREATE TABLE c (v); INSERT INTO c VALUES ('x' || char(27) || '[2J');");
  EXPECT_TRUE(contains(runTabvora({"preview", cells.string()}).out, "x\x1b[2J"));
  const std::string page = shownOnTerminal({"preview", cells.string()});
  EXPECT_TRUE(contains(page, "x\\x1b[2J") && !contains(page, "\x1b")) << page;
  const std::string message = shownOnTerminal({"stats", names.string(), "--table", "x\x07\u202e"}, std::nullopt, 1);
  EXPECT_TRUE(contains(message, "x\\x07\\u202e") && contains(message, "t\\x1b[31m") && !contains(message, "\x1b"))
      << message;
}

TEST_F(TabvoraCommand, TheTextGridFitsTheTerminalItIsShownOn) {
  const std::string shown = shownOnTerminal({"preview", "--text", music.string()}, std::pair{40, 9});
  ASSERT_TRUE(contains(shown, "\x1b[")) << "colour by default on a terminal";
  std::string plain;  // without the colour sequences
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] != '\x1b') {
      plain += shown[i];
      continue;
    }
    while (i < shown.size() && shown[i] != 'm') ++i;
  }
  std::size_t lines = 0;
  for (std::size_t start = 0; start < plain.size(); ++lines) {
    const std::size_t end = plain.find('\n', start);
    const std::string line = plain.substr(start, end - start);
    EXPECT_LE(displayWidth(line), 40u) << line;
    start = end == std::string::npos ? plain.size() : end + 1;
  }
  EXPECT_EQ(lines, 9u) << plain;
  EXPECT_TRUE(contains(plain, "Showing 5 of 10 rows")) << plain;
}

TEST(TabvoraCommandLine, UsageErrorsExitTwoWithOneLine) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate", "x.db"},
      {"preview"},
      {"preview", "a.db", "b.db"},
      {"preview", "a.db", "-o"},
      {"preview", "a.db", "--bogus"},
      {"preview", "a.db", "--limit", "3"},
      {"tables", "a.db", "--json"},
      {"preview", "a.db", "--width", "80"},
      {"export", "a.db", "--format", "xml"},
      {"export", "a.db", "--where", "a"},
      {"export", "a.db", "--where", "a ="},
      {"export", "a.db", "--where", "a is empty 3"},
      {"export", "a.db", "--where", "score >> 1"},
      {"stats", "a.db", "--where", "score => 1"},
      {"preview", "a.db", "--where", "score =< 1"},
      {"export", "a.db", "--all", "--any"},
      {"help", "frobnicate"},
      {"query", "a.db"},
      {"query", "a.db", "SELECT 1", "--limit", "-1"},
      {"query", "a.db", "SELECT 1", "--limit", "ten"},
      {"query", "a.db", "SELECT 1", "--limit", "99999999999999999999"},
      {"frob\nnicate", "a.db"},
  };
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += a + " ";
    CommandResult result = runTabvora(arguments);
    EXPECT_EQ(result.exitStatus, 2) << shown;
    EXPECT_EQ(result.out, "") << shown;
    EXPECT_TRUE(isOneLine(result.err)) << shown << result.err;
    EXPECT_TRUE(result.err.starts_with("tabvora: ")) << shown;
  }
  // A positional argument after "--" may look like an option.
  EXPECT_EQ(runTabvora({"preview", "--", "-odd-name.db"}).exitStatus, 0);

  CommandResult help = runTabvora({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(contains(help.out, "tabvora preview FILE [-o OUT]"));
  for (const char* flag : {"--version", "-V"}) {
    CommandResult version = runTabvora({flag});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_TRUE(version.out.starts_with("tabvora ") && isOneLine(version.out)) << version.out;
  }
  // Each command's own help, asked either way, names its options.
  for (const auto& arguments : std::vector<std::vector<std::string>>{{"export", "--help"}, {"help", "export"}}) {
    CommandResult commandHelp = runTabvora(arguments);
    EXPECT_EQ(commandHelp.exitStatus, 0);
    EXPECT_TRUE(commandHelp.out.starts_with("tabvora export:\n") && contains(commandHelp.out, "--where COND"))
        << commandHelp.out;
  }
}

TEST_F(TabvoraCommand, TablesListsNameTypeAndCountsAndQueryPrintsCSV) {
  CommandResult tables = runTabvora({"tables", music.string()});
  ASSERT_EQ(tables.exitStatus, 0) << tables.err;
  // Views are not counted.
  EXPECT_EQ(tables.out, "albums\tTable\t10\t4\nartists\tTable\t8\t2\nsummary_by_album\tView\t-\t4\ntracks\tTable\t24\t7\n");

  CommandResult result = runTabvora(
      {"query", music.string(), "SELECT ArtistId, Name FROM artists WHERE ArtistId IN (1, 3) ORDER BY ArtistId"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "ArtistId,Name\n1,AC/DC\n3,Björk\n");
  CommandResult quoting = runTabvora(
      {"query", music.string(), "SELECT 'say \"hi\", then go' AS \"a,b\", NULL AS n, 2.5 AS r, 'line\nbreak' AS t"});
  EXPECT_EQ(quoting.out, "\"a,b\",n,r,t\n\"say \"\"hi\"\", then go\",,2.5,\"line\nbreak\"\n") << quoting.err;
  EXPECT_EQ(runTabvora({"query", music.string(), "SELECT TrackId FROM tracks ORDER BY TrackId", "--limit", "2"}).out,
            "TrackId\n1\n2\n");
}

// A pg_dump read end to end: the page, the table list and a query answer from the staged
// dump; a statement that cannot be run is reported on standard error, never in the page.
TEST_F(TabvoraCommand, ADumpIsPreviewedListedAndQueriedWithoutChangingIt) {
  const std::filesystem::path dump = dir.copy("sqlscript/pg_dump.sql", "shop.sql");
  const std::string before = readFile(dump);
  CommandResult page = runTabvora({"preview", dump.string()});
  ASSERT_EQ(page.exitStatus, 0) << page.err;
  for (const char* shown : {"<span class=\"format-badge\">SQL Script</span>", "<td class=\"align-left\">semi;colon</td>"})
    EXPECT_TRUE(contains(page.out, shown)) << shown;
  CommandResult tables = runTabvora({"tables", dump.string()});
  EXPECT_EQ(tables.out, "Order Lines\tTable\t3\t5\nin_stock_products\tView\t-\t3\nproducts\tTable\t24\t9\n") << tables.err;
  CommandResult notes = runTabvora({"query", dump.string(), "SELECT note FROM \"Order Lines\" ORDER BY line_id"});
  EXPECT_EQ(notes.out, "note\nfirst\n\"\"\nsemi;colon\n") << notes.err;

  writeFile(dir / "partly.sql", "CREATE TABLE t (a);\nINSERT INTO t VALUES (1);\nINSERT INTO nowhere VALUES (2);\n");
  CommandResult partly = runTabvora({"preview", (dir / "partly.sql").string()});
  EXPECT_EQ(partly.exitStatus, 0);
  EXPECT_TRUE(isPage(partly.out)) << partly.out;
  EXPECT_EQ(partly.err, "SQL warning: could not run statement: INSERT INTO nowhere VALUES (2)...\n");
  EXPECT_EQ(readFile(dump), before);
  EXPECT_EQ(listDirectory(dir.path()), (std::vector<std::string>{"music.sqlite", "partly.sql", "shop.sql"}));
}

}  // namespace
}  // namespace tabvora
