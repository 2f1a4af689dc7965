#include "drivers/sqlite/table_page_sql.hpp"

#include <algorithm>

#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

TablePageSQL::TablePageSQL(const std::string& table, std::optional<std::string> alias)
    : quotedTable_(quoteIdentifier(table)), alias_(std::move(alias)) {
  selectList_ = alias_ ? *alias_ + " AS __tabvora_rowid, *" : "*";
}

std::string TablePageSQL::count(const std::optional<std::string>& filter) const {
  std::string sql = "SELECT COUNT(*) FROM " + quotedTable_;
  if (filter) sql += " WHERE " + *filter;
  return sql;
}

std::string TablePageSQL::identityRange() const {
  // Each in its own SELECT: SQLite reads a lone MIN or MAX of the identity from one end of
  // the table, but both in one SELECT from every row.
  const std::string& alias = alias_.value_or("rowid");
  return "SELECT (SELECT MIN(" + alias + ") FROM " + quotedTable_ + "), (SELECT MAX(" + alias + ") FROM " +
         quotedTable_ + ")";
}

std::string TablePageSQL::seek(std::int64_t firstIdentity, std::int64_t pageSize) const {
  const std::string& alias = alias_.value_or("rowid");
  return "SELECT " + selectList_ + " FROM " + quotedTable_ + " WHERE " + alias +
         " >= " + std::to_string(firstIdentity) + " ORDER BY " + alias + " ASC LIMIT " + std::to_string(pageSize);
}

std::string TablePageSQL::reverse(const std::optional<std::string>& sortColumn, bool ascending, std::int64_t limit,
                                  std::int64_t offset) const {
  const std::string& alias = alias_.value_or("rowid");
  std::string order;
  if (sortColumn && !sortColumn->empty())
    order = " ORDER BY " + quoteIdentifier(*sortColumn) + (ascending ? " DESC, " : " ASC, ") + alias + " DESC";
  else
    order = " ORDER BY " + alias + " DESC";
  return "SELECT " + selectList_ + " FROM " + quotedTable_ + order + " LIMIT " + std::to_string(limit) + " OFFSET " +
         std::to_string(offset);
}

std::string TablePageSQL::plain(const std::optional<std::string>& filter, const std::optional<std::string>& sortColumn,
                                bool ascending, std::optional<std::int64_t> limit, std::int64_t offset) const {
  std::string sql = "SELECT " + selectList_ + " FROM " + quotedTable_;
  if (filter) sql += " WHERE " + *filter;
  if (sortColumn && !sortColumn->empty()) {
    sql += " ORDER BY " + quoteIdentifier(*sortColumn) + (ascending ? " ASC" : " DESC");
    if (alias_) sql += ", " + *alias_ + " ASC";
  }
  if (limit)
    sql += " LIMIT " + std::to_string(*limit) + " OFFSET " + std::to_string(offset);
  else if (offset > 0)
    // All rows from the offset on: the rows are numbered from the offset, so they must start there.
    sql += " LIMIT -1 OFFSET " + std::to_string(offset);
  return sql;
}

TablePageSQL::Window TablePageSQL::reverseWindow(std::int64_t total, std::int64_t offset, std::int64_t pageSize) {
  std::int64_t limit = std::min(pageSize, std::max<std::int64_t>(total - offset, 0));
  return {limit, std::max<std::int64_t>(total - offset - limit, 0)};
}

}  // namespace tabvora::internal
