#include "view_command.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <sstream>

#include <libxml/parser.h>

#include "platform/child_process.hpp"
#include "support/test_support.hpp"

namespace tabvora::cli {
namespace {

using tabvora::testing::contains;
using tabvora::testing::readFile;
using tabvora::testing::TempDir;

const std::filesystem::path kPackaging = std::filesystem::path(TABVORA_TEST_DATA) / "../../packaging";

int modeOf(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// xdg-open is a script in the test's folder; the recording one writes its argument count
// and first argument to $RECORD.
TEST(ViewCommand, HandsTheOpenerOnePrivateSelfContainedPage) {
  const std::tuple<const char*, bool, int, const char*> cases[] = {
      {"printf '%s\\n' \"$#\" \"$1\" > \"$RECORD\"", true, kExitSuccess, "Ada"},
      {"printf '%s\\n' \"$#\" \"$1\" > \"$RECORD\"", false, kExitSuccess, "Unable to preview"},
      {"exit 3", true, kExitFailure, "exit status 3"},
      {nullptr, true, kExitFailure, "xdg-open was not found on PATH"},
  };
  for (const auto& [opener, readable, exitStatus, expected] : cases) {
    SCOPED_TRACE(expected);
    TempDir dir;
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_directories(dir / "tmp");
    if (opener) {
      testing::writeFile(dir / "bin/xdg-open", std::string("#!/bin/sh\n") + opener + "\n");
      std::filesystem::permissions(dir / "bin/xdg-open", std::filesystem::perms::owner_all);
    }
    if (readable) testing::writeFile(dir / "people.csv", "name,age\nAda,36\n");
    tabvora::testing::ScopedEnvironment path("PATH", (dir / "bin").string()), tmp("TMPDIR", (dir / "tmp").string()),
        record("RECORD", (dir / "record").string());

    Invocation invocation;
    invocation.file = dir / "people.csv";
    const CommandOutcome outcome = runView(invocation);
    ASSERT_EQ(outcome.exitStatus, exitStatus) << outcome.failure;
    if (exitStatus != kExitSuccess) {
      EXPECT_TRUE(contains(outcome.failure, expected)) << outcome.failure;
      EXPECT_TRUE(testing::listDirectory(dir / "tmp").empty()) << "a page nothing will load is removed";
      continue;
    }
    std::istringstream recorded(readFile(dir / "record"));
    std::string count, page;
    std::getline(recorded, count);
    std::getline(recorded, page);
    EXPECT_EQ(count, "1");
    EXPECT_EQ(std::filesystem::path(page).parent_path().parent_path(), dir / "tmp");
    EXPECT_EQ(modeOf(std::filesystem::path(page).parent_path()), 0700);
    EXPECT_EQ(modeOf(page), 0600);
    const std::string html = readFile(page);
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>") && contains(html, expected));
    EXPECT_FALSE(contains(html, "http:") || contains(html, "https:") || contains(html, "src="));
  }
}

TEST(DesktopFiles, TheEntryValidatesAndOffersEveryTypeTheMimeFileAdds) {
  const std::string entry = readFile(kPackaging / "tabvora.desktop");
  EXPECT_TRUE(contains(entry, "\nName=Preview with Tabvora\n") && contains(entry, "\nExec=tabvora view %f\n"));
  const std::string mime = readFile(kPackaging / "tabvora-mime.xml");
  xmlDocPtr document = xmlReadMemory(mime.data(), static_cast<int>(mime.size()), "tabvora-mime.xml", nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  EXPECT_NE(document, nullptr) << "the MIME file is not well-formed XML";
  xmlFreeDoc(document);
  for (const char* fact : {"<mime-type type=\"application/x-ndjson\">", "<glob pattern=\"*.jsonl\"/>",
                           "<glob pattern=\"*.ndjson\"/>", "<mime-type type=\"application/vnd.apache.parquet\">",
                           "<glob pattern=\"*.parquet\"/>", "<match type=\"string\" offset=\"0\" value=\"PAR1\"/>"}) {
    EXPECT_TRUE(contains(mime, fact)) << fact;
  }
  for (const char* type : {"application/x-ndjson;", "application/vnd.apache.parquet;"}) EXPECT_TRUE(contains(entry, type));

  std::optional<std::filesystem::path> validator;
  std::istringstream folders(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string folder; !validator && std::getline(folders, folder, ':');) {
    if (::access((folder + "/desktop-file-validate").c_str(), X_OK) == 0) validator = folder + "/desktop-file-validate";
  }
  if (!validator) GTEST_SKIP() << "desktop-file-validate is not installed (Debian package desktop-file-utils)";
  const auto result = ChildProcess::run(*validator, {(kPackaging / "tabvora.desktop").string()}, {});
  EXPECT_TRUE(result.succeeded() && result.output.empty()) << result.output << result.errorText;
}

}  // namespace
}  // namespace tabvora::cli
