#pragma once

// Case rules of ASCII only, for the names and keywords of formats (SQL keywords, ZIP part
// names, number-format codes, encoding labels): A-Z and a-z pair up, every other byte, the
// bytes of UTF-8 sequences included, is its own case. Text a person reads is compared with
// the Unicode rules of unicode_text.hpp instead.

#include <cstddef>
#include <string>
#include <string_view>

namespace tabvora::internal {

constexpr char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string asciiLowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = asciiLower(c);
  return out;
}

inline std::string asciiUppered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = asciiUpper(c);
  return out;
}

constexpr bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

constexpr bool startsWithIgnoringASCIICase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsIgnoringASCIICase(text.substr(0, prefix.size()), prefix);
}

constexpr bool endsWithIgnoringASCIICase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && equalsIgnoringASCIICase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace tabvora::internal
