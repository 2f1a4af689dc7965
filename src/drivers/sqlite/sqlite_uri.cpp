#include "drivers/sqlite/sqlite_uri.hpp"

#include <system_error>

namespace tabvora::internal {

namespace {
bool keptInPath(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '/':
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
    case ':':
    case '@': return true;
    default: return false;
  }
}
}  // namespace

std::string sqliteFileURI(const std::filesystem::path& path, std::string_view query) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  const std::string text = (error ? path : absolute).string();
  static constexpr char kHex[] = "0123456789ABCDEF";
  // Three slashes: an empty authority, then the absolute path.
  std::string uri = "file://";
  for (unsigned char c : text) {
    if (keptInPath(c)) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0xF];
    }
  }
  if (!query.empty()) {
    uri += '?';
    uri += query;
  }
  return uri;
}

}  // namespace tabvora::internal
