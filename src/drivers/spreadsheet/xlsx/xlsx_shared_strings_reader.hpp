#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/spreadsheet/xml/spreadsheetml_stream_parser.hpp"
#include "drivers/spreadsheet/sheet/workbook_budget.hpp"

namespace tabvora::internal {

// Reads the shared-string table part (xl/sharedStrings.xml) into its list of strings, in
// item order: each `si` item is the concatenation of its `t` runs, phonetic guides (`rPh`)
// left out, with its "_xHHHH_" escapes decoded.
class XLSXSharedStringsReader : public SpreadsheetMLStreamParser::Delegate {
 public:
  static constexpr const char* kPartName = "xl/sharedStrings.xml";

  // The table of a part: streamed; when the stream stops on an error, the part is streamed
  // again recovering from errors (elements then read by their local name, whatever their
  // prefix, and each item ended by the next one's start or the end of the part, should its
  // end tag be lost), and the items it yields are taken; empty when nothing is read. Every string
  // is charged to `account` (its text and kEntryOverheadBytes), which must outlive the
  // table; running out of its budget throws the budget's failure naming the part.
  static std::vector<std::string> read(std::span<const std::uint8_t> part, WorkbookBudget::Account& account);

  void startElement(SpreadsheetMLStreamParser::Name name,
                    const SpreadsheetMLStreamParser::Attributes& attributes) override;
  void endElement(SpreadsheetMLStreamParser::Name name) override;
  void characters(std::string_view text) override;

 private:
  XLSXSharedStringsReader(WorkbookBudget::Account& account, bool anyPrefix)
      : account_(account), anyPrefix_(anyPrefix) {}
  ~XLSXSharedStringsReader() override { account_.release(currentBytes_); }
  SpreadsheetMLStreamParser::Name local(SpreadsheetMLStreamParser::Name name) const;
  // Appends the item read so far, charging it.
  void finishItem();

  WorkbookBudget::Account& account_;
  bool anyPrefix_;  // names compared without their prefix
  bool outOfBudget_ = false;
  bool itemOpen_ = false;  // an `si` started and has not been finished
  std::vector<std::string> strings_;
  std::string current_;            // the item being collected
  std::int64_t currentBytes_ = 0;  // charged for current_
  bool inText_ = false;            // character data goes to current_
  int phoneticDepth_ = 0;          // nesting depth of rPh elements
};

}  // namespace tabvora::internal
