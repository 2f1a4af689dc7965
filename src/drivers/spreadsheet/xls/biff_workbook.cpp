#include "drivers/spreadsheet/xls/biff_workbook.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "drivers/spreadsheet/xls/biff_segmented_body.hpp"
#include "drivers/spreadsheet/xls/biff_serial_date.hpp"
#include "drivers/spreadsheet/sheet/workbook_limits.hpp"
#include "model/driver_error.hpp"
#include "platform/byte_cursor.hpp"

namespace tabvora::internal {

namespace {

enum RecordID : std::uint16_t {
  kBOF = 0x0809,
  kEOF = 0x000A,
  kFilePass = 0x002F,
  kCodePage = 0x0042,
  kDateMode = 0x0022,
  kBoundSheet = 0x0085,
  kSST = 0x00FC,
  kContinue = 0x003C,
  kFormat = 0x041E,
  kXF = 0x00E0,
  kLabelSST = 0x00FD,
  kLabel = 0x0204,
  kRString = 0x00D6,
  kNumber = 0x0203,
  kRK = 0x027E,
  kMulRK = 0x00BD,
  kBoolErr = 0x0205,
  kFormula = 0x0006,
  kString = 0x0207,
};
constexpr std::uint16_t kOldBOFs[] = {0x0009, 0x0209, 0x0409};  // BIFF2, BIFF3, BIFF4
constexpr std::uint16_t kBIFF8 = 0x0600;
constexpr std::uint16_t kBIFF5 = 0x0500;
constexpr std::uint16_t kWorksheetType = 0;
constexpr std::size_t kRecordHeaderBytes = 4;
constexpr std::size_t kMinStreamBytes = 8;

[[noreturn]] void fail(const char* message) { throw DriverError("XLSDriver", -1, message); }
[[noreturn]] void damaged() { fail(BIFFWorkbook::kDamagedMessage); }

// Reads of fixed fields of a record body. Callers check the body's length first
// (requireBody), so a field past the end means a damaged record, never a read past it.
template <typename Value>
Value field(std::span<const std::uint8_t> body, std::size_t at) {
  ByteCursor cursor(body);
  Value value{};
  bool read = false;
  if constexpr (sizeof(Value) == 2)
    read = cursor.seek(at) && cursor.readU16LE(value);
  else
    read = cursor.seek(at) && cursor.readU32LE(value);
  if (!read) damaged();
  return value;
}
std::uint16_t u16(std::span<const std::uint8_t> body, std::size_t at) { return field<std::uint16_t>(body, at); }
std::uint32_t u32(std::span<const std::uint8_t> body, std::size_t at) { return field<std::uint32_t>(body, at); }
double f64(std::span<const std::uint8_t> body, std::size_t at) {
  ByteCursor cursor(body);
  std::uint64_t bits = 0;
  if (!cursor.seek(at) || !cursor.readU64LE(bits)) damaged();
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
void requireBody(std::span<const std::uint8_t> body, std::size_t bytes) {
  if (body.size() < bytes) damaged();
}

TextEncoding encodingOfCodePage(std::uint16_t codePage) {
  switch (codePage) {
    case 932: return TextEncoding::shiftJIS;
    case 1250: return TextEncoding::windows1250;
    case 1251: return TextEncoding::windows1251;
    case 1253: return TextEncoding::windows1253;
    case 1254: return TextEncoding::windows1254;
    case 10000:
    case 32768: return TextEncoding::macOSRoman;
    default: return TextEncoding::windows1252;
  }
}

const char* errorText(std::uint8_t code) {
  switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    default: return "#ERR!";
  }
}

// The cells of one sheet as they arrive: texts packed in one run, a shared string by its
// index, each cell with its row and arrival order.
class CellCollector {
 public:
  // Cells and grid are charged to `budget`, when there is one, and the sheet named in its
  // failure.
  CellCollector(const std::vector<std::string>& sharedStrings, WorkbookBudget* budget, const std::string& sheetName)
      : sharedStrings_(sharedStrings), account_(budget), sheetName_(sheetName) {}

  // Where a cell's text is appended before it is stored with storeText.
  std::string& text() { return text_; }
  std::size_t mark() const { return text_.size(); }
  // Keeps the text appended since `start` as the cell's, unless the cell is past the last
  // column or its text is empty.
  void storeText(std::uint16_t row, std::uint16_t column, std::size_t start, bool isDate) {
    if (column >= BIFFWorkbook::kMaxColumns || text_.size() == start) {
      text_.resize(start);
      return;
    }
    add({row, column, isDate, false, start, text_.size() - start});
    charge(account_, static_cast<std::int64_t>(sizeof(Cell) + text_.size() - start));
  }
  void storeShared(std::uint16_t row, std::uint16_t column, std::uint32_t index) {
    if (column >= BIFFWorkbook::kMaxColumns || index >= sharedStrings_.size() || sharedStrings_[index].empty()) return;
    add({row, column, false, true, index, 0});
    charge(account_, sizeof(Cell));
  }

  BIFFWorkbook::SheetContents finish() {
    BIFFWorkbook::SheetContents contents{{}, 0, {}, WorkbookBudget::Account(account_.budget())};
    if (cells_.empty()) return contents;
    if (!std::is_sorted(cells_.begin(), cells_.end(), byRow)) std::stable_sort(cells_.begin(), cells_.end(), byRow);
    contents.width = std::size_t{maxColumn_} + 1;
    std::vector<std::size_t> stored(contents.width), dates(contents.width);
    SheetGrid::RowBuilder builder;
    for (std::size_t i = 0; i < cells_.size();) {
      const std::uint16_t row = cells_[i].row;
      const bool header = i == 0;
      builder.clear();
      for (; i < cells_.size() && cells_[i].row == row; ++i) {
        const Cell& cell = cells_[i];
        if (cell.shared) {
          char index[24];
          const char* end = std::to_chars(index, index + sizeof index, cell.start).ptr;
          builder.setSharedString(cell.column, std::string_view(index, static_cast<std::size_t>(end - index)));
        } else {
          builder.setText(cell.column, std::string_view(text_).substr(cell.start, cell.length));
        }
        if (header) continue;
        ++stored[cell.column];
        dates[cell.column] += cell.isDate ? 1 : 0;
      }
      charge(contents.account, builder.gridBytes());
      contents.grid.append(builder);
    }
    contents.grid.resolveSharedStrings(sharedStrings_);
    contents.dateColumns.resize(contents.width);
    for (std::size_t column = 0; column < contents.width; ++column)
      contents.dateColumns[column] = dates[column] > 0 && dates[column] == stored[column];
    return contents;
  }

 private:
  struct Cell {
    std::uint16_t row;
    std::uint16_t column;
    bool isDate;
    bool shared;        // `start` is an index into the shared strings
    std::size_t start;  // in text_
    std::size_t length;
  };
  static bool byRow(const Cell& a, const Cell& b) { return a.row < b.row; }
  void add(const Cell& cell) {
    cells_.push_back(cell);
    maxColumn_ = std::max(maxColumn_, cell.column);
  }
  void charge(WorkbookBudget::Account& account, std::int64_t bytes) {
    if (!account.tryCharge(bytes)) throw account.budget()->exceeded("sheet \"" + sheetName_ + "\"");
  }

  const std::vector<std::string>& sharedStrings_;
  WorkbookBudget::Account account_;  // the cells while they are collected
  const std::string& sheetName_;
  std::vector<Cell> cells_;
  std::string text_;
  std::uint16_t maxColumn_ = 0;
};

}  // namespace

bool BIFFWorkbook::recordAt(std::uint64_t offset, Record& record) const {
  if (offset > data_.size() || data_.size() - offset < kRecordHeaderBytes) return false;
  ByteCursor cursor;
  std::uint16_t length = 0;
  std::span<const std::uint8_t> body;
  if (!ByteCursor(data_).at(offset, cursor) || !cursor.readU16LE(record.id) || !cursor.readU16LE(length) ||
      !cursor.readBytes(length, body))
    damaged();
  record.body = body;
  record.next = cursor.position();
  return true;
}

BIFFSegmentedBody BIFFWorkbook::continued(const Record& record, std::size_t from, std::uint64_t& next) const {
  BIFFSegmentedBody body(record.body.subspan(std::min(from, record.body.size())));
  next = record.next;
  Record following;
  while (recordAt(next, following) && following.id == kContinue) {
    body.addSegment(following.body);
    next = following.next;
  }
  return body;
}

void BIFFWorkbook::readString(BIFFSegmentedBody& body, int countBytes, std::string& out) const {
  const bool read =
      isBIFF8_ ? body.readUnicodeString(countBytes, out) : body.readByteString(countBytes, byteStringEncoding_, out);
  if (!read) damaged();
}

void BIFFWorkbook::parseGlobals() {
  if (data_.size() < kMinStreamBytes) damaged();
  // The family and version come from fixed places, before any record is framed.
  const std::uint16_t firstID = u16(data_, 0);
  if (std::ranges::find(kOldBOFs, firstID) != std::end(kOldBOFs)) fail(kOldVersionMessage);
  if (firstID != kBOF) fail(kUnknownStreamMessage);
  const std::uint16_t version = u16(data_, 4);
  if (version != kBIFF8 && version != kBIFF5) fail(kUnsupportedVersionMessage);
  isBIFF8_ = version == kBIFF8;

  Record record;
  for (std::uint64_t offset = 0; recordAt(offset, record); offset = record.next) {
    const std::span<const std::uint8_t> body = record.body;
    if (record.id == kEOF) break;
    switch (record.id) {
      case kFilePass: fail(kEncryptedMessage);
      case kDateMode:
        if (body.size() >= 2) uses1904Dates_ = u16(body, 0) == 1;
        break;
      case kCodePage:
        if (body.size() >= 2) byteStringEncoding_ = encodingOfCodePage(u16(body, 0));
        break;
      case kBoundSheet: {
        requireBody(body, 7);
        Sheet sheet;
        sheet.offset = u32(body, 0);
        BIFFSegmentedBody name(body.subspan(6));
        readString(name, 1, sheet.name);
        if (body[5] == kWorksheetType) sheets_.push_back(std::move(sheet));
        break;
      }
      case kXF: xfFormatIDs_.push_back(body.size() >= 4 ? u16(body, 2) : 0); break;
      case kFormat: {
        if (body.size() <= 2) break;
        BIFFSegmentedBody code(body.subspan(2));
        std::string text;
        readString(code, isBIFF8_ ? 2 : 1, text);
        customFormats_[u16(body, 0)] = std::move(text);
        break;
      }
      case kSST: {
        std::uint64_t next = 0;
        BIFFSegmentedBody sst = continued(record, 0, next);
        readSharedStrings(sst);
        record.next = next;
        break;
      }
      default: break;
    }
  }

  std::unordered_map<int, BIFFDateKind> kinds;  // by format id
  xfDateKinds_.reserve(xfFormatIDs_.size());
  for (const std::uint16_t format : xfFormatIDs_) {
    auto [kind, added] = kinds.try_emplace(format, BIFFDateKind::none);
    if (added) {
      const auto custom = customFormats_.find(format);
      kind->second =
          custom != customFormats_.end() ? classifyBIFFFormatCode(custom->second) : builtInBIFFDateKind(format);
    }
    xfDateKinds_.push_back(kind->second);
  }
}

void BIFFWorkbook::readSharedStrings(BIFFSegmentedBody& body) {
  std::uint32_t unique = 0;
  if (!body.skip(4) || !body.readU32(unique)) damaged();  // the total count, then the unique count
  // The count is the file's word; each string takes at least 3 bytes. Beyond a first
  // block, the table grows as strings arrive, each charged as it comes.
  constexpr std::uint64_t kReservedStrings = 65'536;
  sharedStrings_.reserve(std::min<std::uint64_t>({unique, data_.size() / 3, kReservedStrings}));
  for (std::uint32_t i = 0; i < unique && body.hasMore(); ++i) {
    std::string text;
    if (!body.readUnicodeString(2, text)) damaged();
    if (!sharedStringsAccount_.tryCharge(static_cast<std::int64_t>(text.size()) + workbook_limits::kEntryOverheadBytes))
      throw budget_->exceeded("shared strings");
    sharedStrings_.push_back(std::move(text));
  }
}

BIFFDateKind BIFFWorkbook::dateKind(std::size_t xfIndex) const {
  return xfIndex < xfDateKinds_.size() ? xfDateKinds_[xfIndex] : BIFFDateKind::none;
}

bool BIFFWorkbook::appendNumberText(std::string& out, double value, std::uint16_t xfIndex) const {
  const BIFFDateKind kind = dateKind(xfIndex);
  if (kind != BIFFDateKind::none && formatBIFFSerialDate(value, kind == BIFFDateKind::timeOnly, uses1904Dates_, out))
    return true;
  appendBIFFNumber(out, value);
  return false;
}

BIFFWorkbook::SheetContents BIFFWorkbook::parseSheet(std::uint64_t offset, std::string_view name) {
  Record record;
  if (!recordAt(offset, record) || record.id != kBOF) damaged();

  const std::string sheetName = name.empty() ? "at offset " + std::to_string(offset) : std::string(name);
  CellCollector cells(sharedStrings_, budget_, sheetName);
  std::string& text = cells.text();
  std::optional<std::pair<std::uint16_t, std::uint16_t>> formulaString;  // row, column
  const std::uint64_t walkBudget = kMaxSheetWalksPerStream * data_.size();
  int depth = 0;
  for (; recordAt(offset, record); offset = record.next) {
    sheetBytesWalked_ += record.next - offset;
    if (sheetBytesWalked_ > walkBudget) damaged();
    if (record.id == kBOF) {
      ++depth;
      continue;
    }
    if (record.id == kEOF) {
      if (--depth < 1) break;
      continue;
    }
    if (depth != 1) continue;
    const std::span<const std::uint8_t> body = record.body;
    switch (record.id) {
      case kLabelSST:
        requireBody(body, 10);
        cells.storeShared(u16(body, 0), u16(body, 2), u32(body, 6));
        break;
      case kLabel:
      case kRString: {
        requireBody(body, 8);
        std::uint64_t next = 0;
        BIFFSegmentedBody string = continued(record, 6, next);
        const std::size_t start = cells.mark();
        readString(string, 2, text);
        cells.storeText(u16(body, 0), u16(body, 2), start, false);
        break;
      }
      case kNumber: {
        requireBody(body, 14);
        const std::size_t start = cells.mark();
        const bool isDate = appendNumberText(text, f64(body, 6), u16(body, 4));
        cells.storeText(u16(body, 0), u16(body, 2), start, isDate);
        break;
      }
      case kRK: {
        requireBody(body, 10);
        const std::size_t start = cells.mark();
        const bool isDate = appendNumberText(text, decodeRK(u32(body, 6)), u16(body, 4));
        cells.storeText(u16(body, 0), u16(body, 2), start, isDate);
        break;
      }
      case kMulRK: {
        requireBody(body, 6);
        const std::uint16_t row = u16(body, 0), first = u16(body, 2);
        const std::size_t entries = (body.size() - 6) / 6;
        for (std::size_t i = 0; i < entries; ++i) {
          const std::size_t at = 4 + 6 * i;
          const std::size_t column = first + i;
          if (column >= kMaxColumns) break;
          const std::size_t start = cells.mark();
          const bool isDate = appendNumberText(text, decodeRK(u32(body, at + 2)), u16(body, at));
          cells.storeText(row, static_cast<std::uint16_t>(column), start, isDate);
        }
        break;
      }
      case kBoolErr: {
        requireBody(body, 8);
        const std::size_t start = cells.mark();
        text += body[7] == 0 ? (body[6] != 0 ? "TRUE" : "FALSE") : errorText(body[6]);
        cells.storeText(u16(body, 0), u16(body, 2), start, false);
        break;
      }
      case kFormula: {
        requireBody(body, 14);
        formulaString.reset();
        const std::uint16_t row = u16(body, 0), column = u16(body, 2);
        const std::size_t start = cells.mark();
        bool isDate = false;
        if (u16(body, 12) != 0xFFFF) {
          isDate = appendNumberText(text, f64(body, 6), u16(body, 4));
        } else if (body[6] == 0) {
          formulaString.emplace(row, column);
        } else if (body[6] == 1) {
          text += body[8] != 0 ? "TRUE" : "FALSE";
        } else if (body[6] == 2) {
          text += errorText(body[8]);
        }
        cells.storeText(row, column, start, isDate);
        break;
      }
      case kString: {
        if (!formulaString) break;
        std::uint64_t next = 0;
        BIFFSegmentedBody string = continued(record, 0, next);
        const std::size_t start = cells.mark();
        readString(string, 2, text);
        cells.storeText(formulaString->first, formulaString->second, start, false);
        formulaString.reset();
        break;
      }
      default: break;
    }
  }
  return cells.finish();
}

}  // namespace tabvora::internal
