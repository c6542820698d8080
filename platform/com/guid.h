// GUIDs: comparison, the registry text form "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", the
// well-known interface identifiers, and iidOf<I>() which ties an interface type to its IID
// (our stand-in for a compiler-attached identifier).
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "platform/com/comtypes.h"
#include "platform/com/hresult.h"

// A GUID constant usable from any number of files and modules without a separate definition.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
// The many interfaces of the "0000xxxx-0000-0000-C000-000000000046" family.
#define DEFINE_OLEGUID(name, l, w1, w2) DEFINE_GUID(name, l, w1, w2, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)

using LPGUID = GUID*;
using LPCLSID = CLSID*;
using LPIID = IID*;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }

DEFINE_GUID(GUID_NULL, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL

DEFINE_OLEGUID(IID_IUnknown, 0x00000000, 0, 0);
DEFINE_OLEGUID(IID_IClassFactory, 0x00000001, 0, 0);
DEFINE_OLEGUID(IID_IPersist, 0x0000010C, 0, 0);
DEFINE_OLEGUID(IID_IPersistFile, 0x0000010B, 0, 0);
DEFINE_OLEGUID(IID_IDispatch, 0x00020400, 0, 0);

// Writes the braced form and a NUL into buffer; returns the characters written including the
// NUL (39), or 0 when cchMax is too small (buffer then untouched).
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax);
// The braced form in memory from CoTaskMemAlloc; the caller frees it with CoTaskMemFree.
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);
HRESULT StringFromIID(REFIID iid, LPOLESTR* text);
// Accepts the braced form (hex digits of either case) or a registered program id;
// CO_E_CLASSSTRING otherwise (*clsid is then CLSID_NULL). A null text gives CLSID_NULL.
HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid);
// Braced form only; E_INVALIDARG otherwise.
HRESULT IIDFromString(LPCOLESTR text, LPIID iid);

namespace platform::com {

// Parses exactly "{8-4-4-4-12}"; false for anything else.
bool parseGuid(std::u16string_view text, GUID& out);
std::u16string formatGuid(REFGUID guid);

// Ordering for maps keyed by GUID.
struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

// The IID of interface I; each interface header declares its own with KIPO_COM_INTERFACE.
template <class I>
const IID& iidOf();

}  // namespace platform::com

#define KIPO_COM_INTERFACE(Interface, iid)           \
  namespace platform::com {                          \
  template <>                                        \
  inline const IID& iidOf<Interface>() { return iid; } \
  }
