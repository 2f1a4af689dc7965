#include <cmath>
#include <system_error>

#include "drivers/json/json_driver.hpp"
#include "drivers/json/json_edit_log.hpp"
#include "drivers/json/json_text.hpp"
#include "model/base64.hpp"
#include "model/driver_error.hpp"
#include "platform/atomic_file.hpp"
#include "platform/iso8601.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

// Text of a JSON column back to its value: any JSON value (a bare string or number too),
// or the text itself as a string when it is not JSON. The parser's depth limit keeps a
// deeply nested edit from exhausting the stack when written.
nlohmann::json parsedOrString(const std::string& text) {
  thread_local simdjson::dom::parser parser;
  simdjson::padded_string padded(text);
  simdjson::dom::element value;
  if (parser.parse(padded).get(value)) return text;
  return toJSONValue(value);
}

void appendRecordsArray(std::string& out, const std::vector<nlohmann::json>& records, int indentLevel) {
  if (records.empty()) {
    out += "[]";
    return;
  }
  out += '[';
  for (std::size_t i = 0; i < records.size(); ++i) {
    out += i ? ",\n" : "\n";
    appendIndent(out, indentLevel + 1);
    appendJSON(out, records[i], true, indentLevel + 1);
  }
  out += '\n';
  appendIndent(out, indentLevel);
  out += ']';
}

}  // namespace

nlohmann::json JSONDriver::jsonValue(const CellValue& cell, std::optional<ColumnType> type) {
  switch (cell.kind()) {
    case CellValue::Kind::integer:
      if (type == ColumnType::boolean) return cell.integerValue() != 0;
      return cell.integerValue();
    case CellValue::Kind::real:
      if (!std::isfinite(cell.realValue())) return nullptr;
      return cell.realValue();
    case CellValue::Kind::text:
    case CellValue::Kind::json: {
      const std::string& text = cell.stringValue();
      if (type == ColumnType::boolean) {
        std::string lower = toLowerUnicode(text);
        if (lower == "true") return true;
        if (lower == "false") return false;
        return text;
      }
      if (type == ColumnType::json) return parsedOrString(text);
      return text;
    }
    case CellValue::Kind::boolean: return cell.booleanValue();
    case CellValue::Kind::date: return formatISO8601(cell.dateValue().secondsSince1970, false);
    case CellValue::Kind::blob: return base64Encode(cell.blobValue());
    case CellValue::Kind::null: break;
  }
  return nullptr;
}

nlohmann::json JSONDriver::savedValue(const DataRow& row, std::size_t column, const std::string& name,
                                      const JSONEditLog* log) const {
  const CellValue cell = column < row.values.size() ? row.values[column] : CellValue();
  auto index = columnIndexes_.find(name);
  if (log && row.rowid && index != columnIndexes_.end() && !log->holdsNewRow(*row.rowid)) {
    // The cell keeps its original value while it holds the text it was staged with.
    const std::optional<std::string>* edited = log->stagedText(*row.rowid, index->second);
    const std::string* staged = nullptr;
    if (edited)
      staged = *edited ? &**edited : nullptr;
    else if (cell.kind() == CellValue::Kind::text)
      staged = &cell.stringValue();
    if (staged && cell == CellValue::text(*staged)) {
      if (auto original = originals_.valueOf(index->second, *row.rowid, *staged)) return std::move(*original);
    }
  }
  auto type = columnTypes_.find(name);
  return jsonValue(cell, type == columnTypes_.end() ? std::nullopt : std::optional(type->second));
}

void JSONDriver::saveChanges() {
  if (!currentURL_) return;
  const std::filesystem::path url = *currentURL_;
  if (jsonLines_ && skippedLineCount_ >= 1)
    throw DriverError("JSONDriver", -2,
                      std::to_string(skippedLineCount_) +
                          " line(s) in this file are not valid JSON objects and were skipped when it was opened. "
                          "Saving would delete them, so the file was left untouched. Use Export instead.");
  if (openedForPreview_)
    throw DriverError("JSONDriver", -2,
                      "This file was opened for a preview, which keeps only what the page shows. Saving could "
                      "lose data, so the file was left untouched. Open it in full to edit it.");
  if (openedToInspect_)
    throw DriverError("JSONDriver", -2,
                      "This file was opened for reading only, which keeps nothing for writing it back. Saving could "
                      "lose data, so the file was left untouched. Open it for editing to save it.");

  DataTable table = DataTable::empty();
  std::optional<JSONEditLog> log;
  {
    std::lock_guard guard(internalSQLite.mutex());
    table = internalSQLite.fetchTableData(primaryTableName_, std::nullopt, 0, std::nullopt, true, std::nullopt);
    if (!originals_.columns().empty()) log = JSONEditLog::read(internalSQLite);
  }

  std::vector<nlohmann::json> records;
  records.reserve(table.rows.size());
  for (const DataRow& row : table.rows) {
    nlohmann::json record = nlohmann::json::object();
    for (std::size_t j = 0; j < table.columns.size(); ++j) {
      const std::string& name = table.columns[j].name;
      auto key = sourceKeys_.find(name);
      record[key == sourceKeys_.end() ? name : key->second] = savedValue(row, j, name, log ? &*log : nullptr);
    }
    records.push_back(std::move(record));
  }

  std::string out;
  if (jsonLines_) {
    for (const nlohmann::json& record : records) {
      appendJSON(out, record, false);
      out += '\n';
    }
  } else if (wrapperObject_ && wrapperKey_) {
    out += '{';
    bool first = true;
    for (auto it = wrapperObject_->begin(); it != wrapperObject_->end(); ++it) {
      out += first ? "\n" : ",\n";
      first = false;
      appendIndent(out, 1);
      appendJSONString(out, it.key());
      out += " : ";
      if (it.key() == *wrapperKey_)
        appendRecordsArray(out, records, 1);
      else
        appendJSON(out, *it, true, 1);
    }
    out += "\n}";
  } else {
    appendRecordsArray(out, records, 0);
  }

  try {
    writeFileAtomically(url, std::string_view(out));
  } catch (const std::system_error& error) {
    throw DriverError("JSONDriver", -1, "Failed to write file at " + url.string() + ": " + error.what());
  }
}

}  // namespace tabvora::internal
