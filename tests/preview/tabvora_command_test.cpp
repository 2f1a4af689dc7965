// The tabvora program end to end: every preview answers a page, usage errors are one line,
// and inspecting a file never changes it or its folder.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <sstream>

#include "platform/file_info.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::CommandResult;
using testing::listDirectory;
using testing::readFile;
using testing::runTabvora;
using testing::TempDir;
using testing::testData;
using testing::writeFile;

constexpr std::string_view kErrorHeading = "<h3>Unable to preview file in Quick Look</h3>";

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

bool isPage(const std::string& out) { return out.starts_with("<!DOCTYPE html>\n") && out.ends_with("</html>"); }

// Everything a read could disturb: the file's bytes and time, the folder's entries and time.
struct FolderSnapshot {
  explicit FolderSnapshot(const std::filesystem::path& file)
      : bytes(readFile(file)),
        fileTime(modificationDateOf(file)),
        folderTime(modificationDateOf(file.parent_path())),
        entries(listDirectory(file.parent_path())) {}
  bool operator==(const FolderSnapshot&) const = default;

  std::string bytes;
  std::optional<std::int64_t> fileTime, folderTime;
  std::vector<std::string> entries;
};

class TabvoraCommand : public ::testing::Test {
 protected:
  std::filesystem::path copyOf(std::string_view data, const std::string& name) {
    std::filesystem::copy_file(testData(data), dir / name);
    return dir / name;
  }
  TempDir dir;
};

TEST_F(TabvoraCommand, PreviewOfADatabaseShowsItsFirstTableAndPillsForAll) {
  auto file = copyOf("preview/music.sqlite", "music.sqlite");
  CommandResult result = runTabvora({"preview", file.string()});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.err, "");
  ASSERT_TRUE(isPage(result.out));
  EXPECT_NE(result.out.find("<span class=\"format-badge\">SQLite</span>"), std::string::npos);
  EXPECT_NE(result.out.find("<span class=\"filename\">music.sqlite</span>"), std::string::npos);
  EXPECT_NE(result.out.find("      4 tables\n"), std::string::npos);
  for (const char* name : {"albums (10)", "artists (8)", "tracks (24)"}) {
    EXPECT_NE(result.out.find(name), std::string::npos) << name;
  }
  EXPECT_NE(result.out.find("<span class=\"table-pill active\">albums (10)</span>"), std::string::npos);
  EXPECT_NE(result.out.find("<span class=\"table-pill \">summary_by_album</span>"), std::string::npos);
  // The first table's rows, with its NULL release year.
  EXPECT_NE(result.out.find("<td class=\"align-left\">La Pistola y El Corazón</td><td class=\"align-right mono\">8</td>"
                            "<td class=\"align-right mono\"><span class=\"badge-null\">NULL</span></td>"),
            std::string::npos);
  EXPECT_NE(result.out.find("Showing 10 of 10 rows"), std::string::npos);
}

TEST_F(TabvoraCommand, EveryPreviewAnswersAPageAndExitsZero) {
  auto empty = copyOf("preview/empty.sqlite", "empty.sqlite");
  writeFile(dir / "zero.sqlite", "");
  writeFile(dir / "notes.db", "this is a text file, not a database\n");
  std::filesystem::create_directory(dir / "folder.db");
  std::filesystem::create_directory(dir / "folder");

  CommandResult emptyResult = runTabvora({"preview", empty.string()});
  EXPECT_EQ(emptyResult.exitStatus, 0);
  EXPECT_NE(emptyResult.out.find("      0 tables\n"), std::string::npos);
  EXPECT_NE(emptyResult.out.find("Showing 0 of 0 rows"), std::string::npos);

  for (const auto& path : {dir / "missing.sqlite", dir / "zero.sqlite", dir / "notes.db", dir / "folder.db",
                           dir / "folder", dir / "missing-without-extension"}) {
    CommandResult result = runTabvora({"preview", path.string()});
    EXPECT_EQ(result.exitStatus, 0) << path << ": " << result.err;
    EXPECT_TRUE(isPage(result.out)) << path;
    EXPECT_EQ(result.err, "") << path;
  }
  CommandResult text = runTabvora({"preview", (dir / "notes.db").string()});
  EXPECT_NE(text.out.find(kErrorHeading), std::string::npos);
  CommandResult missing = runTabvora({"preview", (dir / "missing.sqlite").string()});
  EXPECT_NE(missing.out.find(kErrorHeading), std::string::npos);
  EXPECT_EQ(readFile(dir / "zero.sqlite"), "");
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.sqlite"));
}

TEST_F(TabvoraCommand, PipesAndDevicesAreRefusedInsteadOfBlocking) {
  for (const char* name : {"pipe.db", "pipe.csv", "pipe"}) {
    ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
    CommandResult result = runTabvora({"preview", (dir / name).string()});
    EXPECT_EQ(result.exitStatus, 0) << name;
    EXPECT_NE(result.out.find("is not a regular file"), std::string::npos) << name;
    EXPECT_EQ(runTabvora({"tables", (dir / name).string()}).exitStatus, 1) << name;
  }
  CommandResult device = runTabvora({"preview", "/dev/zero"});
  EXPECT_NE(device.out.find(kErrorHeading), std::string::npos);
}

TEST_F(TabvoraCommand, TextFilesAreStagedOnlyTwoHundredRowsDeep) {
  std::string csv = "id,name\n";
  for (int i = 0; i < 20000; ++i) csv += std::to_string(i) + ",row " + std::to_string(i) + "\n";
  writeFile(dir / "big.csv", csv);
  CommandResult result = runTabvora({"preview", (dir / "big.csv").string()});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("<span class=\"format-badge\">CSV</span>"), std::string::npos);
  EXPECT_NE(result.out.find("Showing 50 of 200 rows"), std::string::npos);
  // Listing opens the whole file.
  EXPECT_EQ(runTabvora({"tables", (dir / "big.csv").string()}).out, "big\tTable\t20000\t2\n");

  auto jsonl = copyOf("preview/events.jsonl", "events.jsonl");
  CommandResult events = runTabvora({"preview", jsonl.string()});
  EXPECT_NE(events.out.find("<span class=\"format-badge\">JSON Lines</span>"), std::string::npos);
  EXPECT_NE(events.out.find("Showing 8 of 8 rows"), std::string::npos);
}

TEST_F(TabvoraCommand, InspectingAFileLeavesItAndItsFolderUnchanged) {
  auto file = copyOf("preview/music.sqlite", "music.sqlite");
  FolderSnapshot before(file);
  EXPECT_EQ(runTabvora({"preview", file.string()}).exitStatus, 0);
  EXPECT_EQ(runTabvora({"tables", file.string()}).exitStatus, 0);
  EXPECT_EQ(runTabvora({"query", file.string(), "SELECT count(*) FROM tracks"}).exitStatus, 0);
  runTabvora({"query", file.string(), "DELETE FROM tracks"});
  runTabvora({"query", file.string(), "CREATE TABLE extra (a)"});
  EXPECT_TRUE(FolderSnapshot(file) == before);
}

TEST_F(TabvoraCommand, OutputFileIsWrittenWholeAndNeverOverTheInput) {
  auto file = copyOf("preview/music.sqlite", "music.sqlite");
  CommandResult result = runTabvora({"preview", file.string(), "-o", (dir / "page.html").string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(readFile(dir / "page.html"), runTabvora({"preview", file.string()}).out);

  std::string original = readFile(file);
  CommandResult over = runTabvora({"preview", "-o", file.string(), file.string()});
  EXPECT_EQ(over.exitStatus, 2);
  EXPECT_EQ(lines(over.err).size(), 1u);
  EXPECT_EQ(readFile(file), original);

  CommandResult unwritable = runTabvora({"preview", file.string(), "-o", (dir / "no" / "such" / "dir.html").string()});
  EXPECT_EQ(unwritable.exitStatus, 1);
  EXPECT_EQ(lines(unwritable.err).size(), 1u);
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
      {"tables", "a.db", "-o", "x.html"},
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
    EXPECT_EQ(lines(result.err).size(), 1u) << shown << result.err;
    EXPECT_TRUE(result.err.starts_with("tabvora: ")) << shown;
  }
  // A positional argument after "--" may look like an option.
  EXPECT_EQ(runTabvora({"preview", "--", "-odd-name.db"}).exitStatus, 0);
}

TEST(TabvoraCommandLine, HelpAndVersion) {
  CommandResult help = runTabvora({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.out.find("tabvora preview FILE [-o OUT]"), std::string::npos);
  EXPECT_NE(help.out.find("NAME  TYPE  ROWS  COLUMNS"), std::string::npos);
  CommandResult version = runTabvora({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_TRUE(version.out.starts_with("tabvora ")) << version.out;
  EXPECT_EQ(lines(version.out).size(), 1u);
}

TEST_F(TabvoraCommand, TablesListsNameTypeAndCounts) {
  auto file = copyOf("preview/music.sqlite", "music.sqlite");
  CommandResult result = runTabvora({"tables", file.string()});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  std::vector<std::string> listed = lines(result.out);
  ASSERT_EQ(listed.size(), 4u) << result.out;
  EXPECT_EQ(listed[0], "albums\tTable\t10\t4");
  EXPECT_EQ(listed[1], "artists\tTable\t8\t2");
  EXPECT_EQ(listed[2], "summary_by_album\tView\t-\t4");  // views are not counted
  EXPECT_EQ(listed[3], "tracks\tTable\t24\t7");

  CommandResult missing = runTabvora({"tables", (dir / "missing.db").string()});
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(lines(missing.err).size(), 1u);
}

TEST_F(TabvoraCommand, QueryPrintsCSV) {
  auto file = copyOf("preview/music.sqlite", "music.sqlite");
  CommandResult result = runTabvora(
      {"query", file.string(), "SELECT ArtistId, Name FROM artists WHERE ArtistId IN (1, 3) ORDER BY ArtistId"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "ArtistId,Name\n1,AC/DC\n3,Björk\n");

  CommandResult quoting = runTabvora(
      {"query", file.string(), "SELECT 'say \"hi\", then go' AS \"a,b\", NULL AS n, 2.5 AS r, 'line\nbreak' AS t"});
  ASSERT_EQ(quoting.exitStatus, 0) << quoting.err;
  EXPECT_EQ(quoting.out, "\"a,b\",n,r,t\n\"say \"\"hi\"\", then go\",,2.5,\"line\nbreak\"\n");

  CommandResult limited = runTabvora({"query", file.string(), "SELECT TrackId FROM tracks ORDER BY TrackId", "--limit", "2"});
  EXPECT_EQ(limited.out, "TrackId\n1\n2\n");

  CommandResult bad = runTabvora({"query", file.string(), "SELECT * FROM no_such_table"});
  EXPECT_EQ(bad.exitStatus, 1);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(lines(bad.err).size(), 1u) << bad.err;
}

}  // namespace
}  // namespace tabvora
