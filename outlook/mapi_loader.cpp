// Loading the MAPI library from the folder the Office install or the mail client names, and the
// singletons that hold the loader and the utility object.
#include "outlook/mapi_loader.h"

#include <memory>
#include <string>

#include "app/registry.h"
#include "lang/ids.h"
#include "outlook/mapi_internal.h"
#include "outlook/mapi_util.h"
#include "outlook/outlook_install.h"
#include "platform/win32/win32.h"

namespace {

std::unique_ptr<CMAPILoader> g_loader;
std::unique_ptr<CMapiUtil> g_util;

template <class F>
void bind(HMODULE module, F& slot, const char* name) {
  slot = reinterpret_cast<F>(GetProcAddress(module, name));
}

}  // namespace

namespace mapilayer {
CMAPILoader* g_loaderReference = nullptr;
}

CMAPILoader::CMAPILoader() { loaded = load(); }

CMAPILoader::~CMAPILoader() {
  MAPIInitialize = nullptr;
  MAPIUninitialize = nullptr;
  MAPILogonEx = nullptr;
  MAPIAdminProfiles = nullptr;
  FreeProws = nullptr;
  MAPIFreeBuffer = nullptr;
  MAPIAllocateBuffer = nullptr;
  MAPIAllocateMore = nullptr;
  HrAllocAdviseSink = nullptr;
  HrQueryAllRows = nullptr;
  HrGetOneProp = nullptr;
  OpenStreamOnFile = nullptr;
  loaded = false;
  if (module) FreeLibrary(module);
  module = nullptr;
}

bool CMAPILoader::load() {
  if (module) return loaded;
  CString path = getMapiInstallationPath();
  if (path.IsEmpty()) {
    CRegistry client(CString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\Microsoft Outlook"));
    if (!client.isOpen() || !client.getString(u"DllPathEx", path)) path = CString();
  }
  if (path.IsEmpty()) path = u"mapi32.dll";

  const std::u16string full(path.GetString(), static_cast<std::size_t>(path.GetLength()));
  const std::size_t slash = full.rfind(u'\\');
  if (slash == std::u16string::npos) {
    module = LoadLibraryW(full.c_str());
  } else {
    // The library's own dependencies are looked for in the current directory, so it is its folder
    // for the time of the load.
    char16_t saved[MAX_PATH] = {};
    const DWORD savedLength = GetCurrentDirectoryW(MAX_PATH, saved);
    const std::u16string folder = full.substr(0, slash + 1);
    SetCurrentDirectoryW(folder.c_str());
    module = LoadLibraryW(full.substr(slash + 1).c_str());
    if (savedLength > 0 && savedLength < MAX_PATH) SetCurrentDirectoryW(saved);
  }
  if (!module) return false;
  bind(module, MAPIInitialize, "MAPIInitialize");
  bind(module, MAPIUninitialize, "MAPIUninitialize");
  bind(module, MAPILogonEx, "MAPILogonEx");
  bind(module, MAPIAdminProfiles, "MAPIAdminProfiles");
  bind(module, FreeProws, "FreeProws@4");
  bind(module, MAPIFreeBuffer, "MAPIFreeBuffer");
  bind(module, MAPIAllocateBuffer, "MAPIAllocateBuffer");
  bind(module, MAPIAllocateMore, "MAPIAllocateMore");
  bind(module, HrAllocAdviseSink, "HrAllocAdviseSink@12");
  bind(module, HrQueryAllRows, "HrQueryAllRows@24");
  bind(module, HrGetOneProp, "HrGetOneProp@12");
  bind(module, OpenStreamOnFile, "OpenStreamOnFile");
  return MAPIInitialize && MAPIUninitialize && MAPILogonEx && MAPIAdminProfiles && FreeProws && MAPIFreeBuffer &&
         MAPIAllocateBuffer && MAPIAllocateMore && HrAllocAdviseSink && HrQueryAllRows && HrGetOneProp &&
         OpenStreamOnFile;
}

void createMapiLoader() {
  if (!g_loader) g_loader = std::make_unique<CMAPILoader>();
}

CMAPILoader* getMapiLoader() { return g_loader.get(); }

void destroyMapiLoader() {
  // A reference left to a deleted loader would let a later MAPI call jump into a freed library;
  // emptied, every call finds no loader and fails.
  if (mapilayer::g_loaderReference == g_loader.get()) mapilayer::g_loaderReference = nullptr;
  g_loader.reset();
}

CMAPILoader* mapiLoaderReference() { return mapilayer::g_loaderReference; }

void createMapiUtil() {
  if (!g_util) g_util = std::make_unique<CMapiUtil>();
}

CMapiUtil* getMapiUtil() { return g_util.get(); }

void destroyMapiUtil() { g_util.reset(); }

CMapiException::CMapiException(UINT code, HRESULT hr) : CCustomizerException(UINT{IDS_MAPI_EXCEPTION}), code_(code), hr_(hr) {}

CMapiException::CMapiException(UINT code) : CMapiException(code, 0) {}

CMapiException::~CMapiException() = default;
