#include "view_command.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include "platform/child_process.hpp"
#include "support/test_support.hpp"

namespace tabvora::cli {
namespace {

using tabvora::testing::contains;
using tabvora::testing::listDirectory;
using tabvora::testing::readFile;
using tabvora::testing::TempDir;
using tabvora::testing::writeFile;

const std::filesystem::path kPackaging = std::filesystem::path(TABVORA_TEST_DATA) / "../../packaging";

// Sets an environment variable for the test's lifetime.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

int modeOf(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

TEST(ViewCommand, WritesAPrivateSelfContainedPageAndHandsItToTheOpener) {
  struct Case {
    const char* name;
    const char* opener;  // body of the xdg-open script; none: no xdg-open on PATH
    bool readableFile;
    int exitStatus;
    const char* pageOrFailure;  // found in the page handed over, or in the failure
  };
  const Case cases[] = {
      {"opened", "printf '%s\\n' \"$#\" \"$1\" > \"$RECORD\"", true, kExitSuccess, "Ada"},
      {"error page", "printf '%s\\n' \"$#\" \"$1\" > \"$RECORD\"", false, kExitSuccess, "Unable to preview"},
      {"opener fails", "exit 3", true, kExitFailure, "exit status 3"},
      {"no opener", nullptr, true, kExitFailure, "not found on PATH"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::create_directory(dir / "bin");
    std::filesystem::create_directory(dir / "tmp");
    if (c.opener) {
      writeFile(dir / "bin/xdg-open", std::string("#!/bin/sh\n") + c.opener + "\n");
      std::filesystem::permissions(dir / "bin/xdg-open", std::filesystem::perms::owner_all);
    }
    ScopedVariable path("PATH", (dir / "bin").string());
    ScopedVariable tmp("TMPDIR", (dir / "tmp").string());
    ScopedVariable record("RECORD", (dir / "record").string());
    if (c.readableFile) writeFile(dir / "people.csv", "name,age\nAda,36\n");

    Invocation invocation;
    invocation.file = dir / "people.csv";
    const CommandOutcome outcome = runView(invocation);
    EXPECT_EQ(outcome.exitStatus, c.exitStatus) << outcome.failure;
    if (c.exitStatus != kExitSuccess) {
      EXPECT_TRUE(contains(outcome.failure, c.pageOrFailure)) << outcome.failure;
      EXPECT_TRUE(listDirectory(dir / "tmp").empty()) << "the page is removed when nothing will load it";
      continue;
    }
    std::istringstream recorded(readFile(dir / "record"));
    std::string count;
    std::string argument;
    std::getline(recorded, count);
    std::getline(recorded, argument);
    EXPECT_EQ(count, "1");
    const std::filesystem::path page = argument;
    EXPECT_EQ(page.parent_path().parent_path(), dir / "tmp");
    EXPECT_EQ(modeOf(page.parent_path()), 0700);
    EXPECT_EQ(modeOf(page), 0600);
    const std::string html = readFile(page);
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    EXPECT_TRUE(contains(html, c.pageOrFailure));
    EXPECT_FALSE(contains(html, "http:") || contains(html, "https:") || contains(html, "src="));
  }
}

// The entry as a desktop would read it: key -> value of the [Desktop Entry] group.
std::map<std::string, std::string> desktopEntry() {
  std::map<std::string, std::string> entry;
  std::istringstream lines(readFile(kPackaging / "tabvora.desktop"));
  for (std::string line; std::getline(lines, line);) {
    if (const auto equals = line.find('='); equals != std::string::npos) entry[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return entry;
}

std::optional<std::filesystem::path> onPath(const std::string& program) {
  std::istringstream folders(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && ::access((std::filesystem::path(folder) / program).c_str(), X_OK) == 0) return folder + "/" + program;
  }
  return std::nullopt;
}

TEST(DesktopFiles, TheEntryValidatesAndRunsTheViewCommand) {
  const auto entry = desktopEntry();
  EXPECT_EQ(entry.at("Name"), "Preview with Tabvora");
  EXPECT_EQ(entry.at("Exec"), "tabvora view %f");
  const auto validator = onPath("desktop-file-validate");
  if (!validator) GTEST_SKIP() << "desktop-file-validate is not installed (Debian package desktop-file-utils)";
  const auto result = ChildProcess::run(*validator, {(kPackaging / "tabvora.desktop").string()}, {});
  EXPECT_TRUE(result.succeeded() && result.output.empty()) << result.output << result.errorText;
}

// Each MIME type the XML defines, with its globs and "offset:value" string magic, and every
// one of them offered to the desktop entry.
TEST(DesktopFiles, TheMimeDatabaseAddsJsonLinesAndParquet) {
  const std::string path = (kPackaging / "tabvora-mime.xml").string();
  xmlDocPtr document = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  ASSERT_NE(document, nullptr) << path << " is not well-formed XML";
  auto attribute = [](xmlNodePtr node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
  };
  auto named = [](xmlNodePtr node, const char* name) {
    return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
  };
  std::map<std::string, std::set<std::string>> found;
  for (xmlNodePtr type = xmlDocGetRootElement(document)->children; type; type = type->next) {
    if (!named(type, "mime-type")) continue;
    std::set<std::string>& facts = found[attribute(type, "type")];
    for (xmlNodePtr child = type->children; child; child = child->next) {
      if (named(child, "glob")) facts.insert(attribute(child, "pattern"));
      if (!named(child, "magic")) continue;
      for (xmlNodePtr match = child->children; match; match = match->next) {
        if (named(match, "match") && attribute(match, "type") == "string")
          facts.insert(attribute(match, "offset") + ":" + attribute(match, "value"));
      }
    }
  }
  xmlFreeDoc(document);
  const std::map<std::string, std::set<std::string>> expected = {
      {"application/x-ndjson", {"*.jsonl", "*.ndjson"}},
      {"application/vnd.apache.parquet", {"*.parquet", "0:PAR1"}},
  };
  EXPECT_EQ(found, expected);
  const std::string offered = desktopEntry().at("MimeType");
  for (const auto& [type, facts] : expected) EXPECT_TRUE(contains(offered, type + ";")) << type;
}

}  // namespace
}  // namespace tabvora::cli
