#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/data_column.hpp"

struct sqlite3_stmt;

namespace tabvora::internal {

class SQLiteDriver;

// The one way a staging driver creates and fills a table of its staging database:
//   CREATE TABLE "name" ("column" TYPE, ...);   BEGIN TRANSACTION;
//   INSERT INTO "name" VALUES (?, ...);  (prepared once; `insertRows` binds and steps it
//   with stepAndReset for every row)   COMMIT;
// all under the staging driver's lock. Names are quoted as identifiers; types are the
// column types' names. Returns the CREATE TABLE text, which is the table's DDL. An error
// of any step propagates; no rollback is issued (the next openInMemory discards it all).
class StagedTable {
 public:
  static std::string createSQL(std::string_view table, std::span<const DataColumn> columns);
  // With `rowCount` rows of parameters: INSERT INTO "name" VALUES (?, ...), (?, ...), ...;
  static std::string insertSQL(std::string_view table, std::size_t columnCount, std::size_t rowCount = 1);

  static std::string stage(SQLiteDriver& staging, std::string_view table, std::span<const DataColumn> columns,
                           const std::function<void(sqlite3_stmt*)>& insertRows);

  // Rows one INSERT puts in when the table's rows are known ahead: one statement per row
  // costs about twice as much per row.
  static constexpr std::size_t kRowsPerInsert = 32;

  // Like the other stage, for `rowCount` rows known ahead: `bindRow(insert, offset, row)`
  // binds the values of row `row` (0-based) to parameters offset + 1 ... offset +
  // columns.size() of `insert`. Rows go in kRowsPerInsert to a statement (fewer when that
  // many would pass the connection's limit on parameters), the last ones one at a time;
  // the table's rows are the same as with one statement per row.
  static std::string stage(SQLiteDriver& staging, std::string_view table, std::span<const DataColumn> columns,
                           std::size_t rowCount,
                           const std::function<void(sqlite3_stmt*, int offset, std::size_t row)>& bindRow);

  // Binds `text` to parameter `parameter` of `insert` for a column of `type`, so that the
  // column stores what it would store for the text bound as text. For an INTEGER or REAL
  // column, text that is only an optional "-" and at most 18 digits is bound as the integer
  // it spells, saving the conversion of its text; anything else is bound as text. The text
  // is not copied: it must stay valid until the parameter is bound again or the statement
  // is finalised.
  static void bindText(sqlite3_stmt* insert, int parameter, std::string_view text, ColumnType type);
  // The integer bindText binds `text` as for a column of `type`; nothing when it binds text.
  static std::optional<std::int64_t> integerBinding(std::string_view text, ColumnType type);
};

}  // namespace tabvora::internal
