#include "drivers/sqlscript/sql_script_text.hpp"

#include <cstdint>
#include <span>

#include "platform/text_encoding.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {

namespace {
std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
}  // namespace

bool SQLScriptText::hasUTF16Mark(std::string_view bytes) {
  return bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
}

std::optional<std::string> SQLScriptText::fromUTF16(std::string_view bytes) {
  return decodeUTF16WithBOM(bytesOf(bytes));
}

std::string SQLScriptText::decode(std::string_view bytes) {
  if (isValidUTF8(bytes)) return std::string(bytes);
  for (TextEncoding encoding : {TextEncoding::windows1252, TextEncoding::isoLatin1})
    if (std::optional<std::string> text = decodeText(bytesOf(bytes), encoding)) return std::move(*text);
  return repairUTF8(bytes);
}

}  // namespace tabvora
