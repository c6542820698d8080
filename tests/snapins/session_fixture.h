// What the session tests share to show a login and logout leave the host as it was: the host's
// registry and the files of its drive C: as comparable states (the product's own keys and
// folders left out), the lines on which two states differ, and the desktop's wallpaper as the
// shell keeps it.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/file_util.h"
#include "platform/base/text.h"
#include "platform/com/active_desktop.h"
#include "platform/com/runtime.h"
#include "platform/win32/registry.h"

namespace sessiontest {

// "path" for each key and "path|name" -> "type:bytes" for each value.
using HostState = std::map<std::string, std::string>;

// Every key and value below a root, the product's own tree left out.
inline void walkRegistry(HKEY key, const std::u16string& path, HostState& out) {
  if (path.find(u"Software\\Brackwater") != std::u16string::npos) return;
  const std::string name8 = platform::text::toUtf8(path);
  out[name8] = "";
  for (DWORD i = 0;; ++i) {
    char16_t name[16384] = {};
    DWORD nameLength = 16384, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::string data(size, '\0');
    DWORD got = size;
    RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
    out[name8 + "|" + platform::text::toUtf8(name)] = std::to_string(type) + ":" + data.substr(0, got);
  }
  std::vector<std::u16string> children;
  for (DWORD i = 0;; ++i) {
    char16_t name[256] = {};
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(name);
  }
  for (const std::u16string& child : children) {
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    walkRegistry(sub, path + u"\\" + child, out);
    RegCloseKey(sub);
  }
}

inline HostState registryState() {
  HostState state;
  walkRegistry(HKEY_CURRENT_USER, u"HKEY_CURRENT_USER", state);
  walkRegistry(HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE", state);
  return state;
}

// The files and folders of drive C: (its Linux root given) with their bytes and hidden flag, the
// product's own folders and its log left out.
inline HostState fileState(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  HostState state;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    if (relative.find("Brackwater") != std::string::npos || relative == "Kipo.html") {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    std::string windows = "C:\\" + relative;
    for (char& c : windows)
      if (c == '/') c = '\\';
    std::string entry = isHiddenFile(CString(platform::text::fromUtf8(windows).c_str())) ? "hidden " : "";
    if (it->is_regular_file()) {
      std::ifstream in(it->path(), std::ios::binary);
      entry += std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      entry += "<folder>";
    }
    state[relative] = entry;
  }
  return state;
}

// The differences of two states, one line each: "lost: ", "changed: " or "new: " and the entry.
inline std::vector<std::string> differences(const HostState& a, const HostState& b) {
  std::vector<std::string> out;
  for (const auto& [k, v] : a) {
    auto it = b.find(k);
    if (it == b.end())
      out.push_back("lost: " + k);
    else if (it->second != v)
      out.push_back("changed: " + k);
  }
  for (const auto& [k, v] : b)
    if (!a.count(k)) out.push_back("new: " + k);
  return out;
}

// The desktop as the shell keeps it.
struct Desktop {
  std::string wallpaper;
  DWORD style = 99;
  bool activeDesktop = false;
  bool components = false;
};

// A fresh Active Desktop object: what the shell has saved.
Desktop savedDesktop() {
  Desktop d;
  IActiveDesktop* desktop = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ActiveDesktop, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveDesktop,
                             reinterpret_cast<void**>(&desktop)),
            S_OK);
  if (!desktop) return d;
  WCHAR buffer[MAX_PATH] = {};
  desktop->GetWallpaper(buffer, MAX_PATH, 0);
  d.wallpaper = platform::text::toUtf8(buffer);
  WALLPAPEROPT options{sizeof options, 0};
  desktop->GetWallpaperOptions(&options, 0);
  d.style = options.dwStyle;
  COMPONENTSOPT switches{sizeof switches, FALSE, FALSE};
  desktop->GetDesktopItemOptions(&switches, 0);
  d.activeDesktop = switches.fActiveDesktop != FALSE;
  d.components = switches.fEnableComponents != FALSE;
  desktop->Release();
  return d;
}

// The user sets the desktop through the shell.
void setDesktop(const char16_t* wallpaper, DWORD style, bool activeDesktop, bool components) {
  IActiveDesktop* desktop = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_ActiveDesktop, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveDesktop,
                             reinterpret_cast<void**>(&desktop)),
            S_OK);
  desktop->SetWallpaper(wallpaper, 0);
  WALLPAPEROPT options{sizeof options, style};
  desktop->SetWallpaperOptions(&options, 0);
  COMPONENTSOPT switches{sizeof switches, components ? TRUE : FALSE, activeDesktop ? TRUE : FALSE};
  desktop->SetDesktopItemOptions(&switches, 0);
  EXPECT_EQ(desktop->ApplyChanges(AD_APPLY_ALL), S_OK);
  desktop->Release();
}

}  // namespace sessiontest
