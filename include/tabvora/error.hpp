#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace tabvora {

// What every failing call of the public API throws, and the one error of the whole system.
// The domain names the part that failed (a driver's type name such as "SQLiteDriver", or
// "Document" for a refused argument), the code is -1 for a file that cannot be read or
// parsed, -2 for a refused write-back, or an SQLite result code; the message is the
// complete text to show a user.
class Error : public std::runtime_error {
 public:
  Error(std::string domain, int code, const std::string& message)
      : std::runtime_error(message), domain_(std::move(domain)), code_(code) {}

  const std::string& domain() const noexcept { return domain_; }
  int code() const noexcept { return code_; }
  std::string message() const { return what(); }

 private:
  std::string domain_;
  int code_;
};

}  // namespace tabvora
