#include "drivers/json/json_lines_source.hpp"

#include <cstring>
#include <memory>

#include "drivers/json/oversized_integers.hpp"
#include "model/driver_error.hpp"

namespace tabvora {

JSONLinesSource::JSONLinesSource(const std::filesystem::path& url, std::optional<std::size_t> lineLimit) {
  try {
    file_.emplace(MappedFile::read(url));
  } catch (const std::exception&) {
    throw DriverError("JSONDriver", -1, "Failed to read file at " + url.string());
  }
  lines_ = JSONLineChunks::scan(file_->text(), lineLimit);
}

std::optional<simdjson::dom::object> JSONLinesSource::LineParser::parse(const JSONLine& line) {
  const char* start = text_.data() + line.begin;
  simdjson::dom::element root;
  simdjson::error_code error;
  if (line.end + simdjson::SIMDJSON_PADDING <= text_.size()) {
    error = parser_.parse(start, line.size(), false).get(root);
  } else {
    error = simdjson::NUMBER_ERROR;  // not parsed yet: take the copy below
  }
  if (error == simdjson::NUMBER_ERROR) {
    scratch_.assign(start, start + line.size());
    scratch_.resize(line.size() + simdjson::SIMDJSON_PADDING, ' ');
    bool needsParse = line.end + simdjson::SIMDJSON_PADDING > text_.size();
    if (rewriteOversizedIntegers(scratch_.data(), line.size()) || needsParse)
      error = parser_.parse(scratch_.data(), line.size(), false).get(root);
  }
  if (error || !root.is_object()) return std::nullopt;
  return simdjson::dom::object(root);
}

JSONRecordSource::SchemaReader JSONLinesSource::makeSchemaReader() const {
  auto parser = std::make_shared<LineParser>(file_->text());
  return [this, parser](std::size_t unit, JSONDriver::SchemaAccumulator& schema) {
    for (const JSONLine& line : lines_.chunks[unit]) {
      if (auto record = parser->parse(line)) schema.add(*record);
      else ++schema.skipped;
    }
  };
}

JSONRecordSource::RowReader JSONLinesSource::makeRowReader(const std::vector<JSONColumn>& columns,
                                                           const JSONKeyIndex& index) const {
  auto parser = std::make_shared<LineParser>(file_->text());
  auto builder = std::make_shared<RecordRowBuilder>(columns, index, true);
  return [this, parser, builder](std::size_t unit, StagedRows& rows) {
    for (const JSONLine& line : lines_.chunks[unit])
      if (auto record = parser->parse(line)) builder->append(*record, rows);
  };
}

}  // namespace tabvora
