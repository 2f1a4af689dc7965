#include <gtest/gtest.h>
#include <stdlib.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"
#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora {
namespace {

using testing::captureState;
using testing::FileState;
using testing::RawConnection;

const char* kRows =
    "CREATE TABLE t(n INTEGER, label TEXT);"
    "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < 2000)"
    "  INSERT INTO t SELECT x, printf('%0200d', x) FROM s;";

// Every preview runs with its own temporary folder, so a private copy left behind shows.
class SQLitePreview : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_ / "tmp");
    std::filesystem::create_directory(dir_ / "files");
    const char* previous = getenv("TMPDIR");
    if (previous) previousTmp_ = previous;
    setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
  }
  void TearDown() override {
    if (previousTmp_)
      setenv("TMPDIR", previousTmp_->c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  std::filesystem::path file(const char* name) const { return dir_ / "files" / name; }

  // Previews the file as the preview does and checks that nothing on disk changed.
  struct Seen {
    std::int64_t total = -1;
    CellValue last;
    std::optional<std::int64_t> listedCount;
  };
  Seen preview(const std::filesystem::path& path) {
    const FileState before = captureState(path);
    Seen seen;
    {
      SQLiteDriver driver;
      driver.previewReadOnly = true;
      DatabaseMetadata metadata = driver.open(path);
      seen.listedCount = metadata.tables.at(0).rowCount;
      DataTable page = driver.fetchTableData(metadata.tables.at(0).name, 50, 0);
      seen.total = page.totalRowCount;
      seen.last = driver.query("SELECT max(n) FROM t").rows.at(0).values.at(0);
      try {
        driver.insertRow("t", {{"n", CellValue::integer(-1)}});
        ADD_FAILURE() << "a preview accepted a write";
      } catch (const DriverError& error) {
        EXPECT_EQ(error.code() & 0xff, SQLITE_READONLY) << error.what();
      }
      driver.close();
    }
    EXPECT_EQ(captureState(path), before) << "the previewed file or its folder changed";
    EXPECT_TRUE(testing::listDirectory(dir_ / "tmp").empty()) << "a private copy was left behind";
    return seen;
  }

  testing::TempDir dir_;
  std::optional<std::string> previousTmp_;
};

TEST_F(SQLitePreview, ARollbackJournalDatabaseIsReadInPlaceWithoutWriting) {
  testing::makeDatabase(file("plain.db"), kRows);
  Seen seen = preview(file("plain.db"));
  EXPECT_EQ(seen.total, 2000);
  EXPECT_EQ(seen.listedCount, 2000);
  EXPECT_EQ(seen.last, CellValue::integer(2000));
}

TEST_F(SQLitePreview, ACleanWALDatabaseLeavesNoSidecarFiles) {
  testing::makeDatabase(file("wal.db"), std::string("PRAGMA journal_mode = WAL;") + kRows);
  ASSERT_EQ(testing::listDirectory(dir_ / "files"), std::vector<std::string>{"wal.db"});
  Seen seen = preview(file("wal.db"));
  EXPECT_EQ(seen.total, 2000);
}

TEST_F(SQLitePreview, CommittedPagesStillInTheWALAreShownAndTheWALIsLeftAlone) {
  {
    RawConnection writer(file("crashed.db"));
    writer.exec(std::string("PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;") + kRows);
    writer.exec("INSERT INTO t VALUES (2001, 'only in the WAL');");
    writer.closeLeavingWal();
  }
  ASSERT_GT(std::filesystem::file_size(file("crashed.db-wal")), 0u);
  Seen seen = preview(file("crashed.db"));
  EXPECT_EQ(seen.total, 2001);
  EXPECT_EQ(seen.last, CellValue::integer(2001));
}

TEST_F(SQLitePreview, AWriterThatIsStillWorkingIsNotDisturbed) {
  RawConnection writer(file("live.db"));
  writer.exec(std::string("PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;") + kRows);
  Seen seen = preview(file("live.db"));
  EXPECT_EQ(seen.total, 2000);
  writer.exec("INSERT INTO t VALUES (2001, 'after');");
  EXPECT_EQ(writer.scalar("SELECT count(*) FROM t"), 2001);
}

TEST_F(SQLitePreview, AHotJournalIsRolledBackInACopyOnly) {
  // A writer that dies mid-transaction leaves a changed file and the journal that undoes
  // it. Copying both while the transaction is open makes that pair without a crash.
  testing::makeDatabase(file("source.db"), kRows);
  const std::string original = testing::readFile(file("source.db"));
  {
    RawConnection writer(file("source.db"));
    writer.exec("PRAGMA cache_size = 1; BEGIN; UPDATE t SET label = 'changed', n = n + 100000;");
    std::filesystem::copy_file(file("source.db"), file("hot.db"));
    std::filesystem::copy_file(file("source.db-journal"), file("hot.db-journal"));
    writer.exec("ROLLBACK;");
  }
  std::filesystem::remove(file("source.db"));
  ASSERT_NE(testing::readFile(file("hot.db")), original) << "the changes did not reach the file";

  Seen seen = preview(file("hot.db"));
  EXPECT_EQ(seen.total, 2000);
  EXPECT_EQ(seen.last, CellValue::integer(2000)) << "the rolled-back state is shown";
  EXPECT_TRUE(std::filesystem::exists(file("hot.db-journal")));
}

TEST_F(SQLitePreview, ALockedDatabaseIsStillShown) {
  testing::makeDatabase(file("locked.db"), kRows);
  RawConnection writer(file("locked.db"));
  writer.exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;");
  Seen seen = preview(file("locked.db"));
  EXPECT_EQ(seen.total, 2000);
  writer.exec("COMMIT;");
}

TEST_F(SQLitePreview, NamesThatLookLikeURISyntaxOpenTheRightFile) {
  testing::makeDatabase(file("odd?name#1 %41.db"), std::string("PRAGMA journal_mode = WAL;") + kRows);
  testing::makeDatabase(file("odd"), "CREATE TABLE decoy(x);");
  Seen seen = preview(file("odd?name#1 %41.db"));
  EXPECT_EQ(seen.total, 2000);
}

TEST_F(SQLitePreview, AFailedOpenRemovesItsPrivateCopy) {
  testing::writeFile(file("text.db"), std::string(5000, 'x'));
  testing::writeFile(file("text.db-journal"), std::string(600, 'y'));
  const FileState before = captureState(file("text.db"));
  SQLiteDriver driver;
  driver.previewReadOnly = true;
  EXPECT_THROW(driver.open(file("text.db")), DriverError);
  EXPECT_TRUE(testing::listDirectory(dir_ / "tmp").empty());
  EXPECT_EQ(captureState(file("text.db")), before);
}

}  // namespace
}  // namespace tabvora
