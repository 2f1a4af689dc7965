#pragma once

struct sqlite3;

namespace tabvora::internal {

// Registers the SQL function tabvora_text_match(value, needle, mode) on the connection:
// 1 when the value's text contains (mode 0), starts with (1) or ends with (2) the needle,
// compared without regard to case by Unicode case folding; otherwise 0. A NULL value reads
// as empty text. Deterministic and without side effects, so a database's own views may
// name it harmlessly. Returns SQLite's result code.
int registerTextMatchFunction(sqlite3* db);

inline constexpr const char* kTextMatchFunction = "tabvora_text_match";

}  // namespace tabvora::internal
