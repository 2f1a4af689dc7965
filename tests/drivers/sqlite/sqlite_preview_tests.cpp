#include <gtest/gtest.h>
#include <stdlib.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"

namespace tabvora::internal {
namespace {

using namespace tabvora::testing;

const std::string kRows = numberedRows(2000);
const std::string kWal = "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;";

// Previews run with a temporary folder of their own, so a private copy left behind shows.
class SQLitePreview : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_ / "tmp");
    std::filesystem::create_directory(dir_ / "files");
  }
  std::filesystem::path file(const char* name) const { return dir_ / "files" / name; }

  // Previews the file, refuses a write, and checks that nothing on disk changed. Returns the
  // listed row count and the largest n seen.
  std::pair<std::optional<std::int64_t>, CellValue> preview(const std::filesystem::path& path) {
    const FileState before = captureState(path);
    SQLiteDriver driver;
    driver.previewReadOnly = true;
    DatabaseMetadata metadata = driver.open(path);
    EXPECT_EQ(driver.fetchTableData("t", 50, 0).rows.size(), 50u);
    CellValue last = driver.query("SELECT max(n) FROM t").rows.at(0).values.at(0);
    EXPECT_EQ(errorOf([&] { driver.insertRow("t", {{"n", CellValue::integer(-1)}}); }).message(), "not authorized");
    driver.close();
    EXPECT_EQ(captureState(path), before) << "the previewed file or its folder changed";
    EXPECT_TRUE(listDirectory(dir_ / "tmp").empty()) << "a private copy was left behind";
    return {metadata.tables.at(0).rowCount, last};
  }

  TempDir dir_;
  const ScopedEnvironment tmp_{"TMPDIR", (dir_ / "tmp").string()};
};

TEST_F(SQLitePreview, RollbackAndCleanWALDatabasesAreReadInPlaceWithoutWriting) {
  makeDatabase(file("plain.db"), kRows);
  makeDatabase(file("wal.db"), kWal + kRows);
  ASSERT_EQ(listDirectory(dir_ / "files"), (std::vector<std::string>{"plain.db", "wal.db"}));
  EXPECT_EQ(preview(file("plain.db")).first, 2000);
  EXPECT_EQ(preview(file("wal.db")).first, 2000);
}

TEST_F(SQLitePreview, CommittedPagesStillInTheWALAreShownAndTheWALIsLeftAlone) {
  {
    RawConnection writer(file("crashed.db"));
    writer.exec(kWal + kRows + "INSERT INTO t VALUES (2001, 'only in the WAL');");
    writer.closeLeavingWal();
  }
  ASSERT_GT(std::filesystem::file_size(file("crashed.db-wal")), 0u);
  EXPECT_EQ(preview(file("crashed.db")), std::pair(std::optional<std::int64_t>(2001), CellValue::integer(2001)));

  // A symbolic link to the database finds the sidecars beside the real file.
  std::filesystem::create_directory(dir_ / "links");
  std::filesystem::create_symlink(file("crashed.db"), dir_ / "links" / "link.db");
  EXPECT_EQ(preview(dir_ / "links" / "link.db").second, CellValue::integer(2001));

  // So is a WAL whose writer is still at work, which goes on undisturbed.
  RawConnection writer(file("crashed.db"));
  writer.exec("INSERT INTO t VALUES (2002, 'live');");
  EXPECT_EQ(preview(file("crashed.db")).second, CellValue::integer(2002));
  writer.exec("INSERT INTO t VALUES (2003, 'after');");
}

TEST_F(SQLitePreview, AHotJournalIsRolledBackInAPrivateCopyOnly) {
  // A writer that dies mid-transaction leaves a changed file and the journal that undoes
  // it; copying both while a transaction is open makes that pair without a crash.
  makeDatabase(file("source.db"), kRows);
  const std::string original = readFile(file("source.db"));
  {
    RawConnection writer(file("source.db"));
    writer.exec("PRAGMA cache_size = 1; BEGIN; UPDATE t SET label = 'changed', n = n + 100000;");
    std::filesystem::copy_file(file("source.db"), file("hot.db"));
    std::filesystem::copy_file(file("source.db-journal"), file("hot.db-journal"));
    writer.exec("ROLLBACK;");
  }
  std::filesystem::remove(file("source.db"));
  ASSERT_NE(readFile(file("hot.db")), original) << "the changes did not reach the file";
  EXPECT_EQ(preview(file("hot.db")).second, CellValue::integer(2000)) << "the rolled-back state is shown";
}

TEST_F(SQLitePreview, LockedFilesAndURILikeNamesAreStillShown) {
  makeDatabase(file("locked.db"), kRows);
  RawConnection writer(file("locked.db"));
  writer.exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;");
  EXPECT_EQ(preview(file("locked.db")).first, 2000);

  makeDatabase(file("odd?name#1 %41.db"), "PRAGMA journal_mode = WAL;" + kRows);
  makeDatabase(file("odd"), "CREATE TABLE decoy(x);");
  EXPECT_EQ(preview(file("odd?name#1 %41.db")).first, 2000);
}

TEST_F(SQLitePreview, AFailedOpenRemovesItsPrivateCopy) {
  writeFile(file("text.db"), std::string(5000, 'x'));
  writeFile(file("text.db-journal"), std::string(600, 'y'));
  const FileState before = captureState(file("text.db"));
  SQLiteDriver driver;
  driver.previewReadOnly = true;
  EXPECT_THROW(driver.open(file("text.db")), DriverError);
  EXPECT_TRUE(listDirectory(dir_ / "tmp").empty());
  EXPECT_EQ(captureState(file("text.db")), before);
}

}  // namespace
}  // namespace tabvora::internal
