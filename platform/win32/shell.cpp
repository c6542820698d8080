// Special folders, item lists, the desktop folder and the smaller shell calls (see shell.h).
//
// One table below names every special folder the stand-in knows: where its path comes from, the
// name Explorer shows for it when that is not the folder's own file name, and for a virtual
// folder its parsing name. Every lookup reads the registry afresh, so a changed "User Shell
// Folders" value is followed at once, in every process.
#include "platform/win32/gdi.h"
#include "platform/win32/shell.h"

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/base/codepage.h"
#include "platform/base/text.h"
#include "platform/host/environment.h"
#include "platform/host/host.h"
#include "platform/win32/file.h"
#include "platform/win32/locale.h"
#include "platform/win32/registry.h"
#include "platform/win32/security.h"
#include "platform/win32/window.h"

namespace platform::shell {

namespace {

using host::Host;
namespace folders = host::folders;

constexpr const char16_t* kUserShellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char16_t* kShellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char16_t* kStuckRects = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StuckRects2";
constexpr const char16_t* kCurrentVersion = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char16_t* kTrayClass = u"Shell_TrayWnd";
constexpr std::u16string_view kDots = u"...";

constexpr BYTE kSignature = 'K';
constexpr BYTE kFileItem = 1;
constexpr BYTE kVirtualItem = 2;
constexpr WORD kNoCsidl = 0xFFFF;
constexpr std::size_t kItemHeader = 6;  // cb, signature, kind, csidl

// Where a folder's path comes from.
enum class Source {
  User,     // the user's shell-folder values, else `relative` under the user's profile
  Common,   // the machine's shell-folder values, else `relative` under All Users
  Windows,  // `relative` under the Windows folder
  Machine,  // a value of HKLM\...\CurrentVersion (`value`), else the fixed `relative`
  Profile,  // the user's profile folder itself
  Desktop,  // the desktop: its folder is the desktop directory; its item list is empty
  Virtual,  // no path
};

struct Folder {
  int csidl;
  Source source;
  const char16_t* value;     // registry value name
  const char16_t* relative;  // default place (see Source)
  const char16_t* display;   // the name Explorer shows, when not the folder's own name
  const char16_t* parsing;   // virtual folders: the parsing name
};

const Folder kFolders[] = {
    {CSIDL_DESKTOP, Source::Desktop, nullptr, nullptr, u"Desktop", nullptr},
    {CSIDL_INTERNET, Source::Virtual, nullptr, nullptr, u"Internet Explorer", u"::{871C5380-42A0-1069-A2EA-08002B30309D}"},
    {CSIDL_PROGRAMS, Source::User, u"Programs", u"Start Menu\\Programs", nullptr, nullptr},
    {CSIDL_CONTROLS, Source::Virtual, nullptr, nullptr, u"Control Panel",
     u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}"},
    {CSIDL_PRINTERS, Source::Virtual, nullptr, nullptr, u"Printers and Faxes",
     u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{2227A280-3AEA-1069-A2DE-08002B30309D}"},
    {CSIDL_PERSONAL, Source::User, u"Personal", u"My Documents", u"My Documents", nullptr},
    {CSIDL_FAVORITES, Source::User, u"Favorites", u"Favorites", nullptr, nullptr},
    {CSIDL_STARTUP, Source::User, u"Startup", u"Start Menu\\Programs\\Startup", nullptr, nullptr},
    {CSIDL_RECENT, Source::User, u"Recent", u"Recent", u"My Recent Documents", nullptr},
    {CSIDL_SENDTO, Source::User, u"SendTo", u"SendTo", nullptr, nullptr},
    {CSIDL_BITBUCKET, Source::Virtual, nullptr, nullptr, u"Recycle Bin", u"::{645FF040-5081-101B-9F08-00AA002F954E}"},
    {CSIDL_STARTMENU, Source::User, u"Start Menu", u"Start Menu", nullptr, nullptr},
    {CSIDL_MYMUSIC, Source::User, u"My Music", u"My Documents\\My Music", nullptr, nullptr},
    {CSIDL_MYVIDEO, Source::User, u"My Video", u"My Documents\\My Videos", nullptr, nullptr},
    {CSIDL_DESKTOPDIRECTORY, Source::User, u"Desktop", u"Desktop", nullptr, nullptr},
    {CSIDL_DRIVES, Source::Virtual, nullptr, nullptr, u"My Computer", u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"},
    {CSIDL_NETWORK, Source::Virtual, nullptr, nullptr, u"My Network Places", u"::{208D2C60-3AEA-1069-A2D7-08002B30309D}"},
    {CSIDL_NETHOOD, Source::User, u"NetHood", u"NetHood", nullptr, nullptr},
    {CSIDL_FONTS, Source::Windows, nullptr, u"Fonts", nullptr, nullptr},
    {CSIDL_TEMPLATES, Source::User, u"Templates", u"Templates", nullptr, nullptr},
    {CSIDL_COMMON_STARTMENU, Source::Common, u"Common Start Menu", u"Start Menu", nullptr, nullptr},
    {CSIDL_COMMON_PROGRAMS, Source::Common, u"Common Programs", u"Start Menu\\Programs", nullptr, nullptr},
    {CSIDL_COMMON_STARTUP, Source::Common, u"Common Startup", u"Start Menu\\Programs\\Startup", nullptr, nullptr},
    {CSIDL_COMMON_DESKTOPDIRECTORY, Source::Common, u"Common Desktop", u"Desktop", nullptr, nullptr},
    {CSIDL_APPDATA, Source::User, u"AppData", u"Application Data", nullptr, nullptr},
    {CSIDL_PRINTHOOD, Source::User, u"PrintHood", u"PrintHood", nullptr, nullptr},
    {CSIDL_LOCAL_APPDATA, Source::User, u"Local AppData", u"Local Settings\\Application Data", nullptr, nullptr},
    {CSIDL_COMMON_FAVORITES, Source::Common, u"Common Favorites", u"Favorites", nullptr, nullptr},
    {CSIDL_INTERNET_CACHE, Source::User, u"Cache", u"Local Settings\\Temporary Internet Files", nullptr, nullptr},
    {CSIDL_COOKIES, Source::User, u"Cookies", u"Cookies", nullptr, nullptr},
    {CSIDL_HISTORY, Source::User, u"History", u"Local Settings\\History", nullptr, nullptr},
    {CSIDL_COMMON_APPDATA, Source::Common, u"Common AppData", u"Application Data", nullptr, nullptr},
    {CSIDL_WINDOWS, Source::Windows, nullptr, u"", nullptr, nullptr},
    {CSIDL_SYSTEM, Source::Windows, nullptr, u"system32", nullptr, nullptr},
    {CSIDL_PROGRAM_FILES, Source::Machine, u"ProgramFilesDir", folders::ProgramFiles, nullptr, nullptr},
    {CSIDL_MYPICTURES, Source::User, u"My Pictures", u"My Documents\\My Pictures", nullptr, nullptr},
    {CSIDL_PROFILE, Source::Profile, nullptr, nullptr, nullptr, nullptr},
    {CSIDL_PROGRAM_FILES_COMMON, Source::Machine, u"CommonFilesDir", folders::CommonFiles, nullptr, nullptr},
    {CSIDL_COMMON_TEMPLATES, Source::Common, u"Common Templates", u"Templates", nullptr, nullptr},
    {CSIDL_COMMON_DOCUMENTS, Source::Common, u"Common Documents", u"Documents", u"Shared Documents", nullptr},
};

const Folder* folderOf(int csidl) {
  for (const auto& f : kFolders)
    if (f.csidl == (csidl & ~CSIDL_FLAG_MASK)) return &f;
  return nullptr;
}

std::u16string_view lastComponent(std::u16string_view path) {
  auto cut = path.find_last_of(u'\\');
  return cut == std::u16string_view::npos ? path : path.substr(cut + 1);
}

std::optional<std::u16string> registryString(HKEY root, const char16_t* subKey, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  std::optional<std::u16string> out;
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::u16string data(bytes / 2 + 1, u'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) == ERROR_SUCCESS) {
      data.resize(bytes / 2);
      if (auto nul = data.find(u'\0'); nul != std::u16string::npos) data.resize(nul);
      out = type == REG_EXPAND_SZ ? host::expandEnvironmentStrings(data) : data;
    }
  }
  RegCloseKey(key);
  return out;
}

// Whose folders a call asks for: hToken null (the process's user), -1 (the default user) or a
// token (its user).
struct Owner {
  std::u16string profile;
  bool self = true;  // the process's user: the registry's values apply
};

std::optional<Owner> ownerOf(HANDLE token) {
  Host& host = Host::current();
  if (!token) return Owner{folders::userProfile(host), true};
  if (token == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))
    return Owner{std::u16string(folders::Profiles) + u"\\Default User", false};
  BYTE buffer[256];
  DWORD needed = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &needed)) return std::nullopt;
  std::u16string name(64, u'\0'), domain(64, u'\0');
  DWORD cchName = 64, cchDomain = 64;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, name.data(), &cchName,
                         domain.data(), &cchDomain, &use))
    return std::nullopt;
  name.resize(cchName);
  bool self = text::equalNoCase(name, host.factW(host::fact::UserName));
  return Owner{std::u16string(folders::Profiles) + u"\\" + name, self};
}

// The folder's path, without checking that it exists. Empty for a virtual folder.
std::u16string folderPath(const Folder& f, const Owner& owner, bool defaultPlace) {
  auto fromKeys = [&](HKEY root) -> std::optional<std::u16string> {
    if (defaultPlace || !owner.self) return std::nullopt;
    for (const char16_t* key : {kUserShellFolders, kShellFolders})
      if (auto v = registryString(root, key, f.value); v && !v->empty()) return v;
    return std::nullopt;
  };
  switch (f.source) {
    case Source::User:
      if (auto v = fromKeys(HKEY_CURRENT_USER)) return *v;
      return owner.profile + u"\\" + f.relative;
    case Source::Common:
      if (auto v = fromKeys(HKEY_LOCAL_MACHINE)) return *v;
      return std::u16string(folders::AllUsers) + u"\\" + f.relative;
    case Source::Windows:
      return *f.relative ? std::u16string(folders::Windows) + u"\\" + f.relative : std::u16string(folders::Windows);
    case Source::Machine:
      if (!defaultPlace)
        if (auto v = registryString(HKEY_LOCAL_MACHINE, kCurrentVersion, f.value); v && !v->empty()) return *v;
      return f.relative;
    case Source::Profile: return owner.profile;
    case Source::Desktop: return folderPath(*folderOf(CSIDL_DESKTOPDIRECTORY), owner, defaultPlace);
    case Source::Virtual: return {};
  }
  return {};
}

bool isFolder(const std::u16string& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates the folder and its missing parents; 0 or the error.
DWORD createFolders(const std::u16string& path) {
  if (isFolder(path)) return 0;
  auto cut = path.find_last_of(u'\\');
  if (cut != std::u16string::npos && cut > 2)
    if (DWORD e = createFolders(path.substr(0, cut))) return e;
  if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  return GetLastError();
}

// The shared part of the path calls: S_OK with the path, E_FAIL (virtual or missing),
// E_INVALIDARG (unknown CSIDL or token), or the error of creating it.
HRESULT resolve(int csidl, HANDLE token, DWORD flags, std::u16string& path) {
  path.clear();
  const Folder* f = folderOf(csidl);
  if (!f || flags > SHGFP_TYPE_DEFAULT) return E_INVALIDARG;
  if (f->source == Source::Virtual) return E_FAIL;
  std::optional<Owner> owner = ownerOf(token);
  if (!owner) return E_INVALIDARG;
  std::u16string p = folderPath(*f, *owner, flags == SHGFP_TYPE_DEFAULT);
  if (p.empty() || p.size() >= MAX_PATH) return E_FAIL;
  if (!(csidl & CSIDL_FLAG_DONT_VERIFY) && !isFolder(p)) {
    if (!(csidl & CSIDL_FLAG_CREATE)) return E_FAIL;
    if (DWORD e = createFolders(p)) return HRESULT_FROM_WIN32(e);
  }
  path = std::move(p);
  return S_OK;
}

template <class Char>
void copyPath(const std::u16string& path, Char* out) {
  if (!out) return;
  if constexpr (sizeof(Char) == 1) {
    std::string a = text::wideToAnsi(path);
    a.resize(std::min<std::size_t>(a.size(), MAX_PATH - 1));
    std::memcpy(out, a.c_str(), a.size() + 1);
  } else {
    std::memcpy(out, path.c_str(), (path.size() + 1) * sizeof(char16_t));
  }
}

// --- item lists -----------------------------------------------------------------------------

struct Item {
  BYTE kind = 0;
  WORD csidl = kNoCsidl;
  std::u16string text;
};

LPITEMIDLIST makeList(const Item* item) {
  std::size_t itemSize = item ? kItemHeader + (item->text.size() + 1) * 2 : 0;
  auto* p = static_cast<BYTE*>(CoTaskMemAlloc(itemSize + 2));
  if (!p) return nullptr;
  if (item) {
    USHORT cb = static_cast<USHORT>(itemSize);
    std::memcpy(p, &cb, 2);
    p[2] = kSignature;
    p[3] = item->kind;
    std::memcpy(p + 4, &item->csidl, 2);
    std::memcpy(p + kItemHeader, item->text.c_str(), (item->text.size() + 1) * 2);
  }
  std::memset(p + itemSize, 0, 2);
  return reinterpret_cast<LPITEMIDLIST>(p);
}

USHORT itemSize(const BYTE* p) {
  USHORT cb;
  std::memcpy(&cb, p, 2);
  return cb;
}

bool isEmptyList(LPCITEMIDLIST pidl) { return pidl && itemSize(reinterpret_cast<const BYTE*>(pidl)) == 0; }

// The one item of a list the shell made; nothing for the empty list or a foreign one.
std::optional<Item> readItem(LPCITEMIDLIST pidl) {
  if (!pidl) return std::nullopt;
  auto* p = reinterpret_cast<const BYTE*>(pidl);
  USHORT cb = itemSize(p);
  if (cb < kItemHeader + 2 || (cb - kItemHeader) % 2 || p[2] != kSignature ||
      (p[3] != kFileItem && p[3] != kVirtualItem) || itemSize(p + cb) != 0)
    return std::nullopt;
  Item item;
  item.kind = p[3];
  std::memcpy(&item.csidl, p + 4, 2);
  item.text.resize((cb - kItemHeader) / 2);
  std::memcpy(item.text.data(), p + kItemHeader, cb - kItemHeader);
  if (item.text.back() != 0) return std::nullopt;
  item.text.pop_back();
  if (item.text.find(u'\0') != std::u16string::npos) return std::nullopt;
  return item;
}

std::u16string desktopPath() {
  std::u16string path;
  resolve(CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

// The name Explorer shows for a file-system item: the special name of the folder it is (by
// its own desktop.ini on XP), else its file name.
std::u16string normalName(const Item& item) {
  for (const auto& f : kFolders) {
    if (!f.display || f.source == Source::Virtual || f.source == Source::Desktop) continue;
    if (item.csidl == f.csidl) return f.display;
    std::u16string p;
    if (resolve(f.csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, p) == S_OK && text::equalNoCase(p, item.text))
      return f.display;
  }
  if (item.csidl == CSIDL_PROFILE) return std::u16string(lastComponent(item.text));
  std::u16string_view name = lastComponent(item.text);
  return std::u16string(name.empty() ? std::u16string_view(item.text) : name);
}

std::u16string displayName(LPCITEMIDLIST pidl, SHGDNF flags, bool& ok) {
  ok = true;
  const bool parsing = flags & SHGDN_FORPARSING;
  if (isEmptyList(pidl)) return parsing ? desktopPath() : std::u16string(u"Desktop");
  std::optional<Item> item = readItem(pidl);
  if (!item) {
    ok = false;
    return {};
  }
  if (item->kind == kVirtualItem) {
    if (parsing) return item->text;
    for (const auto& f : kFolders)
      if (f.parsing && text::equalNoCase(f.parsing, item->text)) return f.display;
    return item->text;
  }
  if (parsing) return (flags & SHGDN_INFOLDER) ? std::u16string(lastComponent(item->text)) : item->text;
  return normalName(*item);
}

SFGAOF attributesOf(LPCITEMIDLIST pidl) {
  constexpr SFGAOF folder = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR | SFGAO_FILESYSTEM;
  if (isEmptyList(pidl)) return folder;
  std::optional<Item> item = readItem(pidl);
  if (!item) return 0;
  if (item->kind == kVirtualItem)
    return SFGAO_FOLDER | SFGAO_HASSUBFOLDER | (item->csidl == CSIDL_DRIVES ? SFGAO_FILESYSANCESTOR : 0);
  DWORD a = GetFileAttributesW(item->text.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return 0;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return folder | SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK;
  return SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK;
}

HRESULT putStrRet(const std::u16string& s, STRRET* out) {
  auto* mem = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(char16_t)));
  if (!mem) return E_OUTOFMEMORY;
  std::memcpy(mem, s.c_str(), (s.size() + 1) * sizeof(char16_t));
  out->uType = STRRET_WSTR;
  out->pOleStr = mem;
  return S_OK;
}

bool isAbsolute(std::u16string_view p) {
  return (p.size() >= 3 && p[1] == u':' && p[2] == u'\\') || (p.size() > 2 && p[0] == u'\\' && p[1] == u'\\');
}

// --- COM objects ----------------------------------------------------------------------------

class ShellMalloc final : public IMalloc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IMalloc)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IMalloc*>(this);
    return S_OK;
  }
  // One object for the process's lifetime, as the shell's allocator is.
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  void* STDMETHODCALLTYPE Alloc(SIZE_T cb) override { return CoTaskMemAlloc(cb); }
  void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) override { return CoTaskMemRealloc(pv, cb); }
  void STDMETHODCALLTYPE Free(void* pv) override { CoTaskMemFree(pv); }
  // The task allocator keeps no sizes of its own: unknown (-1), and "don't know" (-1) for
  // DidAlloc, both as Windows answers for memory it cannot tell.
  SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return static_cast<SIZE_T>(-1); }
  int STDMETHODCALLTYPE DidAlloc(void* pv) override { return pv ? -1 : 0; }
  void STDMETHODCALLTYPE HeapMinimize() override {}
};

ShellMalloc g_malloc;

class DesktopFolder final : public IShellFolder {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IShellFolder)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IShellFolder*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG* eaten, LPITEMIDLIST* ppidl,
                                             ULONG* attributes) override {
    if (!ppidl) return E_INVALIDARG;
    *ppidl = nullptr;
    if (!name) return E_INVALIDARG;
    std::u16string text(text::view(name));
    Item item;
    if (text.rfind(u"::", 0) == 0) {
      const Folder* found = nullptr;
      for (const auto& f : kFolders)
        if (f.parsing && text::equalNoCase(f.parsing, text)) found = &f;
      if (!found) return E_INVALIDARG;
      item = {kVirtualItem, static_cast<WORD>(found->csidl), found->parsing};
    } else {
      if (!isAbsolute(text)) return E_INVALIDARG;
      if (text.size() > 3 && text.back() == u'\\') text.pop_back();
      if (GetFileAttributesW(text.c_str()) == INVALID_FILE_ATTRIBUTES) {
        DWORD e = GetLastError();
        return HRESULT_FROM_WIN32(e ? e : ERROR_FILE_NOT_FOUND);
      }
      item = {kFileItem, kNoCsidl, text};
    }
    *ppidl = makeList(&item);
    if (!*ppidl) return E_OUTOFMEMORY;
    if (eaten) *eaten = static_cast<ULONG>(text::length(name));
    if (attributes) *attributes &= attributesOf(*ppidl);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, DWORD, IEnumIDList** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BindToObject(LPCITEMIDLIST, IBindCtx*, REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BindToStorage(LPCITEMIDLIST, IBindCtx*, REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  // By parsing name, without regard to case; the desktop first.
  HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, LPCITEMIDLIST a, LPCITEMIDLIST b) override {
    bool okA, okB;
    std::u16string ta = isEmptyList(a) ? u"" : displayName(a, SHGDN_FORPARSING, okA);
    std::u16string tb = isEmptyList(b) ? u"" : displayName(b, SHGDN_FORPARSING, okB);
    if (!isEmptyList(a) && !okA) return E_INVALIDARG;
    if (!isEmptyList(b) && !okB) return E_INVALIDARG;
    int r = text::compareNoCase(ta, tb);
    short s = static_cast<short>(r < 0 ? -1 : r > 0 ? 1 : 0);
    return static_cast<HRESULT>(static_cast<USHORT>(s));
  }
  HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT count, LPCITEMIDLIST* items, SFGAOF* inOut) override {
    if (!inOut || (count && !items)) return E_INVALIDARG;
    SFGAOF common = ~SFGAOF(0);
    for (UINT i = 0; i < count; ++i) common &= attributesOf(items[i]);
    if (count == 0) common = attributesOf(nullptr) | SFGAO_FOLDER;
    *inOut &= common;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, LPCITEMIDLIST*, REFIID, UINT*, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(LPCITEMIDLIST pidl, SHGDNF flags, STRRET* name) override {
    if (!pidl || !name) return E_INVALIDARG;
    bool ok;
    std::u16string s = displayName(pidl, flags, ok);
    if (!ok) return E_INVALIDARG;
    return putStrRet(s, name);
  }
  HRESULT STDMETHODCALLTYPE SetNameOf(HWND, LPCITEMIDLIST, LPCWSTR, SHGDNF, LPITEMIDLIST* out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

// --- change notifications -------------------------------------------------------------------

host::SchemaPart changesSchema(
    "CREATE TABLE IF NOT EXISTS shell_changes ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " event INTEGER NOT NULL,"
    " item1 TEXT NOT NULL,"
    " item2 TEXT NOT NULL,"
    " pid INTEGER NOT NULL)");
constexpr std::int64_t kKeptChanges = 1000;

std::u16string notifyItem(UINT type, LPCVOID item) {
  if (!item && type != SHCNF_DWORD) return {};
  switch (type) {
    case SHCNF_PATHW:
    case SHCNF_PRINTERW: return std::u16string(text::view(static_cast<const char16_t*>(item)));
    case SHCNF_PATHA:
    case SHCNF_PRINTERA: return text::ansiToWide(static_cast<const char*>(item));
    case SHCNF_DWORD:
      return text::fromUtf8(std::to_string(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(item))));
    case SHCNF_IDLIST: {
      bool ok;
      std::u16string s = displayName(static_cast<LPCITEMIDLIST>(item), SHGDN_FORPARSING, ok);
      return ok ? s : std::u16string();
    }
    default: return {};
  }
}

// --- texts ----------------------------------------------------------------------------------

std::u16string byteSizeText(LONGLONG n) {
  if (n < 1024) return text::fromUtf8(std::to_string(n) + " bytes");
  static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  const unsigned __int128 bytes = static_cast<unsigned long long>(n);
  unsigned __int128 unit = 1024;
  int k = 0;
  while (k < 5 && bytes >= unit * 1000) {
    unit *= 1024;
    ++k;
  }
  // Hundredths of the unit, truncated.
  const auto hundredths = static_cast<unsigned long long>(bytes * 100 / unit);
  char16_t sep[8] = u".";
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8) <= 0) sep[0] = u'.', sep[1] = 0;
  std::u16string out;
  if (hundredths < 1000) {
    out = text::fromUtf8(std::to_string(hundredths / 100)) + sep;
    unsigned frac = static_cast<unsigned>(hundredths % 100);
    out += static_cast<char16_t>(u'0' + frac / 10);
    out += static_cast<char16_t>(u'0' + frac % 10);
  } else if (hundredths < 10000) {
    out = text::fromUtf8(std::to_string(hundredths / 100)) + sep;
    out += static_cast<char16_t>(u'0' + (hundredths / 10) % 10);
  } else {
    out = text::fromUtf8(std::to_string(hundredths / 100));
  }
  return out + u" " + text::fromUtf8(units[k]);
}

template <class Char>
Char* putCut(const std::basic_string<Char>& s, Char* buf, UINT cch) {
  if (!buf || cch == 0) return buf;
  std::size_t n = std::min<std::size_t>(s.size(), cch - 1);
  std::copy(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n), buf);
  buf[n] = 0;
  return buf;
}

std::u16string compactPath(HDC dc, std::u16string_view path, int dx) {
  auto width = [&](std::u16string_view s) { return textWidth(dc, s); };
  if (width(path) <= dx) return std::u16string(path);
  auto cut = path.find_last_of(u'\\');
  if (cut != std::u16string_view::npos) {
    std::u16string last(path.substr(cut));  // with its backslash
    std::u16string_view head = path.substr(0, cut);
    if (width(std::u16string(kDots) + last) <= dx) {
      std::size_t n = head.size();
      while (n > 0 && width(std::u16string(head.substr(0, n)) + std::u16string(kDots) + last) > dx) --n;
      return std::u16string(head.substr(0, n)) + std::u16string(kDots) + last;
    }
  }
  std::u16string_view name = cut == std::u16string_view::npos ? path : path.substr(cut + 1);
  std::size_t n = name.size();
  while (n > 0 && width(std::u16string(name.substr(0, n)) + std::u16string(kDots)) > dx) --n;
  if (n > 0) return std::u16string(name.substr(0, n)) + std::u16string(kDots);
  std::size_t d = kDots.size();
  while (d > 0 && width(kDots.substr(0, d)) > dx) --d;
  return std::u16string(kDots.substr(0, d));
}

// The taskbar's state bits from Explorer's StuckRects2 settings, always-on-top when absent.
UINT taskbarState() {
  HKEY key = nullptr;
  UINT state = ABS_ALWAYSONTOP;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kStuckRects, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return state;
  BYTE data[64];
  DWORD size = sizeof data, type = 0;
  if (RegQueryValueExW(key, u"Settings", nullptr, &type, data, &size) == ERROR_SUCCESS && type == REG_BINARY && size > 8)
    state = data[8] & (ABS_AUTOHIDE | ABS_ALWAYSONTOP);
  RegCloseKey(key);
  return state;
}

UINT taskbarEdge() {
  std::string p = Host::current().fact(host::fact::TaskbarPosition);
  if (p == "top") return ABE_TOP;
  if (p == "left") return ABE_LEFT;
  if (p == "right") return ABE_RIGHT;
  return ABE_BOTTOM;
}

RECT taskbarRect(UINT edge) {
  Host& host = Host::current();
  const LONG w = static_cast<LONG>(host.factNumber(host::fact::ScreenWidth, 1024));
  const LONG h = static_cast<LONG>(host.factNumber(host::fact::ScreenHeight, 768));
  const LONG t = kTaskbarThickness;
  switch (edge) {
    case ABE_TOP: return {0, 0, w, t};
    case ABE_LEFT: return {0, 0, t, h};
    case ABE_RIGHT: return {w - t, 0, w, h};
    default: return {0, h - t, w, h};
  }
}

}  // namespace

int textWidth(HDC dc, std::u16string_view text) { return platform::gdi::textWidth(dc ? platform::gdi::fontOf(dc) : nullptr, text); }

std::vector<ChangeNotification> changeNotifications() {
  Host& host = Host::current();
  auto lock = host.db().lock();
  std::vector<ChangeNotification> out;
  auto q = host.db().query("SELECT id, event, item1, item2, pid FROM shell_changes ORDER BY id");
  while (q.step())
    out.push_back({q.int64At(0), static_cast<LONG>(q.int64At(1)), text::fromUtf8(q.textAt(2)), text::fromUtf8(q.textAt(3)),
                   q.int64At(4)});
  return out;
}

void clearChangeNotifications() {
  Host& host = Host::current();
  auto lock = host.db().lock();
  host.db().exec("DELETE FROM shell_changes");
}

}  // namespace platform::shell

using namespace platform::shell;
namespace text = platform::text;

HRESULT SHGetFolderPathW(HWND, int csidl, HANDLE token, DWORD flags, LPWSTR out) {
  std::u16string path;
  HRESULT hr = resolve(csidl, token, flags, path);
  if (out) {
    if (SUCCEEDED(hr)) copyPath(path, out);
    else out[0] = 0;
  }
  return hr;
}

HRESULT SHGetFolderPathA(HWND, int csidl, HANDLE token, DWORD flags, LPSTR out) {
  std::u16string path;
  HRESULT hr = resolve(csidl, token, flags, path);
  if (out) {
    if (SUCCEEDED(hr)) copyPath(path, out);
    else out[0] = 0;
  }
  // A folder that exists nowhere is S_FALSE for the 8-bit form.
  if (hr == E_FAIL && folderOf(csidl) && folderOf(csidl)->source != Source::Virtual) return S_FALSE;
  return hr;
}

BOOL SHGetSpecialFolderPathW(HWND hwnd, LPWSTR out, int csidl, BOOL create) {
  return SHGetFolderPathW(hwnd, csidl | (create ? CSIDL_FLAG_CREATE : 0), nullptr, SHGFP_TYPE_CURRENT, out) == S_OK;
}

BOOL SHGetSpecialFolderPathA(HWND hwnd, LPSTR out, int csidl, BOOL create) {
  return SHGetFolderPathA(hwnd, csidl | (create ? CSIDL_FLAG_CREATE : 0), nullptr, SHGFP_TYPE_CURRENT, out) == S_OK;
}

HRESULT SHGetFolderLocation(HWND, int csidl, HANDLE token, DWORD reserved, LPITEMIDLIST* ppidl) {
  if (!ppidl) return E_INVALIDARG;
  *ppidl = nullptr;
  if (reserved) return E_INVALIDARG;
  const Folder* f = folderOf(csidl);
  if (!f) return E_INVALIDARG;
  Item item;
  if (f->source == Source::Virtual) {
    item = {kVirtualItem, static_cast<WORD>(f->csidl), f->parsing};
  } else {
    std::u16string path;
    if (HRESULT hr = resolve(csidl, token, SHGFP_TYPE_CURRENT, path); FAILED(hr)) return hr;
    item = {kFileItem, static_cast<WORD>(f->csidl), path};
  }
  *ppidl = makeList(f->source == Source::Desktop ? nullptr : &item);
  return *ppidl ? S_OK : E_OUTOFMEMORY;
}

HRESULT SHGetSpecialFolderLocation(HWND hwnd, int csidl, LPITEMIDLIST* ppidl) {
  return SHGetFolderLocation(hwnd, csidl & ~CSIDL_FLAG_MASK, nullptr, 0, ppidl);
}

namespace {
template <class Char>
BOOL pathFromList(LPCITEMIDLIST pidl, Char* out) {
  if (!out) return FALSE;
  out[0] = 0;
  if (!pidl) return FALSE;
  std::u16string path;
  if (isEmptyList(pidl)) {
    path = desktopPath();
  } else {
    std::optional<Item> item = readItem(pidl);
    if (!item || item->kind != kFileItem) return FALSE;
    path = item->text;
  }
  if (path.empty() || path.size() >= MAX_PATH) return FALSE;
  copyPath(path, out);
  return TRUE;
}
}  // namespace

BOOL SHGetPathFromIDListW(LPCITEMIDLIST pidl, LPWSTR out) { return pathFromList(pidl, out); }
BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR out) { return pathFromList(pidl, out); }

void ILFree(LPITEMIDLIST pidl) { CoTaskMemFree(pidl); }

UINT ILGetSize(LPCITEMIDLIST pidl) {
  if (!pidl) return 0;
  auto* p = reinterpret_cast<const BYTE*>(pidl);
  UINT size = 0;
  while (USHORT cb = itemSize(p + size)) size += cb;
  return size + 2;
}

LPITEMIDLIST ILClone(LPCITEMIDLIST pidl) {
  if (!pidl) return nullptr;
  UINT size = ILGetSize(pidl);
  void* copy = CoTaskMemAlloc(size);
  if (copy) std::memcpy(copy, pidl, size);
  return static_cast<LPITEMIDLIST>(copy);
}

LPITEMIDLIST ILFindLastID(LPCITEMIDLIST pidl) {
  if (!pidl) return nullptr;
  auto* p = reinterpret_cast<const BYTE*>(pidl);
  std::size_t last = 0, at = 0;
  while (USHORT cb = itemSize(p + at)) {
    last = at;
    at += cb;
  }
  return reinterpret_cast<LPITEMIDLIST>(const_cast<BYTE*>(p + last));
}

void SHFlushSFCache() {}

HRESULT SHGetMalloc(LPMALLOC* out) {
  if (!out) return E_INVALIDARG;
  *out = &g_malloc;
  return S_OK;
}

HRESULT SHGetDesktopFolder(IShellFolder** out) {
  if (!out) return E_INVALIDARG;
  *out = new DesktopFolder();
  return S_OK;
}

HRESULT SHBindToParent(LPCITEMIDLIST pidl, REFIID riid, void** ppv, LPCITEMIDLIST* last) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (!pidl) return E_INVALIDARG;
  platform::com::Ptr<IShellFolder> desktop;
  SHGetDesktopFolder(desktop.put());
  HRESULT hr = desktop->QueryInterface(riid, ppv);
  if (SUCCEEDED(hr) && last) *last = ILFindLastID(pidl);
  return hr;
}

HRESULT StrRetToBufW(STRRET* s, LPCITEMIDLIST pidl, LPWSTR buf, UINT cch) {
  if (!s || !buf || cch == 0) return E_INVALIDARG;
  std::u16string t;
  switch (s->uType) {
    case STRRET_WSTR:
      t = text::view(s->pOleStr);
      CoTaskMemFree(s->pOleStr);
      s->pOleStr = nullptr;
      break;
    case STRRET_CSTR: t = text::ansiToWide(s->cStr); break;
    case STRRET_OFFSET:
      if (!pidl) return E_INVALIDARG;
      t = text::ansiToWide(reinterpret_cast<const char*>(pidl) + s->uOffset);
      break;
    default: return E_INVALIDARG;
  }
  putCut(t, buf, cch);
  return S_OK;
}

HRESULT StrRetToStrW(STRRET* s, LPCITEMIDLIST pidl, LPWSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  char16_t buf[4096];
  if (HRESULT hr = StrRetToBufW(s, pidl, buf, 4096); FAILED(hr)) return hr;
  std::size_t n = text::length(buf);
  auto* mem = static_cast<LPWSTR>(CoTaskMemAlloc((n + 1) * sizeof(char16_t)));
  if (!mem) return E_OUTOFMEMORY;
  std::memcpy(mem, buf, (n + 1) * sizeof(char16_t));
  *out = mem;
  return S_OK;
}

LPWSTR StrFormatByteSizeW(LONGLONG n, LPWSTR buf, UINT cch) { return putCut(byteSizeText(n), buf, cch); }

LPSTR StrFormatByteSize64A(LONGLONG n, LPSTR buf, UINT cch) {
  return putCut(text::wideToAnsi(byteSizeText(n)), buf, cch);
}

LPSTR StrFormatByteSizeA(DWORD n, LPSTR buf, UINT cch) { return StrFormatByteSize64A(n, buf, cch); }

BOOL PathCompactPathW(HDC dc, LPWSTR path, UINT dx) {
  if (!path) return FALSE;
  std::u16string out = compactPath(dc, text::view(path), static_cast<int>(dx));
  std::memcpy(path, out.c_str(), (out.size() + 1) * sizeof(char16_t));
  return TRUE;
}

void SHChangeNotify(LONG event, UINT flags, LPCVOID item1, LPCVOID item2) {
  const UINT type = flags & SHCNF_TYPE;
  std::u16string a = notifyItem(type, item1), b = notifyItem(type, item2);
  platform::host::Host& host = platform::host::Host::current();
  auto lock = host.db().lock();
  host.db()
      .query("INSERT INTO shell_changes(event, item1, item2, pid) VALUES(?1, ?2, ?3, ?4)")
      .bind(1, static_cast<std::int64_t>(static_cast<DWORD>(event)))
      .bind(2, text::toUtf8(a))
      .bind(3, text::toUtf8(b))
      .bind(4, static_cast<std::int64_t>(::getpid()))
      .run();
  host.db()
      .query("DELETE FROM shell_changes WHERE id <= ?1")
      .bind(1, host.db().lastInsertRowid() - kKeptChanges)
      .run();
}

UINT_PTR SHAppBarMessage(DWORD message, PAPPBARDATA data) {
  switch (message) {
    case ABM_GETSTATE: return taskbarState();
    case ABM_GETTASKBARPOS: {
      if (!data) return FALSE;
      data->uEdge = taskbarEdge();
      data->rc = taskbarRect(data->uEdge);
      data->hWnd = FindWindowW(kTrayClass, nullptr);
      return TRUE;
    }
    case ABM_GETAUTOHIDEBAR: {
      if (!data) return 0;
      if ((taskbarState() & ABS_AUTOHIDE) && data->uEdge == taskbarEdge())
        return reinterpret_cast<UINT_PTR>(FindWindowW(kTrayClass, nullptr));
      return 0;
    }
    default: return 0;
  }
}
