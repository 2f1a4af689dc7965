#pragma once

#include <set>
#include <string>
#include <string_view>

#include "drivers/sqlscript/sql_dialect.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

// Rewrites one statement from MySQL (`mysql`) or PostgreSQL (any other dialect) syntax to
// SQLite syntax in one left-to-right pass: string escapes (MySQL backslash escapes,
// PostgreSQL E-strings), N/E prefixes, b'...' binary literals, MySQL 0x... hex literals
// and character-set introducers (_binary '...' becomes a blob literal), backquoted
// identifiers, PostgreSQL "::type" casts, qualifiers naming one of `schemas` (given in
// lower case), and INSERT/REPLACE heads (IGNORE, DELAYED, LOW_PRIORITY, HIGH_PRIORITY,
// OVERRIDING ... VALUE). Bytes it does not rewrite are copied; a NUL character that a
// literal holds or escapes to is written as "'||char(0)||'" so the text stays one
// C string. Any bytes are accepted; time is linear in the statement's size.
std::string rewriteStatement(std::string_view statement, SQLDialect dialect, const std::set<std::string>& schemas);

}  // namespace tabvora::internal::SQLDialectNormalizer
