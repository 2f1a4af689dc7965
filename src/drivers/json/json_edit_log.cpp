#include "drivers/json/json_edit_log.hpp"

#include "platform/sql_quoting.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kEdits = "\"json edits\"";
constexpr const char* kNewRows = "\"json new rows\"";

std::string noteRow(const char* which) {
  return std::string("INSERT OR IGNORE INTO ") + kNewRows + " VALUES (" + which + ".rowid); ";
}

}  // namespace

void JSONEditLog::install(SQLiteDriver& db, const std::string& table,
                          const std::vector<std::pair<std::size_t, std::string>>& columns) {
  const std::string target = " ON main." + quoteIdentifier(table) + " ";
  std::string sql = std::string("CREATE TEMP TABLE ") + kEdits +
                    " (row INTEGER, col INTEGER, staged, PRIMARY KEY (row, col)) WITHOUT ROWID;\n"
                    "CREATE TEMP TABLE " +
                    kNewRows +
                    " (row INTEGER PRIMARY KEY);\n"
                    "CREATE TEMP TRIGGER \"json insert\" AFTER INSERT" +
                    target + "BEGIN " + noteRow("NEW") +
                    "END;\n"
                    "CREATE TEMP TRIGGER \"json delete\" AFTER DELETE" +
                    target + "BEGIN " + noteRow("OLD") +
                    "END;\n"
                    "CREATE TEMP TRIGGER \"json move\" AFTER UPDATE" +
                    target + "WHEN NEW.rowid IS NOT OLD.rowid BEGIN " + noteRow("OLD") + noteRow("NEW") + "END;\n";
  for (const auto& [index, name] : columns) {
    const std::string column = quoteIdentifier(name);
    sql += "CREATE TEMP TRIGGER \"json edit " + std::to_string(index) + "\" AFTER UPDATE OF " + column + target +
           "BEGIN INSERT OR IGNORE INTO " + kEdits + " VALUES (OLD.rowid, " + std::to_string(index) + ", OLD." +
           column + "); END;\n";
  }
  db.executeRawSQL(sql);
}

JSONEditLog JSONEditLog::read(SQLiteDriver& db) {
  JSONEditLog log;
  for (const DataRow& row : db.query(std::string("SELECT row FROM temp.") + kNewRows).rows)
    log.newRows_.insert(row.values.at(0).integerValue());
  for (const DataRow& row : db.query(std::string("SELECT row, col, staged FROM temp.") + kEdits).rows) {
    const CellValue& staged = row.values.at(2);
    log.stagedTexts_[{row.values.at(0).integerValue(), static_cast<std::size_t>(row.values.at(1).integerValue())}] =
        staged.kind() == CellValue::Kind::text ? std::optional(staged.stringValue()) : std::nullopt;
  }
  return log;
}

const std::optional<std::string>* JSONEditLog::stagedText(std::int64_t row, std::size_t column) const {
  auto found = stagedTexts_.find({row, column});
  return found == stagedTexts_.end() ? nullptr : &found->second;
}

}  // namespace tabvora::internal
