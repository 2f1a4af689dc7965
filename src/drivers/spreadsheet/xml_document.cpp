#include "drivers/spreadsheet/xml_document.hpp"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <climits>

#include "drivers/spreadsheet/xml_parse_settings.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora {

namespace {

// Records the declaration as the document's internal subset, so the caller sees it and
// refuses the document, then stops before any markup declaration inside it is read.
void stopAtDocumentType(void* context, const xmlChar* name, const xmlChar* publicId, const xmlChar* systemId) {
  xmlSAX2InternalSubset(context, name, publicId, systemId);
  xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

struct ContextDeleter {
  void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};
struct XPathContextDeleter {
  void operator()(xmlXPathContextPtr context) const { xmlXPathFreeContext(context); }
};
struct CompiledXPathDeleter {
  void operator()(xmlXPathCompExprPtr expression) const { xmlXPathFreeCompExpr(expression); }
};
struct XPathObjectDeleter {
  void operator()(xmlXPathObjectPtr object) const { xmlXPathFreeObject(object); }
};

// Takes ownership of a string libxml2 allocated. A recovering parse lets bytes that are not
// UTF-8 through; they become U+FFFD.
std::string adopt(xmlChar* text) {
  if (text == nullptr) return {};
  std::string result(reinterpret_cast<const char*>(text));
  xmlFree(text);
  return isValidUTF8(result) ? result : repairUTF8(result);
}

bool hasQualifiedName(const xmlAttr* attribute, std::string_view qualifiedName) {
  const std::string_view local(reinterpret_cast<const char*>(attribute->name));
  if (attribute->ns == nullptr || attribute->ns->prefix == nullptr) return qualifiedName == local;
  const std::string_view prefix(reinterpret_cast<const char*>(attribute->ns->prefix));
  return qualifiedName.size() == prefix.size() + 1 + local.size() && qualifiedName.starts_with(prefix) &&
         qualifiedName[prefix.size()] == ':' && qualifiedName.ends_with(local);
}

}  // namespace

bool XMLNode::isElement() const { return node_->type == XML_ELEMENT_NODE; }

std::optional<std::string> XMLNode::attribute(std::string_view qualifiedName) const {
  if (!isElement()) return std::nullopt;
  for (const xmlAttr* attribute = node_->properties; attribute != nullptr; attribute = attribute->next) {
    if (hasQualifiedName(attribute, qualifiedName))
      return adopt(xmlNodeListGetString(node_->doc, attribute->children, 1));
  }
  return std::nullopt;
}

std::string XMLNode::stringValue() const { return adopt(xmlXPathCastNodeToString(node_)); }

void XMLDocument::DocumentDeleter::operator()(_xmlDoc* document) const { xmlFreeDoc(document); }

std::optional<XMLDocument> XMLDocument::parse(std::span<const std::uint8_t> bytes, Mode mode) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const XMLParseSettings::Quiet quiet;
  const std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
  if (!context) return std::nullopt;
  context->sax->internalSubset = stopAtDocumentType;
  XMLParseSettings::silence(context.get());
  XMLDocument document(xmlCtxtReadMemory(context.get(), reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<int>(bytes.size()), nullptr, nullptr,
                                         XMLParseSettings::options(mode == Mode::tolerant)));
  if (!document.document_) return std::nullopt;
  if (document.document_->intSubset != nullptr || document.document_->extSubset != nullptr) return std::nullopt;
  if (mode == Mode::strict && !context->wellFormed) return std::nullopt;
  // Numbers the elements, so sorting node sets into document order compares two numbers.
  xmlXPathOrderDocElems(document.document_.get());
  return document;
}

std::optional<std::vector<XMLNode>> XMLDocument::query(std::string_view xpath) const {
  return evaluate(xpath, reinterpret_cast<xmlNodePtr>(document_.get()));
}

std::optional<std::vector<XMLNode>> XMLDocument::query(std::string_view xpath, const XMLNode& context) const {
  if (context.node_->doc != document_.get()) return std::nullopt;
  return evaluate(xpath, context.node_);
}

std::optional<std::vector<XMLNode>> XMLDocument::evaluate(std::string_view xpath, _xmlNode* node) const {
  if (xpath.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string expression(xpath);
  const XMLParseSettings::Quiet quiet;
  const std::unique_ptr<xmlXPathContext, XPathContextDeleter> context(xmlXPathNewContext(document_.get()));
  if (!context) return std::nullopt;
  context->error = XMLParseSettings::ignoreError;
  context->node = node;
  const std::unique_ptr<xmlXPathCompExpr, CompiledXPathDeleter> compiled(
      xmlXPathCtxtCompile(context.get(), reinterpret_cast<const xmlChar*>(expression.c_str())));
  if (!compiled) return std::nullopt;
  const std::unique_ptr<xmlXPathObject, XPathObjectDeleter> result(xmlXPathCompiledEval(compiled.get(), context.get()));
  if (!result || result->type != XPATH_NODESET) return std::nullopt;
  std::vector<XMLNode> nodes;
  if (const xmlNodeSet* set = result->nodesetval; set != nullptr) {
    nodes.reserve(static_cast<std::size_t>(set->nodeNr));
    for (int i = 0; i < set->nodeNr; ++i) {
      if (set->nodeTab[i]->type != XML_NAMESPACE_DECL) nodes.push_back(XMLNode(set->nodeTab[i]));
    }
  }
  return nodes;
}

}  // namespace tabvora
