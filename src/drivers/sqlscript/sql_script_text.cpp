#include "drivers/sqlscript/sql_script_text.hpp"

#include <cstdint>
#include <span>

#include "platform/sql_quoting.hpp"
#include "platform/text_encoding.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {
std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
}  // namespace

bool SQLScriptText::hasUTF16Mark(std::string_view bytes) {
  return bytes.size() >= 2 &&
         ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
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

std::string SQLScriptText::withBinaryLiteralsAsBlobs(std::string_view statement) {
  std::string out;
  out.reserve(statement.size());
  std::size_t at = 0;
  while (at < statement.size()) {
    if (statement[at] == '"') {  // a quoted identifier, copied whole
      const std::size_t end = statement.find('"', at + 1);
      const std::size_t stop = end == std::string_view::npos ? statement.size() : end + 1;
      out.append(statement.substr(at, stop - at));
      at = stop;
      continue;
    }
    if (statement[at] != '\'') {
      out += statement[at++];
      continue;
    }
    const std::size_t start = at++;
    std::string value;
    while (at < statement.size()) {
      if (statement[at] != '\'') {
        value += statement[at++];
      } else if (statement.substr(at, kSQLNulJoin.size()) == kSQLNulJoin) {
        value += '\0';
        at += kSQLNulJoin.size();
      } else if (at + 1 < statement.size() && statement[at + 1] == '\'') {
        value += '\'';
        at += 2;
      } else {
        break;
      }
    }
    if (at >= statement.size() || isValidUTF8(value)) {  // an unterminated literal is left as written
      out.append(statement.substr(start, at + 1 - start));
    } else {
      appendSQLBlobLiteral(out, value);
    }
    ++at;
  }
  return out;
}

}  // namespace tabvora::internal
