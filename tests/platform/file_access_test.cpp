// Atomic replacement of files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <system_error>

#include "platform/atomic_file.hpp"
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

}  // namespace
}  // namespace tabvora::internal
