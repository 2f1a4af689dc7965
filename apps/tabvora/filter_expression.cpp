#include "filter_expression.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "command_line.hpp"

namespace tabvora::cli {

namespace {

using Op = ColumnFilter::Operator;

struct Spelling {
  std::string_view text;
  Op::Value op;
};

// Longest first, so ">=" is not read as ">" and "is not empty" not as something shorter.
constexpr std::array kSymbols{
    Spelling{">=", Op::greaterOrEqual},
    Spelling{"<=", Op::lessOrEqual},
    Spelling{"!=", Op::notEquals},
    Spelling{"<>", Op::notEquals},
    Spelling{"==", Op::equals},
    Spelling{"\u2260", Op::notEquals},
    Spelling{"\u2265", Op::greaterOrEqual},
    Spelling{"\u2264", Op::lessOrEqual},
    Spelling{"=", Op::equals},
    Spelling{">", Op::greater},
    Spelling{"<", Op::less},
};
constexpr std::array kWords{
    Spelling{"does not contain", Op::notContains},
    Spelling{"is not empty", Op::isNotEmpty},
    Spelling{"starts with", Op::startsWith},
    Spelling{"ends with", Op::endsWith},
    Spelling{"contains", Op::contains},
    Spelling{"is empty", Op::isEmpty},
};

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The operator spelled at `pos`, if any.
std::optional<Spelling> operatorAt(std::string_view text, std::size_t pos) {
  const std::string_view rest = text.substr(pos);
  for (const Spelling& symbol : kSymbols) {
    if (rest.starts_with(symbol.text)) return symbol;
  }
  if (pos == 0 || (text[pos - 1] != ' ' && text[pos - 1] != '\t')) return std::nullopt;
  for (const Spelling& word : kWords) {
    if (rest.starts_with(word.text) &&
        (rest.size() == word.text.size() || rest[word.text.size()] == ' ' || rest[word.text.size()] == '\t'))
      return word;
  }
  return std::nullopt;
}

// A double-quoted name at the start of `text`, with the rest after it.
std::pair<std::string, std::string_view> quotedName(std::string_view text, std::string_view expression) {
  std::string name;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] != '"') {
      name += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      name += '"';
      ++i;
    } else {
      return {name, text.substr(i + 1)};
    }
  }
  throw UsageError("--where \"" + std::string(expression) + "\": the column name's closing quote is missing");
}

constexpr std::string_view kOperatorList =
    "contains, \"does not contain\", =, !=, >, >=, <, <=, \"starts with\", \"ends with\", \"is empty\", "
    "\"is not empty\"";
// Characters that only spell operators: an unquoted value starting with one is a misspelt
// operator (">> 1", "=> 1", "<< 1"), not a value.
constexpr std::string_view kOperatorCharacters = "<>=!";

bool startsWithOperatorCharacter(std::string_view value) {
  value = trimmed(value);
  if (value.empty()) return false;
  return kOperatorCharacters.find(value.front()) != std::string_view::npos || value.starts_with("\u2260") ||
         value.starts_with("\u2265") || value.starts_with("\u2264");
}

std::string unquotedValue(std::string_view value) {
  value = trimmed(value);
  if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

}  // namespace

ColumnFilter parseFilterExpression(std::string_view expression) {
  const std::string shown(expression);
  std::string_view text = trimmed(expression);
  std::optional<std::string> quoted;
  if (text.starts_with('"')) {
    auto [name, rest] = quotedName(text, expression);
    quoted = std::move(name);
    text = rest;
  }
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const std::optional<Spelling> spelling = operatorAt(text, pos);
    if (!spelling) continue;
    const std::string column = quoted ? *quoted : std::string(trimmed(text.substr(0, pos)));
    if (quoted && !trimmed(text.substr(0, pos)).empty()) break;
    if (column.empty()) throw UsageError("--where \"" + shown + "\" names no column before the operator");
    const std::string_view rest = text.substr(pos + spelling->text.size());
    const bool symbol = !(spelling->text.front() >= 'a' && spelling->text.front() <= 'z');
    if (symbol && startsWithOperatorCharacter(rest)) {
      const std::string_view value = trimmed(rest);
      const std::size_t length = std::min(value.find_first_of(" \t"), value.size());
      throw UsageError("--where \"" + shown + "\": unknown operator \"" + std::string(spelling->text) +
                       std::string(value.substr(0, length)) + "\"; OP is one of " + std::string(kOperatorList) +
                       " (quote a value that starts with one of < > = !)");
    }
    ColumnFilter filter(column, spelling->op, unquotedValue(text.substr(pos + spelling->text.size())));
    if (!filter.op.needsValue() && !filter.value.empty())
      throw UsageError("--where \"" + shown + "\": \"" + std::string(filter.op.rawValue()) + "\" takes no value");
    if (filter.op.needsValue() && filter.value.empty())
      throw UsageError("--where \"" + shown + "\" needs a value after \"" + std::string(spelling->text) + "\"");
    return filter;
  }
  throw UsageError("--where \"" + shown + "\" has no operator; write COLUMN OP VALUE with OP one of " +
                   std::string(kOperatorList));
}

}  // namespace tabvora::cli
