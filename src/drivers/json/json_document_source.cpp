#include "drivers/json/json_document_source.hpp"

#include <algorithm>
#include <map>
#include <memory>

#include "drivers/json/json_document_layout.hpp"
#include "drivers/json/json_range_parser.hpp"
#include "drivers/json/json_text.hpp"
#include "model/driver_error.hpp"
#include "platform/text_encoding.hpp"

namespace tabvora {

namespace {

[[noreturn]] void fail(const std::string& message) { throw DriverError("JSONDriver", -1, message); }

bool startsLikeObject(std::string_view text, const JSONRange& range) { return text[range.begin] == '{'; }

}  // namespace

JSONDocumentSource::JSONDocumentSource(const std::filesystem::path& url) {
  try {
    file_.emplace(MappedFile::read(url));
  } catch (const std::exception&) {
    fail("Failed to read file at " + url.string());
  }
  byteCount_ = file_->size();
  text_ = file_->text();
  if (text_.starts_with("\xFF\xFE") || text_.starts_with("\xFE\xFF")) {
    std::optional<std::string> text = decodeUTF16WithBOM(file_->bytes());
    if (!text) fail("Invalid JSON format");
    decoded_ = std::move(*text);
    text_ = decoded_;
  } else if (text_.starts_with("\xEF\xBB\xBF")) {
    text_.remove_prefix(3);
  }
  findRecords();
}

void JSONDocumentSource::findRecords() {
  std::optional<JSONDocumentLayout> layout = JSONDocumentLayout::scan(text_);
  if (!layout) fail("Invalid JSON format");
  if (layout->rootIsArray) {
    setRecords(layout->elements);
    return;
  }

  JSONRangeParser parser(text_);
  simdjson::dom::element value;
  // Keys in ascending order; of a key given twice the last value counts.
  std::map<std::string, const JSONDocumentLayout::Member*> members;
  for (const JSONDocumentLayout::Member& member : layout->members) {
    if (parser.parse(member.key, value) != JSONRangeParser::Result::otherValue || !value.is_string())
      fail("Invalid JSON format");
    members[std::string(std::string_view(value))] = &member;
  }
  const JSONDocumentLayout::Member* records = nullptr;
  for (const auto& [key, member] : members) {
    const auto& elements = member->elements;
    if (elements && !elements->empty() &&
        std::all_of(elements->begin(), elements->end(), [&](const JSONRange& r) { return startsLikeObject(text_, r); })) {
      records = member;
      wrapperKey_ = key;
      break;
    }
  }
  if (!records) {
    setRecords({layout->root});  // the root object is the only record
    return;
  }
  nlohmann::json wrapper = nlohmann::json::object();
  for (const auto& [key, member] : members) {
    if (member == records) {
      wrapper[key] = nullptr;
      continue;
    }
    if (parser.parse(member->value, value) == JSONRangeParser::Result::invalid) fail("Invalid JSON format");
    wrapper[key] = toJSONValue(value);
  }
  wrapperObject_ = std::move(wrapper);
  setRecords(*records->elements);
}

void JSONDocumentSource::setRecords(const std::vector<JSONRange>& records) {
  JSONRangeChunk chunk;
  std::size_t bytes = 0;
  for (const JSONRange& record : records) {
    chunk.push_back(record);
    bytes += record.size();
    if (bytes >= kChunkBytes) {
      chunks_.push_back(std::move(chunk));
      chunk.clear();
      bytes = 0;
    }
  }
  if (!chunk.empty()) chunks_.push_back(std::move(chunk));
}

JSONRecordSource::SchemaReader JSONDocumentSource::makeSchemaReader() const {
  auto parser = std::make_shared<JSONRangeParser>(text_);
  return [this, parser](std::size_t unit, JSONDriver::SchemaAccumulator& schema) {
    simdjson::dom::element value;
    for (const JSONRange& record : chunks_[unit]) {
      switch (parser->parse(record, value)) {
        case JSONRangeParser::Result::object: schema.add(simdjson::dom::object(value)); break;
        case JSONRangeParser::Result::otherValue: ++schema.nonObjectRecords; break;
        case JSONRangeParser::Result::invalid: ++schema.invalidRecords; break;
      }
    }
  };
}

JSONRecordSource::RowReader JSONDocumentSource::makeRowReader(const std::vector<JSONColumn>& columns,
                                                              const JSONKeyIndex& index) const {
  auto parser = std::make_shared<JSONRangeParser>(text_);
  auto builder = std::make_shared<RecordRowBuilder>(columns, index);
  return [this, parser, builder](std::size_t unit, StagedRows& rows) {
    simdjson::dom::element value;
    for (const JSONRange& record : chunks_[unit])
      if (parser->parse(record, value) == JSONRangeParser::Result::object)
        builder->append(simdjson::dom::object(value), rows);
  };
}

}  // namespace tabvora
