// The XML DOM server's COM objects (msxml.h): the document, node, element and attribute objects,
// node lists and the parse error, over the libxml2 tree of tree.cpp. Node objects hold the tree
// they came from, so they stay valid after the document loads another file. Files are read and
// written through the Win32 file calls, so drive mapping, share modes and injected faults apply.
// Built with tree.cpp into the helper library of server.h, which the platform loads at the first
// document made.
#include "platform/com/xml/msxml.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/com/runtime.h"
#include "platform/com/xml/server.h"
#include "platform/com/xml/tree.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/system.h"

namespace platform::com::xml {

namespace {

constexpr std::size_t kMaxFileBytes = 64u << 20;

HRESULT outText(const std::u16string& text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out || text.empty() ? S_OK : E_OUTOFMEMORY;
}

std::u16string bstrText(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : std::u16string(); }

HRESULT lastErrorResult() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

std::u16string systemText(DWORD code) {
  const char16_t* text = platform::win32::systemMessage(code);
  std::u16string reason = text ? std::u16string(text) : u"The file could not be read.";
  while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r')) reason.pop_back();
  return reason;
}

// The path a load or save VARIANT names; false when it is not text or names a URL.
bool pathOf(const VARIANT& source, std::u16string& path) {
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, &source, 0, VT_BSTR))) return false;
  path = bstrText(text.bstrVal);
  VariantClear(&text);
  if (path.empty()) return false;
  // A scheme of two or more letters before "://" or ":" (not a drive letter) is a URL.
  const std::size_t colon = path.find(u':');
  if (colon != std::u16string::npos && colon >= 2) {
    bool letters = true;
    for (std::size_t i = 0; i < colon; ++i) {
      const char16_t c = path[i];
      if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) letters = false;
    }
    if (letters && !platform::text::equalNoCase(path.substr(0, colon), u"file")) return false;
    if (letters) {
      path = path.substr(colon + 1);
      while (path.size() > 1 && path[0] == u'/' && (path.size() < 3 || path[2] != u':')) path.erase(0, 1);
      if (!path.empty() && path[0] == u'/') path.erase(0, 1);
    }
  }
  return true;
}

HRESULT readFile(const std::u16string& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lastErrorResult();
  HRESULT hr = S_OK;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    hr = lastErrorResult();
  } else if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > kMaxFileBytes) {
    hr = HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);  // no configuration file is this large
  } else {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
      hr = lastErrorResult();
    } else {
      bytes.resize(read);
    }
  }
  CloseHandle(file);
  return hr;
}

// Writes a temporary file beside the target and moves it over the target, so a failed write
// leaves the old file as it was.
HRESULT writeFile(const std::u16string& path, const std::string& bytes) {
  const std::u16string temporary = path + u".kxs~";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return lastErrorResult();
  HRESULT hr = S_OK;
  DWORD written = 0;
  if (!bytes.empty() && !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    hr = lastErrorResult();
  } else if (written != bytes.size()) {
    hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
  }
  if (!CloseHandle(file) && SUCCEEDED(hr)) hr = lastErrorResult();
  if (SUCCEEDED(hr) && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) hr = lastErrorResult();
  if (FAILED(hr)) DeleteFileW(temporary.c_str());
  return hr;
}

// ---- the parse error ----

class ParseError final : public platform::com::SingleInterface<IXMLDOMParseError> {
 public:
  explicit ParseError(ParseFailure failure) : failure_(std::move(failure)) {}

  HRESULT STDMETHODCALLTYPE get_errorCode(LONG* v) override { return out(v, failure_.errorCode); }
  HRESULT STDMETHODCALLTYPE get_url(BSTR* v) override { return outText(failure_.url, v); }
  HRESULT STDMETHODCALLTYPE get_reason(BSTR* v) override { return outText(failure_.reason, v); }
  HRESULT STDMETHODCALLTYPE get_srcText(BSTR* v) override { return outText(failure_.srcText, v); }
  HRESULT STDMETHODCALLTYPE get_line(LONG* v) override { return out(v, failure_.line); }
  HRESULT STDMETHODCALLTYPE get_linepos(LONG* v) override { return out(v, failure_.linepos); }
  HRESULT STDMETHODCALLTYPE get_filepos(LONG* v) override { return out(v, failure_.filepos); }

 private:
  static HRESULT out(LONG* target, LONG value) {
    if (!target) return E_INVALIDARG;
    *target = value;
    return S_OK;
  }
  ParseFailure failure_;
};

class Document;

// What every node object knows: its document object (for settings and ownerDocument), the tree
// that keeps its node alive, and the node.
struct NodeRef {
  Document* document = nullptr;  // holds a reference
  std::shared_ptr<Tree> tree;
  xmlNodePtr node = nullptr;
};

HRESULT wrapNode(Document* document, const std::shared_ptr<Tree>& tree, xmlNodePtr node, IXMLDOMNode** out);
bool preserveWhiteSpaceOf(Document* document);

// The IXMLDOMNode part shared by every node object; Base is the interface the object exposes.
template <class Base>
class NodeImpl : public Base {
 public:
  virtual ~NodeImpl() = default;

  // QueryInterface over the interfaces of this object: IUnknown, IXMLDOMNode and Base's own.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IXMLDOMNode || riid == platform::com::iidOf<Base>()) {
      *object = static_cast<Base*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) override {
    xmlNodePtr n = node();
    if (!n) return E_FAIL;
    std::u16string text;
    switch (n->type) {
      case XML_DOCUMENT_NODE: text = u"#document"; break;
      case XML_TEXT_NODE: text = u"#text"; break;
      case XML_CDATA_SECTION_NODE: text = u"#cdata-section"; break;
      case XML_COMMENT_NODE: text = u"#comment"; break;
      default:
        if (n->ns && n->ns->prefix) text = fromXml(n->ns->prefix) + u":";
        text += fromXml(n->name);
    }
    return outText(text, name);
  }
  HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override {
    if (!type) return E_INVALIDARG;
    xmlNodePtr n = node();
    if (!n) return E_FAIL;
    switch (n->type) {
      case XML_ELEMENT_NODE: *type = NODE_ELEMENT; break;
      case XML_ATTRIBUTE_NODE: *type = NODE_ATTRIBUTE; break;
      case XML_TEXT_NODE: *type = NODE_TEXT; break;
      case XML_CDATA_SECTION_NODE: *type = NODE_CDATA_SECTION; break;
      case XML_ENTITY_REF_NODE: *type = NODE_ENTITY_REFERENCE; break;
      case XML_PI_NODE: *type = NODE_PROCESSING_INSTRUCTION; break;
      case XML_COMMENT_NODE: *type = NODE_COMMENT; break;
      case XML_DOCUMENT_NODE: *type = NODE_DOCUMENT; break;
      case XML_DTD_NODE: *type = NODE_DOCUMENT_TYPE; break;
      default: *type = NODE_INVALID; break;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) override {
    if (!value) return E_INVALIDARG;
    VariantInit(value);
    xmlNodePtr n = node();
    if (!n) return E_FAIL;
    if (n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE || n->type == XML_ENTITY_REF_NODE ||
        n->type == XML_DTD_NODE) {
      value->vt = VT_NULL;
      return S_FALSE;
    }
    const std::u16string text = nodeText(n, true);
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode** parent) override {
    if (!parent) return E_INVALIDARG;
    *parent = nullptr;
    xmlNodePtr n = node();
    if (!n || n->type == XML_ATTRIBUTE_NODE || n->type == XML_DOCUMENT_NODE || !n->parent) return S_FALSE;
    return wrapNode(documentObject(), treeRef(), n->parent, parent);
  }
  HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument** document) override;
  HRESULT STDMETHODCALLTYPE get_text(BSTR* text) override {
    if (!text) return E_INVALIDARG;
    xmlNodePtr n = node();
    if (!n) return outText(std::u16string(), text);
    return outText(nodeText(n, preserveWhiteSpaceOf(documentObject())), text);
  }
  HRESULT STDMETHODCALLTYPE put_text(BSTR text) override {
    xmlNodePtr n = node();
    if (!n || n->type == XML_DOCUMENT_NODE) return E_FAIL;
    return setNodeText(*treeRef(), n, bstrText(text)) ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE get_xml(BSTR* xml) override {
    if (!xml) return E_INVALIDARG;
    xmlNodePtr n = node();
    if (!n) return outText(std::u16string(), xml);
    return outText(nodeMarkup(n, preserveWhiteSpaceOf(documentObject())), xml);
  }
  HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR query, IXMLDOMNode** result) override {
    if (!result) return E_INVALIDARG;
    *result = nullptr;
    std::vector<xmlNodePtr> nodes;
    if (!select(query, nodes)) return E_FAIL;
    if (nodes.empty()) return S_FALSE;
    return wrapNode(documentObject(), treeRef(), nodes.front(), result);
  }
  HRESULT STDMETHODCALLTYPE selectNodes(BSTR query, IXMLDOMNodeList** result) override;

 protected:
  virtual xmlNodePtr node() = 0;
  virtual std::shared_ptr<Tree> treeRef() = 0;
  virtual Document* documentObject() = 0;

  bool select(BSTR query, std::vector<xmlNodePtr>& nodes) {
    std::shared_ptr<Tree> tree = treeRef();
    xmlNodePtr n = node();
    if (!tree || !n) return true;  // an empty document: nothing matches
    return platform::com::xml::selectNodes(tree->doc(), n, bstrText(query), nodes);
  }

  std::atomic<ULONG> refs_{1};
};

// ---- node lists ----

class NodeList final : public platform::com::SingleInterface<IXMLDOMNodeList> {
 public:
  NodeList(Document* document, std::shared_ptr<Tree> tree, std::vector<xmlNodePtr> nodes);
  ~NodeList();

  HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode** node) override {
    if (!node) return E_INVALIDARG;
    *node = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= nodes_.size()) return S_FALSE;
    return wrapNode(document_, tree_, nodes_[static_cast<std::size_t>(index)], node);
  }
  HRESULT STDMETHODCALLTYPE get_length(LONG* length) override {
    if (!length) return E_INVALIDARG;
    *length = static_cast<LONG>(nodes_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** node) override {
    if (!node) return E_INVALIDARG;
    *node = nullptr;
    if (cursor_ >= nodes_.size()) return S_FALSE;
    return wrapNode(document_, tree_, nodes_[cursor_++], node);
  }
  HRESULT STDMETHODCALLTYPE reset() override {
    cursor_ = 0;
    return S_OK;
  }

 private:
  Document* document_;
  std::shared_ptr<Tree> tree_;
  std::vector<xmlNodePtr> nodes_;
  std::size_t cursor_ = 0;
};

// ---- the document ----

class Document final : public NodeImpl<IXMLDOMDocument> {
 public:
  Document() { failure_.errorCode = 0; }


  HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** element) override {
    if (!element) return E_INVALIDARG;
    *element = nullptr;
    xmlNodePtr root = tree_ ? xmlDocGetRootElement(tree_->doc()) : nullptr;
    if (!root) return S_FALSE;
    IXMLDOMNode* node = nullptr;
    HRESULT hr = wrapNode(this, tree_, root, &node);
    if (FAILED(hr)) return hr;
    hr = node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element));
    node->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError** error) override {
    if (!error) return E_INVALIDARG;
    *error = new ParseError(failure_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_async(VARIANT_BOOL* v) override { return getFlag(async_, v); }
  HRESULT STDMETHODCALLTYPE put_async(VARIANT_BOOL v) override { return putFlag(async_, v); }
  HRESULT STDMETHODCALLTYPE get_validateOnParse(VARIANT_BOOL* v) override { return getFlag(validate_, v); }
  HRESULT STDMETHODCALLTYPE put_validateOnParse(VARIANT_BOOL v) override { return putFlag(validate_, v); }
  HRESULT STDMETHODCALLTYPE get_resolveExternals(VARIANT_BOOL* v) override { return getFlag(resolveExternals_, v); }
  HRESULT STDMETHODCALLTYPE put_resolveExternals(VARIANT_BOOL v) override { return putFlag(resolveExternals_, v); }
  HRESULT STDMETHODCALLTYPE get_preserveWhiteSpace(VARIANT_BOOL* v) override { return getFlag(preserve_, v); }
  HRESULT STDMETHODCALLTYPE put_preserveWhiteSpace(VARIANT_BOOL v) override { return putFlag(preserve_, v); }

  HRESULT STDMETHODCALLTYPE load(VARIANT source, VARIANT_BOOL* isSuccessful) override {
    if (isSuccessful) *isSuccessful = VARIANT_FALSE;
    std::u16string path;
    ParseFailure failure;
    if (!pathOf(source, path)) {
      failure.errorCode = static_cast<LONG>(E_INVALIDARG);
      failure.reason = u"Only files on this computer can be loaded.";
      return fail(std::move(failure));
    }
    std::string bytes;
    if (HRESULT hr = readFile(path, bytes); FAILED(hr)) {
      failure.errorCode = hr;
      failure.reason = systemText(static_cast<DWORD>(HRESULT_CODE(hr)));
      failure.url = path;
      return fail(std::move(failure));
    }
    std::shared_ptr<Tree> tree = parseBytes(bytes, failure);
    failure.url = path;
    if (!tree) return fail(std::move(failure));
    return succeed(std::move(tree), isSuccessful);
  }
  HRESULT STDMETHODCALLTYPE loadXML(BSTR text, VARIANT_BOOL* isSuccessful) override {
    if (isSuccessful) *isSuccessful = VARIANT_FALSE;
    ParseFailure failure;
    std::shared_ptr<Tree> tree = parseText(bstrText(text), failure);
    if (!tree) return fail(std::move(failure));
    return succeed(std::move(tree), isSuccessful);
  }
  HRESULT STDMETHODCALLTYPE save(VARIANT destination) override {
    std::u16string path;
    if (!pathOf(destination, path)) return E_INVALIDARG;
    if (!tree_) return E_FAIL;
    const std::string bytes = serializeTree(*tree_);
    if (bytes.empty()) return E_FAIL;
    return writeFile(path, bytes);
  }

  bool preserveWhiteSpace() const { return preserve_; }
  bool treeRefIs(const std::shared_ptr<Tree>& tree) const { return tree_ == tree; }

 protected:
  xmlNodePtr node() override { return tree_ ? reinterpret_cast<xmlNodePtr>(tree_->doc()) : nullptr; }
  std::shared_ptr<Tree> treeRef() override { return tree_; }
  Document* documentObject() override { return this; }

 private:
  static HRESULT getFlag(bool flag, VARIANT_BOOL* v) {
    if (!v) return E_INVALIDARG;
    *v = flag ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  static HRESULT putFlag(bool& flag, VARIANT_BOOL v) {
    flag = v != VARIANT_FALSE;
    return S_OK;
  }
  HRESULT fail(ParseFailure failure) {
    failure_ = std::move(failure);
    if (failure_.errorCode == 0) failure_.errorCode = static_cast<LONG>(E_FAIL);
    return S_FALSE;
  }
  HRESULT succeed(std::shared_ptr<Tree> tree, VARIANT_BOOL* isSuccessful) {
    tree_ = std::move(tree);
    failure_ = ParseFailure();
    if (isSuccessful) *isSuccessful = VARIANT_TRUE;
    return S_OK;
  }

  std::shared_ptr<Tree> tree_;
  ParseFailure failure_;
  bool async_ = true;  // the system's defaults; loading is synchronous whatever they say
  bool validate_ = true;
  bool resolveExternals_ = true;
  bool preserve_ = false;
};

bool preserveWhiteSpaceOf(Document* document) { return document && document->preserveWhiteSpace(); }

// ---- nodes of a tree ----

template <class Base>
class TreeNode : public NodeImpl<Base> {
 public:
  explicit TreeNode(NodeRef ref) : ref_(std::move(ref)) { ref_.document->AddRef(); }
  ~TreeNode() override { ref_.document->Release(); }

 protected:
  xmlNodePtr node() override { return ref_.node; }
  std::shared_ptr<Tree> treeRef() override { return ref_.tree; }
  Document* documentObject() override { return ref_.document; }
  NodeRef ref_;
};

class PlainNode final : public TreeNode<IXMLDOMNode> {
 public:
  using TreeNode::TreeNode;
};

class Attribute final : public TreeNode<IXMLDOMAttribute> {
 public:
  using TreeNode::TreeNode;
  HRESULT STDMETHODCALLTYPE get_name(BSTR* name) override { return get_nodeName(name); }
  HRESULT STDMETHODCALLTYPE get_value(VARIANT* value) override { return get_nodeValue(value); }
  HRESULT STDMETHODCALLTYPE put_value(VARIANT value) override {
    VARIANT text;
    VariantInit(&text);
    HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    hr = setNodeText(*ref_.tree, ref_.node, bstrText(text.bstrVal)) ? S_OK : E_FAIL;
    VariantClear(&text);
    return hr;
  }
};

class Element final : public TreeNode<IXMLDOMElement> {
 public:
  using TreeNode::TreeNode;
  HRESULT STDMETHODCALLTYPE get_tagName(BSTR* name) override { return get_nodeName(name); }
  HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, VARIANT* value) override {
    if (!value) return E_INVALIDARG;
    VariantInit(value);
    value->vt = VT_NULL;
    xmlNodePtr attribute = find(name);
    if (!attribute) return S_FALSE;
    const std::u16string text = nodeText(attribute, true);
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value) override {
    const std::u16string attributeName = bstrText(name);
    if (attributeName.empty()) return E_INVALIDARG;
    VARIANT text;
    VariantInit(&text);
    HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    const std::u16string valueText = bstrText(text.bstrVal);
    VariantClear(&text);
    if (xmlNodePtr attribute = find(name)) return setNodeText(*ref_.tree, attribute, valueText) ? S_OK : E_FAIL;
    // Prefixed names are not declared anywhere; the name is kept as written.
    const std::string utf8Name = toXml(attributeName), utf8Value = toXml(valueText);
    xmlAttrPtr added = xmlNewProp(ref_.node, reinterpret_cast<const xmlChar*>(utf8Name.c_str()),
                                  reinterpret_cast<const xmlChar*>(utf8Value.c_str()));
    return added ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name) override {
    xmlNodePtr attribute = find(name);
    if (!attribute) return S_FALSE;
    ref_.tree->retire(attribute);
    return S_OK;
  }

 private:
  // The attribute whose qualified name equals `name` exactly.
  xmlNodePtr find(BSTR name) {
    const std::u16string wanted = bstrText(name);
    for (xmlAttrPtr a = ref_.node->properties; a; a = a->next) {
      std::u16string qualified;
      if (a->ns && a->ns->prefix) qualified = fromXml(a->ns->prefix) + u":";
      qualified += fromXml(a->name);
      if (qualified == wanted) return reinterpret_cast<xmlNodePtr>(a);
    }
    return nullptr;
  }
};

HRESULT wrapNode(Document* document, const std::shared_ptr<Tree>& tree, xmlNodePtr node, IXMLDOMNode** out) {
  *out = nullptr;
  if (node->type == XML_DOCUMENT_NODE && document->treeRefIs(tree)) {
    document->AddRef();
    *out = document;
    return S_OK;
  }
  NodeRef ref{document, tree, node};
  switch (node->type) {
    case XML_ELEMENT_NODE: *out = new Element(std::move(ref)); break;
    case XML_ATTRIBUTE_NODE: *out = new Attribute(std::move(ref)); break;
    default: *out = new PlainNode(std::move(ref)); break;
  }
  return S_OK;
}

template <class Base>
HRESULT STDMETHODCALLTYPE NodeImpl<Base>::get_ownerDocument(IXMLDOMDocument** document) {
  if (!document) return E_INVALIDARG;
  Document* owner = documentObject();
  if (static_cast<void*>(owner) == static_cast<void*>(this)) {
    *document = nullptr;  // the document has no owner document
    return S_FALSE;
  }
  owner->AddRef();
  *document = owner;
  return S_OK;
}

template <class Base>
HRESULT STDMETHODCALLTYPE NodeImpl<Base>::selectNodes(BSTR query, IXMLDOMNodeList** result) {
  if (!result) return E_INVALIDARG;
  *result = nullptr;
  std::vector<xmlNodePtr> nodes;
  if (!select(query, nodes)) return E_FAIL;
  *result = new NodeList(documentObject(), treeRef(), std::move(nodes));
  return S_OK;
}

NodeList::NodeList(Document* document, std::shared_ptr<Tree> tree, std::vector<xmlNodePtr> nodes)
    : document_(document), tree_(std::move(tree)), nodes_(std::move(nodes)) {
  document_->AddRef();
}

NodeList::~NodeList() { document_->Release(); }

HRESULT createDocument(REFIID riid, void** object) {
  auto* document = new Document;
  HRESULT hr = document->QueryInterface(riid, object);
  document->Release();
  return hr;
}

}  // namespace

// html.cpp
void parseHtml(std::string_view bytes, HtmlPage& page);

}  // namespace platform::com::xml

extern "C" const platform::com::xml::Server kipoXmlServer{sizeof(platform::com::xml::Server),
                                                          &platform::com::xml::createDocument,
                                                          &platform::com::xml::parseHtml};
