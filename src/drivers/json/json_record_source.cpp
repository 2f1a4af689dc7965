#include "drivers/json/json_record_source.hpp"

#include <memory>

#include "drivers/json/json_range_parser.hpp"

namespace tabvora::internal {

JSONRecordSource::SchemaReader JSONRecordSource::makeSchemaReader() const {
  auto parser = std::make_shared<JSONRangeParser>(text_.text());
  return [this, parser](std::size_t unit, JSONDriver::SchemaAccumulator& schema) {
    simdjson::dom::element value;
    JSONRange record;
    for (std::size_t pos = chunks_[unit].begin; nextRecord(chunks_[unit], pos, record);) {
      switch (parser->parse(record, value)) {
        case JSONRangeParser::Result::object: schema.add(simdjson::dom::object(value)); break;
        case JSONRangeParser::Result::otherValue: ++schema.nonObjectRecords; break;
        case JSONRangeParser::Result::invalid: ++schema.invalidRecords; break;
      }
      parser->shrink();
    }
  };
}

JSONRecordSource::RowReader JSONRecordSource::makeRowReader(const std::vector<JSONColumn>& columns,
                                                            const JSONKeyIndex& index, bool keepOriginals) {
  auto parser = std::make_shared<JSONRangeParser>(text_.text());
  auto builder = std::make_shared<RecordRowBuilder>(columns, index, keepOriginals);
  return [this, parser, builder](std::size_t unit, StagedRows& rows) {
    simdjson::dom::element value;
    JSONRange record;
    for (std::size_t pos = chunks_[unit].begin; nextRecord(chunks_[unit], pos, record);) {
      if (parser->parse(record, value) == JSONRangeParser::Result::object)
        builder->append(simdjson::dom::object(value), rows);
      parser->shrink();
    }
    // Every unit is staged: the text is not read again.
    if (++unitsStaged_ == chunks_.size()) text_.release();
  };
}

}  // namespace tabvora::internal
