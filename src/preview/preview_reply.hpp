#pragma once

#include <string>

namespace tabvora::internal {

// Display size a reply asks the host for, in points.
struct ContentSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const ContentSize&, const ContentSize&) = default;
};

// What one preview request answers: a complete HTML document and the size to show it at.
struct PreviewReply {
  static constexpr ContentSize kGridPageSize{860, 560};
  static constexpr ContentSize kErrorPageSize{600, 300};

  std::string contentType = "text/html";
  ContentSize contentSize;
  std::string data;  // the page as UTF-8 bytes
};

}  // namespace tabvora::internal
