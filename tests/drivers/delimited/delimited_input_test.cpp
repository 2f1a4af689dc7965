#include "drivers/delimited/delimited_input.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/delimited/delimited_test_records.hpp"
#include "model/driver_error.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using namespace std::string_literals;
using testing::Records;

// Small steps, so files of a few hundred kilobytes show what 64 MB would.
constexpr DelimitedInput::Limits kSmall{50'000, 400'000, 4096};
constexpr std::int64_t kRows = 200;

// What the staging sees of an input: the header and the first kRows data records.
struct Staged {
  TextEncoding encoding;
  char delimiter;
  Records records;
  bool operator==(const Staged&) const = default;
};

Staged stagedOf(const DelimitedInput& input) {
  return {input.encoding(), input.delimiter(), testing::firstRecords(input, kRows + 1)};
}

// A header and `rows` lines of about 60 bytes; `early` goes into data row 3, `late` ends the
// file, far past the first read step.
std::string lines(int rows, std::string_view early = "", std::string_view late = "") {
  std::string text = "id,label,amount\n";
  for (int i = 1; i <= rows; ++i) {
    text += std::to_string(i) + ",label " + std::string(40, static_cast<char>('a' + i % 26)) +
            (i == 3 ? std::string(early) : "") + "," + std::to_string(i) + ".5\n";
  }
  return text + std::string(late) + "\n";
}

std::string utf16LittleEndian(std::string_view ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}

class DelimitedInputTest : public ::testing::Test {
 protected:
  DelimitedInput read(const std::string& bytes, std::optional<std::int64_t> limit,
                      const DelimitedInput::Limits& limits = kSmall) {
    const auto path = dir_ / "data.csv";
    testing::writeFile(path, bytes);
    return DelimitedInput::read(FileReader(path), DatabaseFormat::csv, limit, limits);
  }
  testing::TempDir dir_;
};

TEST_F(DelimitedInputTest, AFirstPartStagesWhatTheWholeFileWould) {
  struct Case {
    const char* name;
    std::string bytes;
    TextEncoding encoding;  // the whole file's
    // A part whose staged records read the same either way may name the other encoding.
    std::optional<TextEncoding> partEncoding = std::nullopt;
  };
  std::string straddling = lines(5000, "\xC3\xA9");
  straddling.replace(kSmall.firstRead - 1, 2, "\xC3\xA9");  // a character cut by the first step
  const std::vector<Case> cases = {
      {"UTF-8 throughout", lines(5000, "\xC3\xA9", "\xE2\x82\xAC"), TextEncoding::utf8},
      {"UTF-8 until the end", lines(5000, "\xC3\xA9", "\xE9"), TextEncoding::windows1252},
      {"UTF-8 after a mark, until the end", "\xEF\xBB\xBF" + lines(5000, "\xC3\xA9", "\xE9"),
       TextEncoding::windows1252},
      {"a character across the first step", straddling, TextEncoding::utf8},
      // Where decoding drops a NUL, the quotes around it pair up differently.
      {"a NUL among the staged rows", lines(5000, ",\"a\"\0\"b\""s, "\xE9"), TextEncoding::windows1252},
      {"Windows-1252", lines(5000, "\x80", "\xE9"), TextEncoding::windows1252},
      {"Windows-1252 until the end", lines(5000, "\x80", "\x81"), TextEncoding::isoLatin1},
      {"Latin 1 throughout", lines(5000, "\x81\x80", "\xE9"), TextEncoding::isoLatin1},
      {"UTF-16", utf16LittleEndian(lines(3000, "x")), TextEncoding::utf16LittleEndian},
      {"UTF-16 until the end", utf16LittleEndian(lines(3000, "x")) + "\x00\xDC"s, TextEncoding::windows1252},
      {"plain rows, Latin 1 at the end", lines(5000, "", "\x81"), TextEncoding::isoLatin1, TextEncoding::utf8},
      {"rows Latin 1 reads alike", lines(5000, "\xE9", "\x81"), TextEncoding::isoLatin1,
       TextEncoding::windows1252},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DelimitedInput whole = read(c.bytes, std::nullopt);
    const DelimitedInput part = read(c.bytes, kRows);
    ASSERT_EQ(whole.encoding(), c.encoding);
    EXPECT_FALSE(part.wholeFile());
    EXPECT_EQ(part.bytesRead(), kSmall.firstRead);
    Staged expected = stagedOf(whole);
    expected.encoding = c.partEncoding.value_or(c.encoding);
    EXPECT_EQ(stagedOf(part), expected);
  }
}

TEST_F(DelimitedInputTest, TheCapCutsRecordsNeverStagesThemAndRefusesAHeaderPastIt) {
  const std::string big(kSmall.maxRead, 'x');
  const std::string shortRows = "h\n1\n2\n";

  // The cut record is left out; the ones before it stay.
  DelimitedInput input = read(shortRows + big + "\n3\n", kRows);
  EXPECT_FALSE(input.wholeFile());
  EXPECT_EQ(input.bytesRead(), kSmall.maxRead);
  EXPECT_EQ(stagedOf(input).records, (Records{{"h"}, {"1"}, {"2"}}));
  // Also when the cut falls inside quotes, whose line breaks end no record.
  input = read("h\n1\n\"open\n" + big, kRows);
  EXPECT_EQ(stagedOf(input).records, (Records{{"h"}, {"1"}}));

  // A header that ends exactly at the cap fits.
  const std::string header(kSmall.maxRead - 1, 'h');
  input = read(header + "\n1\n", kRows);
  EXPECT_EQ(stagedOf(input).records, (Records{{header}}));
  for (const std::string& tooLong : {header + "h\n1\n", "\"" + big + "\"\n1\n", std::string(kSmall.maxRead + 1, '\n')}) {
    const DriverError error = testing::errorOf([&] { read(tooLong, kRows); });
    EXPECT_EQ(error.code(), -1);
    EXPECT_EQ(error.message(), "The first record does not end within the first 400 KB; a preview reads at most 400 KB");
  }
  // Without a row limit the whole file is read.
  EXPECT_EQ(stagedOf(read(header + "h\n1\n", std::nullopt)).records.size(), 2u);
}

}  // namespace
}  // namespace tabvora::internal
