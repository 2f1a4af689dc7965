#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "tabvora/value.hpp"

namespace tabvora::workspace {

// Values travel to the page and back as [KIND, TEXT] or [KIND, TEXT, DATA]: KIND one of
// "null", "integer", "real", "text", "boolean", "date", "blob", "json"; TEXT what the page
// shows; DATA the value itself where TEXT does not give it exactly: an integer as decimal
// text (JSON numbers lose 64-bit precision), a real or date as a number (or "inf", "-inf",
// "nan" text), a boolean, a text differing from its shown form, a blob in hexadecimal.
nlohmann::json cellJSON(const Value& value);
// The value a page sent back; anything else throws RequestError (400).
Value cellFromJSON(const nlohmann::json& cell);

// A page of rows: {"columns": [{"name", "type"}], "rows": [{"p": POSITION, "r": ROWID or
// null, "c": [CELL, ...]}], "total": N, "totalIsLowerBound": BOOL}.
nlohmann::json rowsJSON(const Rows& rows);
// One row of such a page sent back to name the row of an edit, as a page of that one row.
Rows rowFromJSON(const nlohmann::json& row);

// The value typed into a cell of a column of `type` ("INTEGER", "TEXT", ...): null, or
// text, taken as a number or a boolean where the column holds those and it reads as one.
Value enteredValue(const std::string& type, const nlohmann::json& input);

// JSON text that is valid UTF-8 whatever the file held (bad bytes become U+FFFD).
std::string jsonText(const nlohmann::json& value);

}  // namespace tabvora::workspace
