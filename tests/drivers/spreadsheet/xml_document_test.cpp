// The XML document wrapper: strict and tolerant parses, attributes by their written name,
// XPath queries, and the refusals that keep a hostile part harmless and silent.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "drivers/spreadsheet/workbook_test_support.hpp"
#include "drivers/spreadsheet/xml_document.hpp"

namespace tabvora {
namespace {

using Mode = XMLDocument::Mode;

std::optional<XMLDocument> parse(const std::string& text, Mode mode = Mode::strict) {
  return XMLDocument::parse(testing::bytesOf(text), mode);
}

std::vector<std::string> values(const XMLDocument& document, const std::string& xpath) {
  std::vector<std::string> out;
  const std::optional<std::vector<XMLNode>> nodes = document.query(xpath);
  for (const XMLNode& node : nodes.value()) out.push_back(node.stringValue());
  return out;
}

TEST(XMLDocument, ReadsAttributesByWrittenNameAndQueriesFromAnyNode) {
  const std::optional<XMLDocument> document = parse(R"(<workbook xmlns="urn:main" xmlns:r="urn:rel">
    <sheet name="Sales &amp; costs" r:id="rId1"/><sheet id="plain" x:id="undeclared"/>
    <!-- note --><p>a<b>b<![CDATA[<c>]]></b>&#x64;</p></workbook>)");
  ASSERT_TRUE(document);
  const std::vector<XMLNode> sheets = document->query("//*[local-name()='sheet']").value();
  ASSERT_EQ(sheets.size(), 2u);
  EXPECT_EQ(sheets[0].attribute("name"), "Sales & costs");
  EXPECT_EQ(sheets[0].attribute("r:id"), "rId1");
  EXPECT_EQ(sheets[0].attribute("id"), std::nullopt);
  EXPECT_EQ(sheets[1].attribute("id"), "plain");
  EXPECT_EQ(sheets[1].attribute("x:id"), "undeclared") << "an undeclared prefix stays part of the name";

  EXPECT_EQ(values(*document, "//*[local-name()='p']"), std::vector<std::string>{"ab<c>d"});
  EXPECT_EQ(values(*document, "//*[local-name()='sheet']/@*"), (std::vector<std::string>{"Sales & costs", "rId1", "plain", "undeclared"}));
  const XMLNode comment = document->query("//comment()").value().at(0);
  EXPECT_FALSE(comment.isElement());
  EXPECT_EQ(comment.attribute("x"), std::nullopt);
  const XMLNode paragraph = document->query("//*[local-name()='p']").value().at(0);
  EXPECT_EQ(document->query(".//*", paragraph).value().size(), 1u);
  EXPECT_EQ(document->query("//namespace::*").value().size(), 0u) << "namespace nodes are left out";

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
      {"no markup at all", false, true},  // a document without elements
      {"", false, false},
      {"<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><a/>", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse(c.text, Mode::strict).has_value(), c.strict) << c.text;
    EXPECT_EQ(parse(c.text, Mode::tolerant).has_value(), c.tolerant) << c.text;
  }
  EXPECT_EQ(values(*parse("<a><b>kept</b><b>cut", Mode::tolerant), "//b"), (std::vector<std::string>{"kept", "cut"}));
  // Bytes that are not UTF-8 get through a recovering parse and come out repaired.
  EXPECT_EQ(values(*parse("<a>caf\xE9</a>", Mode::tolerant), "/a"), std::vector<std::string>{"caf\xEF\xBF\xBD"});
}

TEST(XMLDocument, RefusesDocumentTypeDeclarationsSilentlyWithoutExpandingThem) {
  const std::string documentTypes[] = {
      testing::entityBombPrologue("a") + "]><a>&l9;</a>",
      "<!DOCTYPE a><a/>",
      "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>",
      "<?xml version=\"1.0\"?>\n<!DOCTYPE a PUBLIC \"-//x//y\" \"http://127.0.0.1:1/dtd\"><a/>",
  };
  ::testing::internal::CaptureStderr();
  for (const std::string& text : documentTypes) {
    EXPECT_FALSE(parse(text, Mode::strict)) << text;
    EXPECT_FALSE(parse(text, Mode::tolerant)) << text;
  }
  parse("<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?><a>\xFF\xFE\x80</a>", Mode::tolerant);
  parse("<a>", Mode::tolerant)->query("//*[");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace tabvora
