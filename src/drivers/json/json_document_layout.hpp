#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "drivers/json/json_range.hpp"

namespace tabvora::internal {

// The elements of an array, as chunks of consecutive elements (see JSONRange).
struct JSONArrayElements {
  std::vector<JSONRange> chunks;
  std::size_t count = 0;
  bool allObjects = true;  // every element starts with "{" (true for no elements)
};

// Where the parts of a JSON document are, found by one byte scan without parsing values:
// the root, and for a root array its elements, for a root object its members and the
// elements of every member that is an array. The scan checks only the punctuation between
// these parts; every part must still be parsed to know it is valid JSON. Nesting is
// counted, not recursed into, so any depth is scanned in constant stack.
struct JSONDocumentLayout {
  using Elements = JSONArrayElements;
  struct Member {
    JSONRange key;  // the key's string literal, quotes included
    JSONRange value;
    std::optional<Elements> elements;  // when the value is an array
  };

  bool rootIsArray = false;
  JSONRange root;
  Elements elements;            // root array
  std::vector<Member> members;  // root object

  // Nothing when the text is not an array or object with well-placed punctuation.
  static std::optional<JSONDocumentLayout> scan(std::string_view text);

  // The next element of a chunk of a scanned array at or after `pos` (a position inside
  // the chunk); false at the chunk's end.
  static bool nextElement(std::string_view text, const JSONRange& chunk, std::size_t& pos, JSONRange& element);
};

}  // namespace tabvora::internal
