#include "drivers/json/json_document_layout.hpp"

#include <cstring>

namespace tabvora::internal {

namespace {

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }
  std::size_t position() const { return pos_; }

  void skipWhitespace() {
    while (!atEnd() && (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t'))
      ++pos_;
  }
  bool consume(char c) {
    if (peek() != c) return false;
    ++pos_;
    return true;
  }

  // A string literal starting at the current quote; false when it is not closed. Jumps
  // from quote to quote (memchr), looking for a backslash only before the quote found; each
  // byte is searched at most twice, however many escapes there are.
  bool skipString() {
    const char* const begin = text_.data();
    const char* const end = begin + text_.size();
    const char* at = begin + pos_ + 1;
    const char* quote = at < end ? static_cast<const char*>(std::memchr(at, '"', end - at)) : nullptr;
    while (quote) {
      const auto* escape = static_cast<const char*>(std::memchr(at, '\\', quote - at));
      if (!escape) {
        pos_ = static_cast<std::size_t>(quote - begin) + 1;
        return true;
      }
      at = escape + 2;  // past the escaped character
      if (at > quote) quote = at < end ? static_cast<const char*>(std::memchr(at, '"', end - at)) : nullptr;
    }
    pos_ = text_.size();
    return false;
  }

  // Any value: a string, a container up to its matching close, or a scalar up to the next
  // punctuation or white space. False when nothing is there or a container is not closed.
  bool skipValue(JSONRange& range) {
    range.begin = pos_;
    char c = peek();
    if (c == '"') {
      if (!skipString()) return false;
    } else if (c == '[' || c == '{') {
      std::size_t depth = 0;
      while (pos_ < text_.size()) {
        c = text_[pos_];
        if (c == '"') {
          if (!skipString()) return false;
          continue;
        }
        ++pos_;
        if (c == '[' || c == '{')
          ++depth;
        else if ((c == ']' || c == '}') && --depth == 0)
          break;
      }
      if (depth != 0) return false;
    } else {
      while (!atEnd() && !isDelimiter(text_[pos_])) ++pos_;
    }
    range.end = pos_;
    return range.end > range.begin;
  }

  // The elements of the array at the current "[".
  bool scanArray(JSONDocumentLayout::Elements& elements) {
    ++pos_;
    skipWhitespace();
    if (consume(']')) return true;
    JSONRange chunk;
    std::size_t chunkBytes = 0;
    for (;;) {
      skipWhitespace();
      JSONRange element;
      if (!skipValue(element)) return false;
      if (chunkBytes == 0) chunk.begin = element.begin;
      chunk.end = element.end;
      chunkBytes += element.size();
      ++elements.count;
      if (text_[element.begin] != '{') elements.allObjects = false;
      if (chunkBytes >= kChunkBytes) {
        elements.chunks.push_back(chunk);
        chunkBytes = 0;
      }
      skipWhitespace();
      if (consume(']')) {
        if (chunkBytes > 0) elements.chunks.push_back(chunk);
        return true;
      }
      if (!consume(',')) return false;
    }
  }

  void moveTo(std::size_t pos) { pos_ = pos; }

  bool scanObject(std::vector<JSONDocumentLayout::Member>& members) {
    ++pos_;
    skipWhitespace();
    if (consume('}')) return true;
    for (;;) {
      skipWhitespace();
      JSONDocumentLayout::Member member;
      member.key.begin = pos_;
      if (peek() != '"' || !skipString()) return false;
      member.key.end = pos_;
      skipWhitespace();
      if (!consume(':')) return false;
      skipWhitespace();
      if (peek() == '[') {
        member.value.begin = pos_;
        member.elements.emplace();
        if (!scanArray(*member.elements)) return false;
        member.value.end = pos_;
      } else if (!skipValue(member.value)) {
        return false;
      }
      members.push_back(std::move(member));
      skipWhitespace();
      if (consume('}')) return true;
      if (!consume(',')) return false;
    }
  }

 private:
  static bool isDelimiter(char c) {
    return c == ',' || c == ']' || c == '}' || c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == ':' ||
           c == '[' || c == '{' || c == '"';
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<JSONDocumentLayout> JSONDocumentLayout::scan(std::string_view text) {
  Scanner scanner(text);
  JSONDocumentLayout layout;
  scanner.skipWhitespace();
  layout.root.begin = scanner.position();
  if (scanner.peek() == '[') {
    layout.rootIsArray = true;
    if (!scanner.scanArray(layout.elements)) return std::nullopt;
  } else if (scanner.peek() == '{') {
    if (!scanner.scanObject(layout.members)) return std::nullopt;
  } else {
    return std::nullopt;
  }
  layout.root.end = scanner.position();
  scanner.skipWhitespace();
  if (!scanner.atEnd()) return std::nullopt;
  return layout;
}

bool JSONDocumentLayout::nextElement(std::string_view text, const JSONRange& chunk, std::size_t& pos,
                                     JSONRange& element) {
  Scanner scanner(text.substr(0, chunk.end));
  scanner.moveTo(pos);
  scanner.skipWhitespace();
  if (scanner.consume(',')) scanner.skipWhitespace();
  if (scanner.atEnd() || !scanner.skipValue(element)) {
    pos = chunk.end;
    return false;
  }
  pos = scanner.position();
  return true;
}

}  // namespace tabvora::internal
