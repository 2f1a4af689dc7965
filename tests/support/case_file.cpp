#include "support/case_file.hpp"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "platform/unicode_text.hpp"
#include "support/test_support.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;

std::string TextCase::joinedInput() const {
  std::string text;
  for (std::size_t i = 0; i < input.size(); ++i) text += (i ? "\n" : "") + input[i];
  return text;
}

namespace {
std::filesystem::path sourceFile(std::string_view relative) {
  return std::filesystem::path(TABVORA_TEST_DATA).parent_path() / relative;
}
}  // namespace

bool updatingExpected() {
  const char* update = std::getenv("TABVORA_UPDATE_EXPECTED");
  return update && std::string_view(update) == "1";
}

std::vector<TextCase> readTextCases(std::string_view relative) {
  const std::filesystem::path file = sourceFile(relative);
  std::istringstream in(readFile(file));
  std::vector<TextCase> cases;
  TextCase* current = nullptr;
  bool expected = false;
  std::size_t number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.empty()) {
      current = nullptr;
    } else if (!current && line[0] == '#') {
      continue;
    } else if (!current) {
      current = &cases.emplace_back();
      current->where = file.filename().string() + ":" + std::to_string(number);
      std::istringstream words(line);
      for (std::string word; words >> word;) current->words.push_back(word);
      expected = false;
    } else if (line == "----") {
      expected = true;
      current->separator = number - 1;
    } else {
      (expected ? current->expected : current->input).push_back(line == "\"\"" ? "" : unescapeText(line));
    }
    if (current) current->end = number - 1;
  }
  return cases;
}

void rewriteExpected(std::string_view relative, const std::vector<std::vector<std::string>>& expected) {
  const std::vector<TextCase> cases = readTextCases(relative);
  std::vector<std::string> lines = linesOf(readFile(sourceFile(relative)));
  for (std::size_t i = cases.size(); i-- > 0;) {  // from the end, so that earlier lines keep their places
    const TextCase& c = cases[i];
    std::vector<std::string> replacement{"----"};
    for (const std::string& text : expected.at(i)) replacement.push_back(text.empty() ? "\"\"" : escapeText(text));
    const std::size_t from = c.separator ? c.separator : c.end + 1;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.begin() + static_cast<std::ptrdiff_t>(c.end + 1));
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(from), replacement.begin(), replacement.end());
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  writeFile(sourceFile(relative), text);
}

std::string unescapeText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (const char c = text[++i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'v': out += '\v'; break;
      case '0': out += '\0'; break;
      case 'x':
        if (i + 2 >= text.size()) throw std::runtime_error("short \\x escape in " + std::string(text));
        out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
        i += 2;
        break;
      case '\\': case '"': case '\'': out += c; break;
      default: throw std::runtime_error("unknown escape \\" + std::string(1, c) + " in " + std::string(text));
    }
  }
  return out;
}

namespace {
// Bytes of the well-formed UTF-8 sequence at the start of `text`; 0 when there is none.
std::size_t utf8Length(std::string_view text) {
  const std::size_t length = utf8SequenceLength(static_cast<std::uint8_t>(text[0]));
  return length > 1 && length <= text.size() && isValidUTF8(text.substr(0, length)) ? length : 0;
}
// C1 controls and the bidirectional embeddings, overrides and isolates, which would
// rearrange or hide the text around them in an editor.
bool invisible(std::string_view character) {
  return (character.size() == 2 && static_cast<unsigned char>(character[0]) == 0xC2 &&
          static_cast<unsigned char>(character[1]) < 0xA0) ||
         character == "\u202A" || character == "\u202B" || character == "\u202C" || character == "\u202D" ||
         character == "\u202E" || character == "\u2066" || character == "\u2067" || character == "\u2068" ||
         character == "\u2069";
}
}  // namespace

std::string escapeText(std::string_view text, bool wholeLine) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (text[i] == '\\') out += "\\\\";
    else if (text[i] == '\n') out += "\\n";
    else if (text[i] == '\r') out += "\\r";
    else if (text[i] == '\t') out += "\\t";
    else if (byte >= 0x20 && byte < 0x7F) out += text[i];
    else if (const std::size_t length = byte >= 0x80 ? utf8Length(text.substr(i)) : 0; length && !invisible(text.substr(i, length))) {
      out += text.substr(i, length);
      i += length - 1;
    } else {
      const char digits[] = "0123456789abcdef";
      out += {'\\', 'x', digits[byte >> 4], digits[byte & 15]};
    }
  }
  if (!wholeLine) return out;
  if (!out.empty() && out.back() == ' ') out.replace(out.size() - 1, 1, "\\x20");  // editors drop trailing spaces
  return out == "\"\"" ? "\\\"\\\"" : out;  // a bare "" is the empty text
}

}  // namespace tabvora::testing
