#include "drivers/json/json_lines_source.hpp"

#include <memory>

#include "drivers/json/json_range_parser.hpp"
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

JSONRecordSource::SchemaReader JSONLinesSource::makeSchemaReader() const {
  auto parser = std::make_shared<JSONRangeParser>(file_->text());
  return [this, parser](std::size_t unit, JSONDriver::SchemaAccumulator& schema) {
    simdjson::dom::element value;
    for (const JSONRange& line : lines_.chunks[unit]) {
      if (parser->parse(line, value) == JSONRangeParser::Result::object) schema.add(simdjson::dom::object(value));
      else ++schema.skipped;
    }
  };
}

JSONRecordSource::RowReader JSONLinesSource::makeRowReader(const std::vector<JSONColumn>& columns,
                                                           const JSONKeyIndex& index) const {
  auto parser = std::make_shared<JSONRangeParser>(file_->text());
  auto builder = std::make_shared<RecordRowBuilder>(columns, index);
  return [this, parser, builder](std::size_t unit, StagedRows& rows) {
    simdjson::dom::element value;
    for (const JSONRange& line : lines_.chunks[unit])
      if (parser->parse(line, value) == JSONRangeParser::Result::object) builder->append(simdjson::dom::object(value), rows);
  };
}

}  // namespace tabvora
