// The table of the XML DOM's helper library "libkipo_xml.so" (dom.cpp and tree.cpp, over
// libxml2). The platform registers CLSID_DOMDocument itself (server.cpp) and loads the helper at
// the first document made, as Windows loads a class's in-process server at its first creation.
// Not for product code.
#pragma once

#include <cstdint>

#include "platform/com/unknown.h"

namespace platform::com::xml {

struct Server {
  std::uint32_t size;  // sizeof(Server), checked by the loader
  // A new, empty document answering `riid` (the class's creation function).
  HRESULT (*createDocument)(REFIID riid, void** object);
};

}  // namespace platform::com::xml

extern "C" const platform::com::xml::Server kipoXmlServer;
