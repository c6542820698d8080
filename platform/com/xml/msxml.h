// The XML DOM server: CLSID_DOMDocument with the MSXML-shaped interfaces the product calls
// (document, node, element, attribute, node list, parse error), over libxml2 (dom.cpp).
//
// What it does, and where it differs from the system's DOM:
// - load (a local file path; no URL, no network) and loadXML (text). UTF-8 and UTF-16 (with or
//   without a byte-order mark) are recognised, as is any encoding the declaration names.
//   External DTDs are never loaded, entities are never expanded (a reference stays a reference),
//   nothing is fetched; async, validateOnParse and resolveExternals may be set but only "off"
//   is ever acted on.
// - A failed load answers S_FALSE, leaves the previous document in place, and fills parseError:
//   errorCode (E_FAIL for XML errors, the file error's HRESULT otherwise), reason (one line, in
//   English), line and linepos (1-based; linepos counts characters), filepos, url, srcText.
// - selectSingleNode and selectNodes take XPath 1.0 location paths, evaluated with the node as
//   context; the result is in document order. Anything but a node set is E_FAIL.
// - The whitespace-only text between elements is kept in the tree, so save writes the file back
//   as it was laid out (line ends and byte-order mark included). With preserveWhiteSpace off (the
//   default) such text is invisible to `text` and `xml`, as the system's DOM drops it at load.
// - `text`: an element's is the text of its descendants, trimmed of leading and trailing
//   whitespace (preserveWhiteSpace off); an attribute's is its value. Setting it replaces all
//   children by one text node (markup in the text is escaped when written).
// - `xml`: the node's markup in the canonical form of canonicalXml (below). The integrity hash of
//   the customization file covers this text, so the form must never change.
// - Interfaces derive from IUnknown only: the product binds them early and never through
//   IDispatch.
#pragma once

#include <string>

#include "platform/com/bstr.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

DEFINE_GUID(CLSID_DOMDocument, 0x2933BF90, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60);
DEFINE_GUID(IID_IXMLDOMNode, 0x2933BF80, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60);
DEFINE_GUID(IID_IXMLDOMDocument, 0x2933BF81, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60);
DEFINE_GUID(IID_IXMLDOMNodeList, 0x2933BF82, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60);
DEFINE_GUID(IID_IXMLDOMAttribute, 0x2933BF85, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60);
DEFINE_GUID(IID_IXMLDOMElement, 0x2933BF86, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60);
DEFINE_GUID(IID_IXMLDOMParseError, 0x3EFAA426, 0x272F, 0x11D2, 0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82);

enum DOMNodeType {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_CDATA_SECTION = 4,
  NODE_ENTITY_REFERENCE = 5,
  NODE_ENTITY = 6,
  NODE_PROCESSING_INSTRUCTION = 7,
  NODE_COMMENT = 8,
  NODE_DOCUMENT = 9,
  NODE_DOCUMENT_TYPE = 10,
  NODE_DOCUMENT_FRAGMENT = 11,
  NODE_NOTATION = 12,
};

struct IXMLDOMNodeList;
struct IXMLDOMDocument;
struct IXMLDOMElement;

// Every BSTR out-parameter is the caller's to free (SysFreeString); every interface out-parameter
// holds a reference. E_INVALIDARG for a null out-parameter.
struct IXMLDOMNode : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) = 0;
  // The node's value (attribute value, text, comment): S_FALSE and VT_NULL for elements and
  // documents.
  virtual HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) = 0;
  // S_FALSE and null for the document and for attributes (as the system's DOM).
  virtual HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode** parent) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument** document) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_text(BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_text(BSTR text) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_xml(BSTR* xml) = 0;
  // S_FALSE and null when nothing matches; E_FAIL for an expression that does not parse or does
  // not give a node set.
  virtual HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR queryString, IXMLDOMNode** node) = 0;
  // An empty list when nothing matches; E_FAIL as selectSingleNode.
  virtual HRESULT STDMETHODCALLTYPE selectNodes(BSTR queryString, IXMLDOMNodeList** list) = 0;

 protected:
  ~IXMLDOMNode() = default;
};

struct IXMLDOMNodeList : IUnknown {
  // S_FALSE and null past the end.
  virtual HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode** node) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_length(LONG* length) = 0;
  // The node at the list's cursor, then advances; S_FALSE and null at the end.
  virtual HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** node) = 0;
  virtual HRESULT STDMETHODCALLTYPE reset() = 0;

 protected:
  ~IXMLDOMNodeList() = default;
};

struct IXMLDOMAttribute : IXMLDOMNode {
  virtual HRESULT STDMETHODCALLTYPE get_name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_value(VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_value(VARIANT value) = 0;

 protected:
  ~IXMLDOMAttribute() = default;
};

struct IXMLDOMElement : IXMLDOMNode {
  virtual HRESULT STDMETHODCALLTYPE get_tagName(BSTR* name) = 0;
  // S_FALSE and VT_NULL when the element has no such attribute.
  virtual HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, VARIANT* value) = 0;
  // Adds the attribute (after the existing ones) or replaces its value; the value is converted
  // to text.
  virtual HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value) = 0;
  // S_FALSE when there was none.
  virtual HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name) = 0;

 protected:
  ~IXMLDOMElement() = default;
};

struct IXMLDOMParseError : IUnknown {
  // 0 (S_OK) after a successful load.
  virtual HRESULT STDMETHODCALLTYPE get_errorCode(LONG* errorCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_url(BSTR* url) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_reason(BSTR* reason) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_srcText(BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_line(LONG* line) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_linepos(LONG* position) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_filepos(LONG* position) = 0;

 protected:
  ~IXMLDOMParseError() = default;
};

struct IXMLDOMDocument : IXMLDOMNode {
  // S_FALSE and null when the document is empty.
  virtual HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** element) = 0;
  // The error of the last load or loadXML (errorCode 0 after a success).
  virtual HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError** error) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_async(VARIANT_BOOL* async) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_async(VARIANT_BOOL async) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_validateOnParse(VARIANT_BOOL* validate) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_validateOnParse(VARIANT_BOOL validate) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_resolveExternals(VARIANT_BOOL* resolve) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_resolveExternals(VARIANT_BOOL resolve) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_preserveWhiteSpace(VARIANT_BOOL* preserve) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_preserveWhiteSpace(VARIANT_BOOL preserve) = 0;
  // source: a VT_BSTR path. S_OK and VARIANT_TRUE when it loaded; S_FALSE and VARIANT_FALSE when
  // it did not (parseError tells why; the previous document stays). A URL other than a local
  // path ("http:", "ftp:", ...) is refused without any network access.
  virtual HRESULT STDMETHODCALLTYPE load(VARIANT source, VARIANT_BOOL* isSuccessful) = 0;
  virtual HRESULT STDMETHODCALLTYPE loadXML(BSTR text, VARIANT_BOOL* isSuccessful) = 0;
  // destination: a VT_BSTR path. Writes the document in the encoding it was read in (a document
  // from loadXML: UTF-8, or the declaration's). The file is replaced only by a complete write.
  virtual HRESULT STDMETHODCALLTYPE save(VARIANT destination) = 0;

 protected:
  ~IXMLDOMDocument() = default;
};

KIPO_COM_INTERFACE(IXMLDOMNode, IID_IXMLDOMNode)
KIPO_COM_INTERFACE(IXMLDOMNodeList, IID_IXMLDOMNodeList)
KIPO_COM_INTERFACE(IXMLDOMAttribute, IID_IXMLDOMAttribute)
KIPO_COM_INTERFACE(IXMLDOMElement, IID_IXMLDOMElement)
KIPO_COM_INTERFACE(IXMLDOMParseError, IID_IXMLDOMParseError)
KIPO_COM_INTERFACE(IXMLDOMDocument, IID_IXMLDOMDocument)

// ---- The canonical markup that `xml` returns (with preserveWhiteSpace off) ----
// - elements as <name attr="value" ...>children</name>, or <name .../> when nothing is left
//   inside; names with their prefix as written; namespace declarations first, then the
//   attributes, each group in the order of the file; one space before each attribute, none
//   before "/>" or ">";
// - attribute values in double quotes with &, <, > and " written as &amp; &lt; &gt; &quot;, and
//   tab, line feed and carriage return as &#9; &#10; &#13;;
// - text with &, < and > escaped; text made only of spaces, tabs, line feeds and carriage
//   returns is left out; CDATA sections, comments and processing instructions as written;
//   entity references as &name;
// - an attribute node gives name="value", a text node its escaped text, the document its
//   top-level nodes (without the XML declaration) each followed by CR LF.
// No line breaks or indentation are added; characters are written as themselves (UTF-16).
