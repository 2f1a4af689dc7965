#include "drivers/json/json_text_encoding.hpp"

#include <algorithm>
#include <initializer_list>

#include "platform/byte_order_mark.hpp"

namespace tabvora::internal {

namespace {

using Form = JSONTextEncoding::Form;

std::uint32_t unitAt(const std::uint8_t* p, std::size_t size, bool bigEndian) {
  std::uint32_t unit = 0;
  for (std::size_t i = 0; i < size; ++i) unit |= std::uint32_t{p[bigEndian ? i : size - 1 - i]} << (8 * (size - 1 - i));
  return unit;
}

std::size_t putUTF8(std::uint8_t* out, std::uint32_t c) {
  if (c < 0x80) {
    out[0] = static_cast<std::uint8_t>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<std::uint8_t>(0xC0 | (c >> 6));
    out[1] = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<std::uint8_t>(0xE0 | (c >> 12));
    out[1] = static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<std::uint8_t>(0xF0 | (c >> 18));
  out[1] = static_cast<std::uint8_t>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
  return 4;
}

bool isHighSurrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

JSONTextEncoding JSONTextEncoding::detect(std::span<const std::uint8_t> start) {
  using Mark = ByteOrderMark::Encoding;
  switch (const ByteOrderMark mark = ByteOrderMark::sniff(start); mark.encoding) {
    case Mark::utf8: return {Form::utf8, mark.length};
    case Mark::utf16LittleEndian: return {Form::utf16LittleEndian, mark.length};
    case Mark::utf16BigEndian: return {Form::utf16BigEndian, mark.length};
    case Mark::utf32LittleEndian: return {Form::utf32LittleEndian, mark.length};
    case Mark::utf32BigEndian: return {Form::utf32BigEndian, mark.length};
    case Mark::none: break;
  }
  if (start.size() < 4) return {};
  const bool zero[4] = {start[0] == 0, start[1] == 0, start[2] == 0, start[3] == 0};
  if (zero[0] && zero[1] && zero[2] && !zero[3]) return {Form::utf32BigEndian, 0};
  if (!zero[0] && zero[1] && zero[2] && zero[3]) return {Form::utf32LittleEndian, 0};
  if (zero[0] && !zero[1] && zero[2] && !zero[3]) return {Form::utf16BigEndian, 0};
  if (!zero[0] && zero[1] && !zero[2] && zero[3]) return {Form::utf16LittleEndian, 0};
  return {};
}

std::string_view JSONTextEncoding::name() const {
  switch (form) {
    case Form::utf8: return "UTF-8";
    case Form::utf16LittleEndian: return "UTF-16 (little-endian)";
    case Form::utf16BigEndian: return "UTF-16 (big-endian)";
    case Form::utf32LittleEndian: return "UTF-32 (little-endian)";
    case Form::utf32BigEndian: return "UTF-32 (big-endian)";
  }
  return "UTF-8";
}

std::size_t JSONTextEncoding::unitSize() const {
  switch (form) {
    case Form::utf8: return 1;
    case Form::utf16LittleEndian:
    case Form::utf16BigEndian: return 2;
    case Form::utf32LittleEndian:
    case Form::utf32BigEndian: return 4;
  }
  return 1;
}

bool JSONTextEncoding::decode(std::span<const std::uint8_t> bytes, bool complete, ByteBuffer& out) const {
  const std::size_t unit = unitSize();
  const bool bigEndian = form == Form::utf16BigEndian || form == Form::utf32BigEndian;
  std::size_t usable = bytes.size() - bytes.size() % unit;
  if (complete && usable != bytes.size()) return false;  // a cut code unit at the very end
  // UTF-16: a unit of 2 bytes gives at most 3 UTF-8 bytes, a pair of 4 at most 4; UTF-32: 4 at most 4.
  std::uint8_t* target = out.reserveTail(usable / 2 * 3 + 4);
  std::size_t written = 0;
  const std::uint8_t* p = bytes.data();
  for (std::size_t i = 0; i < usable; i += unit) {
    std::uint32_t c = unitAt(p + i, unit, bigEndian);
    if (unit == 2 && isHighSurrogate(c)) {
      if (i + 2 >= usable) {
        if (complete) return false;
        break;  // the pair is cut by the end of the prefix
      }
      const std::uint32_t low = unitAt(p + i + 2, 2, bigEndian);
      if (!isLowSurrogate(low)) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (c > 0x10FFFF || isHighSurrogate(c) || isLowSurrogate(c)) {
      return false;
    }
    written += putUTF8(target + written, c);
  }
  out.commit(written);
  return true;
}

}  // namespace tabvora::internal
