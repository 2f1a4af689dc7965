#include "drivers/json/json_range_parser.hpp"

#include "drivers/json/oversized_integers.hpp"

namespace tabvora {

JSONRangeParser::Result JSONRangeParser::parse(const JSONRange& range, simdjson::dom::element& value) {
  const char* start = text_.data() + range.begin;
  const bool paddedInPlace = range.end + simdjson::SIMDJSON_PADDING <= text_.size();
  simdjson::error_code error = simdjson::NUMBER_ERROR;
  if (paddedInPlace) error = parser_.parse(start, range.size(), false).get(value);
  if (error == simdjson::NUMBER_ERROR) {
    scratch_.assign(start, start + range.size());
    scratch_.resize(range.size() + simdjson::SIMDJSON_PADDING, ' ');
    if (rewriteOversizedIntegers(scratch_.data(), range.size()) || !paddedInPlace)
      error = parser_.parse(scratch_.data(), range.size(), false).get(value);
  }
  if (error) return Result::invalid;
  return value.is_object() ? Result::object : Result::otherValue;
}

}  // namespace tabvora
