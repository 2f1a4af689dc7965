#pragma once

#include <stdexcept>
#include <string>

namespace tabvora::workspace {

// A request the workspace refuses, with the HTTP status that says why (400 for a malformed
// parameter, 403 for a refused editing, 404 for an unknown route or asset, ...) and a
// message for the page.
class RequestError : public std::runtime_error {
 public:
  RequestError(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
  int status() const noexcept { return status_; }

 private:
  int status_;
};

}  // namespace tabvora::workspace
