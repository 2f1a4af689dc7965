#include "drivers/json/json_document_source.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include "drivers/json/json_text.hpp"
#include "drivers/json/oversized_integers.hpp"
#include "model/driver_error.hpp"
#include "platform/mapped_file.hpp"
#include "platform/text_encoding.hpp"

namespace tabvora {

namespace {

[[noreturn]] void fail(const std::string& message) { throw DriverError("JSONDriver", -1, message); }

// The file's bytes in a buffer with the parser's padding. A regular file is read straight
// into it, so the document is held in memory once rather than mapped and copied.
simdjson::padded_string readPadded(const std::filesystem::path& url) {
  int fd = ::open(url.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    simdjson::padded_string buffer(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < buffer.size()) {
      ssize_t n = ::read(fd, buffer.data() + done, buffer.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (done != buffer.size()) fail("Failed to read file at " + url.string());
    return buffer;
  }
  if (fd >= 0) ::close(fd);
  try {
    MappedFile file = MappedFile::read(url);
    return simdjson::padded_string(file.text());
  } catch (const std::exception&) {
    fail("Failed to read file at " + url.string());
  }
}

// True for a non-empty array whose every element is an object.
bool holdsObjectRecords(const simdjson::dom::element& value) {
  if (!value.is_array()) return false;
  simdjson::dom::array array(value);
  if (array.size() == 0) return false;
  for (auto element : array)
    if (!element.is_object()) return false;
  return true;
}

}  // namespace

JSONDocumentSource::JSONDocumentSource(const std::filesystem::path& url) {
  simdjson::padded_string buffer = readPadded(url);
  byteCount_ = buffer.size();
  auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()), buffer.size());
  if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
    std::optional<std::string> text = decodeUTF16WithBOM(bytes);
    if (!text) fail("Invalid JSON format");
    buffer = simdjson::padded_string(*text);
  }
  parse(buffer);
  findRecords();
}

void JSONDocumentSource::parse(simdjson::padded_string& buffer) {
  std::size_t start = std::string_view(buffer).substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  char* text = buffer.data() + start;
  std::size_t length = buffer.size() - start;
  orderingText_.assign(text, std::min(length, kColumnOrderScanBytes + 1));

  auto error = parser_.parse(text, length, false).get(root_);
  if (error == simdjson::NUMBER_ERROR && rewriteOversizedIntegers(text, length))
    error = parser_.parse(text, length, false).get(root_);
  if (error == simdjson::CAPACITY) fail("Invalid JSON format: the document is larger than 4 GB");
  // Only an object or an array is a document; a bare string, number or literal is not.
  if (error || !(root_.is_array() || root_.is_object())) fail("Invalid JSON format");
}

void JSONDocumentSource::findRecords() {
  auto takeRecords = [this](const simdjson::dom::element& array) {
    for (auto element : simdjson::dom::array(array)) records_.push_back(element);
  };
  if (root_.is_array()) {
    if (simdjson::dom::array(root_).size() == 0) return;
    if (!holdsObjectRecords(root_)) fail("JSON root must be an object or array of objects");
    takeRecords(root_);
    return;
  }
  // Keys in ascending order; of a key given twice the last value counts.
  std::map<std::string_view, simdjson::dom::element> fields;
  for (auto field : simdjson::dom::object(root_)) fields[field.key] = field.value;
  for (const auto& [key, value] : fields) {
    if (!holdsObjectRecords(value)) continue;
    takeRecords(value);
    wrapperKey_ = std::string(key);
    nlohmann::json wrapper = nlohmann::json::object();
    for (const auto& [otherKey, otherValue] : fields)
      wrapper[std::string(otherKey)] = otherKey == key ? nlohmann::json(nullptr) : toJSONValue(otherValue);
    wrapperObject_ = std::move(wrapper);
    return;
  }
  records_.push_back(root_);
}

std::size_t JSONDocumentSource::unitCount() const {
  return (records_.size() + kRecordsPerUnit - 1) / kRecordsPerUnit;
}

JSONRecordSource::SchemaReader JSONDocumentSource::makeSchemaReader() const {
  return [this](std::size_t unit, JSONDriver::SchemaAccumulator& schema) {
    std::size_t end = std::min(records_.size(), (unit + 1) * kRecordsPerUnit);
    for (std::size_t i = unit * kRecordsPerUnit; i < end; ++i) schema.add(simdjson::dom::object(records_[i]));
  };
}

JSONRecordSource::RowReader JSONDocumentSource::makeRowReader(const std::vector<JSONColumn>& columns,
                                                              const JSONKeyIndex& index) const {
  auto builder = std::make_shared<RecordRowBuilder>(columns, index, false);
  return [this, builder](std::size_t unit, StagedRows& rows) {
    std::size_t end = std::min(records_.size(), (unit + 1) * kRecordsPerUnit);
    for (std::size_t i = unit * kRecordsPerUnit; i < end; ++i) builder->append(simdjson::dom::object(records_[i]), rows);
  };
}

}  // namespace tabvora
