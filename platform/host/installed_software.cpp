// What a fresh host has of the browser and the office programs, as on an XP machine where both
// were installed: their registration (URL protocols, file associations, program ids and install
// folders) and the browser's empty data stores. kipo-host install puts the programs themselves in.
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/base/text.h"
#include "platform/host/create.h"
#include "platform/host/host.h"
#include "platform/win32/registry.h"

namespace platform::host {

namespace {

constexpr const char16_t* kBrowser = u"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
constexpr const char16_t* kOfficeFolder = u"C:\\Program Files\\Microsoft Office\\OFFICE11\\";
constexpr const char16_t* kCache = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache";

// Writes one value, creating its key; a failure means the host cannot be made.
void put(HKEY root, const std::u16string& path, const char16_t* name, const std::u16string& value,
         DWORD type = REG_SZ) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc == ERROR_SUCCESS) {
    if (name)
      rc = RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS)
    throw std::runtime_error("cannot write registry key " + text::toUtf8(path) + " (error " + std::to_string(rc) + ")");
}

void makeKey(HKEY root, const std::u16string& path) { put(root, path, nullptr, {}); }

void writeBrowserRegistration() {
  const std::u16string open = u"\"" + std::u16string(kBrowser) + u"\" -nohome";
  const std::u16string classes = u"SOFTWARE\\Classes\\";
  for (const char16_t* scheme : {u"http", u"https"}) {
    const std::u16string key = classes + scheme;
    put(HKEY_LOCAL_MACHINE, key, u"", scheme == std::u16string(u"http") ? u"URL:HyperText Transfer Protocol"
                                                                         : u"URL:HyperText Transfer Protocol with Privacy");
    put(HKEY_LOCAL_MACHINE, key, u"URL Protocol", u"");
    put(HKEY_LOCAL_MACHINE, key + u"\\shell\\open\\command", u"", open);
  }
  for (const char16_t* extension : {u".htm", u".html"}) {
    put(HKEY_LOCAL_MACHINE, classes + extension, u"", u"htmlfile");
    put(HKEY_LOCAL_MACHINE, classes + extension, u"Content Type", u"text/html");
  }
  put(HKEY_LOCAL_MACHINE, classes + u"htmlfile", u"", u"HTML Document");
  put(HKEY_LOCAL_MACHINE, classes + u"htmlfile\\shell\\open\\command", u"", open);
}

// Office 2003 is version 11: each program's program id names its current version, and the
// install roots name the folder the programs are in.
void writeOfficeRegistration() {
  struct Program {
    const char16_t* word;
    const char16_t* description;
  } const programs[] = {
      {u"Word", u"Microsoft Word Application"},
      {u"Excel", u"Microsoft Excel Application"},
      {u"PowerPoint", u"Microsoft PowerPoint Application"},
  };
  const std::u16string office = u"SOFTWARE\\Microsoft\\Office\\11.0\\";
  put(HKEY_LOCAL_MACHINE, office + u"Common\\InstallRoot", u"Path", kOfficeFolder);
  for (const auto& p : programs) {
    const std::u16string progId = std::u16string(p.word) + u".Application";
    put(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + progId, u"", p.description);
    put(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + progId + u"\\CurVer", u"", progId + u".11");
    put(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + progId + u".11", u"", p.description);
    put(HKEY_LOCAL_MACHINE, office + p.word + u"\\InstallRoot", u"Path", kOfficeFolder);
  }
}

// The browser's stores where XP keeps them, with nothing in them yet: the cache containers and
// their folders, the history containers' key (filled day by day while browsing) and the typed
// addresses.
void writeBrowserData(Host& host) {
  const std::u16string cache = kCache;
  put(HKEY_CURRENT_USER, cache + u"\\Content", u"CachePath",
      u"%USERPROFILE%\\Local Settings\\Temporary Internet Files\\Content.IE5", REG_EXPAND_SZ);
  put(HKEY_CURRENT_USER, cache + u"\\Content", u"CachePrefix", u"");
  put(HKEY_CURRENT_USER, cache + u"\\Cookies", u"CachePath", u"%USERPROFILE%\\Cookies", REG_EXPAND_SZ);
  put(HKEY_CURRENT_USER, cache + u"\\Cookies", u"CachePrefix", u"Cookie:");
  put(HKEY_CURRENT_USER, cache + u"\\History", u"CachePath",
      u"%USERPROFILE%\\Local Settings\\History\\History.IE5", REG_EXPAND_SZ);
  put(HKEY_CURRENT_USER, cache + u"\\History", u"CachePrefix", u"Visited:");
  makeKey(HKEY_CURRENT_USER, cache + u"\\Extensible Cache");
  makeKey(HKEY_CURRENT_USER, u"Software\\Microsoft\\Internet Explorer\\TypedURLs");

  const std::filesystem::path profile =
      host.cDrive() / "Documents and Settings" / host.fact(fact::UserName) / "Local Settings";
  std::filesystem::create_directories(profile / "History" / "History.IE5");
  std::filesystem::create_directories(profile / "Temporary Internet Files" / "Content.IE5");
}

CreateStep installedSoftware(25, [](Host& host) {
  writeBrowserRegistration();
  writeOfficeRegistration();
  writeBrowserData(host);
});

}  // namespace

}  // namespace platform::host
