// The tabvora program end to end: every preview answers a page, usage errors are one line,
// and inspecting a file never changes it or its folder.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "drivers/sqlite/sqlite_test_database.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::captureState;
using testing::CommandResult;
using testing::readFile;
using testing::runTabvora;
using testing::TempDir;
using testing::testData;
using testing::writeFile;

constexpr std::string_view kErrorHeading = "<h3>Unable to preview file in Quick Look</h3>";

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }
bool isOneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }
bool isPage(const std::string& out) { return out.starts_with("<!DOCTYPE html>\n") && out.ends_with("</html>"); }

class TabvoraCommand : public ::testing::Test {
 protected:
  std::filesystem::path copyOf(std::string_view data, const std::string& name) {
    std::filesystem::copy_file(testData(data), dir / name);
    return dir / name;
  }
  TempDir dir;
  const std::filesystem::path music = copyOf("preview/music.sqlite", "music.sqlite");
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

TEST_F(TabvoraCommand, EveryPreviewAnswersAPageAndExitsZero) {
  auto empty = copyOf("preview/empty.sqlite", "empty.sqlite");
  writeFile(dir / "zero.sqlite", "");
  writeFile(dir / "notes.db", "this is a text file, not a database\n");
  std::filesystem::create_directory(dir / "folder.db");
  std::filesystem::create_directory(dir / "folder");

  CommandResult emptyResult = runTabvora({"preview", empty.string()});
  EXPECT_EQ(emptyResult.exitStatus, 0);
  EXPECT_TRUE(contains(emptyResult.out, "      0 tables\n"));
  EXPECT_TRUE(contains(emptyResult.out, "Showing 0 of 0 rows"));

  for (const auto& path : {dir / "missing.sqlite", dir / "zero.sqlite", dir / "notes.db", dir / "folder.db",
                           dir / "folder", dir / "missing-without-extension"}) {
    CommandResult result = runTabvora({"preview", path.string()});
    EXPECT_EQ(result.exitStatus, 0) << path << ": " << result.err;
    EXPECT_TRUE(isPage(result.out)) << path;
    EXPECT_EQ(result.err, "") << path;
    if (path == dir / "notes.db" || path == dir / "missing.sqlite") {
      EXPECT_TRUE(contains(result.out, kErrorHeading)) << path;
    }
  }
  EXPECT_EQ(readFile(dir / "zero.sqlite"), "");
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.sqlite"));
}

TEST_F(TabvoraCommand, PipesAndDevicesAreRefusedInsteadOfBlocking) {
  for (const char* name : {"pipe.db", "pipe.csv", "pipe"}) {
    ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
    CommandResult result = runTabvora({"preview", (dir / name).string()});
    EXPECT_EQ(result.exitStatus, 0) << name;
    EXPECT_TRUE(contains(result.out, "is not a regular file")) << name;
    EXPECT_EQ(runTabvora({"tables", (dir / name).string()}).exitStatus, 1) << name;
  }
  EXPECT_TRUE(contains(runTabvora({"preview", "/dev/zero"}).out, kErrorHeading));
}

TEST_F(TabvoraCommand, TextFilesAreStagedOnlyTwoHundredRowsDeep) {
  std::string csv = "id,name\n";
  for (int i = 0; i < 20000; ++i) csv += std::to_string(i) + ",row " + std::to_string(i) + "\n";
  writeFile(dir / "big.csv", csv);
  CommandResult result = runTabvora({"preview", (dir / "big.csv").string()});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_TRUE(contains(result.out, "<span class=\"format-badge\">CSV</span>"));
  EXPECT_TRUE(contains(result.out, "Showing 50 of 200 rows"));
  // Listing opens the whole file.
  EXPECT_EQ(runTabvora({"tables", (dir / "big.csv").string()}).out, "big\tTable\t20000\t2\n");

  CommandResult events = runTabvora({"preview", copyOf("preview/events.jsonl", "events.jsonl").string()});
  EXPECT_TRUE(contains(events.out, "<span class=\"format-badge\">JSON Lines</span>"));
  EXPECT_TRUE(contains(events.out, "Showing 8 of 8 rows"));
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

TEST_F(TabvoraCommand, OutputFileIsWrittenWholeAndNeverOverTheInput) {
  CommandResult result = runTabvora({"preview", music.string(), "-o", (dir / "page.html").string()});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(readFile(dir / "page.html"), runTabvora({"preview", music.string()}).out);

  const std::string original = readFile(music);
  CommandResult over = runTabvora({"preview", "-o", music.string(), music.string()});
  EXPECT_EQ(over.exitStatus, 2);
  EXPECT_TRUE(isOneLine(over.err)) << over.err;
  EXPECT_EQ(readFile(music), original);
}

TEST_F(TabvoraCommand, FailuresExitOneWithOneLineAndNoOutput) {
  const std::vector<std::vector<std::string>> cases = {
      {"tables", (dir / "missing.db").string()},
      {"query", music.string(), "SELECT * FROM no_such_table"},
      {"preview", music.string(), "-o", (dir / "no" / "such" / "dir.html").string()},
  };
  for (const auto& arguments : cases) {
    CommandResult result = runTabvora(arguments);
    EXPECT_EQ(result.exitStatus, 1) << arguments.back();
    EXPECT_EQ(result.out, "") << arguments.back();
    EXPECT_TRUE(isOneLine(result.err)) << arguments.back() << ": " << result.err;
  }
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
    EXPECT_TRUE(isOneLine(result.err)) << shown << result.err;
    EXPECT_TRUE(result.err.starts_with("tabvora: ")) << shown;
  }
  // A positional argument after "--" may look like an option.
  EXPECT_EQ(runTabvora({"preview", "--", "-odd-name.db"}).exitStatus, 0);

  CommandResult help = runTabvora({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(contains(help.out, "tabvora preview FILE [-o OUT]"));
  CommandResult version = runTabvora({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_TRUE(version.out.starts_with("tabvora ") && isOneLine(version.out)) << version.out;
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

}  // namespace
}  // namespace tabvora
