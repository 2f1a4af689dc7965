// Writing the staged table back to the delimited file.
#include <cstdlib>
#include <mutex>

#include "drivers/delimited/delimited_byte_parser.hpp"
#include "drivers/delimited/delimited_driver.hpp"
#include "drivers/delimited/delimited_text_decoding.hpp"
#include "drivers/delimited/delimited_text_writer.hpp"
#include "model/driver_error.hpp"
#include "platform/atomic_file.hpp"
#include "platform/byte_order_mark.hpp"
#include "platform/file_probe.hpp"
#include "platform/file_reader.hpp"
#include "platform/limits.hpp"
#include "platform/number_parsing.hpp"

namespace tabvora::internal {

namespace {

constexpr const char* kDomain = "DelimitedDriver";
constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);

// Every record of the file as field texts, kept in one buffer.
class FileRecords {
 public:
  std::size_t size() const { return recordStarts_.size(); }
  std::size_t fieldCount(std::size_t record) const { return recordEnd(record) - recordStarts_[record]; }
  std::string_view field(std::size_t record, std::size_t i) const {
    const std::size_t f = recordStarts_[record] + i;
    const std::size_t begin = f == 0 ? 0 : fieldEnds_[f - 1];
    return std::string_view(texts_).substr(begin, fieldEnds_[f] - begin);
  }

  void add(const DelimitedByteParser::Record& record) {
    recordStarts_.push_back(fieldEnds_.size());
    for (std::size_t i = 0; i < record.size(); ++i) {
      texts_ += record.text(i);
      fieldEnds_.push_back(texts_.size());
    }
  }

 private:
  std::size_t recordEnd(std::size_t record) const {
    return record + 1 < recordStarts_.size() ? recordStarts_[record + 1] : fieldEnds_.size();
  }
  std::string texts_;
  std::vector<std::size_t> fieldEnds_;
  std::vector<std::size_t> recordStarts_;
};

// The file's records as it stands now; absent when it cannot be read or decoded, which
// only means no cell text is reused.
std::optional<FileRecords> readFileRecords(const std::filesystem::path& path, char delimiter) {
  std::optional<DecodedDelimitedText> decoded;
  try {
    decoded = decodeDelimitedText(FileReader(path).readAll().bytes());
  } catch (const FileReadError&) {
    return std::nullopt;
  }
  FileRecords records;
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(decoded->utf8.data()),
                                            decoded->utf8.size());
  DelimitedByteParser::parse(bytes, static_cast<std::uint8_t>(delimiter),
                             [&](const DelimitedByteParser::Record& record) { records.add(record); });
  return records;
}

// The value a field text takes in a staged column of the given type, to tell whether a
// staged cell still holds what the file says.
CellValue stagedEquivalent(std::string_view fieldText, ColumnType type) {
  if (fieldText.empty()) return CellValue::null();
  const std::string literal = type.sqlLiteral(fieldText);
  auto withoutNULs = [&] {
    std::string text(fieldText);
    std::erase(text, '\0');
    return text;
  };
  if (!literal.empty() && literal.front() == '\'') return CellValue::text(withoutNULs());
  if (type == ColumnType::integer) {
    if (const std::optional<std::int64_t> value = parseInt64(literal)) return CellValue::integer(*value);
  }
  if (const std::optional<double> value = parseDouble(literal)) return CellValue::real(*value);
  return CellValue::text(std::string(fieldText));
}

std::optional<std::string> encodeForSave(const std::string& text, TextEncoding encoding, bool utf8BOM) {
  const std::string_view utf8Mark = utf8BOM ? kUTF8ByteOrderMark : "";
  switch (encoding) {
    case TextEncoding::utf8: return std::string(utf8Mark) + text;
    case TextEncoding::utf16LittleEndian:
      if (auto body = encodeText(text, encoding)) return "\xFF\xFE" + *body;
      return std::nullopt;
    case TextEncoding::utf16BigEndian:
      if (auto body = encodeText(text, encoding)) return "\xFE\xFF" + *body;
      return std::nullopt;
    default:
      // A file that began with the UTF-8 mark before text in another encoding keeps it.
      if (auto body = encodeText(text, encoding)) return std::string(utf8Mark) + *body;
      return std::nullopt;
  }
}

}  // namespace

void DelimitedDriver::saveChanges() {
  if (!currentURL_) return;
  const std::filesystem::path path = *currentURL_;
  switch (completeness_) {
    case Completeness::complete: break;
    case Completeness::rowLimited:
      throw DriverError(kDomain, -2,
                        "Cannot save: only the first " + std::to_string(rowsStagedAtOpen_) +
                            " data rows of the file were loaded, and saving would drop the rest");
    case Completeness::fieldsDropped:
      throw DriverError(kDomain, -2,
                        "Cannot save: some rows have fields past column " + std::to_string(limits::kMaxColumns) +
                            ", which were not loaded, and saving would drop them");
    case Completeness::openFailed: throw DriverError(kDomain, -2, "Cannot save: the file was not opened successfully");
  }

  const DataTable staged = [&] {
    std::lock_guard guard(internalSQLite.mutex());
    return internalSQLite.fetchTableData(primaryTableName_, std::nullopt, 0, std::nullopt, true, std::nullopt);
  }();
  const std::size_t columnCount = staged.columns.size();

  // Cell texts are reused only from the file as it was opened or last saved: a file changed
  // by someone else since is rewritten wholly from the staged values.
  std::optional<FileRecords> source;
  if (FileProbe::of(path).modificationTime == openedModificationDate_) source = readFileRecords(path, activeDelimiter_);
  const std::size_t dataLines = source && source->size() > 0 ? source->size() - 1 : 0;

  DelimitedTextWriter writer(activeDelimiter_, usesCRLF_);
  const bool fileHeaderFits = source && source->size() > 0 && source->fieldCount(0) <= columnCount;
  for (std::size_t j = 0; j < columnCount; ++j) {
    if (fileHeaderFits) {
      writer.field(j < source->fieldCount(0) ? source->field(0, j) : std::string_view());
    } else {
      writer.field(staged.columns[j].name);
    }
  }
  writer.endRecord();

  for (const DataRow& row : staged.rows) {
    // The row's line among the file's data lines, or none.
    std::size_t line = kNoLine;
    if (row.rowid) {
      if (lineIndexByRowid_) {
        if (auto found = lineIndexByRowid_->find(*row.rowid); found != lineIndexByRowid_->end()) line = found->second;
      } else if (*row.rowid >= 1) {
        line = static_cast<std::size_t>(*row.rowid - 1);
      }
    }
    if (line >= dataLines) line = kNoLine;

    for (std::size_t j = 0; j < row.values.size(); ++j) {
      const CellValue& value = row.values[j];
      if (line != kNoLine && j < columnCount && j < source->fieldCount(line + 1)) {
        const std::string_view fileText = source->field(line + 1, j);
        const ColumnType type = j < allColumns_.size() ? allColumns_[j].type : ColumnType(ColumnType::text);
        if (stagedEquivalent(fileText, type) == value) {
          writer.field(fileText);
          continue;
        }
      }
      writer.field(value.rawValueString());
    }
    writer.endRecord();
  }

  const std::string text = writer.takeText();
  std::optional<std::string> bytes = encodeForSave(text, sourceEncoding_, hasUTF8BOM_);
  const bool fellBackToUTF8 = !bytes;
  if (fellBackToUTF8) bytes = std::string(kUTF8ByteOrderMark) + text;
  try {
    writeFileAtomically(path, std::string_view(*bytes));
  } catch (const std::exception& error) {
    throw DriverError(kDomain, -1, "Failed to write file at " + path.string() + ": " + error.what());
  }
  if (fellBackToUTF8) {
    sourceEncoding_ = TextEncoding::utf8;
    hasUTF8BOM_ = true;
  }

  std::unordered_map<std::int64_t, std::size_t> lineIndex;
  for (std::size_t i = 0; i < staged.rows.size(); ++i) {
    if (staged.rows[i].rowid) lineIndex[*staged.rows[i].rowid] = i;
  }
  lineIndexByRowid_ = std::move(lineIndex);
  openedModificationDate_ = FileProbe::of(path).modificationTime;
}

}  // namespace tabvora::internal
