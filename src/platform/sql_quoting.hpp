#pragma once

// Values and names written into SQL text, in the forms SQLite reads, for every writer of
// SQL (statements run on a staging connection, SQL export, saving a script).
//
// NUL: SQLite's parser ends a statement at a NUL byte, so none may stand in SQL text. A
// string literal carries one as char(0) joined in, 'a'||char(0)||'b', which reads back as
// exactly the same text, keeps the rest readable, and is the form saved scripts hold and
// the script reader recognises. A name cannot be an expression: a NUL in an identifier is
// left out.

#include <string>
#include <string_view>

namespace tabvora::internal {

// What a NUL inside a string literal becomes: the literal closed, char(0) and the literal reopened.
inline constexpr std::string_view kSQLNulJoin = "'||char(0)||'";

// The inside of a single-quoted string literal: apostrophes doubled, NULs as kSQLNulJoin.
void appendSQLStringContent(std::string& out, std::string_view text);
// 'text', as above.
void appendSQLStringLiteral(std::string& out, std::string_view text);
std::string sqlStringLiteral(std::string_view text);
// X'..', two upper-case hex digits per byte.
void appendSQLBlobLiteral(std::string& out, std::string_view bytes);
// "name": inside double quotes, every inner double quote doubled, NULs left out.
std::string quoteIdentifier(std::string_view name);

}  // namespace tabvora::internal
