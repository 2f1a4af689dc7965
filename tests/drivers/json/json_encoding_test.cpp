#include <string>
#include <vector>

#include "drivers/json/json_text_encoding.hpp"
#include "json_test_support.hpp"
#include "support/case_file.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;
namespace {

using Form = JSONTextEncoding::Form;

void put(std::string& out, std::uint32_t unit, int size, bool bigEndian) {
  for (int k = 0; k < size; ++k) out += static_cast<char>(unit >> (8 * (bigEndian ? size - 1 - k : k)));
}

// The text in a UTF-16 or UTF-32 form, after its byte-order mark when asked for.
std::string encoded(std::string_view utf8, Form form, bool mark) {
  const bool big = form == Form::utf16BigEndian || form == Form::utf32BigEndian;
  const int size = form == Form::utf16LittleEndian || form == Form::utf16BigEndian ? 2 : 4;
  std::string out;
  if (mark) put(out, 0xFEFF, size, big);
  for (std::size_t at = 0; at < utf8.size();) {
    const char32_t c = decodeUTF8(utf8, at);
    if (size == 2 && c >= 0x10000) {
      put(out, 0xD800 + ((c - 0x10000) >> 10), 2, big);
      put(out, 0xDC00 + ((c - 0x10000) & 0x3FF), 2, big);
    } else {
      put(out, c, size, big);
    }
  }
  return out;
}

TEST(JSONEncodings, DetectedByMarkOrByTheZeroBytesOfTheFirstFour) {
  constexpr const char* kForms[] = {"UTF-8", "UTF-16LE", "UTF-16BE", "UTF-32LE", "UTF-32BE"};
  for (const TextCase& c : readTextCases("drivers/json/json_text_encoding.cases")) {
    const JSONTextEncoding found = JSONTextEncoding::detect(bytesOf(c.input.at(0)));
    EXPECT_EQ((std::vector<std::string>{kForms[static_cast<int>(found.form)], std::to_string(found.markLength)}), c.expected)
        << c.where;
  }
}

TEST(JSONEncodings, UTF16AndUTF32OpenLikeTheirUTF8Twins) {
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"doc.json", "[{\"k\":\"caf\xC3\xA9 \xF0\x9F\x98\x80\",\"n\":1.5},{\"k\":\"x\",\"b\":true}]"},
      {"lines.jsonl", "{\"k\":\"\xE4\xB8\xAD\"}\r\n\nnot json\n{\"k\":\"\xF0\x9F\x98\x80\",\"n\":2}\n"},
  };
  for (const auto& [name, text] : files) {
    const OpenedJSON twin = openJSON(dir, "twin_" + name, "\xEF\xBB\xBF" + text, 200);
    for (Form form : {Form::utf16LittleEndian, Form::utf16BigEndian, Form::utf32LittleEndian, Form::utf32BigEndian}) {
      for (bool mark : {false, true}) {
        SCOPED_TRACE(name + " form " + std::to_string(static_cast<int>(form)) + (mark ? " with mark" : ""));
        const OpenedJSON opened = openJSON(dir, name, encoded(text, form, mark), 200);
        EXPECT_EQ(opened.columnTypes(), twin.columnTypes());
        EXPECT_EQ(opened.table().rows, twin.table().rows);
        EXPECT_EQ(opened.driver->skippedLineCount(), twin.driver->skippedLineCount());
      }
    }
  }
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
  const std::string pair = encoded("a\xF0\x9F\x98\x80", Form::utf16LittleEndian, false);
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
