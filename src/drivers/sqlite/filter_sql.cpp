#include "drivers/sqlite/filter_sql.hpp"

#include <cmath>
#include <cstdio>

#include "drivers/sqlite/text_match_function.hpp"
#include "platform/number_parsing.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

namespace {

// The value as a number when it reads whole as a decimal one ("inf", "nan" and
// hexadecimal literals stay text); otherwise NULL.
CellValue numberOrNull(const std::string& value) {
  if (std::optional<std::int64_t> integer = parseInt64(value)) return CellValue::integer(*integer);
  if (value.find_first_not_of("0123456789+-.eE") == std::string::npos) {
    if (std::optional<double> real = parseDouble(value)) return CellValue::real(*real);
  }
  return CellValue::null();
}

// The next parameter's placeholder, with the value appended to `parameters`.
std::string parameter(std::vector<CellValue>& parameters, CellValue value) {
  parameters.push_back(std::move(value));
  std::string placeholder = "?";  // appended: GCC 12 misreads "?" + std::string (-Wrestrict)
  placeholder += std::to_string(parameters.size());
  return placeholder;
}

std::string textMatch(const std::string& column, const std::string& needle, int mode) {
  return std::string(kTextMatchFunction) + "(" + column + ", " + needle + ", " + std::to_string(mode) + ")";
}

// A cell holding a number compares numerically with a value that is a number; any other
// cell compares as text, by bytes. Mixed columns (spreadsheets, untyped SQLite columns)
// thus compare each cell the way it reads.
std::string comparison(const std::string& column, const char* op, const std::string& value,
                       std::vector<CellValue>& parameters) {
  const std::string number = parameter(parameters, numberOrNull(value));
  const std::string text = parameter(parameters, CellValue::text(value));
  return "CASE WHEN " + number + " IS NOT NULL AND typeof(" + column + ") IN ('integer', 'real') THEN " + column + " " +
         op + " " + number + " ELSE CAST(" + column + " AS TEXT) " + op + " " + text + " END";
}

// One filter's condition; the values it takes are appended to `parameters`.
std::string condition(const ColumnFilter& filter, std::vector<CellValue>& parameters) {
  using Op = ColumnFilter::Operator;
  const std::string column = quoteIdentifier(filter.column);
  const std::string& value = filter.value;
  switch (filter.op) {
    case Op::contains: return textMatch(column, parameter(parameters, CellValue::text(value)), 0);
    case Op::notContains: return "NOT " + textMatch(column, parameter(parameters, CellValue::text(value)), 0);
    case Op::startsWith: return textMatch(column, parameter(parameters, CellValue::text(value)), 1);
    case Op::endsWith: return textMatch(column, parameter(parameters, CellValue::text(value)), 2);
    case Op::equals: return comparison(column, "=", value, parameters);
    case Op::notEquals: return column + " IS NULL OR " + comparison(column, "<>", value, parameters);
    case Op::greater: return comparison(column, ">", value, parameters);
    case Op::greaterOrEqual: return comparison(column, ">=", value, parameters);
    case Op::less: return comparison(column, "<", value, parameters);
    case Op::lessOrEqual: return comparison(column, "<=", value, parameters);
    case Op::isEmpty: return column + " IS NULL OR CAST(" + column + " AS TEXT) = ''";
    case Op::isNotEmpty: return column + " IS NOT NULL AND CAST(" + column + " AS TEXT) <> ''";
  }
  return "1";
}

BoundSQL withFilters(std::string select, const std::vector<ColumnFilter>& filters, FilterCombination combination) {
  BoundSQL sql{std::move(select), {}};
  if (std::optional<BoundSQL> where = filterCondition(filters, combination)) {
    sql.text += " WHERE " + where->text;
    sql.parameters = std::move(where->parameters);
  }
  return sql;
}

}  // namespace

std::optional<BoundSQL> filterCondition(const std::vector<ColumnFilter>& filters, FilterCombination combination) {
  BoundSQL sql;
  for (const ColumnFilter& filter : filters) {
    if (!filter.isActive()) continue;
    if (!sql.text.empty()) sql.text += combination == FilterCombination::all ? " AND " : " OR ";
    sql.text += '(';
    sql.text += condition(filter, sql.parameters);
    sql.text += ')';
  }
  if (sql.text.empty()) return std::nullopt;
  return sql;
}

std::optional<std::string> searchCondition(const std::vector<std::string>& columns, const std::string& text,
                                           std::vector<CellValue>& parameters) {
  if (text.empty()) return std::nullopt;
  if (columns.empty()) return "0";
  const std::string needle = parameter(parameters, CellValue::text(text));
  std::string sql;
  for (const std::string& column : columns) {
    if (!sql.empty()) sql += " OR ";
    sql += textMatch(quoteIdentifier(column), needle, 0);
  }
  return sql;
}

BoundSQL filteredSelect(const std::string& table, const std::vector<ColumnFilter>& filters,
                        FilterCombination combination) {
  return withFilters("SELECT * FROM " + quoteIdentifier(table), filters, combination);
}

BoundSQL filteredCount(const std::string& table, const std::vector<ColumnFilter>& filters,
                       FilterCombination combination) {
  return withFilters("SELECT COUNT(*) FROM " + quoteIdentifier(table), filters, combination);
}

namespace {

std::optional<std::string> literalOf(const CellValue& value) {
  switch (value.kind()) {
    case CellValue::Kind::null: return "NULL";
    case CellValue::Kind::integer: return std::to_string(value.integerValue());
    case CellValue::Kind::real: {
      const double real = value.realValue();
      if (!std::isfinite(real)) return std::nullopt;
      char text[40];
      std::snprintf(text, sizeof text, "%.17g", real);
      std::string literal = text;
      // Still a real when read back: "2" would be an integer.
      if (literal.find_first_of(".e") == std::string::npos) literal += ".0";
      return literal;
    }
    case CellValue::Kind::text: return sqlStringLiteral(value.stringValue());
    default: return std::nullopt;
  }
}

}  // namespace

std::optional<std::string> inlinedCondition(const BoundSQL& condition) {
  const std::string& text = condition.text;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '"' || c == '\'') {
      // A quoted name or string, its doubled quotes included, is copied as it is.
      std::size_t end = i + 1;
      for (;;) {
        if (end >= text.size()) return std::nullopt;
        if (text[end] != c) {
          ++end;
        } else if (end + 1 < text.size() && text[end + 1] == c) {
          end += 2;
        } else {
          break;
        }
      }
      out.append(text, i, end + 1 - i);
      i = end + 1;
    } else if (c == '?') {
      std::size_t end = i + 1;
      std::size_t number = 0;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9' && number <= condition.parameters.size())
        number = number * 10 + static_cast<std::size_t>(text[end++] - '0');
      if (number == 0 || number > condition.parameters.size()) return std::nullopt;
      std::optional<std::string> literal = literalOf(condition.parameters[number - 1]);
      if (!literal) return std::nullopt;
      out += *literal;
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace tabvora::internal
