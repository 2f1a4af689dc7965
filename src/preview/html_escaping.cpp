#include "preview/html_escaping.hpp"

namespace tabvora::internal {

namespace {

// One pass gives the same result as replacing character by character in the order
// &, <, >, ", ': no entity written contains a character a later step would replace.
std::string escape(std::string_view text, bool quotes) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"':
        if (quotes)
          out += "&quot;";
        else
          out += c;
        break;
      case '\'':
        if (quotes)
          out += "&#39;";
        else
          out += c;
        break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string escapeHTML(std::string_view text) { return escape(text, true); }

std::string escapeHTMLText(std::string_view text) { return escape(text, false); }

}  // namespace tabvora::internal
