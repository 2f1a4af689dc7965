#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

void appendSQLStringContent(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '\0') {
      out += kSQLNulJoin;
      continue;
    }
    if (c == '\'') out += '\'';
    out += c;
  }
}

void appendSQLStringLiteral(std::string& out, std::string_view text) {
  out += '\'';
  appendSQLStringContent(out, text);
  out += '\'';
}

std::string sqlStringLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  appendSQLStringLiteral(out, text);
  return out;
}

void appendSQLBlobLiteral(std::string& out, std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "X'";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  out += '\'';
}

std::string quoteIdentifier(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  out += '"';
  for (char c : name) {
    if (c == '\0') continue;
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace tabvora::internal
