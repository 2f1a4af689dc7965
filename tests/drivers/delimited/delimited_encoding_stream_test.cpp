#include "drivers/delimited/delimited_encoding_stream.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text_encoding.hpp"
#include "platform/unicode_text.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using namespace std::string_literals;

using testing::bytesOf;

// Every way of cutting the bytes in two, and one byte at a time.
std::vector<std::vector<std::string_view>> splits(std::string_view bytes) {
  std::vector<std::vector<std::string_view>> out;
  for (std::size_t cut = 0; cut <= bytes.size(); ++cut) out.push_back({bytes.substr(0, cut), bytes.substr(cut)});
  out.emplace_back();
  for (std::size_t i = 0; i < bytes.size(); ++i) out.back().push_back(bytes.substr(i, 1));
  return out;
}

TEST(EncodingStreamTest, UTF8InPiecesCutAnywhereIsJudgedAsAWhole) {
  for (const std::string& bytes : {""s, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"s, "a\0b"s,
                                   "\xC3"s, "\xF0\x9F\x98"s,                        // cut short
                                   "\xC0\xAF"s, "\xE0\x80\xAF"s,                    // overlong
                                   "\xED\xA0\x80"s, "\xF4\x90\x80\x80"s, "\xF5\x80\x80\x80"s,
                                   "a\xBF" "b"s, "\xE2\x82\xAC\x80"s, "\xE2" "a\x82"s}) {
    for (const auto& pieces : splits(bytes)) {
      UTF8StreamValidator validator;
      for (std::string_view piece : pieces) validator.feed(bytesOf(piece));
      ASSERT_EQ(validator.finish(), isValidUTF8(bytes)) << ::testing::PrintToString(bytes);
    }
  }
  // A character cut by the end of what was fed waits; anything else wrong is found at once.
  UTF8StreamValidator validator;
  EXPECT_TRUE(validator.feed(bytesOf("ab\xF0\x9F\x98")));
  EXPECT_EQ(validator.pendingBytes(), 3u);
  EXPECT_FALSE(UTF8StreamValidator().feed(bytesOf("ab\xC0")));
}

TEST(EncodingStreamTest, UTF16InPiecesCutAnywhereDecodesAsAWhole) {
  // Little-endian: a pair, U+FEFF and U+FFFF, and what is not well-formed: a high surrogate
  // at the end, a low one alone, a high one without its low one, a pair reversed, an odd byte.
  for (const bool bigEndian : {false, true}) {
    for (std::string bytes : {""s, "a\0,\0\xE9\0"s, "\x3D\xD8\x00\xDE"s, "\xFF\xFE\xFF\xFF"s, "\x3D\xD8"s,
                              "\x00\xDE" "a\0"s, "\x3D\xD8" "a\0"s, "\x00\xDE\x3D\xD8"s, "a\0b"s}) {
      if (bigEndian)
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
      const std::optional<std::string> expected =
          decodeText(bytesOf(bytes), bigEndian ? TextEncoding::utf16BigEndian : TextEncoding::utf16LittleEndian);
      for (const auto& pieces : splits(bytes)) {
        UTF16StreamDecoder decoder(bigEndian);
        std::string text;
        for (std::string_view piece : pieces) decoder.feed(bytesOf(piece), &text);
        ASSERT_EQ(decoder.finish(), expected.has_value()) << ::testing::PrintToString(bytes) << bigEndian;
        if (expected) {
          ASSERT_EQ(text, *expected);
        }
      }
    }
  }
  UTF16StreamDecoder decoder(false);
  EXPECT_TRUE(decoder.feed(bytesOf("a\0\x3D\xD8\x00"s), nullptr));
  EXPECT_EQ(decoder.pendingBytes(), 3u);
}

}  // namespace
}  // namespace tabvora::internal
