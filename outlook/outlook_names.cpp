// Special-folder names from Outlook's automation object, cached for the process, and folder
// path texts.
#include "outlook/outlook_names.h"

#include <map>
#include <string>
#include <vector>

#include "app/log.h"
#include "app/messages.h"
#include "app/structured_exception.h"
#include "lang/ids.h"
#include "platform/afx/exception.h"
#include "platform/com/com.h"

namespace {

using platform::com::Ptr;

struct SpecialFolder {
  UINT id;
  LONG number;  // Outlook's default-folder number
};
// In the order Outlook is asked.
constexpr SpecialFolder kSpecialFolders[] = {
    {IDS_OUTLOOK_INBOX, 6},  {IDS_OUTLOOK_CALENDAR, 9}, {IDS_OUTLOOK_CONTACTS, 10},   {IDS_OUTLOOK_DRAFTS, 16},
    {IDS_OUTLOOK_NOTES, 12}, {IDS_OUTLOOK_TASKS, 13},   {IDS_OUTLOOK_SENT_ITEMS, 5},
};

std::map<UINT, CString>& nameCache() {
  static std::map<UINT, CString> cache;
  return cache;
}

// A member called by name with at most one argument; the result is the caller's to clear.
HRESULT call(IDispatch* object, const char16_t* name, WORD kind, VARIANT* argument, VARIANT* result) {
  VariantInit(result);
  if (!object) return E_POINTER;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS params{argument, nullptr, argument ? 1u : 0u, 0};
  return object->Invoke(id, IID_NULL, 0, kind, &params, result, nullptr, nullptr);
}

// Outlook's application object, running or created here (`created` says which).
Ptr<IDispatch> outlookApplication(bool& created) {
  created = false;
  Ptr<IDispatch> app;
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(u"Outlook.Application", &clsid))) return app;
  Ptr<IUnknown> object;
  if (SUCCEEDED(GetActiveObject(clsid, nullptr, object.put())) && SUCCEEDED(object.as(app))) return app;
  object.reset();
  app.reset();
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(object.put()))))
    return app;
  if (FAILED(OleRun(object.get())) || FAILED(object.as(app))) {
    app.reset();
    return app;
  }
  created = true;
  return app;
}

CString cachedOrLibrary(UINT id) {
  const auto& cache = nameCache();
  const auto found = cache.find(id);
  if (found != cache.end()) return found->second;
  writeLog(u"{LoadResStringOutlook: failed}");
  return loadResString(id);
}

// Splits at newlines, leaving out empty names.
std::vector<std::u16string_view> components(std::u16string_view path) {
  std::vector<std::u16string_view> out;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = path.find(u'\n', at);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > at) out.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

}  // namespace

CString LoadResStringOutlook(UINT id) {
  return guardedValue(u"LoadResStringOutlook", CString(), [&] {
    auto& cache = nameCache();
    if (!cache.empty()) return cachedOrLibrary(id);
    bool created = false;
    Ptr<IDispatch> app = outlookApplication(created);
    if (!app) {
      writeLog(u"{CreateInstance(Outlook.Application): failed} Outlook does not exist");
      for (const SpecialFolder& folder : kSpecialFolders) cache[folder.id] = loadResString(folder.id);
      return loadResString(id);
    }
    VARIANT type, ns;
    VariantInit(&type);
    type.vt = VT_BSTR;
    type.bstrVal = SysAllocString(u"MAPI");
    const HRESULT hr = call(app.get(), u"GetNamespace", DISPATCH_METHOD, &type, &ns);
    VariantClear(&type);
    if (FAILED(hr) || ns.vt != VT_DISPATCH || !ns.pdispVal) {
      VariantClear(&ns);
      writeLog(u"{GetNamespace(MAPI): failed}");
      return loadResString(id);
    }
    Ptr<IDispatch> mapi(ns.pdispVal);
    VariantClear(&ns);
    for (const SpecialFolder& folder : kSpecialFolders) {
      VARIANT number, result, name;
      VariantInit(&number);
      number.vt = VT_I4;
      number.lVal = folder.number;
      VariantInit(&name);
      HRESULT r = call(mapi.get(), u"GetDefaultFolder", DISPATCH_METHOD, &number, &result);
      if (SUCCEEDED(r) && result.vt == VT_DISPATCH && result.pdispVal)
        r = call(result.pdispVal, u"Name", DISPATCH_PROPERTYGET, nullptr, &name);
      else if (SUCCEEDED(r))
        r = E_FAIL;
      VariantClear(&result);
      if (FAILED(r) || name.vt != VT_BSTR) {
        VariantClear(&name);
        writeLog(u"{GetDefaultFolder: failed}");
        return loadResString(id);
      }
      cache[folder.id] = CString(name.bstrVal ? name.bstrVal : u"");
      VariantClear(&name);
    }
    if (created) {
      VARIANT ignored;
      call(app.get(), u"Quit", DISPATCH_METHOD, nullptr, &ignored);
      VariantClear(&ignored);
    }
    return cachedOrLibrary(id);
  });
}

CString convertToDisplayFolderPath(const CString& path) {
  CString display = path;
  display.Replace(u'\n', u'\\');
  return display;
}

CString getMapiFolderRelativePath(const CString& path, const CString& prefix) {
  return guardedValue(u"getMapiFolderRelativePath", CString(), [&] {
    const std::u16string_view p = path.view(), q = prefix.view();
    if (p.empty() || q.empty() || p.size() <= q.size()) return CString();
    if (p.substr(0, q.size()) != q) return CString();
    const auto pathNames = components(p), prefixNames = components(q);
    if (pathNames.size() <= prefixNames.size()) return CString();
    for (std::size_t i = 0; i < prefixNames.size(); ++i)
      if (pathNames[i] != prefixNames[i]) return CString();
    const std::size_t skip = q.back() == u'\n' ? q.size() : q.size() + 1;
    return skip >= p.size() ? CString() : CString(p.substr(skip));
  });
}
