// CXMLHelper over the DOM server (xml_helper.h).
#include "app/xml_helper.h"

#include "app/log.h"
#include "platform/com/runtime.h"
#include "platform/win32/system.h"

using platform::com::Ptr;

namespace {

constexpr const char16_t* kLogNoDocument = u"{CXMLHelper}: Please read the XML Document first";
constexpr const char16_t* kLogCreateFailed = u"{CXMLHelper}: Failed to create DOM instance.";
constexpr const char16_t* kLogLoadFailed = u"{CXMLHelper}: Failed to load XML file '%s' %s.";
constexpr const char16_t* kParseErrorText = u"%s line:%d, position:%d";
constexpr const char16_t* kLogSaveFailed = u"{CXMLHelper}: Failed to save to XML file '%s'.%s.";
constexpr const char16_t* kLogNoNode = u"{CXMLHelper}: Failed to find the matching node for %s.";
constexpr const char16_t* kLogNoNodes = u"{CXMLHelper}: Failed to find the matching nodes for %s.";

// A BSTR owned for the length of a call.
class Bstr {
 public:
  explicit Bstr(const CString& text) : b_(SysAllocStringLen(text.GetString(), static_cast<UINT>(text.GetLength()))) {}
  Bstr() = default;
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  CString text() const { return b_ ? CString(std::u16string_view(b_, SysStringLen(b_))) : CString(); }

 private:
  BSTR b_ = nullptr;
};

VARIANT textVariant(const CString& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.GetString(), static_cast<UINT>(text.GetLength()));
  return v;
}

CString nodeText(IXMLDOMNode* node) {
  Bstr text;
  if (FAILED(node->get_text(text.put()))) return CString();
  return text.text();
}

// The parser's account of a failed load: "<reason> line:<n>, position:<n>".
CString parseErrorText(IXMLDOMDocument* document) {
  Ptr<IXMLDOMParseError> error;
  if (FAILED(document->get_parseError(error.put())) || !error) return CString();
  Bstr reason;
  LONG line = 0, position = 0;
  error->get_reason(reason.put());
  error->get_line(&line);
  error->get_linepos(&position);
  return formatMessageText(kParseErrorText, reason.text(), line, position);
}

CString resultText(HRESULT hr) {
  const char16_t* text = platform::win32::systemMessage(static_cast<DWORD>(HRESULT_CODE(hr)));
  CString message = text ? CString(text) : formatMessageText(u" 0x%08X", static_cast<DWORD>(hr));
  message.TrimRight();
  return message;
}

}  // namespace

CXMLHelper::CXMLHelper() { m_comInitialized = SUCCEEDED(CoInitialize(nullptr)); }

CXMLHelper::~CXMLHelper() {
  m_document.reset();
  if (m_comInitialized) CoUninitialize();
}

bool CXMLHelper::requireDocument() {
  if (m_document) return true;
  writeLog(kLogNoDocument);
  return false;
}

LONG CXMLHelper::selectAll(const CString& xpath, Ptr<IXMLDOMNodeList>& list) {
  Bstr query(xpath);
  LONG length = 0;
  if (FAILED(m_document->selectNodes(query.get(), list.put())) || !list || FAILED(list->get_length(&length)) ||
      length == 0) {
    writeLog(kLogNoNodes, xpath);
    return 0;
  }
  return length;
}

bool CXMLHelper::load(const CString& path) {
  m_document.reset();
  Ptr<IXMLDOMDocument> document;
  if (FAILED(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument, document.putVoid())) ||
      !document) {
    writeLog(kLogCreateFailed);
    return false;
  }
  document->put_async(VARIANT_FALSE);
  document->put_validateOnParse(VARIANT_FALSE);
  document->put_resolveExternals(VARIANT_FALSE);
  VARIANT source = textVariant(path);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT hr = document->load(source, &loaded);
  VariantClear(&source);
  if (hr != S_OK || loaded != VARIANT_TRUE) {
    writeLog(kLogLoadFailed, path, parseErrorText(document.get()));
    return false;
  }
  m_document = document;
  return true;
}

bool CXMLHelper::save(const CString& path) {
  if (!requireDocument()) return false;
  VARIANT destination = textVariant(path);
  const HRESULT hr = m_document->save(destination);
  VariantClear(&destination);
  if (FAILED(hr)) {
    writeLog(kLogSaveFailed, path, resultText(hr));
    return false;
  }
  return true;
}

Ptr<IXMLDOMNode> CXMLHelper::firstNode(const CString& xpath) {
  Ptr<IXMLDOMNode> node;
  Bstr query(xpath);
  if (m_document->selectSingleNode(query.get(), node.put()) != S_OK) node.reset();
  if (!node) writeLog(kLogNoNode, xpath);
  return node;
}

bool CXMLHelper::getText(const CString& xpath, CString& text) {
  if (!requireDocument()) return false;
  Ptr<IXMLDOMNode> node = firstNode(xpath);
  if (!node) return false;
  text = nodeText(node.get());
  return true;
}

bool CXMLHelper::setText(const CString& xpath, const CString& text) {
  if (!requireDocument()) return false;
  Ptr<IXMLDOMNode> node = firstNode(xpath);
  if (!node) return false;
  Bstr value(text);
  return SUCCEEDED(node->put_text(value.get()));
}

bool CXMLHelper::getNodeXml(const CString& xpath, CString& xml) {
  if (!requireDocument()) return false;
  Ptr<IXMLDOMNode> node = firstNode(xpath);
  if (!node) return false;
  Bstr markup;
  if (FAILED(node->get_xml(markup.put()))) return false;
  xml = markup.text();
  return true;
}

bool CXMLHelper::getTexts(const CString& xpath, std::vector<CString>& texts) {
  if (!requireDocument()) return false;
  texts.clear();
  Ptr<IXMLDOMNodeList> list;
  const LONG length = selectAll(xpath, list);
  if (length == 0) return false;
  for (LONG i = 0; i < length; ++i) {
    Ptr<IXMLDOMNode> node;
    if (list->get_item(i, node.put()) == S_OK && node) texts.push_back(nodeText(node.get()));
  }
  return true;
}

bool CXMLHelper::setTexts(const CString& xpath, const std::vector<CString>& texts) {
  if (!requireDocument()) return false;
  Ptr<IXMLDOMNodeList> list;
  const LONG length = selectAll(xpath, list);
  if (length == 0) return false;
  bool ok = true;
  for (LONG i = 0; i < length && static_cast<std::size_t>(i) < texts.size(); ++i) {
    Ptr<IXMLDOMNode> node;
    Bstr value(texts[static_cast<std::size_t>(i)]);
    if (list->get_item(i, node.put()) != S_OK || !node || FAILED(node->put_text(value.get()))) ok = false;
  }
  return ok;
}

bool CXMLHelper::getAttributeRecords(const CString& xpath, const std::vector<CString>& attributes,
                                     std::vector<std::vector<CString>>& records) {
  if (!requireDocument()) return false;
  records.clear();
  Ptr<IXMLDOMNodeList> list;
  const LONG length = selectAll(xpath, list);
  if (length == 0) return false;
  for (LONG i = 0; i < length; ++i) {
    Ptr<IXMLDOMNode> node;
    Ptr<IXMLDOMElement> element;
    if (list->get_item(i, node.put()) != S_OK || !node || FAILED(node.as(element))) continue;
    std::vector<CString> record;
    for (const CString& name : attributes) {
      Bstr attributeName(name);
      VARIANT value;
      VariantInit(&value);
      CString text;
      if (element->getAttribute(attributeName.get(), &value) == S_OK && value.vt == VT_BSTR && value.bstrVal)
        text = CString(std::u16string_view(value.bstrVal, SysStringLen(value.bstrVal)));
      VariantClear(&value);
      record.push_back(text);
    }
    records.push_back(std::move(record));
  }
  return true;
}
