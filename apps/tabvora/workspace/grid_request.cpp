#include "grid_request.hpp"

#include <charconv>

#include <nlohmann/json.hpp>

#include "request_error.hpp"

namespace tabvora::workspace {

namespace {

[[noreturn]] void malformed(const std::string& message) { throw RequestError(400, message); }

std::int64_t count(const Parameters& parameters, const std::string& name, std::int64_t fallback, std::int64_t most) {
  const std::optional<std::string> text = singleParameter(parameters, name);
  if (!text) return fallback;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size() || value < 0 || value > most)
    malformed("The parameter " + name + " must be a whole number from 0 to " + std::to_string(most) + ".");
  return value;
}

std::string stringField(const nlohmann::json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) return {};
  if (!found->is_string()) malformed(std::string("A filter's \"") + key + "\" must be text.");
  return found->get<std::string>();
}

std::vector<ColumnFilter> filtersFrom(const std::string& text) {
  const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_array()) malformed("The parameter filters must be a JSON array.");
  if (parsed.size() > GridRequest::kMaxFilters)
    malformed("At most " + std::to_string(GridRequest::kMaxFilters) + " filters are taken.");
  std::vector<ColumnFilter> filters;
  for (const nlohmann::json& entry : parsed) {
    if (!entry.is_object()) malformed("Each filter must be an object with column, op and value.");
    const std::string column = stringField(entry, "column");
    const std::string op = stringField(entry, "op");
    if (column.empty()) malformed("A filter names no column.");
    const std::optional<ColumnFilter::Operator> parsedOp = ColumnFilter::Operator::fromRawValue(op);
    if (!parsedOp) malformed("\"" + op + "\" is not a filter operator.");
    filters.emplace_back(column, *parsedOp, stringField(entry, "value"));
  }
  return filters;
}

}  // namespace

std::optional<std::string> singleParameter(const Parameters& parameters, const std::string& name) {
  const auto [first, last] = parameters.equal_range(name);
  if (first == last) return std::nullopt;
  if (std::next(first) != last) malformed("The parameter " + name + " is given more than once.");
  return first->second;
}

GridRequest GridRequest::parse(const Parameters& parameters) {
  GridRequest request;
  std::optional<std::string> table = singleParameter(parameters, "table");
  if (!table || table->empty()) malformed("The request names no table.");
  request.table = std::move(*table);
  request.page.offset = count(parameters, "offset", 0, std::numeric_limits<std::int64_t>::max());
  request.page.limit = count(parameters, "limit", kMaxPageRows, kMaxPageRows);
  if (std::optional<std::string> sort = singleParameter(parameters, "sort"); sort && !sort->empty())
    request.page.sortColumn = std::move(*sort);
  if (std::optional<std::string> order = singleParameter(parameters, "order")) {
    if (*order != "asc" && *order != "desc") malformed("The parameter order must be asc or desc.");
    request.page.ascending = *order == "asc";
  }
  if (std::optional<std::string> filters = singleParameter(parameters, "filters"))
    request.page.filters = filtersFrom(*filters);
  if (std::optional<std::string> combine = singleParameter(parameters, "combine")) {
    std::optional<FilterCombination> combination = FilterCombination::fromRawValue(*combine);
    if (!combination) malformed("The parameter combine must be All or Any.");
    request.page.combination = *combination;
  }
  if (std::optional<std::string> search = singleParameter(parameters, "search")) request.page.search = *search;
  if (std::optional<std::string> count = singleParameter(parameters, "count")) {
    if (*count != "later") malformed("The parameter count must be later.");
    request.page.countRows = false;
  }
  return request;
}

RowSelection GridRequest::selection() const {
  RowSelection selection;
  selection.filters = page.filters;
  selection.combination = page.combination;
  selection.sortColumn = page.sortColumn;
  selection.ascending = page.ascending;
  selection.search = page.search;
  return selection;
}

}  // namespace tabvora::workspace
