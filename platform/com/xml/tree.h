// Inside the XML DOM server: a parsed document (libxml2 tree) with what is needed to write it back
// as it was read, the parser and writer, node text and the canonical markup. The COM objects of
// dom.cpp are thin wrappers over these. Not for product code: libxml2 types appear here.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/types.h"

namespace platform::com::xml {

// libxml2's process setup, and its default error printers silenced on the calling thread (the
// parse options do not stop its encoding errors reaching stderr). Every parse calls it first.
void prepareLibrary();

// How the source bytes were laid out, so save can write them the same way.
struct SourceForm {
  enum class Encoding { Utf8, Utf16LE, Utf16BE, Declared };  // Declared: libxml2 decoded it
  Encoding encoding = Encoding::Utf8;
  bool byteOrderMark = false;
  bool crlf = false;  // line ends were CR LF
};

// One parsed document. Nodes taken out of the tree (replaced text) are kept until the tree goes,
// because node objects handed out earlier may still point at them.
class Tree {
 public:
  Tree(xmlDocPtr doc, SourceForm form) : doc_(doc), form_(form) {}
  ~Tree();
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  xmlDocPtr doc() const { return doc_; }
  const SourceForm& form() const { return form_; }
  // Unlinks the node and keeps it alive until the tree goes.
  void retire(xmlNodePtr node);

 private:
  xmlDocPtr doc_;
  SourceForm form_;
  std::vector<xmlNodePtr> retired_;
};

// What a failed parse reports (the fields of IXMLDOMParseError).
struct ParseFailure {
  LONG errorCode = 0;
  std::u16string reason;
  std::u16string url;
  std::u16string srcText;
  LONG line = 0;
  LONG linepos = 0;
  LONG filepos = 0;
};

// Parses bytes of a file (any encoding the bytes or their declaration announce). Null and
// `failure` filled when they are not a well-formed document or declare entities.
std::shared_ptr<Tree> parseBytes(std::string_view bytes, ParseFailure& failure);
// Parses text as loadXML does (the declaration's encoding is ignored; the text is UTF-16).
std::shared_ptr<Tree> parseText(std::u16string_view text, ParseFailure& failure);
// The file's bytes in the form it was read in.
std::string serializeTree(const Tree& tree);

// Text made only of XML whitespace (space, tab, LF, CR); empty text counts.
bool isBlank(std::u16string_view text);
bool isBlankTextNode(xmlNodePtr node);

// A node's `text` and `xml` (see msxml.h); preserveWhiteSpace keeps blank text.
std::u16string nodeText(xmlNodePtr node, bool preserveWhiteSpace);
std::u16string nodeMarkup(xmlNodePtr node, bool preserveWhiteSpace);
// Replaces the node's content with text; false for node kinds that hold no text.
bool setNodeText(Tree& tree, xmlNodePtr node, std::u16string_view text);

// Evaluates an XPath expression with `context` as context node; false when it does not parse or
// does not give a node set. Namespace nodes are left out of the result.
bool selectNodes(xmlDocPtr doc, xmlNodePtr context, std::u16string_view expression, std::vector<xmlNodePtr>& nodes);

std::u16string fromXml(const xmlChar* text);
std::string toXml(std::u16string_view text);

}  // namespace platform::com::xml
