// The file-manager recipes of the README, each run through /bin/sh as its host runs it: with
// the arguments and environment that host passes, the built tabvora first on PATH.
#include <gtest/gtest.h>

// libstdc++'s <regex> trips GCC 12's -Wmaybe-uninitialized inside its own std::function.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#include <sstream>

#include "platform/child_process.hpp"
#include "platform/display_width.hpp"
#include "support/test_support.hpp"

namespace tabvora::cli {
using namespace tabvora::internal;
namespace {

using tabvora::testing::contains;
using tabvora::testing::linesOf;
using tabvora::testing::readFile;
using tabvora::testing::TempDir;
using tabvora::testing::writeFile;

const std::filesystem::path kReadme = std::filesystem::path(TABVORA_TEST_DATA) / "../../README.md";

// The first fenced block after "### HOST" in the README's file-manager section.
std::string recipe(std::string_view host) {
  const std::string readme = readFile(kReadme);
  const std::size_t section = readme.find("## Use it from your file manager");
  const std::size_t heading = readme.find("### " + std::string(host) + "\n", section);
  const std::size_t fence = readme.find("```", heading);
  const std::size_t start = readme.find('\n', fence) + 1;
  const std::size_t end = readme.find("\n```", start);
  EXPECT_TRUE(section != std::string::npos && heading != std::string::npos && end != std::string::npos) << host;
  return end == std::string::npos ? std::string() : readme.substr(start, end - start + 1);
}

std::string shellQuoted(const std::string& text) {
  return "'" + std::regex_replace(text, std::regex("'"), "'\\''") + "'";
}

// What `host` runs for a pane of `width` x `height` showing `file`: arguments for /usr/bin/env.
std::vector<std::string> hostCommand(std::string_view host, const std::string& file, std::size_t width,
                                     std::size_t height, const TempDir& dir) {
  const std::string w = std::to_string(width);
  const std::string h = std::to_string(height);
  const std::string path = "PATH=" + std::filesystem::path(TABVORA_BINARY).parent_path().string() + ":/usr/bin:/bin";
  const std::string block = recipe(host);
  std::smatch match;
  if (host == "ranger") {  // scope.sh PATH WIDTH HEIGHT IMAGE_CACHE_PATH PREVIEW_IMAGES, the case in its frame
    writeFile(dir / "scope.sh",
              "FILE_PATH=\"$1\"; PV_WIDTH=\"$2\"; PV_HEIGHT=\"$3\"\nFILE_EXTENSION=\"${FILE_PATH##*.}\"\n"
              "FILE_EXTENSION_LOWER=\"$(printf \"%s\" \"${FILE_EXTENSION}\" | tr '[:upper:]' '[:lower:]')\"\n"
              "handle_extension() {\n    case \"${FILE_EXTENSION_LOWER}\" in\n" +
                  block + "    esac\n}\nhandle_extension\nexit 1\n");
    return {path, "/bin/sh", (dir / "scope.sh").string(), file, w, h, (dir / "cache").string(), "False"};
  }
  if (host == "lf") {  // the previewer script with PATH WIDTH HEIGHT X Y
    writeFile(dir / "preview", block);
    return {path, "/bin/sh", (dir / "preview").string(), file, w, h, "0", "0"};
  }
  if (host == "yazi" && std::regex_search(block, match, std::regex("run = 'piper -- ([^']*)'"))) {
    return {path, "w=" + w, "h=" + h, "/bin/sh", "-c", match[1], "sh", file};  // $w, $h and the path as $1
  }
  if (host == "vifm" && std::regex_search(block, match, std::regex("^fileviewer \\S+ (.*)\n"))) {
    std::string command = std::regex_replace(std::string(match[1]), std::regex("%pw"), w);
    command = std::regex_replace(command, std::regex("%ph"), h);
    command = std::regex_replace(command, std::regex("%c"), shellQuoted(file));
    return {path, "/bin/sh", "-c", command};
  }
  if (host == "fzf" && std::regex_search(block, match, std::regex("^fzf --preview '(.*)'\n"))) {
    const std::string command = std::regex_replace(std::string(match[1]), std::regex("\\{\\}"), shellQuoted(file));
    return {path, "FZF_PREVIEW_COLUMNS=" + w, "FZF_PREVIEW_LINES=" + h, "/bin/sh", "-c", command};
  }
  ADD_FAILURE() << "no recipe of the expected form for " << host << ":\n" << block;
  return {"/bin/false"};
}

TEST(FileManagerRecipes, EachHostGetsAGridThatFitsItsPane) {
  TempDir dir;
  // A name that needs quoting; wide characters, emoji, marks and long cells inside.
  const std::string wide = (dir / "it's wide cells.csv").string();
  std::filesystem::copy_file(testing::testData("delimited/wide_cells.csv"), wide);
  const std::string sqlite = testing::testData("sqlite/music.sqlite").string();
  for (std::string_view host : {"ranger", "lf", "yazi", "vifm", "fzf"}) {
    for (const auto& [width, height] : {std::pair<std::size_t, std::size_t>{20, 6}, {47, 12}, {120, 40}}) {
      // Header, names, rule, footer and the rows: 5 of the CSV file, 10 of the database's first table.
      for (const auto& [file, allLines] : {std::pair<std::string, std::size_t>{wide, 9}, {sqlite, 14}}) {
        const ChildProcess::Result result =
            ChildProcess::run("/usr/bin/env", hostCommand(host, file, width, height, dir), {});
        const std::string where =
            std::string(host) + " " + std::to_string(width) + "x" + std::to_string(height) + " " + file;
        EXPECT_TRUE(result.succeeded()) << where << ": " << result.errorText;
        const auto lines = linesOf(std::regex_replace(result.output, std::regex("\x1b\\[[0-9]m"), ""));
        EXPECT_EQ(lines.size(), std::min(height, allLines)) << where;
        for (const std::string& line : lines) EXPECT_LE(displayWidth(line), width) << where << ": " << line;
        EXPECT_TRUE(contains(result.output, file == wide ? "\x1b[1mid\x1b[0m" : "\x1b[1mSQLite\x1b[0m")) << where;
      }
    }
    const std::string missing = (dir / "missing.csv").string();
    const ChildProcess::Result result = ChildProcess::run("/usr/bin/env", hostCommand(host, missing, 80, 24, dir), {});
    EXPECT_TRUE(result.ending == ChildProcess::Ending::exited && result.exitStatus == 1) << host;
    EXPECT_EQ(result.errorText, "tabvora: " + missing + ": No such file or directory\n") << host;
  }
}

}  // namespace
}  // namespace tabvora::cli
