#pragma once

#include <string_view>
#include <vector>

#include <simdjson.h>

#include "drivers/json/json_range.hpp"

namespace tabvora {

// Parses ranges of one text, one parser per thread. The parsed value lives until the next
// parse. A range is parsed in place when the parser's padding fits inside the text after
// it, else from a padded copy; an integer too large for 64 bits is parsed as a real.
class JSONRangeParser {
 public:
  enum class Result { object, otherValue, invalid };

  explicit JSONRangeParser(std::string_view text) : text_(text) {}

  Result parse(const JSONRange& range, simdjson::dom::element& value);

 private:
  std::string_view text_;
  simdjson::dom::parser parser_;
  std::vector<char> scratch_;
};

}  // namespace tabvora
