#include <cmath>
#include <system_error>

#include "drivers/json/json_driver.hpp"
#include "drivers/json/json_text.hpp"
#include "model/base64.hpp"
#include "model/driver_error.hpp"
#include "platform/atomic_file.hpp"
#include "platform/iso8601.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {

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

void JSONDriver::saveChanges() {
  if (!currentURL_) return;
  const std::filesystem::path url = *currentURL_;
  const bool jsonLines = [&] {
    std::string extension = toLowerUnicode(url.extension().string());
    return extension == ".jsonl" || extension == ".ndjson";
  }();
  if (jsonLines && skippedLineCount_ >= 1)
    throw DriverError("JSONDriver", -2,
                      std::to_string(skippedLineCount_) +
                          " line(s) in this file are not valid JSON objects and were skipped when it was opened. "
                          "Saving would delete them, so the file was left untouched. Use Export instead.");
  if (jsonLines && linesLeftUnstaged_)
    throw DriverError("JSONDriver", -2,
                      "Only the first lines of this file were loaded for a preview. Saving would delete the "
                      "others, so the file was left untouched. Open it in full to edit it.");

  DataTable table = [&] {
    std::lock_guard guard(internalSQLite.mutex());
    return internalSQLite.fetchTableData(primaryTableName_, std::nullopt, 0, std::nullopt, true, std::nullopt);
  }();

  std::vector<nlohmann::json> records;
  records.reserve(table.rows.size());
  for (const DataRow& row : table.rows) {
    nlohmann::json record = nlohmann::json::object();
    for (std::size_t j = 0; j < table.columns.size(); ++j) {
      const std::string& name = table.columns[j].name;
      auto key = sourceKeys_.find(name);
      CellValue cell = row[static_cast<std::ptrdiff_t>(j)];
      const MixedOriginal* original = nullptr;
      if (row.rowid) {
        if (auto column = mixedOriginals_.find(name); column != mixedOriginals_.end()) {
          if (auto entry = column->second.find(*row.rowid); entry != column->second.end()) original = &entry->second;
        }
      }
      nlohmann::json value;
      if (original && cell == CellValue::text(original->text)) {
        value = original->value;
      } else {
        auto type = columnTypes_.find(name);
        value = jsonValue(cell, type == columnTypes_.end() ? std::nullopt : std::optional(type->second));
      }
      record[key == sourceKeys_.end() ? name : key->second] = std::move(value);
    }
    records.push_back(std::move(record));
  }

  std::string out;
  if (jsonLines) {
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
      if (it.key() == *wrapperKey_) appendRecordsArray(out, records, 1);
      else appendJSON(out, *it, true, 1);
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

}  // namespace tabvora
