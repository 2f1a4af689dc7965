#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/sqlscript/sql_dialect.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

struct ParsedColumn {
  std::string name;  // as written, quotes removed
  std::string type;  // the SQLite type chosen by sqliteType
  bool notNull = false;
  std::optional<std::string> defaultSQL;  // in SQLite syntax, when one could be kept
  bool primaryKey = false;
  bool unique = false;
};

struct ParsedTable {
  std::string name;  // without schema qualifier
  bool temporary = false;
  bool ifNotExists = false;
  std::vector<ParsedColumn> columns;              // declaration order, never empty
  std::vector<std::string> primaryKey;            // table-level PRIMARY KEY columns
  std::vector<std::vector<std::string>> uniques;  // table-level UNIQUE groups
  std::vector<std::string> foreignKeys;           // finished SQLite "FOREIGN KEY (...) REFERENCES ..." texts
};

// How much of a parsed table createTableSQL keeps; tried in this order until SQLite
// accepts one. keysOnly keeps the primary key, columnsOnly just names and types.
enum class CreateTableLevel { full, keysOnly, columnsOnly };

// Parses a CREATE [TEMP|TEMPORARY|GLOBAL|LOCAL|UNLOGGED] TABLE statement, already passed
// through rewriteStatement in `dialect`. Nothing when it is not one, has no column, a
// column that cannot be parsed or a repeated column name, or is longer than
// kMaxCreateTableBytes; the caller then runs the statement as text. Inline index
// definitions, CHECK/EXCLUDE items, inline references and table options are dropped; key
// and UNIQUE groups naming undefined columns are dropped.
std::optional<ParsedTable> parseCreateTable(std::string_view statement, SQLDialect dialect);

// The SQLite CREATE TABLE text (no trailing ";"), one item per line indented by four
// spaces, the closing parenthesis on a line of its own.
std::string createTableSQL(const ParsedTable& table, CreateTableLevel level);

// The SQLite type for a column type: `typeWords` lower-cased ("bigint", "character",
// "varying"), `typeArguments` the tokens between the type's parentheses without commas
// ("10", "2"). No type word, or the array flag, gives TEXT.
std::string sqliteType(const std::vector<std::string>& typeWords, const std::vector<std::string>& typeArguments,
                       bool isArray, bool isUnsigned, SQLDialect dialect);

}  // namespace tabvora::internal::SQLDialectNormalizer
