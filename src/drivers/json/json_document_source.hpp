#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include "drivers/json/json_record_source.hpp"

namespace tabvora {

// The records of a JSON document: the root array of objects, the first array of objects
// (by key order) inside a root object, or the root object itself. The whole document is
// parsed once; the records stay in the parser's compact form and only the wrapping object
// (without its records) is kept as a JSON value.
class JSONDocumentSource final : public JSONRecordSource {
 public:
  // Records per unit of work.
  static constexpr std::size_t kRecordsPerUnit = 20'000;

  // Throws DriverError: "Failed to read file at ...", "Invalid JSON format", "JSON root
  // must be an object or array of objects".
  explicit JSONDocumentSource(const std::filesystem::path& url);

  std::size_t byteCount() const { return byteCount_; }
  std::size_t recordCount() const { return records_.size(); }
  // The root object when the records were an array inside it, with a null placeholder at
  // the records' key.
  const std::optional<nlohmann::json>& wrapperObject() const { return wrapperObject_; }
  const std::optional<std::string>& wrapperKey() const { return wrapperKey_; }

  std::size_t unitCount() const override;
  std::string_view orderingText() const override { return orderingText_; }
  SchemaReader makeSchemaReader() const override;
  RowReader makeRowReader(const std::vector<JSONColumn>& columns, const JSONKeyIndex& index) const override;

 private:
  void parse(simdjson::padded_string& buffer);
  void findRecords();

  std::size_t byteCount_ = 0;
  std::string orderingText_;
  simdjson::dom::parser parser_;
  simdjson::dom::element root_;
  std::vector<simdjson::dom::element> records_;
  std::optional<nlohmann::json> wrapperObject_;
  std::optional<std::string> wrapperKey_;
};

}  // namespace tabvora
