#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <thread>

#include "drivers/delimited/delimited_driver_fixture.hpp"
#include "drivers/delimited/delimited_input.hpp"
#include "platform/file_reader.hpp"

namespace tabvora {
namespace {

using namespace std::string_literals;

TEST_F(DelimitedDriverTest, StagesTypedColumnsAndReportsMetadata) {
  const auto path = write("My Sales-2024.csv", "id,name,price,code\n1, Ann ,2.50,007\n 2 ,Bob,3,010\n3,,,\n4\n");
  DelimitedDriver driver(DatabaseFormat::csv);
  const DatabaseMetadata metadata = driver.open(path);

  EXPECT_EQ(metadata.name, "My Sales-2024.csv");
  EXPECT_EQ(metadata.format, DatabaseFormat::csv);
  EXPECT_EQ(metadata.fileSize, static_cast<std::int64_t>(std::filesystem::file_size(path)));
  const std::string ddl = "CREATE TABLE \"My_Sales_2024\" (\"id\" INTEGER, \"name\" TEXT, \"price\" REAL, \"code\" TEXT);";
  EXPECT_EQ(metadata.schemaDDL, ddl);
  EXPECT_EQ(metadata.tables, (std::vector<TableMetadata>{{"My_Sales_2024", TableType::table, 4, 4, metadata.fileSize, ddl}}));

  const DataTable table = all(driver);
  ASSERT_EQ(table.rows.size(), 4u);
  EXPECT_EQ(table.rows[0].values[0], CellValue::integer(1));
  EXPECT_EQ(table.rows[0].values[1], CellValue::text(" Ann "));  // text keeps its spaces
  EXPECT_EQ(table.rows[0].values[2], CellValue::real(2.5));
  EXPECT_EQ(table.rows[0].values[3], CellValue::text("007"));
  EXPECT_EQ(table.rows[1].values[0], CellValue::integer(2));  // numbers lose theirs
  EXPECT_EQ(table.rows[1].values[2], CellValue::real(3));
  EXPECT_TRUE(table.rows[2].values[1].isNull());  // empty field
  EXPECT_TRUE(table.rows[3].values[3].isNull());  // short row
  EXPECT_EQ(table.rows[3].rowid, 4);
}

TEST_F(DelimitedDriverTest, DelimiterLineEndsAndReportedFormat) {
  DelimitedDriver driver(DatabaseFormat::csv);
  EXPECT_EQ(driver.open(write("2024 tabs.csv", "a\tb\n1\t2\n")).format, DatabaseFormat::tsv);
  EXPECT_EQ(driver.primaryTableName(), "t_2024_tabs");
  driver.open(write("report.tab", "a,b\tc\n1,2\t3\n"));
  EXPECT_EQ(columnNames(driver), (Names{"a,b", "c"}));
  driver.open(write("tie.csv", "a,b;x\r\ny;z,w\r\n"));
  EXPECT_TRUE(driver.usesCRLF());
  EXPECT_EQ(texts(driver), (Rows{{"y;z", "w"}}));
}

TEST_F(DelimitedDriverTest, RealFilesOpenWithTheirColumnsAndRows) {
  struct Expected {
    const char* file;
    TextEncoding encoding;
    DatabaseFormat format;
    Names columns;
    std::size_t rowCount;
    std::vector<CellValue> first, last;
  };
  const std::vector<Expected> cases = {
      // A CR LF inside quotes is read as LF, and number columns are typed (10.50 is 10.5).
      {"csv_module.csv", TextEncoding::utf8, DatabaseFormat::csv, {"id", "name", "comment", "amount"}, 5,
       {CellValue::integer(1), CellValue::text("Smith, John"), CellValue::text("He said \"hi\""), CellValue::real(10.5)},
       {CellValue::integer(5), CellValue::text("\xC3\x9Cn\xC3\xAF" "c\xC3\xB8" "d\xC3\xA9 \xE2\x9C\x93"),
        CellValue::text("emoji \xF0\x9F\x98\x80"), CellValue::null()}},
      {"dup_empty_headers.csv", TextEncoding::utf8, DatabaseFormat::csv,
       {"Name", "name_1", "col_3", "Name_2", "col_5", "value"}, 2,
       {CellValue::text("a"), CellValue::text("b"), CellValue::text("c"), CellValue::text("d"), CellValue::text("e"),
        CellValue::integer(1)},
       {CellValue::text("f"), CellValue::text("g"), CellValue::text("h"), CellValue::text("i"), CellValue::text("j"),
        CellValue::integer(2)}},
      {"excel_unicode_text.txt", TextEncoding::utf16LittleEndian, DatabaseFormat::tsv, {"Product", "Price", "Note"}, 3,
       {CellValue::text("Widget"), CellValue::real(9.99), CellValue::text("na\xC3\xAFve caf\xC3\xA9")},
       {CellValue::text("Gizmo"), CellValue::real(0.25),
        CellValue::text("\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC")}},
      {"semicolon_decimal_comma.csv", TextEncoding::utf8, DatabaseFormat::csv, {"Artikel", "Preis", "Menge", "Summe"}, 3,
       {CellValue::text("\xC3\x84pfel"), CellValue::text("1,99"), CellValue::integer(10), CellValue::text("19,9")},
       {CellValue::text("Kirschen"), CellValue::text("12,0"), CellValue::integer(7), CellValue::text("84,0")}},
      {"windows1252.csv", TextEncoding::windows1252, DatabaseFormat::csv, {"nom", "note", "valeur"}, 5,
       {CellValue::text("Caf\xC3\xA9"), CellValue::text("cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e"), CellValue::integer(1)},
       {CellValue::text("Prix \xE2\x82\xAC"), CellValue::text("5 \xE2\x82\xAC"), CellValue::integer(5)}},
  };
  for (const Expected& expected : cases) {
    SCOPED_TRACE(expected.file);
    DelimitedDriver driver(DatabaseFormat::csv);
    const DatabaseMetadata metadata = driver.open(testing::testData(std::string("delimited/") + expected.file));
    EXPECT_EQ(metadata.format, expected.format);
    EXPECT_EQ(driver.sourceEncoding(), expected.encoding);
    EXPECT_EQ(columnNames(driver), expected.columns);
    const DataTable table = all(driver);
    ASSERT_EQ(table.rows.size(), expected.rowCount);
    EXPECT_EQ(table.rows.front().values, expected.first);
    EXPECT_EQ(table.rows.back().values, expected.last);
  }

  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(testing::testData("delimited/csv_module.csv"));
  EXPECT_EQ(texts(driver)[1][2], "first line\nsecond line");
  EXPECT_EQ(texts(driver)[3][1], "  padded  ");
}

TEST_F(DelimitedDriverTest, EmptyAndUnreadableFilesAreRefused) {
  for (const std::string& content : {""s, "\xEF\xBB\xBF"s, "\n\r\n\r\r\n"s, "\xFF\xFE"s, "\0\0\n"s}) {
    for (const std::optional<std::int64_t> limit : {std::optional<std::int64_t>(), std::optional<std::int64_t>(200)}) {
      DelimitedDriver driver(DatabaseFormat::csv);
      driver.previewRowLimit = limit;
      const auto path = write("empty.csv", content);
      const DriverError error = errorOf([&] { driver.open(path); });
      EXPECT_EQ(error.domain(), "DelimitedDriver");
      EXPECT_EQ(error.code(), -1);
      EXPECT_EQ(error.message(), "File is empty") << content.size();
    }
  }
  std::filesystem::create_directory(dir_ / "folder.csv");
  const std::vector<std::pair<std::filesystem::path, std::string>> unreadable = {
      {dir_ / "missing.csv", "Failed to read file at " + (dir_ / "missing.csv").string()},
      {dir_ / "folder.csv", "\"folder.csv\" is a folder, not a file"},
  };
  for (const auto& [path, message] : unreadable) {
    DelimitedDriver driver(DatabaseFormat::csv);
    EXPECT_EQ(errorOf([&] { driver.open(path); }).message(), message);
  }
}

// Cuts a file to nothing as soon as something has read from it.
class CutAfterFirstRead {
 public:
  explicit CutAfterFirstRead(const std::filesystem::path& path) : watch_(::inotify_init1(IN_CLOEXEC)) {
    EXPECT_GE(::inotify_add_watch(watch_, path.c_str(), IN_ACCESS), 0);
    cutter_ = std::thread([this, path] {
      pollfd event{watch_, POLLIN, 0};
      if (::poll(&event, 1, 10'000) == 1) std::filesystem::resize_file(path, 0);
    });
  }
  ~CutAfterFirstRead() {
    cutter_.join();
    ::close(watch_);
  }

 private:
  int watch_;
  std::thread cutter_;
};

TEST_F(DelimitedDriverTest, AFileCutShortWhileItIsReadIsReported) {
  // The header is longer than a preview's first read, so the preview reads a second time,
  // when the file is already empty. The cut races the driver: an attempt that loses it opens
  // the whole file, which is fine; one of a few must see the cut.
  for (const char filler : {'a', '\xE9'}) {
    SCOPED_TRACE(filler);
    const std::string text = "h" + std::string(3'000'000, filler) + "\n1\n";
    bool reported = false;
    for (int attempt = 0; attempt < 20 && !reported; ++attempt) {
      const auto path = write("cut.csv", text);
      DelimitedDriver driver(DatabaseFormat::csv);
      driver.previewRowLimit = 200;
      CutAfterFirstRead cut(path);
      try {
        driver.open(path);
      } catch (const DriverError& error) {
        EXPECT_EQ(error.message(), FileReader::kChangedMessage);
        reported = true;
      }
    }
    EXPECT_TRUE(reported);
  }
}

TEST_F(DelimitedDriverTest, HostileInputGivesAResultOrAClearError) {
  // Binary noise named .csv: every byte value, many times over. Not UTF-8, and holding bytes
  // Windows-1252 leaves undefined, it reads as Latin 1.
  std::string noise;
  for (int round = 0; round < 64; ++round)
    for (int b = 0; b < 256; ++b) noise += static_cast<char>((b * 37 + round) & 0xFF);
  DelimitedDriver driver(DatabaseFormat::csv);
  driver.open(write("noise.csv", noise));
  EXPECT_EQ(driver.sourceEncoding(), TextEncoding::isoLatin1);
  EXPECT_EQ(driver.activeDelimiter(), ',');
  EXPECT_EQ(driver.allColumns().size(), 3u);
  EXPECT_EQ(driver.totalRows(), 128);

  // NUL bytes are dropped everywhere, in every encoding, and never cut a statement short.
  const std::vector<std::pair<std::string, std::string>> withNUL = {
      {"\0a\0,\0b\n\0\x31\0,\0\"x\0y\"\0\n\0"s, "a"},
      {"\xFF\xFE\0\0a\0\0\0,\0b\0\n\0\x31\0,\0x\0\0\0y\0"s, "a"},
      {"a\0\xE9,b\n1,x\0y\n"s, "a\xC3\xA9"},
  };
  for (const auto& [bytes, first] : withNUL) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    const DatabaseMetadata metadata = driver.open(write("nul.csv", bytes));
    EXPECT_EQ(columnNames(driver), (Names{first, "b"}));
    EXPECT_EQ(metadata.schemaDDL, "CREATE TABLE \"nul\" (\"" + first + "\" INTEGER, \"b\" TEXT);");
    EXPECT_EQ(texts(driver), (Rows{{"1", "xy"}}));
  }

  // 5,000 columns exceed what the staging store takes.
  const std::string wide = std::string(4999, ',') + "\n1\n";
  const DriverError error = errorOf([&] { driver.open(write("wide.csv", wide)); });
  EXPECT_EQ(error.code(), -1);
  EXPECT_EQ(error.message(), "Too many columns: the file has 5000 and at most 2000 can be loaded");

  // Exactly at the limit it works.
  driver.open(write("limit.csv", std::string(1999, ',') + "\n1\n"));
  EXPECT_EQ(driver.allColumns().size(), 2000u);
}

TEST_F(DelimitedDriverTest, APreviewReadsNoMoreThanItsCap) {
  constexpr std::size_t kCap = DelimitedInput::kPreviewLimits.maxRead;
  DelimitedDriver preview(DatabaseFormat::csv);
  preview.previewRowLimit = 200;

  // A record that ends at the cap is staged; one byte longer, it is cut and left out, and the
  // preview cannot be saved over the file. An open without a limit reads it all.
  std::string text = "h\n" + std::string(kCap - 3, 'x') + "\n2\n";
  preview.open(write("fits.csv", text));
  EXPECT_EQ(preview.totalRows(), 1);
  text.insert(2, "x");
  const auto cut = write("cut.csv", text);
  preview.open(cut);
  EXPECT_EQ(preview.totalRows(), 0);
  EXPECT_EQ(errorOf([&] { preview.saveChanges(); }).code(), -2);
  DelimitedDriver full(DatabaseFormat::csv);
  full.open(cut);
  EXPECT_EQ(full.totalRows(), 2);
}

}  // namespace
}  // namespace tabvora
