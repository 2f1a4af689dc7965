#include "opening/driver_manager.hpp"

#include <sys/stat.h>

#include <sstream>

#include <gtest/gtest.h>

#include <tuple>

#include "model/driver_error.hpp"
#include "support/case_file.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {

std::ostream& operator<<(std::ostream& out, const DriverChoice& choice) {
  return out << driverName(choice.kind) << "/" << DatabaseFormat(choice.format).rawValue();
}

namespace {

using testing::TempDir;
using testing::testData;
using testing::writeFile;

const DriverChoice kSQLite{DriverKind::sqlite, DatabaseFormat::sqlite};
const DriverChoice kXLSX{DriverKind::xlsx, DatabaseFormat::xlsx};
const DriverChoice kXLS{DriverKind::xls, DatabaseFormat::xlsx};
const DriverChoice kParquet{DriverKind::parquet, DatabaseFormat::parquet};
const DriverChoice kCSV{DriverKind::delimited, DatabaseFormat::csv};
const DriverChoice kTSV{DriverKind::delimited, DatabaseFormat::tsv};
const DriverChoice kJSON{DriverKind::json, DatabaseFormat::json};
const DriverChoice kJSONL{DriverKind::json, DatabaseFormat::jsonl};
const DriverChoice kSQLScript{DriverKind::sqlScript, DatabaseFormat::sql};

const std::string kOLE2Magic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
const std::string kZipHeader("PK\x03\x04", 4);

class DriverManagerTest : public ::testing::Test {
 protected:
  DriverChoice chooseFor(const std::string& name, std::string_view bytes) { return DriverManager::choose(dir.write(name, bytes)); }
  DriverChoice chooseForCopy(std::string_view corpusFile, const std::string& name) {
    return DriverManager::choose(dir.copy(corpusFile, name));
  }

  TempDir dir;
};

// Names and bytes are in driver_choice.cases; here what is made by code or needs no file.
TEST_F(DriverManagerTest, NameAndContentDecide) {
  for (const testing::TextCase& c : testing::readTextCases("opening/driver_choice.cases")) {
    std::ostringstream chosen;
    chosen << chooseFor(c.word(0), c.joinedInput());
    if (c.word(1) == "extension") chosen << " " << DriverManager::choose(dir / ("missing-" + c.word(0)));
    EXPECT_EQ(chosen.str(), c.word(1) == "extension" ? c.expected.at(0) + " " + c.expected.at(0) : c.expected.at(0))
        << c.where;
  }
  const std::string lateTab = "a,b\n" + std::string(1100, 'x') + "\tz\n";
  // A tab-separated file whose two-byte "é" straddles the read limit is still text...
  const std::string cutAtLimit = "a\tb\n" + std::string(1019, 'x') + "\xC3\xA9" + "\n";
  ASSERT_EQ(cutAtLimit.substr(1023, 1), "\xC3");
  // ...but a bad byte before the limit still makes it binary.
  const std::string badByte = "a\tb\n" + std::string(1000, 'x') + "\xFF" + std::string(100, 'y');
  const std::tuple<const char*, std::string, DriverChoice> cases[] = {
      {"late-tab", lateTab, kCSV}, {"cut", cutAtLimit, kTSV}, {"bad", badByte, kCSV}};
  for (const auto& [name, bytes, expected] : cases) EXPECT_EQ(chooseFor(name, bytes), expected) << name;

  EXPECT_EQ(DriverManager::choose(dir / "missing.xls"), kXLS);
  std::filesystem::create_directory(dir / "folder.xls");
  EXPECT_EQ(DriverManager::choose(dir / "folder.xls"), kXLS);
  // Real files: the first half of an XLSX package, a Word document named .xls, a Parquet file
  // without a telling name, and UTF-16 text (not UTF-8, so read as comma-separated).
  EXPECT_EQ(chooseForCopy("spreadsheet/truncated_half.xlsx", "report.xls"), kXLSX);
  EXPECT_EQ(chooseForCopy("spreadsheet/word_document_named.xls", "letter.xls"), kXLS);
  EXPECT_EQ(chooseForCopy("parquet/hyparquet_writer.parquet", "export"), kParquet);
  EXPECT_EQ(chooseForCopy("spreadsheet/truncated_half.xlsx", "book.bin"), kXLSX);
  EXPECT_EQ(chooseForCopy("delimited/excel_unicode_text.txt", "unicode.txt"), kCSV);
}

TEST_F(DriverManagerTest, UnreadablePathsGoToTheSQLiteDriverWithoutBlocking) {
  EXPECT_EQ(DriverManager::choose(dir / "missing"), kSQLite);
  std::filesystem::create_directory(dir / "folder");
  EXPECT_EQ(DriverManager::choose(dir / "folder"), kSQLite);
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(DriverManager::choose(dir / "pipe"), kSQLite);  // would hang if opened for reading
  if (testing::makeCharacterDevice(dir / "zero", 1, 5)) {
    EXPECT_EQ(DriverManager::choose(dir / "zero"), kSQLite);
  }
}

// Every driver reads through the checked reader: a folder is refused in the platform's
// words, a missing file in the driver's own. (The XLSX driver alone calls both an archive it
// cannot decompress; the checked open refuses them before it is asked.)
TEST_F(DriverManagerTest, EveryDriverRefusesAFolderAndAMissingFile) {
  const std::string kXLSXMessage = "Failed to decompress XLSX archive";
  const std::tuple<DriverChoice, const char*, std::string> cases[] = {
      {kSQLite, "a.db", "unable to open database file"},
      {kCSV, "a.csv", "Failed to read file at " + (dir / "missing/a.csv").string()},
      {kJSONL, "a.jsonl", "Failed to read file at " + (dir / "missing/a.jsonl").string()},
      {kXLSX, "a.xlsx", kXLSXMessage},
      {kXLS, "a.xls", "Failed to read Excel workbook at " + (dir / "missing/a.xls").string()},
      {kParquet, "a.parquet", "Failed to read Parquet file at " + (dir / "missing/a.parquet").string()},
      {kSQLScript, "a.sql", "Failed to read SQL script at " + (dir / "missing/a.sql").string()},
  };
  for (const auto& [choice, name, missing] : cases) {
    std::filesystem::create_directories(dir / "folder" / name);
    const std::string folder = missing == kXLSXMessage ? missing : "\"" + std::string(name) + "\" is a folder, not a file";
    EXPECT_EQ(testing::errorOf([&] { DriverManager::makeDriver(choice)->open(dir / "folder" / name); }).message(), folder)
        << choice;
    EXPECT_EQ(testing::errorOf([&] { DriverManager::makeDriver(choice)->open(dir / "missing" / name); }).message(), missing)
        << choice;
  }
}

// What the golden corpus cannot see: the file's name and size as every driver reports them,
// and the schema text a staging driver gives the file and its table.
TEST_F(DriverManagerTest, EveryDriverReportsTheFilesNameAndSize) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"sqlite/music.sqlite", std::nullopt},
      {"delimited/My Sales-2024.csv",
       R"(CREATE TABLE "My_Sales_2024" ("id" INTEGER, "name" TEXT, "price" REAL, "code" TEXT);)"},
      {"json/sales-2024 q1.json", R"(CREATE TABLE "sales_2024_q1" ("b" INTEGER, "a" TEXT, "d" BOOLEAN);)"},
      {"spreadsheet/libreoffice.xlsx", std::nullopt}, {"spreadsheet/libreoffice.xls", std::nullopt},
      {"parquet/values.parquet", std::nullopt}, {"sqlscript/pg_dump.sql", std::nullopt},
  };
  for (const auto& [file, ddl] : cases) {
    const std::filesystem::path path = testData(file);
    auto driver = DriverManager::makeDriver(DriverManager::choose(path));
    const DatabaseMetadata metadata = driver->open(path);
    EXPECT_EQ(metadata.name, path.filename().string());
    EXPECT_EQ(metadata.fileSize, static_cast<std::int64_t>(std::filesystem::file_size(path))) << file;
    if (!ddl) continue;
    EXPECT_EQ(metadata.schemaDDL, *ddl);
    EXPECT_EQ(metadata.tables.at(0).sqlDDL, *ddl);
    EXPECT_EQ(metadata.tables.at(0).sizeBytes, metadata.fileSize);
  }
}

// Which class each choice makes shows in the messages of EveryDriverRefusesAFolderAndAMissingFile.
TEST(DriverManagerConstruction, EachCallGivesANewUnopenedDriver) {
  // Each call gives a driver of its own: opening one leaves the other unopened.
  TempDir dir;
  dir.copy("sqlite/music.sqlite", "x.db");
  auto first = DriverManager::shared().driver(dir / "x.db");
  auto second = DriverManager::shared().driver(dir / "x.db");
  ASSERT_NE(first.get(), second.get());
  first->open(dir / "x.db");
  EXPECT_TRUE(first->currentURL());
  EXPECT_FALSE(second->currentURL());
  first->close();
}

}  // namespace
}  // namespace tabvora::internal
