// The XML DOM server as the customization file uses it: creation through COM, loading UTF-8 and
// UTF-16 files, parse errors with line and position, XPath selection, node text get and set,
// attributes, the canonical markup of `xml`, and save writing the file back in its own form.
// Also what it must refuse: entity declarations, URLs, and a save that cannot complete; and a
// page the HTML reader cannot convert, read without the library printing to standard error.
#include "platform/com/xml/msxml.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/base/text.h"
#include "platform/com/runtime.h"
#include "platform/com/xml/server.h"
#include "tests/support/faults.h"
#include "tests/support/test_host.h"

namespace {

using platform::com::Ptr;

// A BSTR for the length of one call.
class Bstr {
 public:
  explicit Bstr(std::u16string_view text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return b_; }  // NOLINT

 private:
  BSTR b_;
};

std::u16string take(BSTR b) {
  std::u16string text = b ? std::u16string(b, SysStringLen(b)) : std::u16string();
  SysFreeString(b);
  return text;
}

VARIANT pathVariant(std::u16string_view path) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
  return v;
}

std::string utf16le(std::u16string_view text, bool bom) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string utf16be(std::u16string_view text) {
  std::string out = "\xFE\xFF";
  for (char16_t c : text) {
    out += static_cast<char>(c >> 8);
    out += static_cast<char>(c & 0xFF);
  }
  return out;
}

class XmlDomTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, doc.putVoid()),
              S_OK);
  }
  void TearDown() override {
    doc.reset();
    CoUninitialize();
  }

  bool loadXml(std::u16string_view text) {
    VARIANT_BOOL ok = VARIANT_TRUE;
    HRESULT hr = doc->loadXML(Bstr(text), &ok);
    EXPECT_EQ(hr == S_OK, ok == VARIANT_TRUE);
    return hr == S_OK;
  }
  HRESULT loadFile(std::u16string_view path) {
    VARIANT v = pathVariant(path);
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = doc->load(v, &ok);
    VariantClear(&v);
    return hr;
  }
  HRESULT saveFile(std::u16string_view path) {
    VARIANT v = pathVariant(path);
    HRESULT hr = doc->save(v);
    VariantClear(&v);
    return hr;
  }

  Ptr<IXMLDOMNode> select(std::u16string_view xpath, IXMLDOMNode* from = nullptr) {
    Ptr<IXMLDOMNode> node;
    (from ? from : doc.get())->selectSingleNode(Bstr(xpath), node.put());
    return node;
  }
  std::u16string text(std::u16string_view xpath) {
    Ptr<IXMLDOMNode> node = select(xpath);
    if (!node) return u"<none>";
    BSTR b = nullptr;
    EXPECT_EQ(node->get_text(&b), S_OK);
    return take(b);
  }
  std::u16string xml(std::u16string_view xpath) {
    Ptr<IXMLDOMNode> node = select(xpath);
    if (!node) return u"<none>";
    BSTR b = nullptr;
    EXPECT_EQ(node->get_xml(&b), S_OK);
    return take(b);
  }

  struct ErrorInfo {
    LONG code = 0, line = 0, linepos = 0, filepos = 0;
    std::string reason, srcText;
  };
  ErrorInfo parseError() {
    Ptr<IXMLDOMParseError> error;
    EXPECT_EQ(doc->get_parseError(error.put()), S_OK);
    ErrorInfo info;
    BSTR b = nullptr;
    error->get_errorCode(&info.code);
    error->get_line(&info.line);
    error->get_linepos(&info.linepos);
    error->get_filepos(&info.filepos);
    error->get_reason(&b);
    info.reason = platform::text::toUtf8(take(b));
    error->get_srcText(&b);
    info.srcText = platform::text::toUtf8(take(b));
    return info;
  }

  void writeBytes(const std::string& linuxName, const std::string& bytes) {
    std::ofstream(host.c(linuxName), std::ios::binary) << bytes;
  }
  std::string readBytes(const std::string& linuxName) {
    std::ifstream in(host.c(linuxName), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  kipotest::TestHost host;
  Ptr<IXMLDOMDocument> doc;
};

constexpr std::u16string_view kSample =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    u"<Kipo>\n"
    u"  <U3_Customization>\n"
    u"    <OEMCustomer url=\"http://maker.example\" company=\"Maker &amp; Sons\">\n"
    u"      <application name=\"Kipo Pro\" trayicon=\"tray.ico\"/>\n"
    u"      <support url=\"\" email=\"help@maker.example\"/>\n"
    u"    </OEMCustomer>\n"
    u"    <SupportedLanguages>\n"
    u"      <language lcid=\"1033\"/>\n"
    u"      <language lcid=\"1036\"/>\n"
    u"      <language lcid=\"1031\"/>\n"
    u"    </SupportedLanguages>\n"
    u"  </U3_Customization>\n"
    u"  <Signature>\n"
    u"    <HashValue reftag=\"Kipo/U3_Customization\">\n"
    u"      0123ABCD\n"
    u"    </HashValue>\n"
    u"  </Signature>\n"
    u"</Kipo>\n";

TEST_F(XmlDomTest, CreatedOnlyWithComInitialised) {
  CoUninitialize();
  Ptr<IXMLDOMDocument> other;
  EXPECT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, other.putVoid()),
            CO_E_NOTINITIALIZED);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  CLSID byName{};
  EXPECT_EQ(CLSIDFromProgID(u"Microsoft.XMLDOM", &byName), S_OK);
  EXPECT_TRUE(byName == CLSID_DOMDocument);
}

TEST_F(XmlDomTest, LocationPathsSelectAttributesAndElementsInDocumentOrder) {
  ASSERT_TRUE(loadXml(kSample));
  EXPECT_EQ(text(u"Kipo/U3_Customization/OEMCustomer/application/@name"), u"Kipo Pro");
  EXPECT_EQ(text(u"Kipo/U3_Customization/OEMCustomer/@company"), u"Maker & Sons");
  EXPECT_EQ(text(u"Kipo/U3_Customization/OEMCustomer/support/@url"), u"");
  // Element text is trimmed: a hand-indented value reads as the value.
  EXPECT_EQ(text(u"Kipo/Signature/HashValue"), u"0123ABCD");

  Ptr<IXMLDOMNodeList> list;
  ASSERT_EQ(doc->selectNodes(Bstr(u"Kipo/U3_Customization/SupportedLanguages/language/@lcid"), list.put()), S_OK);
  LONG length = 0;
  list->get_length(&length);
  ASSERT_EQ(length, 3);
  std::u16string seen;
  for (Ptr<IXMLDOMNode> node; list->nextNode(node.put()) == S_OK;) {
    BSTR b = nullptr;
    node->get_text(&b);
    seen += take(b) + u",";
  }
  EXPECT_EQ(seen, u"1033,1036,1031,");
  Ptr<IXMLDOMNode> past;
  EXPECT_EQ(list->get_item(3, past.put()), S_FALSE);
  EXPECT_FALSE(past);

  // Relative to a selected node, as the context.
  Ptr<IXMLDOMNode> customer = select(u"Kipo/U3_Customization/OEMCustomer");
  ASSERT_TRUE(customer);
  Ptr<IXMLDOMNode> mail = select(u"support/@email", customer.get());
  ASSERT_TRUE(mail);
  DOMNodeType type{};
  mail->get_nodeType(&type);
  EXPECT_EQ(type, NODE_ATTRIBUTE);
}

TEST_F(XmlDomTest, NoMatchIsSFalseAndNonPathsAreErrors) {
  ASSERT_TRUE(loadXml(kSample));
  Ptr<IXMLDOMNode> node;
  EXPECT_EQ(doc->selectSingleNode(Bstr(u"Kipo/Nothing/@here"), node.put()), S_FALSE);
  EXPECT_FALSE(node);
  Ptr<IXMLDOMNodeList> list;
  ASSERT_EQ(doc->selectNodes(Bstr(u"Kipo/Nothing"), list.put()), S_OK);
  LONG length = -1;
  list->get_length(&length);
  EXPECT_EQ(length, 0);
  for (std::u16string_view bad : {u"Kipo/[", u"count(//language)", u"", u"Kipo/@"}) {
    EXPECT_EQ(doc->selectSingleNode(Bstr(bad), node.put()), E_FAIL) << platform::text::toUtf8(bad);
  }
}

TEST_F(XmlDomTest, ParseErrorsGiveReasonLineAndPosition) {
  struct Case {
    std::u16string_view text;
    LONG line, linepos;
    const char* reasonPart;
  } cases[] = {
      {u"<a>\n  <b></c>\n</a>", 2, 10, "mismatch"},
      {u"<a x=\"1\" x=\"2\"/>", 1, 15, "redefined"},
      {u"<a>\n<b>\n", 3, 1, ""},
      {u"<a>&undefined;</a>", 1, 15, "undefined"},
      {u"", 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::text::toUtf8(c.text));
    EXPECT_FALSE(loadXml(c.text));
    ErrorInfo e = parseError();
    EXPECT_NE(e.code, 0);
    EXPECT_FALSE(e.reason.empty());
    EXPECT_EQ(e.reason.find('\n'), std::string::npos) << "one line: " << e.reason;
    if (c.line) {
      EXPECT_EQ(e.line, c.line) << e.reason;
      EXPECT_EQ(e.linepos, c.linepos) << e.reason;
    }
    if (*c.reasonPart) {
      EXPECT_NE(e.reason.find(c.reasonPart), std::string::npos) << e.reason;
    }
  }
}

TEST_F(XmlDomTest, ParseErrorPositionCountsCharactersAndGivesTheSourceLine) {
  writeBytes("bad16.xml", utf16le(u"<Kipo>\r\n  <n\u00E9\u65E5 a=\"\u00E9\u65E5\"></x>\r\n</Kipo>", true));
  EXPECT_EQ(loadFile(u"C:\\bad16.xml"), S_FALSE);
  ErrorInfo e = parseError();
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.linepos, 19) << e.reason;  // after "</x>", counted in characters, not bytes
  EXPECT_EQ(e.srcText, platform::text::toUtf8(u"  <n\u00E9\u65E5 a=\"\u00E9\u65E5\"></x>"));
  EXPECT_EQ(e.filepos, 8 + 18);
}

TEST_F(XmlDomTest, FailedLoadKeepsThePreviousDocument) {
  ASSERT_TRUE(loadXml(u"<a><b>kept</b></a>"));
  EXPECT_FALSE(loadXml(u"<a><b>"));
  EXPECT_EQ(text(u"a/b"), u"kept");
  EXPECT_EQ(loadFile(u"C:\\missing.xml"), S_FALSE);
  ErrorInfo e = parseError();
  EXPECT_EQ(e.code, static_cast<LONG>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
  EXPECT_FALSE(e.reason.empty());
  EXPECT_EQ(text(u"a/b"), u"kept");
  ASSERT_TRUE(loadXml(u"<c/>"));
  EXPECT_EQ(parseError().code, 0) << "a success clears the error";
}

TEST_F(XmlDomTest, EntityDeclarationsAndUrlsAreRefused) {
  // Nothing is expanded: a document that declares entities is refused, whatever they hold.
  const std::u16string_view laughs =
      u"<!DOCTYPE a [<!ENTITY x \"xxxxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;&x;&x;\">]>\n<a v=\"&y;\">&y;</a>";
  EXPECT_FALSE(loadXml(laughs));
  ErrorInfo e = parseError();
  EXPECT_NE(e.reason.find("Entity"), std::string::npos) << e.reason;
  EXPECT_EQ(e.line, 1);
  EXPECT_FALSE(loadXml(u"<!DOCTYPE a [<!ENTITY ext SYSTEM \"C:\\boot.ini\">]><a>&ext;</a>"));
  // A DOCTYPE naming an external DTD is not fetched: its defaulted attribute never appears.
  ASSERT_TRUE(loadXml(u"<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/a.dtd\"><a/>"));
  EXPECT_EQ(xml(u"a"), u"<a/>");

  for (std::u16string_view url : {u"http://127.0.0.1:9/kipo.xml", u"ftp://host/kipo.xml", u"https://x/y"}) {
    EXPECT_EQ(loadFile(url), S_FALSE) << platform::text::toUtf8(url);
    EXPECT_NE(parseError().code, 0);
  }
}

TEST_F(XmlDomTest, CanonicalMarkup) {
  struct Case {
    std::u16string_view document, xpath, markup;
  } cases[] = {
      // File order of attributes; double quotes; whitespace between elements gone; empty as <a/>.
      {u"<r>\n  <a z='1' b=\"2\" a='3'>\n    <e></e>\n    <f>  x  </f>\n  </a>\n</r>", u"r/a",
       u"<a z=\"1\" b=\"2\" a=\"3\"><e/><f>  x  </f></a>"},
      // Escaping in text and in attribute values.
      {u"<r><a q='say \"&amp;&lt;&gt;\"' t='a&#9;b'>1 &lt; 2 &amp;&amp; 3 &gt; 2 \"q\"</a></r>", u"r/a",
       u"<a q=\"say &quot;&amp;&lt;&gt;&quot;\" t=\"a&#9;b\">1 &lt; 2 &amp;&amp; 3 &gt; 2 \"q\"</a>"},
      // An element holding only whitespace is empty.
      {u"<r><a>\n\t </a></r>", u"r/a", u"<a/>"},
      // CDATA, comments and processing instructions as written.
      {u"<r><a><![CDATA[<raw> & ]]><!-- note --><?pi data?></a></r>", u"r/a",
       u"<a><![CDATA[<raw> & ]]><!-- note --><?pi data?></a>"},
      // Namespace declarations first, prefixes kept.
      {u"<r><p:a b='1' xmlns:p='urn:p'><p:c/></p:a></r>", u"r/*", u"<p:a xmlns:p=\"urn:p\" b=\"1\"><p:c/></p:a>"},
      // An attribute node and a text node.
      {u"<r a='x&lt;y'/>", u"r/@a", u"a=\"x&lt;y\""},
      {u"<r>a&amp;b</r>", u"r/text()", u"a&amp;b"},
      // Characters beyond ASCII are written as themselves.
      {u"<r><a n='\u00E9\u65E5'>\u00FC</a></r>", u"r/a", u"<a n=\"\u00E9\u65E5\">\u00FC</a>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::text::toUtf8(c.document));
    ASSERT_TRUE(loadXml(c.document));
    EXPECT_EQ(platform::text::toUtf8(xml(c.xpath)), platform::text::toUtf8(c.markup));
  }
}

TEST_F(XmlDomTest, PreserveWhiteSpaceShowsTheLayout) {
  ASSERT_TRUE(loadXml(u"<r>\n  <a> x </a>\n</r>"));
  ASSERT_EQ(doc->put_preserveWhiteSpace(VARIANT_TRUE), S_OK);
  EXPECT_EQ(xml(u"r"), u"<r>\n  <a> x </a>\n</r>");
  EXPECT_EQ(text(u"r/a"), u" x ");
}

TEST_F(XmlDomTest, SetTextReplacesContentAndEarlierNodesStayUsable) {
  ASSERT_TRUE(loadXml(u"<r><h>old<b>bold</b></h><e a='1'/></r>"));
  Ptr<IXMLDOMNode> oldText = select(u"r/h/text()");
  Ptr<IXMLDOMNode> bold = select(u"r/h/b");
  ASSERT_TRUE(oldText && bold);

  Ptr<IXMLDOMNode> hash = select(u"r/h");
  ASSERT_EQ(hash->put_text(Bstr(u"A<B&C")), S_OK);
  EXPECT_EQ(xml(u"r/h"), u"<h>A&lt;B&amp;C</h>");
  EXPECT_EQ(text(u"r/h"), u"A<B&C");

  // The replaced nodes are out of the tree but still answer.
  BSTR b = nullptr;
  EXPECT_EQ(oldText->get_text(&b), S_OK);
  EXPECT_EQ(take(b), u"old");
  EXPECT_EQ(bold->get_xml(&b), S_OK);
  EXPECT_EQ(take(b), u"<b>bold</b>");

  Ptr<IXMLDOMNode> attribute = select(u"r/e/@a");
  ASSERT_EQ(attribute->put_text(Bstr(u"\"2\"")), S_OK);
  EXPECT_EQ(xml(u"r/e"), u"<e a=\"&quot;2&quot;\"/>");
}

TEST_F(XmlDomTest, ElementAttributes) {
  ASSERT_TRUE(loadXml(u"<r><e a='1'/></r>"));
  Ptr<IXMLDOMElement> element;
  ASSERT_EQ(select(u"r/e").as(element), S_OK);
  VARIANT v;
  EXPECT_EQ(element->getAttribute(Bstr(u"missing"), &v), S_FALSE);
  EXPECT_EQ(v.vt, VT_NULL);
  ASSERT_EQ(element->getAttribute(Bstr(u"a"), &v), S_OK);
  EXPECT_EQ(std::u16string(v.bstrVal), u"1");
  VariantClear(&v);

  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 42;
  EXPECT_EQ(element->setAttribute(Bstr(u"b"), number), S_OK);
  VARIANT textValue = pathVariant(u"x&y");
  EXPECT_EQ(element->setAttribute(Bstr(u"a"), textValue), S_OK);
  VariantClear(&textValue);
  EXPECT_EQ(xml(u"r/e"), u"<e a=\"x&amp;y\" b=\"42\"/>");
  EXPECT_EQ(element->removeAttribute(Bstr(u"a")), S_OK);
  EXPECT_EQ(element->removeAttribute(Bstr(u"a")), S_FALSE);
  EXPECT_EQ(xml(u"r/e"), u"<e b=\"42\"/>");

  Ptr<IXMLDOMElement> root;
  ASSERT_EQ(doc->get_documentElement(root.put()), S_OK);
  BSTR name = nullptr;
  root->get_tagName(&name);
  EXPECT_EQ(take(name), u"r");
}

// Files in each encoding load, and save writes them back in the same encoding, byte-order mark
// and line ends, with the change made.
TEST_F(XmlDomTest, FilesRoundTripInTheirOwnEncoding) {
  const std::u16string body =
      u"<Kipo>\r\n  <application name=\"K\u00E9po \u65E5\"/>\r\n  <HashValue>x</HashValue>\r\n</Kipo>";
  const std::u16string declared16 = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n" + body;
  const std::u16string declared8 = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + body;
  struct Case {
    const char* name;
    std::string bytes;
    std::string prefix;  // what the saved file starts with
  } cases[] = {
      {"utf16le-bom", utf16le(declared16, true), "\xFF\xFE<\0?\0x\0m\0l\0"},
      {"utf16le-nobom", utf16le(body, false), std::string("<\0", 2)},
      {"utf16be-bom", utf16be(declared16), std::string("\xFE\xFF\0<", 4)},
      {"utf8-bom", "\xEF\xBB\xBF" + platform::text::toUtf8(declared8), "\xEF\xBB\xBF<?xml"},
      {"utf8-plain", platform::text::toUtf8(body), "<?xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = std::string(c.name) + ".xml";
    writeBytes(file, c.bytes);
    const std::u16string path = u"C:\\" + platform::text::fromUtf8(file);
    ASSERT_EQ(loadFile(path), S_OK) << parseError().reason;
    EXPECT_EQ(text(u"Kipo/application/@name"), u"K\u00E9po \u65E5");
    ASSERT_EQ(select(u"Kipo/HashValue")->put_text(Bstr(u"NEW\u00E9")), S_OK);
    ASSERT_EQ(saveFile(path), S_OK);

    const std::string saved = readBytes(file);
    EXPECT_EQ(saved.substr(0, c.prefix.size()), c.prefix);
    EXPECT_FALSE(std::filesystem::exists(host.c(file + ".kxs~")));
    const bool crlfKept = saved.find(std::string_view("\r\0\n\0", 4)) != std::string::npos ||
                          saved.find(std::string_view("\0\r\0\n", 4)) != std::string::npos ||
                          saved.find("\r\n") != std::string::npos;
    EXPECT_TRUE(crlfKept);

    Ptr<IXMLDOMDocument> again;
    ASSERT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, again.putVoid()),
              S_OK);
    doc = again;
    ASSERT_EQ(loadFile(path), S_OK) << parseError().reason;
    EXPECT_EQ(text(u"Kipo/HashValue"), u"NEW\u00E9");
    EXPECT_EQ(text(u"Kipo/application/@name"), u"K\u00E9po \u65E5");
    EXPECT_EQ(xml(u"Kipo"), u"<Kipo><application name=\"K\u00E9po \u65E5\"/><HashValue>NEW\u00E9</HashValue></Kipo>");
  }
}

// An encoding named by the declaration is decoded on load and used again on save; a character
// it cannot hold is written as a character reference.
TEST_F(XmlDomTest, DeclaredEncodingIsKept) {
  writeBytes("latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a n=\"caf\xE9\">x</a>");
  ASSERT_EQ(loadFile(u"C:\\latin1.xml"), S_OK) << parseError().reason;
  EXPECT_EQ(text(u"a/@n"), u"caf\u00E9");
  ASSERT_EQ(select(u"a")->put_text(Bstr(u"\u00FC\u65E5")), S_OK);
  ASSERT_EQ(saveFile(u"C:\\latin1.xml"), S_OK);
  const std::string saved = readBytes("latin1.xml");
  EXPECT_NE(saved.find("encoding=\"ISO-8859-1\""), std::string::npos) << saved;
  EXPECT_NE(saved.find("caf\xE9"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\xFC&#"), std::string::npos) << saved;
  ASSERT_EQ(loadFile(u"C:\\latin1.xml"), S_OK);
  EXPECT_EQ(text(u"a"), u"\u00FC\u65E5");
}

TEST_F(XmlDomTest, FailedSaveLeavesTheFileAsItWas) {
  writeBytes("keep.xml", "<a>old</a>");
  ASSERT_EQ(loadFile(u"C:\\keep.xml"), S_OK);
  ASSERT_EQ(select(u"a")->put_text(Bstr(u"new")), S_OK);
  const auto fault = kipotest::failCall("WriteFile", ERROR_DISK_FULL);
  EXPECT_EQ(saveFile(u"C:\\keep.xml"), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  platform::fault::removeLocal(fault);
  EXPECT_EQ(readBytes("keep.xml"), "<a>old</a>");
  EXPECT_FALSE(std::filesystem::exists(host.c("keep.xml.kxs~")));
  EXPECT_EQ(saveFile(u"http://host/keep.xml"), E_INVALIDARG);
}

// A page the library cannot convert (bytes it takes for UCS-4) still reads as a page, and the
// library's complaint does not reach the program's standard error.
TEST_F(XmlDomTest, AnUnconvertiblePageReadsQuietly) {
  const std::string pages[] = {std::string("<\0\0\0", 4), std::string("<\0\0\0<\0\0\0p\0\0\0>\0\0\0\xff\xff\xff\xff", 20),
                               "<html><head><meta charset=\"UTF-16\"></head><body>\x01\x02</body></html>"};
  for (const std::string& bytes : pages) {
    platform::com::xml::HtmlPage page;
    DWORD error = 0;
    testing::internal::CaptureStderr();
    const bool read = platform::com::xml::parseHtmlPage(bytes, page, error);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(read) << error;
    EXPECT_EQ(printed, "") << bytes.size();
  }
}

}  // namespace
