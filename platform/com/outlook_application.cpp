// The Outlook automation stand-in: application, MAPI namespace and default folders over the host.
#include "platform/com/outlook_application.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <algorithm>
#include <map>

#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/outlook_folders.h"
#include "platform/com/runtime.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"

const CLSID CLSID_OutlookApplicationStandIn = {0x6A1C03F2, 0x93B4, 0x4E61, {0xA7, 0x1D, 0x52, 0x0C, 0x8E, 0x34, 0xB9, 0x06}};

namespace platform::com {

namespace {

namespace text = platform::text;

struct Member {
  const char16_t* name;
  DISPID id;
};

// The IUnknown, IDispatch and name lookup the three objects share; each answers Invoke itself.
class AutomationObject : public IDispatch {
 public:
  explicit AutomationObject(std::initializer_list<Member> members) : members_(members) {}
  virtual ~AutomationObject() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_IDispatch) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const Member& m : members_)
      if (names[0] && text::equalNoCase(names[0], m.name)) ids[0] = m.id;
    // None of the members has named arguments, so any name after the member's is unknown.
    return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }

 protected:
  // Hands `object` out as the dispatch result (the result takes the reference).
  static void setObject(VARIANT* result, IDispatch* object) {
    if (!result) {
      object->Release();
      return;
    }
    VariantInit(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
  }
  static UINT positional(const DISPPARAMS* params) { return params ? params->cArgs - params->cNamedArgs : 0; }

 private:
  std::vector<Member> members_;
  std::atomic<ULONG> refs_{1};
};

class Folder final : public AutomationObject {
 public:
  explicit Folder(std::u16string name) : AutomationObject({{u"Name", kDispName}}), name_(std::move(name)) {}
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id != kDispName || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (positional(params) != 0) return DISP_E_BADPARAMCOUNT;
    if (result) {
      VariantInit(result);
      result->bstrVal = SysAllocString(name_.c_str());
      if (!result->bstrVal) return E_OUTOFMEMORY;
      result->vt = VT_BSTR;
    }
    return S_OK;
  }

 private:
  std::u16string name_;
};

// The folder's name in the host's language; null for a number that is not a default folder.
const char16_t* defaultFolderName(LONG number) {
  const OutlookFolderNames& n = hostOutlookFolderNames();
  switch (number) {
    case kFolderDeletedItems: return n.deletedItems;
    case kFolderOutbox: return n.outbox;
    case kFolderSentMail: return n.sentItems;
    case kFolderInbox: return n.inbox;
    case kFolderCalendar: return n.calendar;
    case kFolderContacts: return n.contacts;
    case kFolderJournal: return n.journal;
    case kFolderNotes: return n.notes;
    case kFolderTasks: return n.tasks;
    case kFolderDrafts: return n.drafts;
    default: return nullptr;
  }
}

class Namespace final : public AutomationObject {
 public:
  Namespace() : AutomationObject({{u"GetDefaultFolder", kDispGetDefaultFolder}}) {}
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT* argError) override {
    if (id != kDispGetDefaultFolder || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (positional(params) != 1) return DISP_E_BADPARAMCOUNT;
    VARIANT number;
    if (HRESULT hr = DispGetParam(params, 0, VT_I4, &number, argError); FAILED(hr)) return hr;
    const char16_t* name = defaultFolderName(number.lVal);
    if (!name) return E_INVALIDARG;
    setObject(result, new Folder(name));
    return S_OK;
  }
};

LONG appendToLog(const std::u16string& entry) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kOutlookAutomationLogKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  DWORD values = 0;
  rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                        nullptr);
  if (rc == ERROR_SUCCESS) {
    char name[16];
    std::snprintf(name, sizeof name, "%08lu", static_cast<unsigned long>(values + 1));
    rc = RegSetValueExW(key, text::fromUtf8(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.c_str()),
                        static_cast<DWORD>((entry.size() + 1) * sizeof(char16_t)));
  }
  RegCloseKey(key);
  return rc;
}

class Application final : public AutomationObject {
 public:
  Application() : AutomationObject({{u"GetNamespace", kDispGetNamespace}, {u"Quit", kDispQuit}}) {}
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT* argError) override {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
      case kDispGetNamespace: {
        if (positional(params) != 1) return DISP_E_BADPARAMCOUNT;
        VARIANT type;
        if (HRESULT hr = DispGetParam(params, 0, VT_BSTR, &type, argError); FAILED(hr)) return hr;
        const bool mapi = type.bstrVal && text::equalNoCase(type.bstrVal, u"MAPI");
        SysFreeString(type.bstrVal);
        if (!mapi) return E_INVALIDARG;
        setObject(result, new Namespace);
        return S_OK;
      }
      case kDispQuit: {
        if (positional(params) != 0) return DISP_E_BADPARAMCOUNT;
        const LONG rc = appendToLog(u"Quit");
        return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }
};

// The class is there once Outlook is installed on the host (its automation class's key).
bool outlookInstalled() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Outlook.Application", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

HRESULT createApplication(REFIID riid, void** object) {
  if (object) *object = nullptr;
  if (!outlookInstalled()) return REGDB_E_CLASSNOTREG;
  auto* app = new Application;
  HRESULT hr = app->QueryInterface(riid, object);
  app->Release();
  return hr;
}

bool outlookRuns() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
    found = text::equalNoCase(entry.szExeFile, u"OUTLOOK.EXE");
  CloseHandle(snapshot);
  return found;
}

HRESULT runningApplication(IUnknown** object) {
  if (!outlookRuns()) return MK_E_UNAVAILABLE;
  return createApplication(IID_IUnknown, reinterpret_cast<void**>(object));
}

const RegisterClass applicationClass{CLSID_OutlookApplicationStandIn, kOutlookApplicationProgId, &createApplication,
                                     CLSCTX_LOCAL_SERVER};
const RegisterActiveObjectSource runningApplicationSource{CLSID_OutlookApplicationStandIn, &runningApplication};

}  // namespace

std::vector<std::u16string> outlookAutomationLog() {
  std::map<std::u16string, std::u16string> byNumber;  // the names sort in the order written
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOutlookAutomationLogKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  for (DWORD i = 0;; ++i) {
    char16_t name[64];
    char16_t data[256];
    DWORD nameLength = 64, type = 0, size = sizeof data - sizeof(char16_t);
    const LONG rc = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
    std::u16string entry(data, std::min<DWORD>(size, sizeof data - sizeof(char16_t)) / sizeof(char16_t));
    while (!entry.empty() && entry.back() == u'\0') entry.pop_back();
    byNumber[std::u16string(name, nameLength)] = entry;
  }
  RegCloseKey(key);
  std::vector<std::u16string> out;
  for (auto& [number, entry] : byNumber) out.push_back(std::move(entry));
  return out;
}

}  // namespace platform::com
