// A fresh host's registry: shell folders that expand to existing folders of drive C:, the
// environment keys, and the identity, version and user settings values taken from the host facts.
#include "platform/host/host_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/registry.h"
#include "platform/win32/system.h"
#include "tests/support/test_host.h"

namespace fact = platform::host::fact;
using platform::text::toUtf8;

namespace {

constexpr const char16_t* kExplorer = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

struct Value {
  DWORD type = 0;
  std::u16string text;
  DWORD number = 0;
  bool found = false;
};

Value read(HKEY root, const std::u16string& key, const char16_t* name) {
  Value v;
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return v;
  BYTE data[4096];
  DWORD size = sizeof data;
  if (RegQueryValueExW(k, name, nullptr, &v.type, data, &size) == ERROR_SUCCESS) {
    v.found = true;
    if (v.type == REG_DWORD) {
      std::memcpy(&v.number, data, 4);
    } else {
      v.text.assign(reinterpret_cast<const char16_t*>(data), size / 2);
      while (!v.text.empty() && v.text.back() == 0) v.text.pop_back();
    }
  }
  RegCloseKey(k);
  return v;
}

std::u16string expand(const std::u16string& s) {
  char16_t buf[MAX_PATH * 2];
  DWORD n = ExpandEnvironmentStringsW(s.c_str(), buf, MAX_PATH * 2);
  return n ? std::u16string(buf) : u"";
}

// The Linux folder behind a "C:\..." path of the host.
std::filesystem::path onDriveC(const kipotest::TestHost& host, const std::u16string& windowsPath) {
  std::string p = toUtf8(windowsPath);
  if (p.rfind("C:\\", 0) != 0) return {};
  std::string rel = p.substr(3);
  for (auto& ch : rel)
    if (ch == '\\') ch = '/';
  return host.c(rel);
}

}  // namespace

TEST(HostRegistry, ShellFoldersExpandToExistingFoldersOfDriveC) {
  kipotest::TestHost host;
  struct Set {
    HKEY root;
    const std::vector<platform::host::ShellFolder>& folders;
    const char16_t* variable;
  } sets[] = {
      {HKEY_CURRENT_USER, platform::host::userShellFolders(), u"%USERPROFILE%\\"},
      {HKEY_LOCAL_MACHINE, platform::host::commonShellFolders(), u"%ALLUSERSPROFILE%\\"},
  };
  int checked = 0;
  for (const auto& set : sets) {
    for (const auto& f : set.folders) {
      SCOPED_TRACE(toUtf8(f.name));
      Value user = read(set.root, std::u16string(kExplorer) + u"\\User Shell Folders", f.name);
      Value shell = read(set.root, std::u16string(kExplorer) + u"\\Shell Folders", f.name);
      ASSERT_TRUE(user.found && shell.found);
      EXPECT_EQ(user.type, static_cast<DWORD>(REG_EXPAND_SZ));
      EXPECT_EQ(shell.type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(user.text.rfind(set.variable, 0), 0u) << toUtf8(user.text);
      EXPECT_EQ(toUtf8(expand(user.text)), toUtf8(shell.text)) << "both keys name the same folder";
      EXPECT_TRUE(std::filesystem::is_directory(onDriveC(host, shell.text))) << toUtf8(shell.text);
      ++checked;
    }
  }
  EXPECT_EQ(checked, 25);
  EXPECT_EQ(toUtf8(read(HKEY_CURRENT_USER, std::u16string(kExplorer) + u"\\Shell Folders", u"AppData").text),
            "C:\\Documents and Settings\\Robin\\Application Data");
  EXPECT_EQ(toUtf8(read(HKEY_LOCAL_MACHINE, std::u16string(kExplorer) + u"\\Shell Folders", u"Common Documents").text),
            "C:\\Documents and Settings\\All Users\\Documents");
}

TEST(HostRegistry, EnvironmentKeysAsXpHasThem) {
  kipotest::TestHost host;
  Value temp = read(HKEY_CURRENT_USER, u"Environment", u"TEMP");
  EXPECT_EQ(temp.type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(temp.text, u"%USERPROFILE%\\Local Settings\\Temp");
  EXPECT_TRUE(std::filesystem::is_directory(onDriveC(host, expand(temp.text))));
  const std::u16string machine = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
  struct Case {
    const char16_t* name;
    DWORD type;
    const char16_t* text;
  } cases[] = {
      {u"ComSpec", REG_EXPAND_SZ, u"%SystemRoot%\\system32\\cmd.exe"},
      {u"Path", REG_EXPAND_SZ, u"%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem"},
      {u"PATHEXT", REG_SZ, u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH"},
      {u"OS", REG_SZ, u"Windows_NT"},
      {u"TEMP", REG_EXPAND_SZ, u"%SystemRoot%\\TEMP"},
      {u"TMP", REG_EXPAND_SZ, u"%SystemRoot%\\TEMP"},
      {u"windir", REG_EXPAND_SZ, u"%SystemRoot%"},
      {u"NUMBER_OF_PROCESSORS", REG_SZ, u"1"},
      {u"PROCESSOR_ARCHITECTURE", REG_SZ, u"x86"},
  };
  for (const auto& c : cases) {
    Value v = read(HKEY_LOCAL_MACHINE, machine, c.name);
    EXPECT_EQ(v.type, c.type) << toUtf8(c.name);
    EXPECT_EQ(toUtf8(v.text), toUtf8(c.text));
  }
  EXPECT_TRUE(std::filesystem::is_directory(host.c("WINDOWS/Temp")));
}

TEST(HostRegistry, IdentityAndVersionsFollowTheFacts) {
  platform::host::HostOptions options;
  options.facts[fact::ComputerName] = "bravo";
  options.facts[fact::UserName] = "Sam";
  options.facts[fact::IeVersion] = "6.0.2900.2180";
  options.facts[fact::UserLocale] = "0407";
  kipotest::TestHost host(options);
  struct Case {
    HKEY root;
    const char16_t* key;
    const char16_t* name;
    const char16_t* text;
  } cases[] = {
      {HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", u"ComputerName", u"BRAVO"},
      {HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName", u"ComputerName",
       u"BRAVO"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"CurrentVersion", u"5.1"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"CurrentBuildNumber", u"2600"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"CSDVersion", u"Service Pack 2"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"ProductName", u"Microsoft Windows XP"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"RegisteredOwner", u"Sam"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"SystemRoot", u"C:\\WINDOWS"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", u"ProgramFilesDir", u"C:\\Program Files"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", u"CommonFilesDir",
       u"C:\\Program Files\\Common Files"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Internet Explorer", u"Version", u"6.0.2900.2180"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Internet Explorer", u"Build", u"62900.2180"},
      {HKEY_CURRENT_USER, u"Control Panel\\International", u"Locale", u"00000407"},
      {HKEY_CURRENT_USER, u"Control Panel\\International", u"sLanguage", u"DEU"},
      {HKEY_CURRENT_USER, u"Control Panel\\International", u"sShortDate", u"dd.MM.yyyy"},
  };
  for (const auto& c : cases) {
    Value v = read(c.root, c.key, c.name);
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ)) << toUtf8(c.name);
    EXPECT_EQ(toUtf8(v.text), toUtf8(c.text)) << toUtf8(c.key) << " " << toUtf8(c.name);
  }
}

TEST(HostRegistry, UserSettingsOfAFreshProfile) {
  kipotest::TestHost host;
  EXPECT_EQ(read(HKEY_CURRENT_USER, u"Software\\Microsoft\\Internet Explorer\\Main", u"Start Page").type,
            static_cast<DWORD>(REG_SZ));
  Value hidden = read(HKEY_CURRENT_USER, std::u16string(kExplorer) + u"\\Advanced", u"Hidden");
  EXPECT_EQ(hidden.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(hidden.number, 2u) << "hidden files not shown";
  EXPECT_EQ(read(HKEY_CURRENT_USER, std::u16string(kExplorer) + u"\\Advanced", u"HideFileExt").number, 1u);

  // The wallpaper named twice over is a bitmap file that exists.
  Value wallpaper = read(HKEY_CURRENT_USER, u"Control Panel\\Desktop", u"Wallpaper");
  Value theme = read(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\LastTheme", u"Wallpaper");
  EXPECT_EQ(toUtf8(expand(theme.text)), toUtf8(wallpaper.text));
  std::ifstream bmp(onDriveC(host, wallpaper.text), std::ios::binary);
  char magic[2] = {};
  ASSERT_TRUE(bmp.read(magic, 2));
  EXPECT_EQ(std::string(magic, 2), "BM");
  EXPECT_EQ(read(HKEY_CURRENT_USER, u"Control Panel\\Desktop", u"TileWallpaper").text, u"0");
  EXPECT_EQ(read(HKEY_CURRENT_USER, u"Control Panel\\Desktop", u"WallpaperStyle").text, u"2");

  // Run keys exist and are empty.
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (const char16_t* key : {u"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"}) {
      HKEY k = nullptr;
      ASSERT_EQ(RegOpenKeyExW(root, key, 0, KEY_READ, &k), ERROR_SUCCESS) << toUtf8(key);
      char16_t name[64];
      DWORD len = 64;
      EXPECT_EQ(RegEnumValueW(k, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
      RegCloseKey(k);
    }
  }
}
