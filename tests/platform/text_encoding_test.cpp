// Strict conversions between UTF-8 and the legacy encodings files arrive in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text_encoding.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::bytesOf;

std::optional<std::string> decode(std::string_view bytes, TextEncoding encoding) {
  return decodeText(bytesOf(bytes), encoding);
}

TEST(TextEncoding, RoundTripsEachEncoding) {
  const std::vector<std::pair<TextEncoding, std::string>> samples = {
      {TextEncoding::utf8, "ünïcödé 😀"},
      {TextEncoding::utf16LittleEndian, "Ελληνικά 😀"},
      {TextEncoding::utf16BigEndian, "日本語"},
      {TextEncoding::windows1250, "Zażółć gęślą"},
      {TextEncoding::windows1251, "Привет"},
      {TextEncoding::windows1252, "Œuvre l’été 5 €"},
      {TextEncoding::windows1253, "Καλημέρα"},
      {TextEncoding::windows1254, "İstanbul ğş"},
      {TextEncoding::macOSRoman, "café ƒ π"},
      {TextEncoding::isoLatin1, "Müller ÿ"},
      {TextEncoding::shiftJIS, "日本語テキスト"},
  };
  for (const auto& [encoding, text] : samples) {
    const std::optional<std::string> encoded = encodeText(text, encoding);
    ASSERT_TRUE(encoded.has_value()) << text;
    EXPECT_EQ(decode(*encoded, encoding), text) << text;
  }
  EXPECT_EQ(encodeText("€", TextEncoding::windows1252), "\x80");
  EXPECT_EQ(encodeText("A", TextEncoding::utf16BigEndian), std::string("\0A", 2));  // no mark
}

TEST(TextEncoding, UndefinedBytesFailWindows1252ButNotLatin1) {
  for (char undefined : {'\x81', '\x8D', '\x8F', '\x90', '\x9D'}) {
    const std::string bytes = std::string("ab") + undefined;
    EXPECT_FALSE(decode(bytes, TextEncoding::windows1252).has_value());
    EXPECT_TRUE(decode(bytes, TextEncoding::isoLatin1).has_value());
  }
  EXPECT_FALSE(encodeText("\u0081", TextEncoding::windows1252).has_value());
  EXPECT_EQ(decode("\xE9", TextEncoding::isoLatin1), "é");
}

TEST(TextEncoding, MalformedInputFails) {
  EXPECT_FALSE(decode("\xC3", TextEncoding::utf8).has_value());
  EXPECT_FALSE(decode("a", TextEncoding::utf16LittleEndian).has_value());  // odd length
  EXPECT_FALSE(decode(std::string("\x00\xD8", 2), TextEncoding::utf16LittleEndian).has_value());
  EXPECT_FALSE(decode("\x81", TextEncoding::shiftJIS).has_value());  // lead byte alone
  EXPECT_FALSE(encodeText("\xFF", TextEncoding::isoLatin1).has_value());
  EXPECT_FALSE(encodeText("€", TextEncoding::isoLatin1).has_value());
  EXPECT_FALSE(encodeText("日本", TextEncoding::windows1252).has_value());
  EXPECT_EQ(decode("", TextEncoding::shiftJIS), "");
}

}  // namespace
}  // namespace tabvora::internal
