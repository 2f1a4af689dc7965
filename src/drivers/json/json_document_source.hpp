#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "drivers/json/json_range.hpp"
#include "drivers/json/json_record_source.hpp"
#include "platform/mapped_file.hpp"

namespace tabvora {

// The records of a JSON document: the elements of the root array, the elements of the
// first array of objects (by ascending key) inside a root object, or the root object
// itself. The document is mapped and its records located by a byte scan; records are then
// parsed chunk by chunk on worker threads like the lines of a JSON Lines file, so the
// whole document is never held as a tree. Only the wrapping object (without its records)
// is kept as a JSON value.
class JSONDocumentSource final : public JSONRecordSource {
 public:
  // Throws DriverError "Failed to read file at ..." or, when the document's layout or its
  // parts outside the records are not valid JSON, "Invalid JSON format". The records are
  // checked by the readers, which count invalid and non-object records in the accumulator.
  explicit JSONDocumentSource(const std::filesystem::path& url);

  std::size_t byteCount() const { return byteCount_; }
  // The root object when the records were an array inside it, with a null placeholder at
  // the records' key.
  const std::optional<nlohmann::json>& wrapperObject() const { return wrapperObject_; }
  const std::optional<std::string>& wrapperKey() const { return wrapperKey_; }

  std::size_t unitCount() const override { return chunks_.size(); }
  std::string_view orderingText() const override { return text_; }
  SchemaReader makeSchemaReader() const override;
  RowReader makeRowReader(const std::vector<JSONColumn>& columns, const JSONKeyIndex& index) const override;

 private:
  void findRecords();
  void setRecords(const std::vector<JSONRange>& records);

  std::optional<MappedFile> file_;
  std::string decoded_;  // the text of a UTF-16 file
  std::string_view text_;
  std::size_t byteCount_ = 0;
  std::vector<JSONRangeChunk> chunks_;
  std::optional<nlohmann::json> wrapperObject_;
  std::optional<std::string> wrapperKey_;
};

}  // namespace tabvora
