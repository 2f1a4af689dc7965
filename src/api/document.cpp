#include "tabvora/document.hpp"

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "drivers/sqlite/sqlite_driver.hpp"
#include "model/driver_error.hpp"
#include "opening/driver_manager.hpp"
#include "tabvora/error.hpp"

namespace tabvora {

namespace {

constexpr std::string_view kDomain = "Document";

// Runs a driver call with its failures as the public Error: a driver's own error keeps
// its domain and code; anything else becomes a read failure of this Document.
template <typename Call>
auto translated(Call&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const Error&) {
    throw;
  } catch (const std::exception& error) {
    throw Error(std::string(kDomain), -1, error.what());
  } catch (...) {
    throw Error(std::string(kDomain), -1, "The file could not be read.");
  }
}

Value::Kind publicKind(CellValue::Kind kind) {
  switch (kind) {
    case CellValue::Kind::integer: return Value::Kind::integer;
    case CellValue::Kind::real: return Value::Kind::real;
    case CellValue::Kind::text: return Value::Kind::text;
    case CellValue::Kind::boolean: return Value::Kind::boolean;
    case CellValue::Kind::date: return Value::Kind::date;
    case CellValue::Kind::blob: return Value::Kind::blob;
    case CellValue::Kind::json: return Value::Kind::json;
    case CellValue::Kind::null: return Value::Kind::null;
  }
  return Value::Kind::null;
}

Value publicValue(const CellValue& cell) {
  Value value;
  value.kind = publicKind(cell.kind());
  value.text = cell.displayString();
  switch (cell.kind()) {
    case CellValue::Kind::integer: value.data = cell.integerValue(); break;
    case CellValue::Kind::real: value.data = cell.realValue(); break;
    case CellValue::Kind::date: value.data = cell.dateValue().secondsSince1970; break;
    case CellValue::Kind::boolean: value.data = cell.booleanValue(); break;
    case CellValue::Kind::text:
    case CellValue::Kind::json: value.data = cell.stringValue(); break;
    case CellValue::Kind::blob: value.data = cell.blobValue(); break;
    case CellValue::Kind::null: break;
  }
  return value;
}

Rows publicRows(const DataTable& table) {
  Rows rows;
  rows.totalRowCount = table.totalRowCount;
  rows.columns.reserve(table.columns.size());
  for (const DataColumn& column : table.columns) rows.columns.push_back({column.name, std::string(column.type.rawValue())});
  rows.rows.reserve(table.rows.size());
  for (const DataRow& row : table.rows) {
    std::vector<Value> values;
    values.reserve(table.columns.size());
    for (std::size_t j = 0; j < table.columns.size(); ++j) values.push_back(publicValue(row[static_cast<std::ptrdiff_t>(j)]));
    rows.rows.push_back(std::move(values));
  }
  return rows;
}

void checkLimit(std::int64_t limit) {
  if (limit < 0 || limit > Document::kMaxRows) {
    throw Error(std::string(kDomain), -1,
                "The row limit must be from 0 to " + std::to_string(Document::kMaxRows) + ", not " +
                    std::to_string(limit) + ".");
  }
}

}  // namespace

struct Document::State {
  std::unique_ptr<DatabaseDriver> driver;
  DatabaseMetadata metadata;

  ~State() {
    if (driver) driver->close();
  }
};

Document::Document(std::unique_ptr<State> state) : state_(std::move(state)) {}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

Document::State& Document::state() const {
  if (!state_) throw Error(std::string(kDomain), -1, "The document was moved away.");
  return *state_;
}

Document Document::open(const std::filesystem::path& path) {
  return translated([&] {
    auto state = std::make_unique<State>();
    state->driver = DriverManager::shared().checkedDriver(path);
    // Reading a database must not write to it, its journal or its folder.
    if (auto* sqlite = dynamic_cast<SQLiteDriver*>(state->driver.get())) sqlite->previewReadOnly = true;
    state->metadata = state->driver->open(path);
    return Document(std::move(state));
  });
}

std::string Document::format() const { return std::string(state().metadata.format.displayName()); }

std::vector<TableInfo> Document::tables() const {
  State& current = state();
  return translated([&] {
    std::vector<TableInfo> tables;
    for (const TableMetadata& table : current.metadata.tables) {
      std::optional<std::int64_t> columns = table.columnCount;
      // Drivers that do not count columns when listing still describe each table's schema.
      if (!columns) {
        try {
          columns = static_cast<std::int64_t>(current.driver->fetchSchema(table.name).size());
        } catch (const std::exception&) {
        }
      }
      tables.push_back({table.name, std::string(table.type.rawValue()), table.rowCount, columns,
                        current.driver->unreadableReason(table.name)});
    }
    return tables;
  });
}

std::vector<std::string> Document::warnings() const { return state().driver->warnings(); }

Rows Document::page(const std::string& table, std::int64_t limit, std::int64_t offset) {
  checkLimit(limit);
  if (offset < 0) throw Error(std::string(kDomain), -1, "The row offset must be 0 or more, not " + std::to_string(offset) + ".");
  State& current = state();
  return translated([&] { return publicRows(current.driver->fetchTableData(table, limit, offset)); });
}

Rows Document::query(const std::string& sql, std::int64_t limit) {
  checkLimit(limit);
  State& current = state();
  return translated([&] { return publicRows(current.driver->query(sql, limit, std::nullopt)); });
}

}  // namespace tabvora
