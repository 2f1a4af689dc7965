#pragma once

#include <string>

namespace tabvora::internal {

// Decodes, in place, the escapes an XLSX string item or inline string may hold for
// characters XML cannot carry: "_xHHHH_" (exactly four hex digits, either case) is that
// UTF-16 code unit; two such escapes forming a surrogate pair are one character, and a
// surrogate without its partner becomes U+FFFD. Escapes are read left to right without
// overlapping, so "_x005F_x0041_" (an escaped "_" before "x0041_") reads as "_x0041_".
// The text never grows.
void decodeXLSXEscapes(std::string& text);

}  // namespace tabvora::internal
