#include "platform/text_encoding.hpp"

#include <memory>
#include <string>

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include "platform/byte_order_mark.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

const char* converterName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::utf8: return "UTF-8";
    case TextEncoding::utf16LittleEndian: return "UTF-16LE";
    case TextEncoding::utf16BigEndian: return "UTF-16BE";
    case TextEncoding::windows1250: return "windows-1250";
    case TextEncoding::windows1251: return "windows-1251";
    case TextEncoding::windows1252: return "windows-1252";
    case TextEncoding::windows1253: return "windows-1253";
    case TextEncoding::windows1254: return "windows-1254";
    case TextEncoding::macOSRoman: return "macintosh";
    case TextEncoding::isoLatin1: return "ISO-8859-1";
    case TextEncoding::shiftJIS: return "Shift_JIS";
  }
  return "UTF-8";
}

bool isWindowsCodePage(TextEncoding encoding) {
  return encoding == TextEncoding::windows1250 || encoding == TextEncoding::windows1251 ||
         encoding == TextEncoding::windows1252 || encoding == TextEncoding::windows1253 ||
         encoding == TextEncoding::windows1254;
}

// The Windows code pages leave a few bytes of 0x80-0x9F undefined (0x81, 0x8D, 0x8F, 0x90
// and 0x9D in 1252). ICU maps them to the C1 controls of the same value; we treat them as
// undefined in both directions, so that text that merely happens to contain such a byte
// is not taken for Windows text.
bool containsC1Control(const std::u16string& text) {
  for (char16_t c : text) {
    if (c >= 0x80 && c <= 0x9F) return true;
  }
  return false;
}

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// A converter that stops at the first undefined or unmappable sequence.
Converter strictConverter(TextEncoding encoding) {
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open(converterName(encoding), &status));
  if (U_FAILURE(status) || !converter) return nullptr;
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return nullptr;
  ucnv_setFallback(converter.get(), false);
  return converter;
}

std::optional<std::string> utf16ToUTF8(const std::u16string& text) {
  std::string out;
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strToUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(length));
  status = U_ZERO_ERROR;
  u_strToUTF8(out.data(), length, &length, text.data(), static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;  // an unpaired surrogate
  return out;
}

std::optional<std::u16string> utf8ToUTF16(std::string_view text) {
  std::u16string out;
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(length));
  status = U_ZERO_ERROR;
  u_strFromUTF8(out.data(), length, &length, text.data(), static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  return out;
}

std::optional<std::string> decodeLatin1(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (std::uint8_t b : bytes) appendUTF8(out, b);
  return out;
}

}  // namespace

std::optional<std::string> decodeText(std::span<const std::uint8_t> bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::utf8) {
    if (!isValidUTF8(bytes)) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  if (encoding == TextEncoding::isoLatin1) return decodeLatin1(bytes);
  // ICU measures buffers in int32_t.
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX / 2)) return std::nullopt;

  Converter converter = strictConverter(encoding);
  if (!converter) return std::nullopt;
  // Every supported encoding yields at most one UTF-16 unit per byte, except UTF-16 itself
  // which yields fewer; the margin covers a pending surrogate pair.
  std::u16string text(bytes.size() + 2, u'\0');
  const char* source = reinterpret_cast<const char*>(bytes.data());
  const char* sourceEnd = source + bytes.size();
  UChar* target = reinterpret_cast<UChar*>(text.data());
  UChar* targetEnd = target + text.size();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(converter.get(), &target, targetEnd, &source, sourceEnd, nullptr, true, &status);
  if (U_FAILURE(status)) return std::nullopt;
  text.resize(static_cast<std::size_t>(target - reinterpret_cast<UChar*>(text.data())));
  if (isWindowsCodePage(encoding) && containsC1Control(text)) return std::nullopt;
  return utf16ToUTF8(text);
}

std::optional<std::string> decodeUTF16WithBOM(std::span<const std::uint8_t> bytes) {
  const ByteOrderMark mark = ByteOrderMark::sniff(bytes, ByteOrderMark::Marks::utf8AndUTF16);
  switch (mark.encoding) {
    case ByteOrderMark::Encoding::utf16LittleEndian:
      return decodeText(bytes.subspan(mark.length), TextEncoding::utf16LittleEndian);
    case ByteOrderMark::Encoding::utf16BigEndian:
      return decodeText(bytes.subspan(mark.length), TextEncoding::utf16BigEndian);
    default: return std::nullopt;
  }
}

std::optional<std::string> encodeText(std::string_view utf8, TextEncoding encoding) {
  if (!isValidUTF8(utf8)) return std::nullopt;
  if (encoding == TextEncoding::utf8) return std::string(utf8);
  if (utf8.size() > static_cast<std::size_t>(INT32_MAX / 4)) return std::nullopt;
  std::optional<std::u16string> text = utf8ToUTF16(utf8);
  if (!text) return std::nullopt;
  if (isWindowsCodePage(encoding) && containsC1Control(*text)) return std::nullopt;

  Converter converter = strictConverter(encoding);
  if (!converter) return std::nullopt;
  // Four bytes per UTF-16 unit covers every supported encoding.
  std::string out(text->size() * 4 + 4, '\0');
  const UChar* source = reinterpret_cast<const UChar*>(text->data());
  const UChar* sourceEnd = source + text->size();
  char* target = out.data();
  char* targetEnd = target + out.size();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_fromUnicode(converter.get(), &target, targetEnd, &source, sourceEnd, nullptr, true, &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<std::size_t>(target - out.data()));
  return out;
}

}  // namespace tabvora::internal
