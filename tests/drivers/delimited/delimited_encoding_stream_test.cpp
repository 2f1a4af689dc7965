#include "drivers/delimited/delimited_encoding_stream.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text_encoding.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {
namespace {

using namespace std::string_literals;

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Every way of cutting the bytes in two, and one byte at a time.
std::vector<std::vector<std::string_view>> splits(std::string_view bytes) {
  std::vector<std::vector<std::string_view>> out;
  for (std::size_t cut = 0; cut <= bytes.size(); ++cut) out.push_back({bytes.substr(0, cut), bytes.substr(cut)});
  std::vector<std::string_view> single;
  for (std::size_t i = 0; i < bytes.size(); ++i) single.push_back(bytes.substr(i, 1));
  out.push_back(single);
  return out;
}

TEST(UTF8StreamValidatorTest, PiecesCutAnywhereJudgeAsTheWhole) {
  const std::vector<std::string> cases = {
      "", "plain", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "a\0b"s,
      "\xC3",                  // cut short at the end
      "\xE2\x82",              // cut short at the end
      "\xC0\xAF",              // overlong
      "\xE0\x80\xAF",          // overlong
      "\xED\xA0\x80",          // surrogate
      "\xF4\x90\x80\x80",      // past U+10FFFF
      "\xF5\x80\x80\x80",      // no such lead byte
      "\x80", "a\xBF" "b",     // lone continuation
      "\xE2\x82\xAC\x80",      // one continuation too many
      "\xE2" "a\x82",          // lead interrupted
      "\xF0\x9F\x98",          // four-byte cut short
  };
  for (const std::string& bytes : cases) {
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

TEST(UTF16StreamDecoderTest, PiecesCutAnywhereDecodeAsTheWhole) {
  const std::vector<std::string> cases = {
      "",
      "a\0,\0\xE9\0"s,             // a,é
      "\x3D\xD8\x00\xDE"s,         // U+1F600 as a pair
      "\xFF\xFE\xFF\xFF"s,         // U+FEFF and U+FFFF are characters
      "\x3D\xD8"s,                 // high surrogate at the end
      "\x00\xDE" "a\0"s,           // low surrogate alone
      "\x3D\xD8" "a\0"s,           // high surrogate without its low one
      "\x00\xDE\x3D\xD8"s,         // the pair the wrong way round
      "a\0b"s,                     // odd length
  };
  for (const bool bigEndian : {false, true}) {
    for (std::string bytes : cases) {
      if (bigEndian)
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
      const TextEncoding encoding = bigEndian ? TextEncoding::utf16BigEndian : TextEncoding::utf16LittleEndian;
      const std::optional<std::string> expected = decodeText(bytesOf(bytes), encoding);
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
}  // namespace tabvora
