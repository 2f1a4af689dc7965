// Connections that inspect a file against crafted files and statements: a journal naming a
// file elsewhere, endless views and huge values.

#include <gtest/gtest.h>
#include <stdlib.h>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/sqlite_test_database.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {
namespace {

using namespace tabvora::testing;
using namespace std::chrono_literals;

void putBigEndian32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// A hot rollback journal with no page records whose trailer names `superJournal`. Rolling
// it back makes SQLite read that file as a list of child journals and, finding none of
// them, delete it.
std::string journalNamingSuperJournal(const std::string& superJournal, std::uint32_t pageCount) {
  static constexpr char kMagic[] = "\xd9\xd5\x05\xf9\x20\xa1\x63\xd7";
  constexpr std::uint32_t kSectorSize = 512, kPageSize = 4096;
  std::string journal(kMagic, 8);
  putBigEndian32(journal, 0);          // records
  putBigEndian32(journal, 0);          // checksum seed
  putBigEndian32(journal, pageCount);  // pages before the transaction
  putBigEndian32(journal, kSectorSize);
  putBigEndian32(journal, kPageSize);
  journal.resize(kSectorSize, '\0');
  putBigEndian32(journal, (1u << 30) / kPageSize + 1);  // the page number that marks the trailer
  journal += superJournal;
  putBigEndian32(journal, static_cast<std::uint32_t>(superJournal.size()));
  std::uint32_t checksum = 0;
  for (char c : superJournal) checksum += static_cast<std::uint32_t>(static_cast<signed char>(c));
  putBigEndian32(journal, checksum);
  journal.append(kMagic, 8);
  return journal;
}

class SQLiteInspection : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"tmp", "files", "elsewhere"}) std::filesystem::create_directory(dir_ / folder);
    makeDatabase(database, numberedRows(300));
  }

  SQLiteDriver& inspect(const std::filesystem::path& path) {
    driver_.previewReadOnly = true;
    driver_.open(path);
    return driver_;
  }

  TempDir dir_;
  const ScopedEnvironment tmp_{"TMPDIR", (dir_ / "tmp").string()};
  const std::filesystem::path database = dir_ / "files" / "t.db";
  SQLiteDriver driver_;
};

TEST_F(SQLiteInspection, AJournalNamingAFileElsewhereDeletesNothing) {
  const std::filesystem::path absolute = dir_ / "elsewhere" / "precious.txt";
  const std::filesystem::path relative = dir_ / "elsewhere" / "relative.txt";
  const std::string relativeName = std::filesystem::relative(relative, std::filesystem::current_path()).string();
  ASSERT_FALSE(relativeName.starts_with("/"));
  const auto pages = static_cast<std::uint32_t>(std::filesystem::file_size(database) / 4096);

  // The journal is hostile: an ordinary read-write connection deletes the file it names.
  const std::filesystem::path bait = dir_ / "elsewhere" / "bait.txt";
  writeFile(bait, "anything");
  std::filesystem::copy_file(database, dir_ / "elsewhere" / "copy.db");
  writeFile(dir_ / "elsewhere" / "copy.db-journal", journalNamingSuperJournal(bait.string(), pages));
  RawConnection(dir_ / "elsewhere" / "copy.db").exec("SELECT count(*) FROM t;");
  ASSERT_FALSE(std::filesystem::exists(bait));

  for (const std::string& victim : {absolute.string(), relativeName}) {
    SCOPED_TRACE(victim);
    writeFile(victim, "precious\n");
    writeFile(database.string() + "-journal", journalNamingSuperJournal(victim, pages));
    const FileState before = captureState(database);
    SQLiteDriver driver;
    driver.previewReadOnly = true;
    // The rollback stops at the refused delete; the copy is then read as it stands.
    EXPECT_EQ(driver.open(database).tables.at(0).rowCount, 300);
    driver.close();
    EXPECT_EQ(readFile(victim), "precious\n");
    EXPECT_EQ(captureState(database), before);
    EXPECT_TRUE(listDirectory(dir_ / "tmp").empty());
  }
}

// Statements that write or attach are refused: command-line cases (apps/tabvora/cases/tables_and_query.test).

TEST_F(SQLiteInspection, EndlessStatementsAreInterruptedAtTheTimeLimit) {
  makeDatabase(dir_ / "files" / "endless.db",
               "CREATE VIEW a_endless AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
               "SELECT x FROM r; "
               "CREATE VIEW b_sorted AS SELECT * FROM a_endless ORDER BY x DESC; "
               "CREATE TABLE c(x); INSERT INTO c VALUES (1);");
  driver_.statementTimeLimit = 100ms;
  SQLiteDriver& driver = inspect(dir_ / "files" / "endless.db");
  // The first rows of an endless view come at once; only its count never ends.
  DataTable page = driver.fetchTableData("a_endless", 50, 0);
  EXPECT_EQ(page.rows.size(), 50u);
  EXPECT_EQ(page.totalRowCount, 50);
  EXPECT_EQ(errorOf([&] { driver.fetchTableData("b_sorted", 50, 0); }).message(), "interrupted");
  EXPECT_EQ(errorOf([&] { driver.query("SELECT count(*) FROM a_endless"); }).message(), "interrupted");
  // Each statement gets the whole limit again.
  EXPECT_EQ(driver.query("SELECT x FROM c").rows.size(), 1u);
}

TEST_F(SQLiteInspection, ValuesAreBoundedAndCutForPages) {
  std::string accented;
  for (int i = 0; i < 30000; ++i) accented += "\xC3\xA9";  // é, two bytes each
  RawConnection(database).exec("CREATE TABLE wide(v); INSERT INTO wide VALUES ('" + accented +
                               "'); CREATE VIEW zeros AS SELECT zeroblob(300000000) AS v;");
  driver_.cellByteLimit = 40001;
  SQLiteDriver& driver = inspect(database);
  EXPECT_EQ(errorOf([&] { driver.fetchTableData("zeros", 50, 0); }).message(), "string or blob too big");

  const std::string cut = driver.fetchTableData("wide", 50, 0).rows.at(0)[0].stringValue();
  EXPECT_EQ(cut.size(), 40000u) << "cut at the last whole character within the limit";
  EXPECT_TRUE(isValidUTF8(cut));
  driver.cellByteLimit.reset();
  EXPECT_EQ(driver.fetchTableData("wide", 50, 0).rows.at(0)[0].stringValue(), accented);
}

}  // namespace
}  // namespace tabvora::internal
