#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "drivers/json/json_original_values.hpp"
#include "drivers/sqlite/staging_driver.hpp"
#include "model/cell_value.hpp"
#include "model/column_type.hpp"

namespace tabvora::internal {

class JSONEditLog;

// Driver for JSON documents (.json) and JSON Lines (.jsonl, .ndjson). open stages the
// records (JSON objects) as one table; saveChanges writes the staged table back in the
// file's own form. Errors have the domain "JSONDriver": code -1 for a file that cannot be
// read or parsed (or not with the memory there is), -2 for a refused save.
class JSONDriver : public StagingDriver {
 public:
  struct SchemaAccumulator;

  explicit JSONDriver(DatabaseFormat format);
  ~JSONDriver() override;

  DatabaseFormat format() const override { return format_; }
  DatabaseMetadata open(const std::filesystem::path& url) override;
  void saveChanges() override;
  void close() noexcept override;

  // The JSON value written back for a staged cell of a column of the given type:
  // BOOLEAN columns turn 0/1 and "true"/"false" into booleans, JSON columns parse their
  // text (a string when it is not JSON), non-finite reals become null.
  static nlohmann::json jsonValue(const CellValue& cell, std::optional<ColumnType> type);

  // Set for a preview (to limits::kPreviewRows): JSON Lines stage at most this many lines, read from a
  // prefix of the file; documents are staged whole but refused past a size cap. A preview
  // keeps nothing for writing the file back, and saveChanges refuses it.
  std::optional<std::int64_t> previewRowLimit;

  // What open learnt about the file; saveChanges reads it and changes none of it.
  const std::string& primaryTableName() const { return primaryTableName_; }
  const std::unordered_map<std::string, std::string>& sourceKeys() const { return sourceKeys_; }
  const std::unordered_map<std::string, ColumnType>& columnTypes() const { return columnTypes_; }
  // The root object when the records were an array inside it; its wrapperKey entry is a
  // null placeholder for the records.
  const std::optional<nlohmann::json>& wrapperObject() const { return wrapperObject_; }
  const std::optional<std::string>& wrapperKey() const { return wrapperKey_; }
  std::int64_t skippedLineCount() const { return skippedLineCount_; }
  // JSON Lines: whether previewRowLimit left lines of the file unstaged.
  bool linesLeftUnstaged() const { return linesLeftUnstaged_; }

 protected:
  // The preview's row limit comes from the options; an open for inspection only keeps
  // nothing for writing the file back, and saveChanges refuses it.
  void takeOptions(const OpenOptions& options) override {
    previewRowLimit = options.previewRowLimit;
    keepForSaving_ = !options.readOnlyInspection;
  }

 private:
  void resetSchema();
  DatabaseMetadata stage(const std::filesystem::path& url);
  nlohmann::json savedValue(const DataRow& row, std::size_t column, const std::string& name,
                            const JSONEditLog* log) const;

  DatabaseFormat format_;
  std::string primaryTableName_ = "data";
  std::unordered_map<std::string, std::string> sourceKeys_;
  std::unordered_map<std::string, ColumnType> columnTypes_;
  std::optional<nlohmann::json> wrapperObject_;
  std::optional<std::string> wrapperKey_;
  std::int64_t skippedLineCount_ = 0;
  bool jsonLines_ = false;
  bool openedForPreview_ = false;
  bool keepForSaving_ = true;
  bool openedToInspect_ = false;  // the last open kept nothing for saving
  // Staged column name -> its index, and what saving needs of TEXT cells (full opens only).
  std::unordered_map<std::string, std::size_t> columnIndexes_;
  JSONOriginalValues originals_;
  bool linesLeftUnstaged_ = false;
};

}  // namespace tabvora::internal
