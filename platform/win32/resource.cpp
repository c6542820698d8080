// Finding resources in a module's resource set, the language choice, string tables and
// enumeration. A resource handle (HRSRC) is the address of its entry in the module's set and is
// checked against that set before use, so a stale or foreign handle fails instead of reading.
#include "platform/win32/resource.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/host/module_registry.h"
#include "platform/win32/error.h"

namespace {

using platform::module::ResourceSet;
using platform::rsrc::Entry;
using platform::rsrc::Id;

// A type or name argument as an Id: a number, "#123", or an upper-cased name.
bool toId(LPCWSTR arg, Id& id) {
  if (IS_INTRESOURCE(arg)) {
    id = Id::of(static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(arg)));
    return id.number != 0;
  }
  std::u16string_view text = platform::text::view(arg);
  if (text.size() > 1 && text[0] == u'#') {
    unsigned long n = 0;
    for (char16_t c : text.substr(1)) {
      if (c < u'0' || c > u'9' || n > 0xFFFF) return false;
      n = n * 10 + (c - u'0');
    }
    if (n == 0 || n > 0xFFFF) return false;
    id = Id::of(static_cast<std::uint16_t>(n));
    return true;
  }
  if (text.empty()) return false;
  id = Id::of(platform::text::upcased(text));
  return true;
}

bool sameId(const Id& entry, const Id& wanted) {
  if (entry.isText() != wanted.isText()) return false;
  return entry.isText() ? platform::text::equalNoCase(entry.text, wanted.text) : entry.number == wanted.number;
}

// The order in which languages are tried: a neutral request searches the defaults, a specific
// one only itself and its neutral forms.
std::vector<WORD> languageOrder(WORD language) {
  std::vector<WORD> order;
  auto add = [&order](WORD l) {
    if (std::find(order.begin(), order.end(), l) == order.end()) order.push_back(l);
  };
  if (PRIMARYLANGID(language) != LANG_NEUTRAL) {
    add(language);
    add(MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL));
    add(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    return order;
  }
  const WORD user = platform::module::preferredLanguage();
  add(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  add(user);
  add(MAKELANGID(PRIMARYLANGID(user), SUBLANG_NEUTRAL));
  add(MAKELANGID(PRIMARYLANGID(user), SUBLANG_DEFAULT));
  add(MAKELANGID(0x09, SUBLANG_DEFAULT));
  return order;
}

HRSRC toHandle(const Entry* e) { return reinterpret_cast<HRSRC>(const_cast<Entry*>(e)); }

// The entry, or null with the last error set.
const Entry* findEntry(const ResourceSet& set, const Id& type, const Id& name, WORD language, bool anyLanguage) {
  bool typeSeen = false;
  std::vector<const Entry*> candidates;
  for (const Entry& e : set.entries) {
    if (!sameId(e.type, type)) continue;
    typeSeen = true;
    if (sameId(e.name, name)) candidates.push_back(&e);
  }
  if (candidates.empty()) {
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  for (WORD l : languageOrder(language))
    for (const Entry* e : candidates)
      if (e->language == l) return e;
  if (anyLanguage) return candidates.front();
  SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
  return nullptr;
}

HRSRC find(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, bool anyLanguage) {
  DWORD error = 0;
  std::shared_ptr<const ResourceSet> set = platform::module::resourcesOfModule(module, error);
  if (!set) {
    SetLastError(error);
    return nullptr;
  }
  Id typeId, nameId;
  if (!toId(type, typeId)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  if (!toId(name, nameId)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return toHandle(findEntry(*set, typeId, nameId, language, anyLanguage));
}

// The entry behind a handle when it belongs to the module's set (the set stays alive with the
// module, so the returned pointers do too).
const Entry* checkedEntry(HMODULE module, HRSRC resource, const ResourceSet** owner) {
  DWORD error = 0;
  std::shared_ptr<const ResourceSet> set = platform::module::resourcesOfModule(module, error);
  const auto* e = reinterpret_cast<const Entry*>(resource);
  if (!set || !e || set->entries.empty() || e < set->entries.data() || e >= set->entries.data() + set->entries.size()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (owner) *owner = set.get();
  return e;
}

// The string of a table: a read-only pointer and length; false when the block is missing (last
// error set); a missing entry of an existing block gives length 0.
bool findString(HINSTANCE module, UINT id, const char16_t*& text, std::size_t& length) {
  const UINT block = (LOWORD(id) >> 4) + 1;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(block), RT_STRING);
  if (!found) return false;
  const ResourceSet* set = nullptr;
  const Entry* e = checkedEntry(module, found, &set);
  if (!e) return false;
  const std::uint8_t* p = set->data(*e);
  std::size_t left = e->size;
  text = nullptr;
  length = 0;
  for (UINT i = 0; i <= (id & 15); ++i) {
    if (left < 2) return true;  // a short block: the rest of its entries are empty
    const std::size_t n = static_cast<std::size_t>(p[0] | (p[1] << 8));
    p += 2;
    left -= 2;
    if (n > left / 2) return true;
    if (i == (id & 15)) {
      text = reinterpret_cast<const char16_t*>(p);
      length = n;
    }
    p += 2 * n;
    left -= 2 * n;
  }
  return true;
}

}  // namespace

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  return find(module, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), true);
}

HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  return find(module, type, name, language, PRIMARYLANGID(language) == LANG_NEUTRAL);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  const ResourceSet* set = nullptr;
  const Entry* e = checkedEntry(module, resource, &set);
  if (!e) return nullptr;
  return const_cast<std::uint8_t*>(set->data(*e));
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  const Entry* e = checkedEntry(module, resource, nullptr);
  return e ? e->size : 0;
}

BOOL FreeResource(HGLOBAL) { return FALSE; }

int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int bufferMax) {
  if (!buffer || bufferMax < 0) {
    SetLastError(ERROR_NOACCESS);
    return 0;
  }
  const char16_t* text = nullptr;
  std::size_t length = 0;
  if (!findString(module, id, text, length)) return 0;
  if (bufferMax == 0) {
    if (!text) return 0;
    const char16_t* pointer = text;
    std::memcpy(buffer, &pointer, sizeof pointer);
    return static_cast<int>(length);
  }
  const std::size_t copied = std::min<std::size_t>(length, static_cast<std::size_t>(bufferMax) - 1);
  if (copied) std::memcpy(buffer, text, copied * sizeof(char16_t));
  buffer[copied] = 0;
  return static_cast<int>(copied);
}

int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int bufferMax) {
  if (!buffer || bufferMax <= 0) {
    if (!buffer) SetLastError(ERROR_NOACCESS);
    return 0;
  }
  const char16_t* text = nullptr;
  std::size_t length = 0;
  if (!findString(module, id, text, length)) return 0;
  std::u16string wide(text ? text : u"", length);
  std::string ansi = platform::text::wideToAnsi(wide);
  const std::size_t copied = std::min<std::size_t>(ansi.size(), static_cast<std::size_t>(bufferMax) - 1);
  std::memcpy(buffer, ansi.data(), copied);
  buffer[copied] = 0;
  return static_cast<int>(copied);
}

BOOL EnumResourceNamesW(HMODULE module, LPCWSTR type, ENUMRESNAMEPROCW callback, LONG_PTR param) {
  DWORD error = 0;
  std::shared_ptr<const ResourceSet> set = platform::module::resourcesOfModule(module, error);
  if (!set) {
    SetLastError(error);
    return FALSE;
  }
  Id typeId;
  if (!callback || !toId(type, typeId)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  std::vector<Id> names;
  for (const Entry& e : set->entries) {
    if (!sameId(e.type, typeId)) continue;
    if (std::none_of(names.begin(), names.end(), [&](const Id& n) { return sameId(n, e.name); }))
      names.push_back(e.name);
  }
  if (names.empty()) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  std::stable_sort(names.begin(), names.end(), [](const Id& a, const Id& b) {
    if (a.isText() != b.isText()) return a.isText();
    return a.isText() ? platform::text::compareNoCase(a.text, b.text) < 0 : a.number < b.number;
  });
  for (const Id& n : names) {
    std::u16string copy = n.text;  // the callback may not keep it, as on Windows
    LPWSTR arg = n.isText() ? copy.data() : MAKEINTRESOURCEW(n.number);
    if (!callback(module, type, arg, param)) {
      SetLastError(ERROR_RESOURCE_ENUM_USER_STOP);
      return FALSE;
    }
  }
  return TRUE;
}
