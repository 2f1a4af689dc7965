#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct _xmlDoc;
struct _xmlNode;

namespace tabvora {

// A node of a live XMLDocument: a plain pointer into the document's tree, valid while the
// document lives.
// Texts are UTF-8; bytes that are not (a tolerant parse lets them through) read as U+FFFD.
class XMLNode {
 public:
  bool isElement() const;
  // The value of the attribute whose name as written (with its prefix, as in "r:id") equals
  // `qualifiedName`; nothing when there is none or the node is not an element.
  std::optional<std::string> attribute(std::string_view qualifiedName) const;
  // The XPath string value: the text of all descendant text nodes, in document order.
  std::string stringValue() const;

 private:
  friend class XMLDocument;
  explicit XMLNode(_xmlNode* node) : node_(node) {}
  _xmlNode* node_;
};

// A whole XML part parsed into a tree, for the small parts of a package (workbook, styles,
// relationships, and the shared strings when they cannot be streamed). Never loads a DTD,
// never expands an entity, never touches the network and never prints a parse error.
// Movable, not copyable; owns the tree.
class XMLDocument {
 public:
  // strict: any well-formedness error refuses the bytes. tolerant: the parser recovers
  // from errors and keeps what it could read.
  enum class Mode { strict, tolerant };

  // Nothing when the bytes do not parse (in strict mode; in tolerant mode only when not
  // even a document results) or when they hold a document type declaration, which no
  // package part needs and which could declare expanding entities: the parse stops at it.
  static std::optional<XMLDocument> parse(std::span<const std::uint8_t> bytes, Mode mode);

  // The nodes an XPath 1.0 expression selects, in document order, evaluated at the root or
  // at `context`; nothing when the expression does not compile, fails, yields no node set,
  // or the context node belongs to another document. Namespace nodes are left out: they
  // would not outlive the evaluation.
  std::optional<std::vector<XMLNode>> query(std::string_view xpath) const;
  std::optional<std::vector<XMLNode>> query(std::string_view xpath, const XMLNode& context) const;

 private:
  struct DocumentDeleter {
    void operator()(_xmlDoc* document) const;
  };
  explicit XMLDocument(_xmlDoc* document) : document_(document) {}
  std::optional<std::vector<XMLNode>> evaluate(std::string_view xpath, _xmlNode* context) const;

  std::unique_ptr<_xmlDoc, DocumentDeleter> document_;
};

}  // namespace tabvora
