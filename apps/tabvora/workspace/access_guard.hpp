#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tabvora::workspace {

// A fresh secret of `bytes` random bytes from the system's generator (getrandom), as
// lowercase hexadecimal. Throws std::system_error when the system gives none.
std::string randomSecret(std::size_t bytes = 32);

// Whether two secrets are equal, compared in a time that does not tell where they differ.
bool sameSecret(std::string_view a, std::string_view b);

// Who may talk to a workspace server on 127.0.0.1:port. The URL's token is traded once per
// browser for a session cookie; every later request must carry that cookie, name the server
// as its Host (a page of another site, resolved to 127.0.0.1 by its own DNS, names its own
// host), and send any state change as a POST from the server's own origin.
class AccessGuard {
 public:
  static constexpr std::string_view kCookieName = "tabvora_session";

  AccessGuard(int port, std::string token, std::string session)
      : port_(port), token_(std::move(token)), session_(std::move(session)) {}

  int port() const { return port_; }
  const std::string& token() const { return token_; }

  // "127.0.0.1:PORT" or "localhost:PORT" (any letter case for localhost).
  bool hostAllowed(std::string_view host) const;
  // "http://127.0.0.1:PORT" or "http://localhost:PORT".
  bool originAllowed(std::string_view origin) const;
  bool tokenMatches(std::string_view token) const { return sameSecret(token, token_); }
  // Whether a Cookie header holds the session cookie with its value.
  bool cookieAllowed(std::string_view cookieHeader) const;
  // The Set-Cookie value that gives a browser the session: HttpOnly, SameSite=Strict.
  std::string sessionCookie() const;

 private:
  int port_;
  std::string token_;
  std::string session_;
};

}  // namespace tabvora::workspace
