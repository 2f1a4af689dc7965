// The XML document wrapper: strict and tolerant parses, attributes by their written name,
// string values, XPath queries, and the refusals that keep a hostile part harmless.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "drivers/spreadsheet/xml_document.hpp"

namespace tabvora {
namespace {

using Mode = XMLDocument::Mode;

std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::optional<XMLDocument> parse(const std::string& text, Mode mode = Mode::strict) {
  return XMLDocument::parse(bytesOf(text), mode);
}

std::vector<std::string> values(const XMLDocument& document, const std::string& xpath) {
  std::vector<std::string> out;
  const std::optional<std::vector<XMLNode>> nodes = document.query(xpath);
  for (const XMLNode& node : nodes.value()) out.push_back(node.stringValue());
  return out;
}

const std::string kWorkbook = R"(<?xml version="1.0" encoding="UTF-8"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"
          xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">
  <workbookPr date1904="true"/>
  <sheets>
    <sheet name="Sales &amp; costs" sheetId="1" r:id="rId1"/>
    <sheet name="Two" sheetId="2" r:id="rId2" id="plain"/>
    <sheet sheetId="3" x:id="undeclared"/>
  </sheets>
  <!-- a comment --><p>a<b>b<![CDATA[<c>]]></b>&#x64;</p>
</workbook>)";

TEST(XMLDocument, ReadsAttributesByTheirWrittenName) {
  const std::optional<XMLDocument> document = parse(kWorkbook);
  ASSERT_TRUE(document);
  const std::vector<XMLNode> sheets = document->query("//*[local-name()='sheet']").value();
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0].attribute("name"), "Sales & costs");
  EXPECT_EQ(sheets[0].attribute("r:id"), "rId1");
  EXPECT_EQ(sheets[0].attribute("id"), std::nullopt);
  EXPECT_EQ(sheets[1].attribute("id"), "plain");
  EXPECT_EQ(sheets[1].attribute("r:id"), "rId2");
  EXPECT_EQ(sheets[2].attribute("x:id"), "undeclared") << "an undeclared prefix stays part of the name";
  EXPECT_EQ(sheets[2].attribute("name"), std::nullopt);
  EXPECT_TRUE(sheets[2].isElement());
}

TEST(XMLDocument, QueriesFromTheRootOrAContextNode) {
  const std::optional<XMLDocument> document = parse(kWorkbook);
  ASSERT_TRUE(document);
  EXPECT_EQ(values(*document, "//*[local-name()='p']"), std::vector<std::string>{"ab<c>d"});
  EXPECT_EQ(values(*document, "//*[local-name()='sheet']/@sheetId"), (std::vector<std::string>{"1", "2", "3"}));
  const std::vector<XMLNode> comments = document->query("//comment()").value();
  ASSERT_EQ(comments.size(), 1u);
  EXPECT_FALSE(comments[0].isElement());
  EXPECT_EQ(comments[0].attribute("x"), std::nullopt);

  const XMLNode paragraph = document->query("//*[local-name()='p']").value().at(0);
  EXPECT_EQ(document->query(".//*", paragraph).value().size(), 1u);
  EXPECT_EQ(document->query("ancestor::*", paragraph).value().size(), 1u);
  EXPECT_TRUE(document->query("//*[local-name()='nothing']").value().empty());
  EXPECT_TRUE(document->query("//namespace::*").value().empty()) << "namespace nodes are left out";

  // Failed, non-node-set and foreign-context queries give nothing.
  EXPECT_FALSE(document->query("//*["));
  EXPECT_FALSE(document->query("count(//*)"));
  EXPECT_FALSE(document->query(std::string("//p\0x", 5)));
  const std::optional<XMLDocument> other = parse("<p/>");
  EXPECT_FALSE(document->query(".", other->query("/p").value().at(0)));
}

TEST(XMLDocument, StrictRefusesWhatTolerantRecovers) {
  const struct {
    std::string text;
    bool strict;
    bool tolerant;
  } cases[] = {
      {"<a><b>1</b></a>", true, true},
      {"<a><b>1</a>", false, true},
      {"<a>x & y</a>", false, true},
      {"<a>&undeclared;</a>", false, true},
      {"<a/><b/>", false, true},
      {"no markup at all", false, true},  // a document with no element
      {"", false, false},
      {"<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><a/>", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse(c.text, Mode::strict).has_value(), c.strict) << c.text;
    EXPECT_EQ(parse(c.text, Mode::tolerant).has_value(), c.tolerant) << c.text;
  }
  const std::optional<XMLDocument> recovered = parse("<a><b>kept</b><b>cut", Mode::tolerant);
  ASSERT_TRUE(recovered);
  EXPECT_EQ(values(*recovered, "//b"), (std::vector<std::string>{"kept", "cut"}));
  // Bytes that are not UTF-8 get through a recovering parse and come out repaired.
  const std::optional<XMLDocument> latin = parse("<a>caf\xE9</a>", Mode::tolerant);
  ASSERT_TRUE(latin);
  for (const std::string& value : values(*latin, "/a")) EXPECT_EQ(value.find('\xE9'), std::string::npos) << value;
}

TEST(XMLDocument, RefusesEveryDocumentTypeDeclarationWithoutExpandingIt) {
  std::string laughs = "<!DOCTYPE a [<!ENTITY l0 \"lol\">";
  for (int level = 1; level <= 9; ++level) {
    laughs += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) laughs += "&l" + std::to_string(level - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><a>&l9;</a>";
  const std::string documentTypes[] = {
      laughs,
      "<!DOCTYPE a><a/>",
      "<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a>&x;</a>",
      "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>",
      "<?xml version=\"1.0\"?>\n<!DOCTYPE a PUBLIC \"-//x//y\" \"http://127.0.0.1:1/dtd\"><a/>",
  };
  testing::internal::CaptureStderr();
  for (const std::string& text : documentTypes) {
    EXPECT_FALSE(parse(text, Mode::strict)) << text;
    EXPECT_FALSE(parse(text, Mode::tolerant)) << text;
  }
  // Nothing any refusal or failure meets is printed.
  parse("<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?><a>\xFF\xFE\x80</a>", Mode::tolerant);
  parse("<a><b></a>", Mode::strict);
  parse("<a/>")->query("//*[");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XMLDocument, MovesWithItsTree) {
  std::optional<XMLDocument> first = parse("<a><b>x</b></a>");
  ASSERT_TRUE(first);
  XMLDocument moved = std::move(*first);
  first.reset();
  EXPECT_EQ(values(moved, "//b"), std::vector<std::string>{"x"});
}

}  // namespace
}  // namespace tabvora
