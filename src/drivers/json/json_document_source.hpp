#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "drivers/json/json_document_layout.hpp"
#include "drivers/json/json_record_source.hpp"

namespace tabvora::internal {

// The records of a JSON document: the elements of the root array, the elements of the
// first array of objects (by ascending key) inside a root object, or the root object
// itself. The document is read whole and its records located by a byte scan; records are
// then parsed chunk by chunk on worker threads like the lines of a JSON Lines file, so the
// whole document is never held as a tree. Only the wrapping object (without its records)
// is kept as a JSON value, and only when asked for.
class JSONDocumentSource final : public JSONRecordSource {
 public:
  // A preview refuses documents larger than this: one is always read and staged whole.
  static constexpr std::uint64_t kMostPreviewBytes = 1'000'000'000;

  // Throws DriverError as JSONFileText does; for a preview of a document larger than
  // kMostPreviewBytes; and "Invalid JSON format" when the document's layout or its parts
  // outside the records are not valid JSON. The records are checked by the readers, which
  // count invalid and non-object records in the accumulator.
  JSONDocumentSource(const std::filesystem::path& url, bool preview, bool keepWrapper);

  // The root object when the records were an array inside it, with a null placeholder at
  // the records' key (only with keepWrapper).
  const std::optional<nlohmann::json>& wrapperObject() const { return wrapperObject_; }
  const std::optional<std::string>& wrapperKey() const { return wrapperKey_; }

 private:
  bool nextRecord(const JSONRange& chunk, std::size_t& pos, JSONRange& record) const override {
    return JSONDocumentLayout::nextElement(text_.text(), chunk, pos, record);
  }
  void findRecords(bool keepWrapper);

  std::optional<nlohmann::json> wrapperObject_;
  std::optional<std::string> wrapperKey_;
};

}  // namespace tabvora::internal
