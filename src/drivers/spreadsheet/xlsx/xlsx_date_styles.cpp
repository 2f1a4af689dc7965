#include "drivers/spreadsheet/xlsx/xlsx_date_styles.hpp"

#include <climits>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "drivers/spreadsheet/xml/spreadsheetml_stream_parser.hpp"
#include "drivers/spreadsheet/sheet/workbook_limits.hpp"
#include "platform/number_parsing.hpp"

namespace tabvora::internal {

namespace {

using workbook_limits::kCellOverheadBytes;
using workbook_limits::kEntryOverheadBytes;
using Parser = SpreadsheetMLStreamParser;

constexpr const char* kPartName = "part \"xl/styles.xml\"";
// The format id of a cell format without one that reads as an integer.
constexpr std::int64_t kNoId = INT64_MIN;

struct IdRange {
  std::int64_t first;
  std::int64_t last;
};
// The built-in number formats that show dates and times.
constexpr IdRange kBuiltInDateFormats[] = {{14, 22}, {27, 36}, {45, 47}, {50, 58}};

bool isBuiltInDateFormat(std::int64_t id) {
  for (const IdRange& range : kBuiltInDateFormats) {
    if (id >= range.first && id <= range.last) return true;
  }
  return false;
}

// Collects the custom format codes (numFmt children of numFmts) and the format id of each
// cell format (xf children of cellXfs).
class StylesReader : public Parser::Delegate {
 public:
  explicit StylesReader(WorkbookBudget::Account& account) : account_(account) {}

  void startElement(Parser::Name qualified, const Parser::Attributes& attributes) override {
    const Parser::Name name = qualified.local();
    const Parent parent = parents_.empty() ? Parent::other : parents_.back();
    if (parent == Parent::numFmts && name == "numFmt") {
      const std::optional<std::int64_t> id = formatId(attributes);
      std::optional<std::string> code = attributes.text("formatCode");
      if (id && code && charge(static_cast<std::int64_t>(code->size()) + 2 * kEntryOverheadBytes))
        customCodes_.insert_or_assign(*id, std::move(*code));
    } else if (parent == Parent::cellXfs && name == "xf" && charge(kCellOverheadBytes)) {
      cellFormatIds_.push_back(formatId(attributes).value_or(kNoId));
    }
    parents_.push_back(name == "numFmts" ? Parent::numFmts : name == "cellXfs" ? Parent::cellXfs : Parent::other);
  }
  void endElement(Parser::Name) override {
    if (!parents_.empty()) parents_.pop_back();
  }
  void characters(std::string_view) override {}

  bool outOfBudget() const { return outOfBudget_; }
  std::unordered_map<std::int64_t, std::string> customCodes_;
  std::vector<std::int64_t> cellFormatIds_;

 private:
  enum class Parent { numFmts, cellXfs, other };

  static std::optional<std::int64_t> formatId(const Parser::Attributes& attributes) {
    const std::optional<std::string_view> id = attributes.value("numFmtId");
    return id ? parseInt64(*id) : std::nullopt;
  }
  bool charge(std::int64_t bytes) {
    if (account_.tryCharge(bytes)) return true;
    outOfBudget_ = true;
    stopParsing();
    return false;
  }

  WorkbookBudget::Account& account_;
  std::vector<Parent> parents_;  // of the open elements; as deep as the parser's depth limit
  bool outOfBudget_ = false;
};

}  // namespace

std::unordered_set<std::int64_t> readXLSXDateStyles(std::span<const std::uint8_t> stylesPart,
                                                    WorkbookBudget::Account& account) {
  WorkbookBudget::Account scratch(account.budget());  // what the reader collects, let go here
  StylesReader reader(scratch);
  const bool parsed = Parser::parse(stylesPart, reader);
  if (reader.outOfBudget()) throw account.budget()->exceeded(kPartName);
  std::unordered_set<std::int64_t> dateStyles;
  if (!parsed) return dateStyles;
  for (std::size_t position = 0; position < reader.cellFormatIds_.size(); ++position) {
    const std::int64_t id = reader.cellFormatIds_[position];
    if (id == kNoId) continue;
    const auto custom = reader.customCodes_.find(id);
    if (custom != reader.customCodes_.end() ? isDateFormatCode(custom->second) : isBuiltInDateFormat(id)) {
      if (!account.tryCharge(kEntryOverheadBytes)) throw account.budget()->exceeded(kPartName);
      dateStyles.insert(static_cast<std::int64_t>(position));
    }
  }
  return dateStyles;
}

bool isDateFormatCode(std::string_view code) {
  char previous = ' ';
  bool quoted = false;
  bool bracketed = false;
  for (const char c : code) {
    const bool escaped = previous == '\\';
    previous = c;
    if (escaped) continue;
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == '[') {
      bracketed = true;
    } else if (c == ']') {
      bracketed = false;
    } else if (!bracketed && std::string_view("ymdhsYMDHS").find(c) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace tabvora::internal
