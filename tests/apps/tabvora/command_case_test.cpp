// Command-line cases as data. Each tests/apps/tabvora/cases/<topic>.test is one test: its
// cases run the built tabvora, each in a fresh folder, and compare what it did. A case:
//
//   case <what it shows>          starts a case (comment lines start with #)
//   copy <path> [<name>]          tests/data/<path> copied into the folder
//   file <name> <text>            a file holding the text; "<<END" for the lines up to END
//   append <name> <n> <text>      the text appended n times, {i} counting from 0
//   database <name> <sql>         a SQLite database the SQL builds; "<<END" as for file
//   mkdir, fifo <name>  symlink, hardlink <name> <target>  chmod <octal> <name>
//   env <NAME>=<value>            for the next command (COLUMNS=n is a terminal's width)
//   stdin <text>                  the next command's standard input (none otherwise)
//   pipe <text>                   the same through a pipe; "@<path>": tests/data/<path>'s bytes
//   feed <fifo> <text>            written into the folder's FIFO while the command runs; "@" too
//   $ <arguments>                 a command: words split at spaces, '...' taken as it is,
//                                 "..." with escapes; a case may run several, one after
//                                 the other in the same folder, each with the lines below
//   exit <status>                 expected exit status, 0 when absent
//   > <line>    2> <line>         standard output / error, exactly, line by line; a last
//   \ no newline at end           line without a line end is followed by this
//   ~ <text>    2~ <text>         the output contains the text (!~, 2!~: does not)
//   files <name>...               afterwards the folder holds exactly these entries
//   unchanged <name>...           afterwards these files have their bytes and time of before
//   content <name> <text>         afterwards the file holds exactly the text
//   holds <name> <text>           afterwards the file holds the text among others
//   same <name> <name>            afterwards the two files hold the same bytes
//   empty <folder>                afterwards the folder has no entries
//
// An output with neither exact nor contained lines must be empty. Texts take the escapes
// \n \r \t \\ \0 and \xHH (two digits); {tmp} is the case's folder (the command runs in it)
// and {data} is tests/data, in arguments, texts and outputs alike. TABVORA_UPDATE_EXPECTED=1
// rewrites every case's exit line and exact outputs in place, for review; outputs checked by
// fragments are left as they are.
#include <fcntl.h>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "drivers/sqlite/sqlite_test_database.hpp"
#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

namespace fs = std::filesystem;
using testing::escapeText;
using testing::unescapeText;

const fs::path kData = TABVORA_TEST_DATA;
const fs::path kCases = kData.parent_path() / "apps/tabvora/cases";

// One expected output: exact lines, or fragments it must (not) contain.
struct Expected {
  std::vector<std::string> lines;
  bool exact = false, finalNewline = true;
  std::vector<std::pair<std::string, bool>> fragments;  // text, wanted
  std::string text() const {
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    if (!finalNewline && !out.empty()) out.pop_back();
    return out;
  }
};

struct Step {
  std::size_t line = 0;  // 1-based line of its "$"
  std::vector<std::pair<std::string, std::string>> environment;  // NAME, value
  std::optional<std::string> input;
  bool piped = false;
  std::vector<std::pair<std::string, std::string>> feeds;  // FIFO, bytes
  std::vector<std::string> arguments;
  int exitStatus = 0;
  Expected out, err;
  std::optional<std::vector<std::string>> files;
  std::vector<std::string> unchanged;
  std::vector<std::pair<std::string, std::string>> contents, holds, same;
  std::vector<std::string> empty;
};

struct Case {
  std::size_t line = 0;
  std::vector<std::pair<std::string, std::string>> setup;  // directive, rest
  std::vector<Step> steps;
  std::vector<std::size_t> expectationLines;  // 0-based lines the update rewrites
};

const std::set<std::string> kSetup = {"copy", "file", "append", "database", "mkdir", "fifo", "symlink", "hardlink", "chmod"};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}
std::string expand(const std::string& text, const fs::path& tmp) {
  return replaced(replaced(text, "{tmp}", tmp.string()), "{data}", kData.string());
}
std::string placeholders(const std::string& text, const fs::path& tmp) {
  return replaced(replaced(text, tmp.string(), "{tmp}"), kData.string(), "{data}");
}

std::vector<std::string> splitWords(std::string_view text) {
  std::vector<std::string> words;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') continue;
    std::string word;
    for (; i < text.size() && text[i] != ' '; ++i) {
      const char quote = text[i];
      if (quote != '\'' && quote != '"') {
        word += text[i];
        continue;
      }
      std::size_t close = i + 1;
      while (close < text.size() && text[close] != quote) close += quote == '"' && text[close] == '\\' ? 2 : 1;
      const std::string_view inner = text.substr(i + 1, std::min(close, text.size()) - i - 1);
      word += quote == '"' ? unescapeText(inner) : std::string(inner);
      i = close;
    }
    words.push_back(word);
  }
  return words;
}

std::pair<std::string, std::string> splitFirst(std::string_view text) {
  const std::size_t space = text.find(' ');
  if (space == std::string_view::npos) return {std::string(text), ""};
  return {std::string(text.substr(0, space)), std::string(text.substr(space + 1))};
}

std::string bytesOf(const std::string& text) {
  return text.starts_with("@") ? testing::readFile(kData / text.substr(1)) : unescapeText(text);
}
bool beginsStep(const std::string& directive) {
  return directive == "env" || directive == "stdin" || directive == "pipe" || directive == "feed" || directive == "$";
}

std::vector<Case> parseCases(const std::vector<std::string>& lines) {
  std::vector<Case> cases;
  Expected* lastExact = nullptr;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line[0] == '#') continue;
    auto [directive, rest] = splitFirst(line);
    if (directive == "case") {
      cases.emplace_back().line = i + 1;
      continue;
    }
    if (cases.empty()) throw std::runtime_error("line " + std::to_string(i + 1) + ": no case started");
    Case& c = cases.back();
    const bool expectation = directive == "exit" || directive == ">" || directive == "2>" || directive == "\\";
    if (expectation) c.expectationLines.push_back(i);
    if ((directive == "file" || directive == "database") && rest.find(" <<") != std::string::npos) {
      const std::size_t marker = rest.find(" <<");
      const std::string end = rest.substr(marker + 3);
      rest = rest.substr(0, marker + 1);
      while (++i < lines.size() && lines[i] != end) rest += escapeText(lines[i] + "\n");
    }
    if (c.steps.empty() || (c.steps.back().line && beginsStep(directive))) c.steps.emplace_back();
    Step& step = c.steps.back();
    if (!step.line && !beginsStep(directive) && !kSetup.contains(directive))
      throw std::runtime_error("line " + std::to_string(i + 1) + ": " + directive + " before any $");
    if (directive == "$") step.arguments = splitWords(rest), step.line = i + 1;
    else if (directive == "exit") step.exitStatus = std::stoi(rest);
    else if (directive == ">" || directive == "2>") {
      lastExact = directive == ">" ? &step.out : &step.err;
      lastExact->exact = true;
      lastExact->lines.push_back(unescapeText(rest));
    } else if (directive == "\\" && lastExact) lastExact->finalNewline = false;
    else if (directive == "~" || directive == "!~") step.out.fragments.emplace_back(unescapeText(rest), directive == "~");
    else if (directive == "2~" || directive == "2!~") step.err.fragments.emplace_back(unescapeText(rest), directive == "2~");
    else if (directive == "env") step.environment.push_back(splitFirst(rest.replace(rest.find('='), 1, " ")));
    else if (directive == "stdin") step.input = unescapeText(rest);
    else if (directive == "pipe") step.input = bytesOf(rest), step.piped = true;
    else if (directive == "feed") step.feeds.emplace_back(splitFirst(rest).first, bytesOf(splitFirst(rest).second));
    else if (directive == "files") step.files = splitWords(rest);
    else if (directive == "unchanged") step.unchanged = splitWords(rest);
    else if (directive == "content") step.contents.push_back(splitFirst(rest));
    else if (directive == "holds") step.holds.push_back(splitFirst(rest));
    else if (directive == "same") step.same.push_back(splitFirst(rest));
    else if (directive == "empty") step.empty.push_back(rest);
    else if (kSetup.contains(directive)) c.setup.emplace_back(directive, rest);
    else throw std::runtime_error("line " + std::to_string(i + 1) + ": unknown directive " + directive);
  }
  for (const Case& c : cases)
    if (c.steps.empty() || !c.steps.back().line) throw std::runtime_error("the case of line " + std::to_string(c.line) + " runs nothing");
  return cases;
}

void prepare(const Case& c, const fs::path& tmp) {
  for (const auto& [directive, rest] : c.setup) {
    auto [name, text] = splitFirst(expand(rest, tmp));
    if (directive == "copy") {
      fs::copy_file(kData / name, tmp / (text.empty() ? fs::path(name).filename().string() : text));
      continue;
    }
    const fs::path path = tmp / name;
    fs::create_directories(path.parent_path());
    if (directive == "file") testing::writeFile(path, unescapeText(text));
    else if (directive == "database") testing::makeDatabase(path, unescapeText(text));
    else if (directive == "mkdir") fs::create_directories(path);
    else if (directive == "fifo") ::mkfifo(path.c_str(), 0600);
    else if (directive == "symlink") fs::create_symlink(text, path);
    else if (directive == "hardlink") fs::create_hard_link(tmp / text, path);
    else if (directive == "chmod") fs::permissions(tmp / text, static_cast<fs::perms>(std::stoi(name, nullptr, 8)));
    else if (directive == "append") {
      auto [count, pattern] = splitFirst(text);
      std::ofstream file(path, std::ios::binary | std::ios::app);
      for (int n = 0; n < std::stoi(count); ++n) {
        std::string line = unescapeText(pattern);
        for (std::size_t at; (at = line.find("{i}")) != std::string::npos;) line.replace(at, 3, std::to_string(n));
        file << line;
      }
    }
  }
}

testing::CommandResult run(const Step& c, const fs::path& tmp, const fs::path& capture) {
  std::vector<std::string> arguments{TABVORA_BINARY};
  for (const std::string& argument : c.arguments) arguments.push_back(expand(argument, tmp));
  testing::writeFile(capture / "in", c.input.value_or(""));
  // Writers of the pipe and FIFOs, ended once the command is: a reader may stop early.
  std::vector<pid_t> writers;
  auto startWriter = [&](const std::string& bytes, auto openTarget) {
    if (const pid_t writer = fork(); writer == 0) {
      ::signal(SIGPIPE, SIG_DFL);
      const int fd = openTarget();
      for (std::size_t done = 0; fd >= 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      _exit(0);
    } else {
      writers.push_back(writer);
    }
  };
  int pipeEnds[2] = {-1, -1};
  if (c.piped && ::pipe(pipeEnds) == 0) startWriter(*c.input, [&] { ::close(pipeEnds[0]); return pipeEnds[1]; });
  for (const auto& [fifo, bytes] : c.feeds) {
    const fs::path path = tmp / fifo;
    startWriter(bytes, [&] { return ::open(path.c_str(), O_WRONLY); });
  }
  const pid_t pid = fork();
  if (pid == 0) {
    ::unsetenv("COLUMNS");
    ::unsetenv("LINES");
    for (const auto& [name, value] : c.environment) ::setenv(name.c_str(), expand(value, tmp).c_str(), 1);
    const char* paths[] = {c.input ? "in" : "/dev/null", "out", "err"};
    for (int fd = 0; fd < 3; ++fd) {
      const fs::path path = fd == 0 && !c.input ? fs::path("/dev/null") : capture / paths[fd];
      const int opened = fd == 0 && c.piped ? pipeEnds[0]
                                            : ::open(path.c_str(), fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(opened, fd);
      if (fd == 0 && c.piped) ::close(pipeEnds[1]);
    }
    if (::chdir(tmp.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::alarm(120);  // outlives the exec: a command that hangs ends the case
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  if (c.piped) ::close(pipeEnds[0]), ::close(pipeEnds[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  for (const pid_t writer : writers) ::kill(writer, SIGKILL), ::waitpid(writer, nullptr, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
          placeholders(testing::readFile(capture / "out"), tmp), placeholders(testing::readFile(capture / "err"), tmp)};
}

void check(const Expected& expected, const std::string& actual, const char* stream, const std::string& where) {
  if (expected.exact) {
    EXPECT_EQ(actual, expected.text()) << where << stream;
  }
  for (const auto& [fragment, wanted] : expected.fragments)
    EXPECT_EQ(testing::contains(actual, fragment), wanted) << where << stream << (wanted ? " lacks " : " has ")
                                                           << fragment << "\n" << actual;
  if (!expected.exact && expected.fragments.empty()) {
    EXPECT_EQ(actual, "") << where << stream;
  }
}

// The exact lines an output would be written as, after a case's "$" line.
void writeExpected(std::vector<std::string>& lines, const char* prefix, const std::string& text) {
  if (text.empty()) return;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(std::string(prefix) + (line.empty() ? "" : " ") + escapeText(line));
  if (text.back() != '\n') lines.push_back("\\ no newline at end");
}

struct FileSnapshot {
  std::string bytes;
  fs::file_time_type time;
  bool operator==(const FileSnapshot&) const = default;
};

class CommandCases : public ::testing::TestWithParam<std::string> {};

TEST_P(CommandCases, RunAsWritten) {
  const fs::path file = kCases / GetParam();
  const std::vector<std::string> lines = testing::linesOf(testing::readFile(file));
  const std::vector<Case> cases = parseCases(lines);
  const bool update = testing::updatingExpected();
  std::map<std::size_t, std::vector<std::string>> replacements;  // after the "$" line
  for (const Case& c : cases) {
    testing::TempDir tmp, capture;
    prepare(c, tmp.path());
    for (const Step& step : c.steps) {
      const std::string where = GetParam() + ":" + std::to_string(step.line) + ": ";
      std::map<std::string, FileSnapshot> before;
      for (const std::string& name : step.unchanged)
        before[name] = {testing::readFile(tmp / name), fs::last_write_time(tmp / name)};
      const testing::CommandResult outcome = run(step, tmp.path(), capture.path());
      if (update) {
        std::vector<std::string>& added = replacements[step.line - 1];
        if (outcome.exitStatus != 0) added.push_back("exit " + std::to_string(outcome.exitStatus));
        if (step.out.fragments.empty()) writeExpected(added, ">", outcome.out);
        if (step.err.fragments.empty()) writeExpected(added, "2>", outcome.err);
        continue;
      }
      EXPECT_EQ(outcome.exitStatus, step.exitStatus) << where << "exit status\n" << outcome.err;
      check(step.out, outcome.out, "standard output", where);
      check(step.err, outcome.err, "standard error", where);
      if (step.files) {
        EXPECT_EQ(testing::listDirectory(tmp.path()), *step.files) << where;
      }
      for (const auto& [name, snapshot] : before) {
        const bool same = FileSnapshot{testing::readFile(tmp / name), fs::last_write_time(tmp / name)} == snapshot;
        EXPECT_TRUE(same) << where << name << " changed";
      }
      for (const auto& [name, text] : step.contents)
        EXPECT_EQ(placeholders(testing::readFile(tmp / name), tmp.path()), unescapeText(text)) << where << name;
      for (const auto& [name, text] : step.holds)
        EXPECT_TRUE(testing::contains(testing::readFile(tmp / name), unescapeText(text))) << where << name << ": " << text;
      for (const auto& [one, other] : step.same)
        EXPECT_EQ(testing::readFile(tmp / one), testing::readFile(tmp / other)) << where << one << " and " << other;
      for (const std::string& folder : step.empty)
        EXPECT_EQ(testing::listDirectory(tmp / folder), std::vector<std::string>{}) << where << folder;
    }
  }
  if (!update) return;
  std::vector<std::size_t> dropped;
  for (const Case& c : cases) dropped.insert(dropped.end(), c.expectationLines.begin(), c.expectationLines.end());
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (std::find(dropped.begin(), dropped.end(), i) == dropped.end()) text += lines[i] + "\n";
    for (const std::string& line : replacements[i]) text += line + "\n";
  }
  testing::writeFile(file, text);
}

std::vector<std::string> caseFiles() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kCases))
    if (entry.path().extension() == ".test") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Tabvora, CommandCases, ::testing::ValuesIn(caseFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param.substr(0, info.param.find('.'));
                         });

}  // namespace
}  // namespace tabvora::internal
