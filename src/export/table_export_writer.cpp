#include "export/table_export_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <span>

#include <nlohmann/json.hpp>

#include "drivers/json/json_text.hpp"
#include "model/base64.hpp"
#include "platform/byte_count.hpp"
#include "platform/delimited_quoting.hpp"
#include "platform/double_format.hpp"
#include "platform/iso8601.hpp"
#include "platform/sql_quoting.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

using Kind = CellValue::Kind;

// A copied row seen as a row being read. Booleans read as 1 or 0, dates and JSON as text.
class CopiedRow final : public RowView {
 public:
  explicit CopiedRow(const DataRow& row) : row_(row) {}
  std::size_t size() const override { return row_.values.size(); }
  Kind kind(std::size_t column) const override {
    if (column >= row_.values.size()) return Kind::null;
    switch (const Kind kind = row_.values[column].kind()) {
      case Kind::boolean: return Kind::integer;
      case Kind::date:
      case Kind::json: return Kind::text;
      default: return kind;
    }
  }
  std::int64_t integer(std::size_t column) const override {
    const CellValue& value = row_.values[column];
    return value.kind() == Kind::boolean ? (value.booleanValue() ? 1 : 0) : value.integerValue();
  }
  double real(std::size_t column) const override { return row_.values[column].realValue(); }
  std::string_view bytes(std::size_t column) const override {
    const CellValue& value = row_.values[column];
    switch (value.kind()) {
      case Kind::blob: return {reinterpret_cast<const char*>(value.blobValue().data()), value.blobValue().size()};
      case Kind::date: return scratch_ = formatISO8601(value.dateValue().secondsSince1970, false);
      default: return value.stringValue();
    }
  }

 private:
  const DataRow& row_;
  mutable std::string scratch_;
};

void appendInteger(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

std::string base64Of(std::string_view bytes) {
  return base64Encode(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// The value's text as CSV and TSV write it, before any quoting.
void appendPlain(std::string& out, const RowView& row, std::size_t j) {
  switch (row.kind(j)) {
    case Kind::integer: appendInteger(out, row.integer(j)); break;
    case Kind::real: out += shortestDoubleText(row.real(j)); break;
    case Kind::blob: out += base64Of(row.bytes(j)); break;
    case Kind::null: break;
    default: out += row.bytes(j);
  }
}

class DelimitedWriter final : public TableExportWriter {
 public:
  DelimitedWriter(std::string tableName, std::vector<DataColumn> columns, char delimiter)
      : TableExportWriter(std::move(tableName), std::move(columns)), delimiter_(delimiter) {}
  void writeBegin(std::string& out) override {
    const std::size_t start = out.size();
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      if (j > 0) out += delimiter_;
      appendDelimitedField(out, columns_[j].name, delimiter_);
    }
    endDelimitedRecord(out, start, "\n");
  }
  void writeRow(const RowView& row, std::string& out) override {
    const std::size_t start = out.size();
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      if (j > 0) out += delimiter_;
      if (row.kind(j) == Kind::text) {
        appendDelimitedField(out, row.bytes(j), delimiter_);
      } else {
        appendPlain(out, row, j);
      }
    }
    endDelimitedRecord(out, start, "\n");
  }
  void writeEnd(std::string&) override {}

 private:
  char delimiter_;
};

class JSONWriter final : public TableExportWriter {
 public:
  JSONWriter(std::string tableName, std::vector<DataColumn> columns)
      : TableExportWriter(std::move(tableName), std::move(columns)) {
    for (const DataColumn& column : columns_) {
      std::string key;
      appendJSONString(key, column.name);
      keys_.push_back(key + ": ");
    }
  }
  // A JSON column's text is written as the JSON it holds (when it is JSON), a boolean
  // column's 0 and 1 as false and true; everything else as its storage class says.
  void appendValue(const RowView& row, std::size_t j, std::string& out) const {
    const Kind kind = row.kind(j);
    const ColumnType type = columns_[j].type;
    if (type == ColumnType::boolean && kind == Kind::integer && (row.integer(j) == 0 || row.integer(j) == 1)) {
      out += row.integer(j) == 1 ? "true" : "false";
      return;
    }
    if (type == ColumnType::json && kind == Kind::text) {
      const std::string_view text = row.bytes(j);
      if (nlohmann::json::accept(text)) {
        out += text;
        return;
      }
    }
    switch (kind) {
      case Kind::integer: appendInteger(out, row.integer(j)); break;
      case Kind::real: {
        const double value = row.real(j);
        out += std::isfinite(value) ? shortestDoubleText(value) : "null";
        break;
      }
      case Kind::text: appendJSONString(out, row.bytes(j)); break;
      case Kind::blob: appendJSONString(out, base64Of(row.bytes(j))); break;
      default: out += "null";
    }
  }
  void writeBegin(std::string& out) override { out += '['; }
  void writeRow(const RowView& row, std::string& out) override {
    out += first_ ? "\n  {" : ",\n  {";
    first_ = false;
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      if (j > 0) out += ", ";
      out += keys_[j];
      appendValue(row, j, out);
    }
    out += '}';
  }
  void writeEnd(std::string& out) override { out += first_ ? "]\n" : "\n]\n"; }

 private:
  std::vector<std::string> keys_;
  bool first_ = true;
};

class MarkdownWriter final : public TableExportWriter {
 public:
  using TableExportWriter::TableExportWriter;
  void writeBegin(std::string& out) override {
    out += '|';
    for (const DataColumn& column : columns_) {
      out += ' ';
      appendCell(out, column.name);
      out += " |";
    }
    out += "\n|";
    for (const DataColumn& column : columns_) {
      const bool number = column.type == ColumnType::integer || column.type == ColumnType::real;
      out += number ? " ---: |" : " --- |";
    }
    out += '\n';
  }
  void writeRow(const RowView& row, std::string& out) override {
    out += '|';
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      out += ' ';
      switch (row.kind(j)) {
        case Kind::integer: appendInteger(out, row.integer(j)); break;
        case Kind::real: out += CellValue::real(row.real(j)).displayString(); break;
        case Kind::text: appendCell(out, row.bytes(j)); break;
        case Kind::blob: out += "BLOB [" + formatByteCount(static_cast<std::int64_t>(row.bytes(j).size())) + "]"; break;
        default: break;
      }
      out += " |";
    }
    out += '\n';
  }
  void writeEnd(std::string&) override {}

 private:
  // A cell stays one cell on one line: "|" and "\" escaped, line breaks as <br>.
  static void appendCell(std::string& out, std::string_view text) {
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
  }
};

class SQLWriter final : public TableExportWriter {
 public:
  SQLWriter(std::string tableName, std::vector<DataColumn> columns)
      : TableExportWriter(std::move(tableName), std::move(columns)) {
    insert_ = "INSERT INTO " + quoteIdentifier(tableName_) + " VALUES (";
  }
  void writeBegin(std::string& out) override {
    out += "BEGIN TRANSACTION;\nCREATE TABLE " + quoteIdentifier(tableName_) + " (";
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      if (j > 0) out += ", ";
      out += quoteIdentifier(columns_[j].name);
      // Untyped columns keep each value's own storage class.
      if (columns_[j].type != ColumnType::null && columns_[j].type != ColumnType::unknown)
        out.append(1, ' ').append(columns_[j].type.rawValue());
    }
    out += ");\n";
  }
  void writeRow(const RowView& row, std::string& out) override {
    out += insert_;
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      if (j > 0) out += ", ";
      appendLiteral(out, row, j);
    }
    out += ");\n";
  }
  void writeEnd(std::string& out) override { out += "COMMIT;\n"; }

 private:
  static void appendLiteral(std::string& out, const RowView& row, std::size_t j) {
    switch (row.kind(j)) {
      case Kind::integer: appendInteger(out, row.integer(j)); break;
      case Kind::real: {
        const double v = row.real(j);
        if (std::isnan(v)) {
          out += "NULL";
        } else if (std::isinf(v)) {
          out += v > 0 ? "9e999" : "-9e999";
        } else {
          const std::string text = shortestDoubleText(v);
          out += text;
          // A whole number must still read back as a real.
          if (text.find_first_of(".eE") == std::string::npos) out += ".0";
        }
        break;
      }
      case Kind::blob: appendSQLBlobLiteral(out, row.bytes(j)); break;
      case Kind::text: appendSQLStringLiteral(out, row.bytes(j)); break;
      default: out += "NULL";
    }
  }
  std::string insert_;
};

}  // namespace

std::string TableExportWriter::begin() {
  std::string out;
  writeBegin(out);
  return out;
}

std::string TableExportWriter::rows(const DataTable& page) {
  std::string out;
  for (const DataRow& row : page.rows) writeRow(CopiedRow(row), out);
  return out;
}

std::string TableExportWriter::end() {
  std::string out;
  writeEnd(out);
  return out;
}

std::unique_ptr<TableExportWriter> TableExportWriter::make(ExportFormat format, std::string tableName,
                                                           std::vector<DataColumn> columns) {
  switch (format) {
    case ExportFormat::csv: return std::make_unique<DelimitedWriter>(std::move(tableName), std::move(columns), ',');
    case ExportFormat::tsv: return std::make_unique<DelimitedWriter>(std::move(tableName), std::move(columns), '\t');
    case ExportFormat::json: return std::make_unique<JSONWriter>(std::move(tableName), std::move(columns));
    case ExportFormat::markdown: return std::make_unique<MarkdownWriter>(std::move(tableName), std::move(columns));
    case ExportFormat::sqlInsert: return std::make_unique<SQLWriter>(std::move(tableName), std::move(columns));
  }
  return std::make_unique<DelimitedWriter>(std::move(tableName), std::move(columns), ',');
}

}  // namespace tabvora::internal
