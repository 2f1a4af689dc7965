#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "drivers/sqlite/staging_driver.hpp"
#include "platform/text_encoding.hpp"

namespace tabvora::internal {

// Driver for comma-, semicolon-, tab- and pipe-separated text. open reads the file (all of it,
// or for a row-limited open only as much as the staged rows need: see DelimitedInput), settles
// its text encoding, detects the delimiter, and stages the rows in one table of the in-memory
// database, which then answers every read and edit. saveChanges writes the table back with
// the file's delimiter, line ends, byte-order mark and encoding, and with the exact text the
// file held for every cell that was not changed.
// Errors have the domain "DelimitedDriver": code -1 when the file cannot be read (it is
// missing or not a regular file, or it changed while it was read) or parsed, -2 when a
// write-back is refused.
class DelimitedDriver : public StagingDriver {
 public:
  explicit DelimitedDriver(DatabaseFormat format);
  ~DelimitedDriver() override;

  DatabaseFormat format() const override { return format_; }
  DatabaseMetadata open(const std::filesystem::path& url) override;
  // Refused (-2, file untouched) after an open that did not stage the whole file: a row
  // limit or a preview's read cap stopped it, it failed, or rows had fields past the last
  // column.
  void saveChanges() override;
  // Closes the staging database; the settings found at open stay.
  void close() noexcept override;
  // After a whole open with OpenOptions::gatherStatistics, when every value staged could be
  // vouched for as it was read.
  std::optional<GatheredStatistics> takeGatheredStatistics() override { return std::exchange(gathered_, {}); }

  // Most data rows staged at open; absent means all. Previews set limits::kPreviewRows. A limited open reads
  // at most DelimitedInput::kPreviewLimits.maxRead bytes of the file and stages what an
  // unlimited one would stage first. Its sourceEncoding may name an encoding that reads the
  // staged rows alike instead of the whole file's: UTF-8 for plain ASCII rows, Windows-1252
  // for rows Latin 1 reads the same.
  std::optional<std::int64_t> previewRowLimit;

  const std::string& primaryTableName() const { return primaryTableName_; }
  const std::vector<DataColumn>& allColumns() const { return allColumns_; }
  std::int64_t totalRows() const { return totalRows_; }
  char activeDelimiter() const { return activeDelimiter_; }
  bool usesCRLF() const { return usesCRLF_; }
  // Whether the file begins with EF BB BF. Kept in front of the text when it is saved back,
  // whatever the encoding: a mark before text that is not UTF-8 is not text.
  bool hasUTF8BOM() const { return hasUTF8BOM_; }
  TextEncoding sourceEncoding() const { return sourceEncoding_; }

 protected:
  // The preview's row limit comes from the options.
  void takeOptions(const OpenOptions& options) override { previewRowLimit = options.previewRowLimit; }

 private:
  // Whether the staged table holds the whole file, and if not, why a save would lose data.
  enum class Completeness { complete, openFailed, rowLimited, fieldsDropped };

  DatabaseFormat format_;
  std::string primaryTableName_ = "data";
  std::vector<DataColumn> allColumns_;
  std::int64_t totalRows_ = 0;
  char activeDelimiter_ = ',';
  bool usesCRLF_ = false;
  bool hasUTF8BOM_ = false;
  TextEncoding sourceEncoding_ = TextEncoding::utf8;
  // Nanoseconds since 1970 when the file was opened or last saved; absent when unknown.
  std::optional<std::int64_t> openedModificationDate_;
  // After a save: staged row id -> position of the row's line among the written data lines.
  std::optional<std::unordered_map<std::int64_t, std::size_t>> lineIndexByRowid_;
  Completeness completeness_ = Completeness::openFailed;
  std::int64_t rowsStagedAtOpen_ = 0;  // kept by close, for the refusal message
  std::optional<GatheredStatistics> gathered_;
};

}  // namespace tabvora::internal
