#pragma once

#include <string_view>
#include <vector>

#include <simdjson.h>

#include "drivers/json/json_range.hpp"

namespace tabvora::internal {

// Parses ranges of one text, one parser per thread. The text must be followed by
// simdjson::SIMDJSON_PADDING readable bytes (JSONFileText's is), so every range is parsed in
// place. The parsed value lives until the next parse. An integer too large for 64 bits is
// parsed as a real, from a copy of the range in which it is rewritten.
class JSONRangeParser {
 public:
  enum class Result { object, otherValue, invalid };

  // The most bytes one value may have: the parser's own limit.
  static constexpr std::size_t kMostValueBytes = simdjson::SIMDJSON_MAXSIZE_BYTES;
  // A parser that grew past this many bytes of input is given back after its unit, so one
  // huge record does not keep its parse buffers (several times its size) for the rest.
  static constexpr std::size_t kMostKeptCapacity = 16'000'000;

  explicit JSONRangeParser(std::string_view paddedText) : text_(paddedText) {}

  // Throws std::bad_alloc when the parser cannot get the memory a value needs, and
  // DriverError when a value is larger than kMostValueBytes: neither is a fault of the JSON.
  Result parse(const JSONRange& range, simdjson::dom::element& value);
  // Frees the parser's buffers when a huge value made them grow; values parsed before are gone.
  void shrink();

 private:
  std::string_view text_;
  simdjson::dom::parser parser_;
  std::vector<char> scratch_;
};

}  // namespace tabvora::internal
