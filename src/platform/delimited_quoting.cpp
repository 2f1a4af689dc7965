#include "platform/delimited_quoting.hpp"

namespace tabvora::internal {

bool delimitedFieldNeedsQuotes(std::string_view text, char delimiter) {
  for (char c : text) {
    if (c == delimiter || c == '"' || c == '\n' || c == '\r') return true;
  }
  return false;
}

void appendDelimitedField(std::string& out, std::string_view text, char delimiter) {
  if (!delimitedFieldNeedsQuotes(text, delimiter)) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void endDelimitedRecord(std::string& out, std::size_t recordStart, std::string_view lineEnd) {
  if (out.size() == recordStart) out += "\"\"";
  out += lineEnd;
}

}  // namespace tabvora::internal
