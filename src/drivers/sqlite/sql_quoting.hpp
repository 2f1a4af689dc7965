#pragma once

#include <string>
#include <string_view>

namespace tabvora {

// A name as an SQL identifier: inside double quotes, every inner double quote doubled.
inline std::string quoteIdentifier(std::string_view name) {
  std::string out;
  out.reserve(name.size() + 2);
  out += '"';
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

// Text for the inside of a single-quoted SQL string literal: every apostrophe doubled.
inline std::string escapeStringLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out;
}

}  // namespace tabvora
