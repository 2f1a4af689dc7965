#include "drivers/sqlscript/table_namespaces.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "drivers/sqlscript/sql_tokens.hpp"
#include "platform/ascii_case.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal::SQLDialectNormalizer {

namespace {

template <std::size_t N>
bool isOneOf(std::string_view word, const std::array<std::string_view, N>& upperWords) {
  return std::any_of(upperWords.begin(), upperWords.end(),
                     [&](std::string_view w) { return equalsIgnoringASCIICase(word, w); });
}

// Words after which a table name stands.
constexpr auto kTableWords = std::to_array<std::string_view>(
    {"FROM", "JOIN", "INTO", "TABLE", "TABLES", "REFERENCES", "VIEW", "INDEX", "COPY", "TRUNCATE", "UPDATE"});
// Words between such a word and the name (DROP TABLE IF EXISTS t, ALTER TABLE ONLY t).
constexpr auto kNameModifiers =
    std::to_array<std::string_view>({"IF", "NOT", "EXISTS", "ONLY", "LATERAL", "CONCURRENTLY"});
// Words that are never a table name where one may stand (CREATE INDEX ON t, DO UPDATE SET).
constexpr auto kNotNames = std::to_array<std::string_view>(
    {"ON", "AS", "USING", "WHERE", "SET", "VALUES", "SELECT", "WITH", "DEFAULT", "OR", "CASCADE"});
// Words that end a FROM list, whose items after a "," are table names too.
constexpr auto kFromListEnds =
    std::to_array<std::string_view>({"WHERE", "GROUP", "HAVING", "ORDER", "LIMIT", "WINDOW", "UNION", "EXCEPT",
                                     "INTERSECT", "ON", "USING", "SET", "RETURNING", "VALUES", "SELECT"});

// A word or a double-quoted identifier of a statement.
struct NamePart {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string text;  // quotes removed
  bool quoted = false;
};

std::optional<NamePart> namePartAt(std::string_view s, std::size_t at) {
  if (at >= s.size()) return std::nullopt;
  const auto c = static_cast<unsigned char>(s[at]);
  if (c == '"') {
    NamePart part{at, s.size(), {}, true};
    for (std::size_t j = at + 1; j < s.size(); ++j) {
      if (s[j] != '"') {
        part.text += s[j];
      } else if (j + 1 < s.size() && s[j + 1] == '"') {
        part.text += '"';
        ++j;
      } else {
        part.end = j + 1;
        break;
      }
    }
    return part;
  }
  if (!isIdentifierByte(c) || c == '$' || (c >= '0' && c <= '9')) return std::nullopt;
  std::size_t end = at + 1;
  while (end < s.size() && isIdentifierByte(static_cast<unsigned char>(s[end]))) ++end;
  return NamePart{at, end, std::string(s.substr(at, end - at)), false};
}

// A name that may stand for a table: [qualifier.]name, as found in the statement.
struct Reference {
  std::optional<NamePart> qualifier;
  NamePart name;
  bool tablePlace = false;  // where a table name stands, and not followed by "."
  bool call = false;        // followed by "("
};

}  // namespace

TableNamespaces::TableNamespaces(std::string_view defaultNamespace) : defaultSchema_(defaultNamespace) {
  if (!defaultSchema_.empty()) add(defaultSchema_);
  useDefault();
}

void TableNamespaces::add(std::string_view name) {
  if (!name.empty()) qualifiers_.emplace(asciiLowered(name), std::string(name));
}

void TableNamespaces::use(std::string_view name) {
  add(name);
  current_ = namespaceOf(name);
}

void TableNamespaces::useDefault() { current_ = namespaceOf(defaultSchema_); }

void TableNamespaces::connect(std::string_view database) {
  // The first database keeps plain schema names, as a script without \connect does.
  if (!firstDatabase_) firstDatabase_ = asciiLowered(database);
  const bool first = *firstDatabase_ == asciiLowered(database);
  databaseKey_ = first ? "" : asciiLowered(database) + ".";
  databaseLabel_ = first ? "" : std::string(database) + ".";
  useDefault();
}

TableNamespaces::Namespace TableNamespaces::namespaceOf(std::string_view qualifier) const {
  const auto known = qualifiers_.find(asciiLowered(qualifier));
  const std::string label = known == qualifiers_.end() ? std::string(qualifier) : known->second;
  if (qualifier.empty()) return {"", ""};
  return {databaseKey_ + asciiLowered(qualifier), databaseLabel_ + label};
}

std::optional<std::string> TableNamespaces::definedName(const std::string& key, std::string_view name) const {
  const auto found = staged_.find({key, asciiLowered(name)});
  if (found == staged_.end()) return std::nullopt;
  return found->second;
}

std::string TableNamespaces::stagedName(const Namespace& space, std::string_view name) const {
  if (std::optional<std::string> defined = definedName(space.key, name)) return *defined;
  const auto owner = owners_.find(asciiLowered(name));
  if (owner == owners_.end() || owner->second == space.key || space.label.empty()) return std::string(name);
  return space.label + "." + std::string(name);
}

void TableNamespaces::define(const Definition& definition) {
  staged_.emplace(std::make_pair(definition.key, definition.name), definition.staged);
  owners_.emplace(asciiLowered(definition.staged), definition.key);
}

TableNamespaces::Rewrite TableNamespaces::rewrite(std::string statement, bool defining) const {
  const std::string_view s = statement;
  const std::size_t n = s.size();
  std::vector<Reference> references;

  bool tableNext = false;
  bool afterOn = false;
  bool indexOrTrigger = false;
  bool insert = false;
  std::size_t depth = 0;
  // The depth of the FROM list being read, or kNoFromList.
  constexpr std::size_t kNoFromList = std::numeric_limits<std::size_t>::max();
  std::size_t fromListDepth = kNoFromList;
  std::size_t words = 0;

  std::size_t i = 0;
  while (i < n) {
    const char c = s[i];
    if (isSQLWhiteSpace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    const bool wasOn = afterOn;
    afterOn = false;
    if (c == '\'') {
      const std::size_t close = s.find('\'', i + 1);
      i = close == std::string_view::npos ? n : close + 1;
      tableNext = false;
      continue;
    }
    std::optional<NamePart> part = namePartAt(s, i);
    if (!part) {
      if (c >= '0' && c <= '9') {
        while (i < n && (isIdentifierByte(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
        tableNext = false;
        continue;
      }
      if (c == '(') ++depth;
      if (c == ')') {
        if (depth > 0) --depth;
        if (fromListDepth != kNoFromList && depth < fromListDepth) fromListDepth = kNoFromList;
      }
      tableNext = c == ',' && fromListDepth == depth;
      ++i;
      continue;
    }

    // A dotted name: ns.name[.column] when ns is a namespace, else table.column or a
    // longer path whose later parts are left alone.
    Reference reference{std::nullopt, *part};
    i = part->end;
    std::optional<NamePart> next = i < n && s[i] == '.' ? namePartAt(s, i + 1) : std::nullopt;
    if (next && qualifiers_.count(asciiLowered(part->text)) > 0) {
      reference = {part, *next};
      i = next->end;
      next = i < n && s[i] == '.' ? namePartAt(s, i + 1) : std::nullopt;
    }
    const bool dotted = next.has_value();
    while (next) {
      i = next->end;
      next = i < n && s[i] == '.' ? namePartAt(s, i + 1) : std::nullopt;
    }
    std::size_t after = i;
    while (after < n && isSQLWhiteSpace(static_cast<unsigned char>(s[after]))) ++after;
    reference.call = after < n && s[after] == '(';

    const std::string_view word = part->quoted ? std::string_view() : std::string_view(part->text);
    const bool plainWord = !reference.qualifier && !dotted && !part->quoted;
    if (words++ == 0) insert = equalsIgnoringASCIICase(word, "INSERT") || equalsIgnoringASCIICase(word, "REPLACE");
    if (plainWord && insert && depth == 0 && equalsIgnoringASCIICase(word, "VALUES")) break;
    if (plainWord && tableNext && isOneOf(word, kNameModifiers)) continue;
    if (tableNext && !dotted && !(plainWord && isOneOf(word, kNotNames))) {
      reference.tablePlace = true;
      references.push_back(std::move(reference));
      tableNext = false;
      continue;
    }
    tableNext = false;
    if (reference.qualifier || dotted) {
      references.push_back(std::move(reference));
      continue;
    }
    if (!plainWord) continue;
    if (equalsIgnoringASCIICase(word, "INDEX") || equalsIgnoringASCIICase(word, "TRIGGER")) indexOrTrigger = true;
    if (fromListDepth == depth && isOneOf(word, kFromListEnds)) fromListDepth = kNoFromList;
    if (equalsIgnoringASCIICase(word, "FROM")) fromListDepth = depth;
    tableNext = (isOneOf(word, kTableWords) && !(wasOn && equalsIgnoringASCIICase(word, "UPDATE"))) ||
                (indexOrTrigger && equalsIgnoringASCIICase(word, "ON"));
    afterOn = equalsIgnoringASCIICase(word, "ON");
  }

  // Table names first: a column qualifier refers to a table of its own statement when
  // one has that name (FROM archive.orders ... orders.id), else to the current namespace.
  Rewrite result;
  std::map<std::string, std::string> statementTables;
  std::vector<std::pair<const Reference*, std::string>> edits;
  for (const Reference& reference : references) {
    if (!reference.tablePlace) continue;
    const Namespace space = reference.qualifier ? namespaceOf(reference.qualifier->text) : current_;
    std::string staged = stagedName(space, reference.name.text);
    if (defining && !result.defines) result.defines = Definition{space.key, asciiLowered(reference.name.text), staged};
    statementTables.emplace(asciiLowered(reference.name.text), staged);
    edits.emplace_back(&reference, std::move(staged));
  }
  for (const Reference& reference : references) {
    if (reference.tablePlace) continue;
    if (reference.qualifier) {
      edits.emplace_back(&reference, reference.call
                                         ? reference.name.text
                                         : stagedName(namespaceOf(reference.qualifier->text), reference.name.text));
      continue;
    }
    const auto local = statementTables.find(asciiLowered(reference.name.text));
    std::optional<std::string> staged =
        local != statementTables.end() ? local->second : definedName(current_.key, reference.name.text);
    if (staged) edits.emplace_back(&reference, std::move(*staged));
  }

  // A name staged as written keeps its own spelling and quotes, losing only its qualifier.
  std::erase_if(edits, [](const auto& edit) {
    return !edit.first->qualifier && equalsIgnoringASCIICase(edit.second, edit.first->name.text);
  });
  if (edits.empty()) {
    result.text = std::move(statement);
    return result;
  }
  std::sort(edits.begin(), edits.end(),
            [](const auto& a, const auto& b) { return a.first->name.begin < b.first->name.begin; });
  std::string& out = result.text;
  out.reserve(n + 16 * edits.size());
  std::size_t copied = 0;
  for (const auto& [reference, staged] : edits) {
    const std::size_t begin = reference->qualifier ? reference->qualifier->begin : reference->name.begin;
    out.append(s.substr(copied, begin - copied));
    if (equalsIgnoringASCIICase(staged, reference->name.text)) {
      out.append(s.substr(reference->name.begin, reference->name.end - reference->name.begin));
    } else {
      out += quoteIdentifier(staged);
    }
    copied = reference->name.end;
  }
  out.append(s.substr(copied));
  return result;
}

}  // namespace tabvora::internal::SQLDialectNormalizer
