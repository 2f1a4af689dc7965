#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "drivers/delimited/delimited_schema_scan.hpp"
#include "drivers/delimited/delimited_text_decoding.hpp"
#include "platform/byte_buffer.hpp"
#include "platform/file_reader.hpp"
#include "model/database_format.hpp"

namespace tabvora::internal {

// What an open of a delimited file parses: its text as UTF-8, the delimiter and line ends
// found in it, and the first pass over it (header and column kinds).
//
// Without a row limit that is the whole file. With one it is the shortest first part, read in
// growing steps, that holds the delimiter sample and the header and the limited number of
// records, or the file's end; never more than a cap. When the cap cuts a record, the text
// ends before it (so a cut record is never staged); when not even the header fits, reading
// fails. The records of a first part, and their text, are exactly those a whole-file open
// stages first (unless decoding dropped so many NUL characters that the part's text cannot
// fill the delimiter sample: then the delimiter comes from what there is).
//
// The part decides the encoding unless the rest of the file could change how the staged
// records read; then the rest is checked too, streamed in fixed chunks that are never kept
// (see DelimitedDecoding). So encoding() may name one that reads the staged records alike
// instead of the whole file's: UTF-8 for plain ASCII, Windows-1252 where Latin 1 reads the
// same.
class DelimitedInput {
 public:
  struct Limits {
    // Bytes of the first step; each further step doubles what is read. At least twice the
    // delimiter sample and a little, so that even UTF-16 text fills the sample at once.
    std::size_t firstRead;
    std::size_t maxRead;    // bytes a limited open reads at most
    std::size_t restChunk;  // bytes of one chunk of a check of the rest of the file
  };
  static constexpr Limits kPreviewLimits{1'000'000, 64'000'000, 1'000'000};

  // Throws FileReadError when reading fails, DriverError (domain "DelimitedDriver", -1) when the
  // first record does not end within limits.maxRead.
  static DelimitedInput read(const FileReader& reader, DatabaseFormat format, std::optional<std::int64_t> rowLimit,
                             const Limits& limits = kPreviewLimits);

  // Valid as long as this object.
  std::span<const std::uint8_t> bytes() const;
  // Says that nothing reads bytes()[0, offset) any more: the whole memory pages under them
  // go back to the system (a full load then never holds the whole file beside the table
  // it fills), and read as zero from then on.
  void release(std::size_t offset);
  const DelimitedSchemaScan& scan() const { return *scan_; }
  char delimiter() const { return delimiter_; }
  bool usesCRLF() const { return usesCRLF_; }
  // Bytes of text the delimiter and line ends were found in: the delimiter sample, or all the
  // text when it is shorter.
  std::size_t sampleLength() const { return sampleLength_; }
  TextEncoding encoding() const { return decoding_.encoding; }
  bool hasUTF8Mark() const { return decoding_.utf8Mark; }
  // Whether bytes() holds every record of the file; false for a first part.
  bool wholeFile() const { return wholeFile_; }
  std::uint64_t fileSize() const { return fileSize_; }
  std::size_t bytesRead() const { return fileBytes_.size(); }

 private:
  DelimitedInput() = default;
  // Decodes what was read, finds delimiter and line ends, and runs the first pass.
  DelimitedByteParser::Result settle(DatabaseFormat format, std::optional<std::int64_t> rowLimit,
                                     const DelimitedRestFacts& facts);
  // Whether the rest of the file leaves the staged text [0, stagedEnd) as decoded; when not,
  // records in `facts` what was found.
  bool restAgrees(const FileReader& reader, std::size_t stagedEnd, std::size_t chunk, DelimitedRestFacts& facts) const;

  ByteBuffer fileBytes_;
  DelimitedDecoding decoding_;
  std::size_t textEnd_ = 0;  // bytes() ends here: a cut record is left out
  std::optional<DelimitedSchemaScan> scan_;
  char delimiter_ = ',';
  bool usesCRLF_ = false;
  std::size_t sampleLength_ = 0;
  bool wholeFile_ = true;
  std::uint64_t fileSize_ = 0;
  std::size_t released_ = 0;  // bytes() up to here were released
};

}  // namespace tabvora::internal
