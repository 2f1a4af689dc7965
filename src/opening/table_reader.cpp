#include "opening/table_reader.hpp"

#include <algorithm>

#include "drivers/sqlite/filter_sql.hpp"
#include "platform/sql_quoting.hpp"
#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kDomain = "TableReader";

}  // namespace

TableReader::TableReader(DatabaseDriver& driver, std::string table, std::vector<ColumnFilter> filters,
                         FilterCombination combination)
    : driver_(driver), table_(std::move(table)), filters_(std::move(filters)), combination_(combination) {
  columns_ = driver_.fetchSchema(table_);
  for (const ColumnFilter& filter : filters_) requireColumn(filter.column);
}

void TableReader::requireColumn(const std::string& name) const {
  const bool known =
      std::any_of(columns_.begin(), columns_.end(), [&](const DataColumn& column) { return column.name == name; });
  if (known) return;
  std::string names;
  for (const DataColumn& column : columns_) names += (names.empty() ? "" : ", ") + column.name;
  throw DriverError(kDomain, ErrorCode::invalidArgument, -1,
                    "The table \"" + table_ + "\" has no column \"" + name + "\" (its columns: " + names + ")");
}

BoundSQL TableReader::condition() const {
  BoundSQL where;
  if (std::optional<BoundSQL> filtered = filterCondition(filters_, combination_)) {
    where.text = "(" + filtered->text + ")";
    where.parameters = std::move(filtered->parameters);
  }
  std::vector<std::string> names;
  for (const DataColumn& column : columns_) names.push_back(column.name);
  if (std::optional<std::string> search = searchCondition(names, search_, where.parameters))
    where.text += (where.text.empty() ? "(" : " AND (") + *search + ")";
  return where;
}

BoundSQL TableReader::narrowed(bool counting, bool ordered) const {
  BoundSQL where = condition();
  BoundSQL sql{std::string(counting ? "SELECT COUNT(*) FROM " : "SELECT * FROM ") + quoteIdentifier(table_),
               std::move(where.parameters)};
  if (!where.text.empty()) sql.text += " WHERE " + where.text;
  if (ordered && sortColumn_)
    sql.text += " ORDER BY " + quoteIdentifier(*sortColumn_) + (ascending_ ? " ASC" : " DESC");
  return sql;
}

void TableReader::setOrder(std::optional<std::string> sortColumn, bool ascending) {
  if (sortColumn) requireColumn(*sortColumn);
  sortColumn_ = std::move(sortColumn);
  ascending_ = ascending;
}

std::int64_t TableReader::count() {
  std::int64_t total = 0;
  const BoundSQL sql = narrowed(true, false);
  driver_.forEachRow(sql.text, sql.parameters, [&](const RowView& row) {
    total = row.integer(0);
    return false;
  });
  return total;
}

void TableReader::forEachPage(std::optional<std::int64_t> limit, const std::function<bool(const DataTable&)>& body,
                              std::int64_t pageRows) {
  if (limit && *limit <= 0) return;
  std::int64_t delivered = 0;
  const std::int64_t size = limit ? std::min(pageRows, *limit) : pageRows;
  const BoundSQL sql = narrowed(false, true);
  driver_.streamRows(sql.text, sql.parameters, size, [&](const DataTable& page) {
    delivered += static_cast<std::int64_t>(page.rows.size());
    if (!limit || delivered <= *limit) return body(page) && (!limit || delivered < *limit);
    DataTable cut = page;
    cut.rows.resize(cut.rows.size() - static_cast<std::size_t>(delivered - *limit));
    body(cut);
    return false;
  });
}

void TableReader::forEachRow(std::optional<std::int64_t> limit, const std::function<bool(const RowView&)>& body) {
  if (limit && *limit <= 0) return;
  std::int64_t delivered = 0;
  const BoundSQL sql = narrowed(false, true);
  driver_.forEachRow(sql.text, sql.parameters,
                     [&](const RowView& row) { return body(row) && (!limit || ++delivered < *limit); });
}

DataTable TableReader::firstRows(std::int64_t rows) {
  DataTable result(table_, columns_, {});
  forEachPage(rows, [&](const DataTable& page) {
    result.columns = page.columns;
    result.rows.insert(result.rows.end(), page.rows.begin(), page.rows.end());
    return true;
  });
  result.totalRowCount = std::max(count(), static_cast<std::int64_t>(result.rows.size()));
  return result;
}

DataTable TableReader::page(std::int64_t offset, std::int64_t limit, const std::optional<std::string>& sortColumn,
                            bool ascending) {
  BoundSQL sql = narrowed(false, false);
  if (sortColumn) {
    requireColumn(*sortColumn);
    sql.text += " ORDER BY " + quoteIdentifier(*sortColumn) + (ascending ? " ASC" : " DESC");
  }
  sql.text += " LIMIT " + std::to_string(std::max<std::int64_t>(limit, 0)) + " OFFSET " +
              std::to_string(std::max<std::int64_t>(offset, 0));
  DataTable result(table_, columns_, {});
  driver_.streamRows(sql.text, sql.parameters, kPageRows, [&](const DataTable& rows) {
    result.columns = rows.columns;
    result.rows.insert(result.rows.end(), rows.rows.begin(), rows.rows.end());
    return true;
  });
  for (std::size_t i = 0; i < result.rows.size(); ++i) result.rows[i].id = offset + static_cast<std::int64_t>(i);
  result.totalRowCount = count();
  return result;
}

}  // namespace tabvora::internal
