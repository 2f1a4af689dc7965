// The file probe and the bounded reader: what may be opened, what is read, and how a file
// that changes underneath is reported.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "platform/file_probe.hpp"
#include "platform/file_reader.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::TempDir;
using testing::writeFile;

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

}  // namespace
}  // namespace tabvora::internal
