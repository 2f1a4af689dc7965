#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>
#include <simdjson.h>

namespace tabvora::internal {

// Text forms of JSON values, shared by staging and saving. Objects are always written with
// their keys in ascending byte order. Nesting depth is bounded by the parser (1024 levels),
// so the recursion here is bounded too.

// A double as it is staged and written: the shortest text that reads back to the same
// double, with ".0" on whole numbers (3.0, 1.5, 1e+20); "null" when not finite.
std::string jsonNumberText(double value);

// A number as a TEXT cell shows it, its plain description: the shortest text that reads
// back to the same double, without a fraction on whole numbers (5, 1.5, 1e+20, -0).
std::string jsonNumberDescription(double value);

// A JSON string literal: quote, backslash and control characters escaped, everything else
// (including "/" and non-ASCII) as is. Invalid UTF-8 is repaired first.
void appendJSONString(std::string& out, std::string_view text);

// The compact text of a parsed value ({"a":[1,2]}), keys in the order of the source.
void appendCompactJSON(std::string& out, const simdjson::dom::element& value);

// A parsed value kept for writing back. Integers outside 64 bits arrive as doubles.
nlohmann::json toJSONValue(const simdjson::dom::element& value);

// A kept value as text: compact ({"a":1}) or pretty-printed (two spaces per level, " : "
// between key and value), with sorted keys. `indentLevel` is the level the value starts at.
void appendJSON(std::string& out, const nlohmann::json& value, bool pretty, int indentLevel = 0);
void appendIndent(std::string& out, int indentLevel);

}  // namespace tabvora::internal
