#include "drivers/json/json_range_parser.hpp"

#include <new>

#include "drivers/json/oversized_integers.hpp"
#include "model/driver_error.hpp"
#include "platform/byte_count.hpp"

namespace tabvora::internal {

JSONRangeParser::Result JSONRangeParser::parse(const JSONRange& range, simdjson::dom::element& value) {
  if (range.size() > kMostValueBytes)
    throw DriverError("JSONDriver", -1,
                      "A record of the file is " + formatByteCount(static_cast<std::int64_t>(range.size())) +
                          ", more than the " + formatByteCount(static_cast<std::int64_t>(kMostValueBytes)) +
                          " one record may have");
  const char* start = text_.data() + range.begin;
  simdjson::error_code error = parser_.parse(start, range.size(), false).get(value);
  if (error == simdjson::NUMBER_ERROR) {
    scratch_.assign(start, start + range.size());
    scratch_.resize(range.size() + simdjson::SIMDJSON_PADDING, ' ');
    if (rewriteOversizedIntegers(scratch_.data(), range.size()))
      error = parser_.parse(scratch_.data(), range.size(), false).get(value);
  }
  if (error == simdjson::MEMALLOC) throw std::bad_alloc();
  if (error) return Result::invalid;
  return value.is_object() ? Result::object : Result::otherValue;
}

void JSONRangeParser::shrink() {
  if (parser_.capacity() > kMostKeptCapacity) parser_ = simdjson::dom::parser();
  if (scratch_.capacity() > kMostKeptCapacity) std::vector<char>().swap(scratch_);
}

}  // namespace tabvora::internal
