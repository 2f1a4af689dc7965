#include "drivers/json/json_document_source.hpp"

#include <map>

#include "drivers/json/json_range_parser.hpp"
#include "drivers/json/json_text.hpp"
#include "model/driver_error.hpp"
#include "platform/byte_count.hpp"

namespace tabvora::internal {

namespace {

[[noreturn]] void fail(const std::string& message) { throw DriverError("JSONDriver", -1, message); }

}  // namespace

JSONDocumentSource::JSONDocumentSource(const std::filesystem::path& url, bool preview, bool keepWrapper)
    : JSONRecordSource(url) {
  if (preview && fileSize() > kMostPreviewBytes)
    fail("This JSON document is " + formatByteCount(static_cast<std::int64_t>(fileSize())) +
         "; a preview reads documents of at most " + formatByteCount(static_cast<std::int64_t>(kMostPreviewBytes)));
  text_.readAll();
  findRecords(keepWrapper);
}

void JSONDocumentSource::findRecords(bool keepWrapper) {
  const std::string_view text = text_.text();
  std::optional<JSONDocumentLayout> layout = JSONDocumentLayout::scan(text);
  if (!layout) fail("Invalid JSON format");
  if (layout->rootIsArray) {
    chunks_ = std::move(layout->elements.chunks);
    return;
  }

  JSONRangeParser parser(text);
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
    if (elements && elements->count > 0 && elements->allObjects) {
      records = member;
      wrapperKey_ = key;
      break;
    }
  }
  if (!records) {
    chunks_ = {layout->root};  // the root object is the only record
    return;
  }
  nlohmann::json wrapper = nlohmann::json::object();
  for (const auto& [key, member] : members) {
    if (member == records) {
      if (keepWrapper) wrapper[key] = nullptr;
      continue;
    }
    if (parser.parse(member->value, value) == JSONRangeParser::Result::invalid) fail("Invalid JSON format");
    if (keepWrapper) wrapper[key] = toJSONValue(value);
    parser.shrink();
  }
  if (keepWrapper) wrapperObject_ = std::move(wrapper);
  chunks_ = records->elements->chunks;
}

}  // namespace tabvora::internal
