// The DOM document class as the platform registers it (server.h): creating one loads the helper
// library that holds the DOM, or fails as a class whose server cannot be loaded fails.
#include "platform/com/xml/server.h"

#include "platform/com/runtime.h"
#include "platform/com/xml/msxml.h"
#include "platform/host/helper_library.h"
#include "platform/win32/error.h"

namespace platform::com::xml {
namespace {

platform::helper::Helper<Server> serverLibrary("libkipo_xml.so", "kipoXmlServer");

HRESULT createDocument(REFIID riid, void** object) {
  DWORD error = 0;
  const Server* server = serverLibrary.get(error);
  if (!server) {
    if (object) *object = nullptr;
    return HRESULT_FROM_WIN32(error);
  }
  return server->createDocument(riid, object);
}

const RegisterClass domDocumentClass{CLSID_DOMDocument, u"Microsoft.XMLDOM", &createDocument};

}  // namespace

bool parseHtmlPage(std::string_view bytes, HtmlPage& page, DWORD& error) {
  const Server* server = serverLibrary.get(error);
  if (!server) return false;
  server->parseHtml(bytes, page);
  return true;
}
}  // namespace platform::com::xml
