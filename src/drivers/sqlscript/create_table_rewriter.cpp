#include "drivers/sqlscript/create_table_rewriter.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <unordered_set>

#include "drivers/sqlscript/sql_script_limits.hpp"
#include "drivers/sqlscript/sql_tokens.hpp"
#include "platform/ascii_case.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

namespace {

using Tokens = std::vector<Token>;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

template <std::size_t N>
bool isOneOf(std::string_view word, const std::array<std::string_view, N>& words) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Digits, optionally with one fraction and a plain exponent: 10, 1.5, 2e10.
bool readsAsNumber(std::string_view word) {
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t start = i;
    while (i < word.size() && isDigit(word[i])) ++i;
    return i > start;
  };
  if (!digits()) return false;
  if (i < word.size() && word[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
    ++i;
    if (!digits()) return false;
  }
  return i == word.size();
}

// A view of tokens [begin, end) of the statement.
struct Range {
  const Tokens* tokens;
  std::size_t begin;
  std::size_t end;

  std::size_t size() const { return end - begin; }
  const Token* at(std::size_t k) const { return begin + k < end ? &(*tokens)[begin + k] : nullptr; }
  bool isWord(std::size_t k, std::string_view upper) const { return at(k) && at(k)->isWord(upper); }
  bool isPunct(std::size_t k, char c) const { return at(k) && at(k)->isPunct(c); }
  // The index (relative) of the ")" closing the "(" at k, or kNone.
  std::size_t closing(std::size_t k) const {
    std::size_t depth = 0;
    for (std::size_t j = k; j < size(); ++j) {
      if (isPunct(j, '(')) ++depth;
      if (isPunct(j, ')') && --depth == 0) return j;
    }
    return kNone;
  }
  std::size_t find(char c, std::size_t from) const {
    for (std::size_t j = from; j < size(); ++j) {
      if (isPunct(j, c)) return j;
    }
    return kNone;
  }
};

// The parts of a parenthesised list split at its top-level commas.
std::vector<Range> splitAtCommas(const Range& list) {
  std::vector<Range> parts;
  std::size_t depth = 0;
  std::size_t start = 0;
  for (std::size_t j = 0; j < list.size(); ++j) {
    if (list.isPunct(j, '(')) ++depth;
    if (list.isPunct(j, ')') && depth > 0) --depth;
    if (depth == 0 && list.isPunct(j, ',')) {
      parts.push_back({list.tokens, list.begin + start, list.begin + j});
      start = j + 1;
    }
  }
  parts.push_back({list.tokens, list.begin + start, list.end});
  return parts;
}

// The column names of the list whose "(" is at k: the first name of each part (so
// "name(10)" and "name ASC" give name). Nothing when a part names no column.
std::optional<std::vector<std::string>> nameList(const Range& item, std::size_t k) {
  if (k == kNone || !item.isPunct(k, '(')) return std::nullopt;
  const std::size_t close = item.closing(k);
  if (close == kNone) return std::nullopt;
  std::vector<std::string> names;
  for (const Range& part : splitAtCommas({item.tokens, item.begin + k + 1, item.begin + close})) {
    if (!part.at(0) || !part.at(0)->isName()) return std::nullopt;
    names.push_back(part.at(0)->text);
  }
  return names;
}

// Type names that make "KEY name (...)" a column of that type rather than an index.
constexpr auto kTypeNames = std::to_array<std::string_view>(
    {"int",  "integer",   "bigint",   "smallint",  "tinyint", "mediumint", "varchar",
     "char", "character", "text",     "decimal",   "numeric", "float",     "double",
     "real", "date",      "datetime", "timestamp", "time",    "boolean",   "bool",
     "json", "jsonb",     "blob",     "uuid",      "bytea",   "serial",    "bigserial"});

bool isTableConstraint(const Range& item) {
  const Token* first = item.at(0);
  if (!first || first->kind != Token::Kind::word) return false;
  const std::string word = asciiUppered(first->text);
  const Token* second = item.at(1);
  const bool nameOrList = second && (second->kind == Token::Kind::quoted || second->isPunct('('));
  if (word == "CONSTRAINT") return item.size() > 2;
  if (word == "PRIMARY" || word == "FOREIGN") return item.isWord(1, "KEY");
  if (word == "UNIQUE") return item.isWord(1, "KEY") || item.isWord(1, "INDEX") || nameOrList;
  if (word == "CHECK") return item.isPunct(1, '(');
  if (word == "EXCLUDE") return item.isPunct(1, '(') || item.isWord(1, "USING");
  if (word == "KEY" || word == "INDEX" || word == "FULLTEXT" || word == "SPATIAL") {
    if (item.isWord(1, "KEY") || item.isWord(1, "INDEX") || nameOrList) return true;
    // "key int(11)" is a column named key; "KEY k (flag)" an index.
    return second && second->kind == Token::Kind::word && item.isPunct(2, '(') &&
           !isOneOf(asciiLowered(second->text), kTypeNames);
  }
  return false;
}

// "FOREIGN KEY (a) REFERENCES t (b) ON DELETE CASCADE" as SQLite text; the item starts at k.
std::optional<std::string> foreignKeyText(const Range& item, std::size_t k) {
  const std::size_t open = item.find('(', k);
  const std::optional<std::vector<std::string>> local = nameList(item, open);
  if (!local) return std::nullopt;
  std::size_t j = item.closing(open) + 1;
  if (!item.isWord(j, "REFERENCES") || !item.at(j + 1) || !item.at(j + 1)->isName()) return std::nullopt;
  j += 1;
  std::string table = item.at(j)->text;
  ++j;
  while (item.isPunct(j, '.') && item.at(j + 1) && item.at(j + 1)->isName()) {
    table = item.at(j + 1)->text;
    j += 2;
  }
  std::string text = "FOREIGN KEY (";
  auto appendNames = [&](const std::vector<std::string>& names) {
    for (std::size_t c = 0; c < names.size(); ++c) text += (c ? ", " : "") + quoteIdentifier(names[c]);
  };
  appendNames(*local);
  text += ") REFERENCES " + quoteIdentifier(table);
  if (item.isPunct(j, '(')) {
    const std::optional<std::vector<std::string>> referenced = nameList(item, j);
    if (referenced && referenced->size() == local->size()) {
      text += " (";
      appendNames(*referenced);
      text += ")";
    }
    const std::size_t close = item.closing(j);
    j = close == kNone ? item.size() : close + 1;
  }
  for (; j < item.size(); ++j) {
    if (!item.isWord(j, "ON") || !(item.isWord(j + 1, "DELETE") || item.isWord(j + 1, "UPDATE"))) continue;
    const std::string event = asciiUppered(item.at(j + 1)->text);
    std::string action;
    if (item.isWord(j + 2, "CASCADE") || item.isWord(j + 2, "RESTRICT")) {
      action = asciiUppered(item.at(j + 2)->text);
    } else if (item.isWord(j + 2, "SET") && (item.isWord(j + 3, "NULL") || item.isWord(j + 3, "DEFAULT"))) {
      action = "SET " + asciiUppered(item.at(j + 3)->text);
    } else if (item.isWord(j + 2, "NO") && item.isWord(j + 3, "ACTION")) {
      action = "NO ACTION";
    }
    if (!action.empty()) text += " ON " + event + " " + action;
  }
  return text;
}

void addTableConstraint(const Range& item, ParsedTable& table) {
  std::size_t k = item.isWord(0, "CONSTRAINT") ? 2 : 0;
  if (item.isWord(k, "PRIMARY")) {
    if (auto names = nameList(item, item.find('(', k))) table.primaryKey = std::move(*names);
  } else if (item.isWord(k, "UNIQUE")) {
    if (auto names = nameList(item, item.find('(', k))) table.uniques.push_back(std::move(*names));
  } else if (item.isWord(k, "FOREIGN")) {
    if (auto text = foreignKeyText(item, k)) table.foreignKeys.push_back(std::move(*text));
  }
  // CHECK, EXCLUDE and index items are dropped.
}

// The DEFAULT value at k: sets `column.defaultSQL` when it can be kept; returns where the
// constraints go on.
std::size_t parseDefault(const Range& item, std::size_t k, ParsedColumn& column) {
  const Token* value = item.at(k);
  if (!value) return k;
  column.defaultSQL.reset();
  if (value->kind == Token::Kind::string) {
    column.defaultSQL = value->text;
    return k + 1;
  }
  if ((value->isPunct('-') || value->isPunct('+')) && item.at(k + 1) && item.at(k + 1)->kind == Token::Kind::word &&
      readsAsNumber(item.at(k + 1)->text)) {
    column.defaultSQL = (value->isPunct('-') ? "-" : "") + item.at(k + 1)->text;
    return k + 2;
  }
  if (value->kind != Token::Kind::word) return k;
  const std::string word = asciiUppered(value->text);
  ++k;
  static constexpr auto kKeptWords =
      std::to_array<std::string_view>({"NULL", "TRUE", "FALSE", "CURRENT_TIMESTAMP", "CURRENT_DATE", "CURRENT_TIME"});
  static constexpr auto kNowWords = std::to_array<std::string_view>({"NOW", "LOCALTIMESTAMP", "LOCALTIME"});
  if (readsAsNumber(value->text)) {
    column.defaultSQL = value->text;
  } else if (isOneOf(word, kKeptWords)) {
    column.defaultSQL = word;
  } else if (isOneOf(word, kNowWords)) {
    column.defaultSQL = "CURRENT_TIMESTAMP";
  } else if (word == "X" && item.at(k) && item.at(k)->kind == Token::Kind::string) {
    column.defaultSQL = "X" + item.at(k)->text;
    ++k;
  }
  if (item.isPunct(k, '(')) {
    const std::size_t close = item.closing(k);
    k = close == kNone ? item.size() : close + 1;
  }
  return k;
}

std::optional<ParsedColumn> parseColumn(const Range& item, SQLDialect dialect) {
  const Token* nameToken = item.at(0);
  if (!nameToken || !nameToken->isName()) return std::nullopt;
  ParsedColumn column;
  column.name = nameToken->text;

  static constexpr auto kTypeEnds = std::to_array<std::string_view>(
      {"NOT",     "NULL",          "DEFAULT", "PRIMARY",    "UNIQUE",     "AUTO_INCREMENT", "AUTOINCREMENT",
       "COMMENT", "COLLATE",       "CHARSET", "ON",         "REFERENCES", "CHECK",          "GENERATED",
       "AS",      "CONSTRAINT",    "KEY",     "VIRTUAL",    "STORED",     "INVISIBLE",      "VISIBLE",
       "SRID",    "COLUMN_FORMAT", "STORAGE", "COMPRESSION"});
  std::vector<std::string> typeWords;
  std::vector<std::string> typeArguments;
  bool argumentsTaken = false;
  bool isArray = false;
  bool isUnsigned = false;
  std::size_t k = 1;
  while (k < item.size()) {
    const Token& token = *item.at(k);
    if (token.kind == Token::Kind::word) {
      const std::string word = asciiUppered(token.text);
      if (isOneOf(word, kTypeEnds) || (word == "CHARACTER" && item.isWord(k + 1, "SET"))) break;
      if (word == "UNSIGNED") {
        isUnsigned = true;
      } else if (word == "ARRAY") {
        isArray = true;
      } else if (word != "ZEROFILL" && word != "SIGNED") {
        typeWords.push_back(asciiLowered(token.text));
      }
      ++k;
    } else if (token.kind == Token::Kind::quoted && typeWords.empty()) {
      typeWords.push_back(asciiLowered(token.text));
      ++k;
    } else if (token.isPunct('(') && !typeWords.empty()) {
      const std::size_t close = item.closing(k);
      if (close == kNone) return std::nullopt;
      if (!argumentsTaken) {
        for (std::size_t a = k + 1; a < close; ++a) {
          if (!item.isPunct(a, ',')) typeArguments.push_back(item.at(a)->text);
        }
        argumentsTaken = true;
      }
      k = close + 1;
    } else if (token.isPunct('.')) {
      if (!typeWords.empty()) typeWords.pop_back();
      ++k;
    } else if (token.isPunct('[')) {
      isArray = true;
      const std::size_t close = item.find(']', k);
      k = close == kNone ? item.size() : close + 1;
    } else {
      break;
    }
  }
  column.type = sqliteType(typeWords, typeArguments, isArray, isUnsigned, dialect);

  static constexpr auto kOneTokenClauses = std::to_array<std::string_view>(
      {"COMMENT", "COLLATE", "CHARSET", "COLUMN_FORMAT", "STORAGE", "COMPRESSION", "SRID"});
  while (k < item.size()) {
    const Token& token = *item.at(k);
    const std::string word = token.kind == Token::Kind::word ? asciiUppered(token.text) : std::string();
    if (word == "NOT" && item.isWord(k + 1, "NULL")) {
      column.notNull = true;
      k += 2;
    } else if (word == "PRIMARY" || word == "UNIQUE") {
      (word == "PRIMARY" ? column.primaryKey : column.unique) = true;
      k += item.isWord(k + 1, "KEY") ? 2 : 1;
    } else if (word == "DEFAULT") {
      k = parseDefault(item, k + 1, column);
    } else if (isOneOf(word, kOneTokenClauses)) {
      k += 2;
    } else if ((word == "CHARACTER" && item.isWord(k + 1, "SET")) || (word == "ON" && item.isWord(k + 1, "UPDATE"))) {
      k += 3;
    } else if (word == "REFERENCES") {
      k += 2;
    } else if (token.isPunct('(')) {
      const std::size_t close = item.closing(k);
      k = close == kNone ? item.size() : close + 1;
    } else {
      ++k;
    }
  }
  return column;
}

// Whether every name is one of `columnNames` (lower-cased).
bool definesAll(const std::unordered_set<std::string>& columnNames, const std::vector<std::string>& names) {
  return std::all_of(names.begin(), names.end(),
                     [&](const std::string& name) { return columnNames.count(asciiLowered(name)) > 0; });
}

}  // namespace

std::optional<ParsedTable> parseCreateTable(std::string_view statement, SQLDialect dialect) {
  if (statement.size() > kMaxCreateTableBytes) return std::nullopt;
  const Tokens tokens = tokenize(statement);
  const Range all{&tokens, 0, tokens.size()};
  if (!all.isWord(0, "CREATE")) return std::nullopt;
  ParsedTable table;
  std::size_t k = 1;
  for (; k < all.size() && !all.isWord(k, "TABLE"); ++k) {
    if (all.isWord(k, "TEMP") || all.isWord(k, "TEMPORARY")) {
      table.temporary = true;
    } else if (!all.isWord(k, "GLOBAL") && !all.isWord(k, "LOCAL") && !all.isWord(k, "UNLOGGED")) {
      return std::nullopt;
    }
  }
  ++k;
  if (all.isWord(k, "IF") && all.isWord(k + 1, "NOT") && all.isWord(k + 2, "EXISTS")) {
    table.ifNotExists = true;
    k += 3;
  }
  if (!all.at(k) || !all.at(k)->isName()) return std::nullopt;
  table.name = all.at(k++)->text;
  while (all.isPunct(k, '.') && all.at(k + 1) && all.at(k + 1)->isName()) {
    table.name = all.at(k + 1)->text;
    k += 2;
  }
  if (!all.isPunct(k, '(')) return std::nullopt;
  const std::size_t close = all.closing(k);
  if (close == kNone) return std::nullopt;

  std::unordered_set<std::string> columnNames;
  for (const Range& item : splitAtCommas({&tokens, k + 1, close})) {
    if (isTableConstraint(item)) {
      addTableConstraint(item, table);
      continue;
    }
    std::optional<ParsedColumn> column = parseColumn(item, dialect);
    if (!column || !columnNames.insert(asciiLowered(column->name)).second) return std::nullopt;
    table.columns.push_back(std::move(*column));
  }
  if (table.columns.empty()) return std::nullopt;
  if (!definesAll(columnNames, table.primaryKey)) table.primaryKey.clear();
  std::erase_if(table.uniques, [&](const std::vector<std::string>& group) { return !definesAll(columnNames, group); });
  return table;
}

std::string createTableSQL(const ParsedTable& table, CreateTableLevel level) {
  std::vector<std::string> keyColumns = table.primaryKey;
  if (keyColumns.empty()) {
    for (const ParsedColumn& column : table.columns) {
      if (column.primaryKey) {
        keyColumns.push_back(column.name);
        break;
      }
    }
  }
  const bool full = level == CreateTableLevel::full;
  const bool keys = level != CreateTableLevel::columnsOnly;
  auto quotedList = [](const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t c = 0; c < names.size(); ++c) text += (c ? ", " : "") + quoteIdentifier(names[c]);
    return text;
  };

  std::vector<std::string> items;
  for (const ParsedColumn& column : table.columns) {
    const bool singleKey = keyColumns.size() == 1 && equalsIgnoringASCIICase(keyColumns[0], column.name);
    std::string item = quoteIdentifier(column.name) + " " + column.type;
    if (singleKey && keys) item += " PRIMARY KEY";
    if (full) {
      if (column.notNull) item += " NOT NULL";
      if (column.unique && !singleKey) item += " UNIQUE";
      if (column.defaultSQL) item += " DEFAULT " + *column.defaultSQL;
    }
    items.push_back(std::move(item));
  }
  if (keyColumns.size() >= 2 && keys) items.push_back("PRIMARY KEY (" + quotedList(keyColumns) + ")");
  if (full) {
    for (const std::vector<std::string>& group : table.uniques) items.push_back("UNIQUE (" + quotedList(group) + ")");
    items.insert(items.end(), table.foreignKeys.begin(), table.foreignKeys.end());
  }

  std::string sql = "CREATE ";
  if (table.temporary) sql += "TEMP ";
  sql += "TABLE ";
  if (table.ifNotExists) sql += "IF NOT EXISTS ";
  sql += quoteIdentifier(table.name) + " (";
  for (std::size_t c = 0; c < items.size(); ++c) sql += (c ? ",\n    " : "\n    ") + items[c];
  sql += "\n)";
  return sql;
}

std::string sqliteType(const std::vector<std::string>& typeWords, const std::vector<std::string>& typeArguments,
                       bool isArray, bool isUnsigned, SQLDialect dialect) {
  if (typeWords.empty() || isArray) return "TEXT";
  const std::string& word = typeWords[0];
  const bool argumentIsOne = typeArguments.size() == 1 && typeArguments[0] == "1";
  static constexpr auto kBigIntegers = std::to_array<std::string_view>({"bigint", "int8", "bigserial", "serial8"});
  static constexpr auto kIntegers =
      std::to_array<std::string_view>({"smallint", "mediumint", "int", "integer", "int2", "int4", "serial",
                                       "smallserial", "serial2", "serial4", "year", "oid"});
  static constexpr auto kReals = std::to_array<std::string_view>({"float", "double", "real", "float4", "float8"});
  static constexpr auto kNumerics = std::to_array<std::string_view>({"decimal", "numeric", "dec", "fixed", "money"});
  static constexpr auto kDateTimes = std::to_array<std::string_view>({"datetime", "timestamp", "timestamptz"});
  static constexpr auto kBlobs =
      std::to_array<std::string_view>({"blob", "tinyblob", "mediumblob", "longblob", "binary", "varbinary", "bytea",
                                       "geometry", "point", "linestring", "polygon"});
  if (word == "tinyint") return argumentIsOne ? "BOOLEAN" : "INTEGER";
  if (word == "bool" || word == "boolean") return "BOOLEAN";
  if (word == "bit") {
    if (typeWords.size() == 1 && (typeArguments.empty() || argumentIsOne)) return "BOOLEAN";
    return dialect == SQLDialect::mysql ? "INTEGER" : "TEXT";
  }
  if (isOneOf(word, kBigIntegers)) return isUnsigned ? "UNSIGNED BIG INT" : "INTEGER";
  if (isOneOf(word, kIntegers)) return "INTEGER";
  if (isOneOf(word, kReals)) return "REAL";
  if (isOneOf(word, kNumerics)) return "NUMERIC";
  if (word == "date") return "DATE";
  if (word == "time" || word == "timetz") return "TIME";
  if (isOneOf(word, kDateTimes)) return "DATETIME";
  if (word == "json" || word == "jsonb") return "JSON";
  if (isOneOf(word, kBlobs)) return "BLOB";
  return "TEXT";
}

}  // namespace tabvora::internal::SQLDialectNormalizer
