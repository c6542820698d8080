// The table of the XML DOM's helper library "libkipo_xml.so" (dom.cpp and tree.cpp, over
// libxml2). The platform registers CLSID_DOMDocument itself (server.cpp) and loads the helper at
// the first document made, as Windows loads a class's in-process server at its first creation.
// Not for product code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/unknown.h"

namespace platform::com::xml {

// What the browser control takes from an HTML page (texts in UTF-8, as the parser gives them).
struct HtmlPage {
  struct Link {
    std::string href;  // the attribute's value: entities replaced, nothing else changed
    std::string text;  // the anchor's text with runs of blanks made one space, trimmed
  };
  std::string title;
  std::string text;  // the body's text, one line per block
  std::vector<Link> links;  // anchors with an href, in document order
};

struct Server {
  std::uint32_t size;  // sizeof(Server), checked by the loader
  // A new, empty document answering `riid` (the class's creation function).
  HRESULT (*createDocument)(REFIID riid, void** object);
  // Reads HTML as a forgiving parser does: whatever it recovers of a malformed page counts;
  // nothing is loaded from the network and no entity or DTD is fetched.
  void (*parseHtml)(std::string_view bytes, HtmlPage& page);
};

// In the platform (server.cpp): parses a page through the helper; false with `error` set when the
// helper cannot be loaded.
bool parseHtmlPage(std::string_view bytes, HtmlPage& page, DWORD& error);

}  // namespace platform::com::xml

extern "C" const platform::com::xml::Server kipoXmlServer;
