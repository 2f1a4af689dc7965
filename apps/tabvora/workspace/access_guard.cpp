#include "access_guard.hpp"

#include <cerrno>
#include <system_error>
#include <vector>

#include <sys/random.h>

namespace tabvora::workspace {

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// "NAME:PORT" with NAME 127.0.0.1 or localhost and PORT exactly the server's.
bool namesServer(std::string_view hostAndPort, int port) {
  std::string suffix = std::to_string(port);
  suffix.insert(suffix.begin(), ':');
  if (!hostAndPort.ends_with(suffix)) return false;
  const std::string_view name = hostAndPort.substr(0, hostAndPort.size() - suffix.size());
  return name == "127.0.0.1" || equalIgnoringCase(name, "localhost");
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string randomSecret(std::size_t bytes) {
  std::vector<unsigned char> random(bytes);
  std::size_t filled = 0;
  while (filled < bytes) {
    const ssize_t n = ::getrandom(random.data() + filled, bytes - filled, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::system_error(n < 0 ? errno : EIO, std::generic_category(), "no random bytes");
    filled += static_cast<std::size_t>(n);
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes * 2);
  for (unsigned char byte : random) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xf];
  }
  return text;
}

bool sameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

bool AccessGuard::hostAllowed(std::string_view host) const { return namesServer(host, port_); }

bool AccessGuard::originAllowed(std::string_view origin) const {
  constexpr std::string_view kScheme = "http://";
  return origin.starts_with(kScheme) && namesServer(origin.substr(kScheme.size()), port_);
}

bool AccessGuard::cookieAllowed(std::string_view header) const {
  while (!header.empty()) {
    const std::size_t end = header.find(';');
    const std::string_view pair = trimmed(header.substr(0, end));
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos && trimmed(pair.substr(0, equals)) == kCookieName &&
        sameSecret(trimmed(pair.substr(equals + 1)), session_))
      return true;
    if (end == std::string_view::npos) break;
    header.remove_prefix(end + 1);
  }
  return false;
}

std::string AccessGuard::sessionCookie() const {
  return std::string(kCookieName) + "=" + session_ + "; Path=/; HttpOnly; SameSite=Strict";
}

}  // namespace tabvora::workspace
