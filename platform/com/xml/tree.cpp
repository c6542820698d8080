// The XML DOM server's libxml2 side: parsing with no DTD loading, no entity expansion and no
// network; writing a document back in the form it was read; node text; the canonical markup of
// msxml.h; XPath selection. Every libxml2 diagnostic is captured, none reaches standard error.
#include "platform/com/xml/tree.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <cstring>
#include <mutex>

#include "platform/base/text.h"

namespace platform::com::xml {

namespace {

void ignoreError(void*, xmlErrorPtr) {}
void ignoreGenericError(void*, const char*, ...) {}

// Parse options: no network, nothing from outside the document, no entity substitution, no DTD
// loading or defaulted attributes, blank text kept (so save writes the layout back).
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// Files larger than this are not configuration files; refused rather than read into memory.
constexpr std::size_t kMaxDocumentBytes = 64u << 20;

struct ParserState {
  bool entityDeclared = false;
  int entityLine = 0;
  int entityColumn = 0;
  // The first error, which is the one to report: later ones follow from it.
  bool hasError = false;
  std::string errorMessage;
  int errorLine = 0;
  int errorColumn = 0;
};

void recordFirstError(void* userData, xmlErrorPtr error) {
  auto* parser = static_cast<xmlParserCtxtPtr>(userData);
  if (!parser || !error || error->level < XML_ERR_ERROR) return;
  auto* state = static_cast<ParserState*>(parser->_private);
  if (!state || state->hasError) return;
  state->hasError = true;
  state->errorMessage = error->message ? error->message : "";
  state->errorLine = error->line;
  state->errorColumn = error->int2;
}

// An entity declaration stops the parse: entities are never expanded, and a document that
// defines any is refused rather than read half-expanded (attribute values would be).
void refuseEntityDecl(void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
  auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
  auto* state = static_cast<ParserState*>(parser->_private);
  if (!state->entityDeclared) {
    state->entityDeclared = true;
    state->entityLine = xmlSAX2GetLineNumber(ctx);
    state->entityColumn = xmlSAX2GetColumnNumber(ctx);
  }
  xmlStopParser(parser);
}

void refuseUnparsedEntityDecl(void* ctx, const xmlChar* name, const xmlChar*, const xmlChar*, const xmlChar*) {
  refuseEntityDecl(ctx, name, 0, nullptr, nullptr, nullptr);
}

std::u16string trimLineEnd(std::u16string text) {
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
  return text;
}

// The source line `line` (1-based) of text, and the offset of (line, column) in it.
void locate(std::u16string_view text, LONG line, LONG column, std::u16string& source, LONG& offset) {
  source.clear();
  offset = 0;
  if (line < 1) return;
  std::size_t start = 0;
  for (LONG l = 1; l < line; ++l) {
    std::size_t next = text.find(u'\n', start);
    if (next == std::u16string_view::npos) return;
    start = next + 1;
  }
  std::size_t end = text.find(u'\n', start);
  if (end == std::u16string_view::npos) end = text.size();
  source.assign(text.substr(start, end - start));
  if (!source.empty() && source.back() == u'\r') source.pop_back();
  offset = static_cast<LONG>(start) + (column > 0 ? column - 1 : 0);
}

// Decodes UTF-16 bytes; false for an odd length or an unpaired surrogate.
bool decodeUtf16(std::string_view bytes, bool bigEndian, std::u16string& out) {
  if (bytes.size() % 2) return false;
  out.resize(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
    const auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
    out[i] = static_cast<char16_t>(hi << 8 | lo);
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    const char16_t c = out[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= out.size() || out[i + 1] < 0xDC00 || out[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// Parses UTF-8 (or, with encoding null, self-describing) bytes. `shown` is the text positions in
// the failure refer to, for srcText and filepos.
std::shared_ptr<Tree> parse(std::string_view bytes, const char* encoding, int extraOptions, SourceForm form,
                            std::u16string_view shown, ParseFailure& failure) {
  prepareLibrary();
  failure = ParseFailure();
  if (bytes.size() > kMaxDocumentBytes) {
    failure.errorCode = static_cast<LONG>(0x80004005);  // E_FAIL
    failure.reason = u"The document is too large.";
    return nullptr;
  }
  xmlParserCtxtPtr parser = xmlNewParserCtxt();
  if (!parser) {
    failure.errorCode = static_cast<LONG>(0x8007000E);  // E_OUTOFMEMORY
    failure.reason = u"Not enough memory to parse the document.";
    return nullptr;
  }
  ParserState state;
  parser->_private = &state;
  parser->sax->serror = recordFirstError;
  parser->userData = parser;
  parser->sax->entityDecl = refuseEntityDecl;
  parser->sax->unparsedEntityDecl = refuseUnparsedEntityDecl;
  xmlDocPtr doc = xmlCtxtReadMemory(parser, bytes.data(), static_cast<int>(bytes.size()), nullptr, encoding,
                                    kParseOptions | extraOptions);
  const bool wellFormed = parser->wellFormed != 0;
  if (doc && wellFormed && !state.entityDeclared && xmlDocGetRootElement(doc)) {
    xmlFreeParserCtxt(parser);
    return std::make_shared<Tree>(doc, form);
  }
  if (doc) xmlFreeDoc(doc);
  failure.errorCode = static_cast<LONG>(0x80004005);  // E_FAIL, as the system's DOM reports XML errors
  if (state.entityDeclared) {
    failure.reason = u"Entity declarations are not supported.";
    failure.line = state.entityLine;
    failure.linepos = state.entityColumn;
  } else if (state.hasError) {
    failure.reason = trimLineEnd(platform::text::fromUtf8(state.errorMessage));
    failure.line = state.errorLine;
    failure.linepos = state.errorColumn;
  } else if (const xmlError* error = xmlCtxtGetLastError(parser); error && error->code != XML_ERR_OK) {
    failure.reason = trimLineEnd(fromXml(reinterpret_cast<const xmlChar*>(error->message)));
    failure.line = error->line;
    failure.linepos = error->int2;
  } else {
    failure.reason = u"The document has no root element.";
  }
  if (failure.reason.empty()) failure.reason = u"The document is not well-formed XML.";
  xmlFreeParserCtxt(parser);
  locate(shown, failure.line, failure.linepos, failure.srcText, failure.filepos);
  return nullptr;
}

bool startsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

}  // namespace

void prepareLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
  thread_local bool silenced = false;
  if (!silenced) {
    xmlSetStructuredErrorFunc(nullptr, ignoreError);
    xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
    silenced = true;
  }
}

Tree::~Tree() {
  // Retired nodes first: they still use the document's name dictionary.
  for (xmlNodePtr node : retired_) xmlFreeNode(node);
  if (doc_) xmlFreeDoc(doc_);
}

void Tree::retire(xmlNodePtr node) {
  xmlUnlinkNode(node);
  retired_.push_back(node);
}

std::u16string fromXml(const xmlChar* text) {
  if (!text) return {};
  return platform::text::fromUtf8(reinterpret_cast<const char*>(text));
}

std::string toXml(std::u16string_view text) { return platform::text::toUtf8(text); }

std::shared_ptr<Tree> parseBytes(std::string_view bytes, ParseFailure& failure) {
  SourceForm form;
  form.crlf = bytes.find("\r\n") != std::string_view::npos;
  // UTF-16, by its byte-order mark or by a first "<" in either byte order, is decoded here so the
  // declaration's encoding name (whatever it says) cannot make the parser misread it.
  bool utf16 = false, bigEndian = false;
  std::string_view body = bytes;
  if (startsWith(bytes, "\xFF\xFE")) {
    utf16 = true, form.byteOrderMark = true, body.remove_prefix(2);
  } else if (startsWith(bytes, "\xFE\xFF")) {
    utf16 = true, bigEndian = true, form.byteOrderMark = true, body.remove_prefix(2);
  } else if (startsWith(bytes, std::string_view("<\0", 2))) {
    utf16 = true;
  } else if (startsWith(bytes, std::string_view("\0<", 2))) {
    utf16 = true, bigEndian = true;
  }
  if (utf16) {
    form.encoding = bigEndian ? SourceForm::Encoding::Utf16BE : SourceForm::Encoding::Utf16LE;
    std::u16string text;
    if (!decodeUtf16(body, bigEndian, text)) {
      failure = ParseFailure();
      failure.errorCode = static_cast<LONG>(0x80004005);
      failure.reason = u"The UTF-16 text of the document is damaged.";
      return nullptr;
    }
    form.crlf = text.find(u"\r\n") != std::u16string::npos;
    const std::string utf8 = toXml(text);
    return parse(utf8, "UTF-8", XML_PARSE_IGNORE_ENC, form, text, failure);
  }
  if (startsWith(bytes, "\xEF\xBB\xBF")) form.byteOrderMark = true;
  // Other encodings are named by the declaration (UTF-8 without one); libxml2 decodes them.
  form.encoding = SourceForm::Encoding::Declared;
  const std::u16string shown = platform::text::fromUtf8(bytes.substr(form.byteOrderMark ? 3 : 0));
  return parse(bytes, nullptr, 0, form, shown, failure);
}

std::shared_ptr<Tree> parseText(std::u16string_view text, ParseFailure& failure) {
  SourceForm form;  // written back as UTF-8
  form.crlf = text.find(u"\r\n") != std::u16string_view::npos;
  const std::string utf8 = toXml(text);
  return parse(utf8, "UTF-8", XML_PARSE_IGNORE_ENC, form, text, failure);
}

std::string serializeTree(const Tree& tree) {
  prepareLibrary();
  const SourceForm& form = tree.form();
  const bool utf16 = form.encoding == SourceForm::Encoding::Utf16LE || form.encoding == SourceForm::Encoding::Utf16BE;
  xmlDocPtr doc = tree.doc();
  const char* encoding = "UTF-8";
  if (!utf16 && form.encoding == SourceForm::Encoding::Declared && doc->encoding)
    encoding = reinterpret_cast<const char*>(doc->encoding);
  xmlChar* memory = nullptr;
  int size = 0;
  xmlDocDumpMemoryEnc(doc, &memory, &size, encoding);
  if (!memory || size < 0) return {};
  std::string bytes(reinterpret_cast<const char*>(memory), static_cast<std::size_t>(size));
  xmlFree(memory);
  if (form.crlf) {
    std::string withCr;
    withCr.reserve(bytes.size() + bytes.size() / 16);
    for (char c : bytes) {
      if (c == '\n') withCr += '\r';
      withCr += c;
    }
    bytes.swap(withCr);
  }
  if (!utf16) return form.byteOrderMark && std::strcmp(encoding, "UTF-8") == 0 ? "\xEF\xBB\xBF" + bytes : bytes;

  // The declaration libxml2 wrote names UTF-8; the file is UTF-16.
  const std::string_view written = "encoding=\"UTF-8\"";
  const std::size_t declarationEnd = bytes.find("?>");
  if (startsWith(bytes, "<?xml") && declarationEnd != std::string::npos) {
    const std::size_t at = bytes.find(written);
    if (at != std::string::npos && at < declarationEnd) bytes.replace(at, written.size(), "encoding=\"UTF-16\"");
  }
  const std::u16string text = platform::text::fromUtf8(bytes);
  const bool bigEndian = form.encoding == SourceForm::Encoding::Utf16BE;
  std::string out;
  out.reserve(2 + text.size() * 2);
  if (form.byteOrderMark) out += bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

// ---- text ----------------------------------------------------------------------------------------

bool isBlank(std::u16string_view text) {
  for (char16_t c : text)
    if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') return false;
  return true;
}

bool isBlankTextNode(xmlNodePtr node) {
  if (node->type != XML_TEXT_NODE) return false;
  for (const xmlChar* p = node->content; p && *p; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') return false;
  return true;
}

namespace {

void collectText(xmlNodePtr node, bool preserveWhiteSpace, std::string& out) {
  for (xmlNodePtr child = node->children; child; child = child->next) {
    switch (child->type) {
      case XML_TEXT_NODE:
        if (!preserveWhiteSpace && isBlankTextNode(child)) break;
        [[fallthrough]];
      case XML_CDATA_SECTION_NODE:
        if (child->content) out += reinterpret_cast<const char*>(child->content);
        break;
      case XML_ELEMENT_NODE:
        collectText(child, preserveWhiteSpace, out);
        break;
      default:  // comments, processing instructions, entity references: no text
        break;
    }
  }
}

std::u16string trimmed(std::u16string text) {
  std::size_t begin = 0, end = text.size();
  auto space = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
  while (begin < end && space(text[begin])) ++begin;
  while (end > begin && space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Attribute values are text children (entity references cannot occur: declarations are refused).
std::u16string attributeValue(xmlNodePtr attribute) {
  std::string value;
  for (xmlNodePtr child = attribute->children; child; child = child->next)
    if (child->content) value += reinterpret_cast<const char*>(child->content);
  return platform::text::fromUtf8(value);
}

void appendEscaped(std::u16string& out, std::u16string_view text, bool attribute) {
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"':
        if (attribute) out += u"&quot;";
        else out += c;
        break;
      case u'\t':
        if (attribute) out += u"&#9;";
        else out += c;
        break;
      case u'\n':
        if (attribute) out += u"&#10;";
        else out += c;
        break;
      case u'\r':
        if (attribute) out += u"&#13;";
        else out += c;
        break;
      default: out += c;
    }
  }
}

std::u16string qualifiedName(xmlNodePtr node) {
  std::u16string name;
  if (node->ns && node->ns->prefix) name = fromXml(node->ns->prefix) + u":";
  return name + fromXml(node->name);
}

void appendAttribute(std::u16string& out, xmlNodePtr attribute) {
  out += qualifiedName(attribute);
  out += u"=\"";
  appendEscaped(out, attributeValue(attribute), true);
  out += u'"';
}

void appendMarkup(std::u16string& out, xmlNodePtr node, bool preserveWhiteSpace) {
  switch (node->type) {
    case XML_ELEMENT_NODE: {
      out += u'<';
      out += qualifiedName(node);
      for (xmlNsPtr ns = node->nsDef; ns; ns = ns->next) {
        out += ns->prefix ? u" xmlns:" + fromXml(ns->prefix) + u"=\"" : std::u16string(u" xmlns=\"");
        appendEscaped(out, fromXml(ns->href), true);
        out += u'"';
      }
      for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
        out += u' ';
        appendAttribute(out, reinterpret_cast<xmlNodePtr>(attribute));
      }
      std::u16string inner;
      for (xmlNodePtr child = node->children; child; child = child->next) appendMarkup(inner, child, preserveWhiteSpace);
      if (inner.empty()) {
        out += u"/>";
      } else {
        out += u'>';
        out += inner;
        out += u"</";
        out += qualifiedName(node);
        out += u'>';
      }
      break;
    }
    case XML_ATTRIBUTE_NODE:
      appendAttribute(out, node);
      break;
    case XML_TEXT_NODE:
      if (preserveWhiteSpace || !isBlankTextNode(node)) appendEscaped(out, fromXml(node->content), false);
      break;
    case XML_CDATA_SECTION_NODE:
      out += u"<![CDATA[" + fromXml(node->content) + u"]]>";
      break;
    case XML_COMMENT_NODE:
      out += u"<!--" + fromXml(node->content) + u"-->";
      break;
    case XML_PI_NODE:
      out += u"<?" + fromXml(node->name);
      if (node->content && *node->content) out += u" " + fromXml(node->content);
      out += u"?>";
      break;
    case XML_ENTITY_REF_NODE:
      out += u"&" + fromXml(node->name) + u";";
      break;
    case XML_DOCUMENT_NODE:
      for (xmlNodePtr child = node->children; child; child = child->next) {
        if (child->type == XML_DTD_NODE) continue;
        appendMarkup(out, child, preserveWhiteSpace);
        out += u"\r\n";
      }
      break;
    default:
      break;
  }
}

}  // namespace

std::u16string nodeText(xmlNodePtr node, bool preserveWhiteSpace) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE: {
      std::string text;
      collectText(node, preserveWhiteSpace, text);
      std::u16string result = platform::text::fromUtf8(text);
      return preserveWhiteSpace ? result : trimmed(std::move(result));
    }
    case XML_ATTRIBUTE_NODE:
      return attributeValue(node);
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return fromXml(node->content);
    default:
      return {};
  }
}

std::u16string nodeMarkup(xmlNodePtr node, bool preserveWhiteSpace) {
  std::u16string out;
  appendMarkup(out, node, preserveWhiteSpace);
  return out;
}

bool setNodeText(Tree& tree, xmlNodePtr node, std::u16string_view text) {
  prepareLibrary();
  const std::string utf8 = toXml(text);
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE: {
      while (xmlNodePtr child = node->children) tree.retire(child);
      xmlNodePtr textNode = xmlNewDocTextLen(tree.doc(), reinterpret_cast<const xmlChar*>(utf8.data()),
                                             static_cast<int>(utf8.size()));
      if (!textNode) return false;
      if (!xmlAddChild(node, textNode)) {
        xmlFreeNode(textNode);
        return false;
      }
      return true;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      xmlNodeSetContentLen(node, reinterpret_cast<const xmlChar*>(utf8.data()), static_cast<int>(utf8.size()));
      return true;
    default:
      return false;
  }
}

bool selectNodes(xmlDocPtr doc, xmlNodePtr context, std::u16string_view expression, std::vector<xmlNodePtr>& nodes) {
  prepareLibrary();
  nodes.clear();
  xmlXPathContextPtr xpath = xmlXPathNewContext(doc);
  if (!xpath) return false;
  xpath->error = ignoreError;
  xpath->node = context;
  const std::string utf8 = toXml(expression);
  xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(utf8.c_str()), xpath);
  bool ok = false;
  if (result && result->type == XPATH_NODESET) {
    ok = true;
    if (xmlNodeSetPtr set = result->nodesetval) {
      for (int i = 0; i < set->nodeNr; ++i) {
        xmlNodePtr node = set->nodeTab[i];
        if (node && node->type != XML_NAMESPACE_DECL) nodes.push_back(node);
      }
    }
  }
  if (result) xmlXPathFreeObject(result);
  xmlXPathFreeContext(xpath);
  return ok;
}

}  // namespace platform::com::xml
