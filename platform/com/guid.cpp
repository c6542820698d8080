// GUID text forms: "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", upper-case hex when written.
#include "platform/com/guid.h"

#include <cstring>

#include "platform/base/text.h"
#include "platform/com/runtime.h"

namespace platform::com {

namespace {

constexpr std::size_t kGuidChars = 38;

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos]; false on any non-hex character.
bool readHex(std::u16string_view text, std::size_t pos, int digits, std::uint64_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    int d = hexValue(text[pos + i]);
    if (d < 0) return false;
    value = value << 4 | static_cast<unsigned>(d);
  }
  return true;
}

}  // namespace

bool parseGuid(std::u16string_view text, GUID& out) {
  if (text.size() != kGuidChars || text.front() != u'{' || text.back() != u'}') return false;
  for (std::size_t dash : {9u, 14u, 19u, 24u}) {
    if (text[dash] != u'-') return false;
  }
  std::uint64_t v;
  GUID g{};
  if (!readHex(text, 1, 8, v)) return false;
  g.Data1 = static_cast<DWORD>(v);
  if (!readHex(text, 10, 4, v)) return false;
  g.Data2 = static_cast<WORD>(v);
  if (!readHex(text, 15, 4, v)) return false;
  g.Data3 = static_cast<WORD>(v);
  static constexpr std::size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!readHex(text, bytePos[i], 2, v)) return false;
    g.Data4[i] = static_cast<BYTE>(v);
  }
  out = g;
  return true;
}

std::u16string formatGuid(REFGUID g) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::u16string s;
  s.reserve(kGuidChars);
  auto put = [&](std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) s += static_cast<char16_t>(hex[(value >> shift) & 0xF]);
  };
  s += u'{';
  put(g.Data1, 8);
  s += u'-';
  put(g.Data2, 4);
  s += u'-';
  put(g.Data3, 4);
  s += u'-';
  put(g.Data4[0], 2);
  put(g.Data4[1], 2);
  s += u'-';
  for (int i = 2; i < 8; ++i) put(g.Data4[i], 2);
  s += u'}';
  return s;
}

}  // namespace platform::com

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax) {
  const std::u16string s = platform::com::formatGuid(guid);
  const int needed = static_cast<int>(s.size()) + 1;
  if (!buffer || cchMax < needed) return 0;
  std::memcpy(buffer, s.c_str(), needed * sizeof(OLECHAR));
  return needed;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
  if (!text) return E_INVALIDARG;
  const std::u16string s = platform::com::formatGuid(clsid);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
  *text = copy;
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, s.c_str(), (s.size() + 1) * sizeof(OLECHAR));
  return S_OK;
}

HRESULT StringFromIID(REFIID iid, LPOLESTR* text) { return StringFromCLSID(iid, text); }

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
  if (!clsid) return E_INVALIDARG;
  *clsid = CLSID_NULL;
  if (!text) return S_OK;
  if (platform::com::parseGuid(platform::text::view(text), *clsid)) return S_OK;
  if (text[0] != u'{' && SUCCEEDED(CLSIDFromProgID(text, clsid))) return S_OK;
  *clsid = CLSID_NULL;
  return CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR text, LPIID iid) {
  if (!iid) return E_INVALIDARG;
  if (!text) {
    *iid = IID_NULL;
    return S_OK;
  }
  GUID parsed;
  if (!platform::com::parseGuid(platform::text::view(text), parsed)) return E_INVALIDARG;
  *iid = parsed;
  return S_OK;
}
