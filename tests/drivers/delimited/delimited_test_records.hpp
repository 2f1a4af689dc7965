#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drivers/delimited/delimited_byte_parser.hpp"
#include "drivers/delimited/delimited_input.hpp"

namespace tabvora::testing {
using namespace tabvora::internal;

using Records = std::vector<std::vector<std::string>>;

// The first `count` records of an input (its header among them) as decoded texts: what the
// staging of a preview sees of it.
inline Records firstRecords(const DelimitedInput& input, std::size_t count) {
  Records records;
  DelimitedByteParser::parse(input.bytes(), static_cast<std::uint8_t>(input.delimiter()),
                             [&](const DelimitedByteParser::Record& record) {
                               if (records.size() == count) return false;
                               std::vector<std::string> fields;
                               for (std::size_t i = 0; i < record.size(); ++i) fields.push_back(record.text(i));
                               records.push_back(std::move(fields));
                               return true;
                             });
  return records;
}

}  // namespace tabvora::testing
