#include <map>
#include <string>
#include <vector>

#include "drivers/json/json_text_encoding.hpp"
#include "json_test_support.hpp"
#include "support/case_file.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

using Form = JSONTextEncoding::Form;

TEST(JSONEncodings, DetectedByMarkOrByTheZeroBytesOfTheFirstFour) {
  constexpr const char* kForms[] = {"UTF-8", "UTF-16LE", "UTF-16BE", "UTF-32LE", "UTF-32BE"};
  for (const TextCase& c : readTextCases("drivers/json/json_text_encoding.cases")) {
    const JSONTextEncoding found = JSONTextEncoding::detect(bytesOf(c.input.at(0)));
    EXPECT_EQ((std::vector<std::string>{kForms[static_cast<int>(found.form)], std::to_string(found.markLength)}), c.expected)
        << c.where;
  }
}

// The files of data/json/encodings.cases, opened in full there, preview like their UTF-8 twins.
TEST(JSONEncodings, UTF16AndUTF32OpenLikeTheirUTF8Twins) {
  TempDir dir;
  std::map<std::string, OpenedJSON> twins;  // by extension
  for (const TextCase& c : readTextCases("data/json/encodings.cases")) {
    const std::string extension = std::filesystem::path(c.word(0)).extension();
    OpenedJSON opened = openJSON(dir, c.word(0), c.joinedInput(), 200);
    if (!twins.contains(extension)) {
      twins.emplace(extension, std::move(opened));
      continue;
    }
    const OpenedJSON& twin = twins.at(extension);
    EXPECT_EQ(opened.columnTypes(), twin.columnTypes()) << c.where;
    EXPECT_EQ(opened.table().rows, twin.table().rows) << c.where;
    EXPECT_EQ(opened.driver->skippedLineCount(), twin.driver->skippedLineCount()) << c.where;
  }
  EXPECT_EQ(twins.size(), 2u);
}

TEST(JSONEncodings, TextInvalidInItsEncodingIsRefusedByName) {
  TempDir dir;
  const std::string loneSurrogate("[\0{\0}\0\x00\xD8]\0", 10);
  EXPECT_EQ(openError(dir, "s.json", loneSurrogate).message(),
            "The file starts like UTF-16 (little-endian) text but is not valid UTF-16 (little-endian)");
  const std::string beyondUnicode("\0\0\0[\0\x11\0\0", 8);
  EXPECT_EQ(openError(dir, "b.jsonl", beyondUnicode).message(),
            "The file starts like UTF-32 (big-endian) text but is not valid UTF-32 (big-endian)");

  // A prefix may end inside a surrogate pair or a code unit: that character is left out.
  const std::string pair("a\0\x3D\xD8\x00\xDE", 6);  // "a" and U+1F600 in UTF-16LE
  for (std::size_t cut : {4u, 5u}) {
    ByteBuffer out;
    const JSONTextEncoding encoding{Form::utf16LittleEndian, 0};
    std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(pair.data()), cut);
    EXPECT_TRUE(encoding.decode(bytes, false, out));
    EXPECT_EQ(out.text(), "a");
    EXPECT_FALSE(encoding.decode(bytes, true, out));
  }
}

}  // namespace
}  // namespace tabvora::testing
