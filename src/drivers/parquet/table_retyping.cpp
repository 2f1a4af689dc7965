#include "drivers/parquet/table_retyping.hpp"

#include <mutex>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "drivers/sqlite/staged_table.hpp"
#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

void retypeStagedTable(SQLiteDriver& staging, const std::string& table, std::span<const DataColumn> columns) {
  std::lock_guard guard(staging.mutex());
  const std::vector<DataColumn> staged = staging.fetchSchema(table);
  bool same = staged.size() == columns.size();
  for (std::size_t i = 0; same && i < columns.size(); ++i) same = staged[i].type == columns[i].type;
  if (same) return;
  const std::string interim = table + "_retyped";
  staging.executeRawSQL(StagedTable::createSQL(interim, columns));
  staging.executeRawSQL("INSERT INTO " + quoteIdentifier(interim) + " SELECT * FROM " + quoteIdentifier(table) + ";");
  staging.executeRawSQL("DROP TABLE " + quoteIdentifier(table) + ";");
  staging.executeRawSQL("ALTER TABLE " + quoteIdentifier(interim) + " RENAME TO " + quoteIdentifier(table) + ";");
}

}  // namespace tabvora::internal
