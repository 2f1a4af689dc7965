#pragma once

// How every CSV and TSV writer (saving a delimited file, exporting a table) writes a field
// and ends a record.

#include <cstddef>
#include <string>
#include <string_view>

namespace tabvora::internal {

// A field holding the delimiter, a double quote, LF or CR is wrapped in double quotes with
// its quotes doubled; any other field is written as it is.
bool delimitedFieldNeedsQuotes(std::string_view text, char delimiter);
void appendDelimitedField(std::string& out, std::string_view text, char delimiter);

// Ends the record whose text began at `recordStart` with `lineEnd`. A record that came out
// empty (one empty field) would be a blank line, which readers skip: its field is written
// as "" instead.
void endDelimitedRecord(std::string& out, std::size_t recordStart, std::string_view lineEnd);

}  // namespace tabvora::internal
