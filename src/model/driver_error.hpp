#pragma once

#include <stdexcept>
#include <string>

namespace tabvora {

// The one error every driver throws: the domain is the throwing driver's type name
// ("SQLiteDriver", "DelimitedDriver", ...), the code is -1 for a file that cannot be
// read or parsed, -2 for a refused write-back, or an SQLite result code; the message is
// the complete text a user is shown.
class DriverError : public std::runtime_error {
 public:
  DriverError(std::string domain, int code, const std::string& message)
      : std::runtime_error(message), domain_(std::move(domain)), code_(code) {}

  const std::string& domain() const noexcept { return domain_; }
  int code() const noexcept { return code_; }
  std::string message() const { return what(); }

 private:
  std::string domain_;
  int code_;
};

}  // namespace tabvora
