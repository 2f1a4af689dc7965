#include "table_export_writer.hpp"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "drivers/delimited/delimited_text_writer.hpp"
#include "drivers/sqlite/sql_quoting.hpp"
#include "model/base64.hpp"
#include "model/double_format.hpp"

namespace tabvora::cli {

namespace {

const CellValue kMissing = CellValue::null();

const CellValue& valueAt(const DataRow& row, std::size_t column) {
  return column < row.values.size() ? row.values[column] : kMissing;
}

// JSON text of a value; invalid UTF-8 becomes U+FFFD rather than failing the export.
std::string jsonText(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

class CSVWriter final : public TableExportWriter {
 public:
  using TableExportWriter::TableExportWriter;
  std::string begin() override {
    std::string text;
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      if (j > 0) text += ',';
      text += CellValue::text(columns_[j].name).csvEscaped();
    }
    return text + '\n';
  }
  std::string rows(const DataTable& page) override {
    std::string text;
    for (const DataRow& row : page.rows) {
      for (std::size_t j = 0; j < columns_.size(); ++j) {
        if (j > 0) text += ',';
        text += valueAt(row, j).csvEscaped();
      }
      text += '\n';
    }
    return text;
  }
  std::string end() override { return {}; }
};

class TSVWriter final : public TableExportWriter {
 public:
  using TableExportWriter::TableExportWriter;
  std::string begin() override {
    DelimitedTextWriter writer('\t', false);
    for (const DataColumn& column : columns_) writer.field(column.name);
    writer.endRecord();
    return writer.takeText();
  }
  std::string rows(const DataTable& page) override {
    DelimitedTextWriter writer('\t', false);
    for (const DataRow& row : page.rows) {
      for (std::size_t j = 0; j < columns_.size(); ++j) writer.field(fieldText(valueAt(row, j)));
      writer.endRecord();
    }
    return writer.takeText();
  }
  std::string end() override { return {}; }

 private:
  // The CSV form without CSV's quoting, which the tab writer applies by its own rule.
  static std::string fieldText(const CellValue& value) {
    const bool textual = value.kind() == CellValue::Kind::text || value.kind() == CellValue::Kind::json;
    return textual ? value.stringValue() : value.csvEscaped();
  }
};

class JSONWriter final : public TableExportWriter {
 public:
  JSONWriter(std::string tableName, std::vector<DataColumn> columns)
      : TableExportWriter(std::move(tableName), std::move(columns)) {
    for (const DataColumn& column : columns_) keys_.push_back(jsonText(column.name) + ": ");
  }
  std::string begin() override { return "["; }
  std::string rows(const DataTable& page) override {
    std::string text;
    for (const DataRow& row : page.rows) {
      text += first_ ? "\n  {" : ",\n  {";
      first_ = false;
      for (std::size_t j = 0; j < columns_.size(); ++j) {
        if (j > 0) text += ", ";
        text += keys_[j];
        text += valueText(valueAt(row, j));
      }
      text += '}';
    }
    return text;
  }
  std::string end() override { return first_ ? "]\n" : "\n]\n"; }

 private:
  static std::string valueText(const CellValue& value) {
    if (value.kind() == CellValue::Kind::real && !std::isfinite(value.realValue())) return "null";
    return jsonText(value.jsonObject());
  }
  std::vector<std::string> keys_;
  bool first_ = true;
};

class MarkdownWriter final : public TableExportWriter {
 public:
  using TableExportWriter::TableExportWriter;
  std::string begin() override {
    std::string names = "|";
    std::string rule = "|";
    for (const DataColumn& column : columns_) {
      names += " " + cellText(column.name) + " |";
      const bool number = column.type == ColumnType::integer || column.type == ColumnType::real;
      rule += number ? " ---: |" : " --- |";
    }
    return names + '\n' + rule + '\n';
  }
  std::string rows(const DataTable& page) override {
    std::string text;
    for (const DataRow& row : page.rows) {
      text += '|';
      for (std::size_t j = 0; j < columns_.size(); ++j) {
        const CellValue& value = valueAt(row, j);
        text += ' ';
        text += value.isNull() ? std::string() : cellText(value.displayString());
        text += " |";
      }
      text += '\n';
    }
    return text;
  }
  std::string end() override { return {}; }

 private:
  // A cell stays one cell on one line: "|" and "\" escaped, line breaks as <br>.
  static std::string cellText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '|' || c == '\\') {
        out += '\\';
        out += c;
      } else if (c == '\r' || c == '\n') {
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += "<br>";
      } else {
        out += c;
      }
    }
    return out;
  }
};

class SQLWriter final : public TableExportWriter {
 public:
  SQLWriter(std::string tableName, std::vector<DataColumn> columns)
      : TableExportWriter(std::move(tableName), std::move(columns)) {
    insert_ = "INSERT INTO " + identifier(tableName_) + " VALUES (";
  }
  std::string begin() override {
    std::string text = "BEGIN TRANSACTION;\nCREATE TABLE " + identifier(tableName_) + " (";
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      if (j > 0) text += ", ";
      text += identifier(columns_[j].name);
      // Untyped columns keep each value's own storage class.
      if (columns_[j].type != ColumnType::null && columns_[j].type != ColumnType::unknown)
        text += " " + std::string(columns_[j].type.rawValue());
    }
    return text + ");\n";
  }
  std::string rows(const DataTable& page) override {
    std::string text;
    for (const DataRow& row : page.rows) {
      text += insert_;
      for (std::size_t j = 0; j < columns_.size(); ++j) {
        if (j > 0) text += ", ";
        text += literal(valueAt(row, j));
      }
      text += ");\n";
    }
    return text;
  }
  std::string end() override { return "COMMIT;\n"; }

 private:
  // A name cannot hold a NUL in SQL text (the statement would end there); it is left out.
  static std::string identifier(std::string name) {
    name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
    return quoteIdentifier(name);
  }
  static std::string hexBytes(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "X'";
    for (unsigned char byte : bytes) {
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0x0F];
    }
    return out + "'";
  }
  static std::string textLiteral(const std::string& text) {
    // A NUL would end the statement's text for many readers; such text travels as bytes.
    if (text.find('\0') != std::string::npos) return "CAST(" + hexBytes(text) + " AS TEXT)";
    return "'" + escapeStringLiteral(text) + "'";
  }
  static std::string literal(const CellValue& value) {
    switch (value.kind()) {
      case CellValue::Kind::null: return "NULL";
      case CellValue::Kind::integer: return std::to_string(value.integerValue());
      case CellValue::Kind::real: {
        const double v = value.realValue();
        if (std::isnan(v)) return "NULL";
        if (std::isinf(v)) return v > 0 ? "9e999" : "-9e999";
        std::string text = shortestDoubleText(v);
        // A whole number must still read back as a real.
        if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
        return text;
      }
      case CellValue::Kind::boolean: return value.booleanValue() ? "1" : "0";
      case CellValue::Kind::blob: {
        const auto& bytes = value.blobValue();
        return hexBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      }
      case CellValue::Kind::text:
      case CellValue::Kind::json: return textLiteral(value.stringValue());
      case CellValue::Kind::date: return textLiteral(value.csvEscaped());
    }
    return "NULL";
  }
  std::string insert_;
};

}  // namespace

std::unique_ptr<TableExportWriter> TableExportWriter::make(ExportFormat format, std::string tableName,
                                                           std::vector<DataColumn> columns) {
  switch (format) {
    case ExportFormat::csv: return std::make_unique<CSVWriter>(std::move(tableName), std::move(columns));
    case ExportFormat::tsv: return std::make_unique<TSVWriter>(std::move(tableName), std::move(columns));
    case ExportFormat::json: return std::make_unique<JSONWriter>(std::move(tableName), std::move(columns));
    case ExportFormat::markdown: return std::make_unique<MarkdownWriter>(std::move(tableName), std::move(columns));
    case ExportFormat::sqlInsert: return std::make_unique<SQLWriter>(std::move(tableName), std::move(columns));
  }
  return std::make_unique<CSVWriter>(std::move(tableName), std::move(columns));
}

}  // namespace tabvora::cli
