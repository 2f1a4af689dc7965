// Delimited files through the tabvora command, as a user previews them.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.hpp"

namespace tabvora::testing {
namespace {

TEST(DelimitedPreviewTest, RealFilesShowTheirCells) {
  TempDir dir;
  struct Case {
    const char* file;
    std::vector<std::string> shown;
  };
  const std::vector<Case> cases = {
      {"csv_module.csv",
       {"<span class=\"col-name\">amount</span><span class=\"col-type\">REAL</span>", "Smith, John",
        "He said &quot;hi&quot;", "emoji \xF0\x9F\x98\x80", "Showing 5 of 5 rows"}},
      {"semicolon_decimal_comma.csv", {"Birnen; lose", ">12,0<", "Showing 3 of 3 rows"}},
      {"excel_unicode_text.txt", {"na\xC3\xAFve caf\xC3\xA9", "Showing 3 of 3 rows"}},
      {"windows1252.csv", {"cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e", "Prix \xE2\x82\xAC", "\xC5\x92uvre"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto path = dir / c.file;
    const std::string original = readFile(testData(std::string("delimited/") + c.file));
    writeFile(path, original);
    const CommandResult result = runTabvora({"preview", path.string()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_FALSE(contains(result.out, "Unable to preview"));
    for (const std::string& text : c.shown) EXPECT_TRUE(contains(result.out, text)) << text;
    EXPECT_EQ(readFile(path), original);  // a preview never changes the file
  }
}

}  // namespace
}  // namespace tabvora::testing
