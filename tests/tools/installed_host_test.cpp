// A fresh host after kipo-host install, as the product reads it: the browser's and the office
// programs' registration and data stores where XP keeps them, and the product's files in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>
#include <string>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/error.h"
#include "platform/win32/registry.h"
#include "platform/win32/shell_execute.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"

namespace {

namespace fs = std::filesystem;
using platform::text::toUtf8;

// The value as text, or "<no key>" / "<no value>" / "<type N>" when it is not a text.
std::string readText(HKEY root, const char16_t* path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  char16_t data[512] = {};
  DWORD type = 0, size = sizeof data - sizeof(char16_t);
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return "<no value>";
  if (type != REG_SZ && type != REG_EXPAND_SZ) return "<type " + std::to_string(type) + ">";
  return toUtf8(data);
}

// Number of subkeys and values, or -1 when the key does not open.
std::pair<int, int> contents(HKEY root, const char16_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {-1, -1};
  DWORD subkeys = 0, values = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(key);
  return {static_cast<int>(subkeys), static_cast<int>(values)};
}

class InstalledHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  }
  // Linux path of a folder in the user's profile.
  fs::path profile(const std::string& relative) const {
    return host_.c("Documents and Settings/" + platform::host::Host::current().fact(platform::host::fact::UserName) + "/" +
                   relative);
  }
  kipotest::TestHost host_;
};

TEST_F(InstalledHostTest, RegistryHasTheKeysTheProductReads) {
  const char* browser = "\"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\" -nohome";
  const char* office = "C:\\Program Files\\Microsoft Office\\OFFICE11\\";
  const char16_t* cache = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\";
  struct Case {
    HKEY root;
    std::u16string path;
    const char16_t* name;
    std::string expected;
  } const cases[] = {
      // Opening an address or a page goes to the browser, through the merged classes view.
      {HKEY_CLASSES_ROOT, u"http", u"URL Protocol", ""},
      {HKEY_CLASSES_ROOT, u"http\\shell\\open\\command", u"", browser},
      {HKEY_CLASSES_ROOT, u"https", u"URL Protocol", ""},
      {HKEY_CLASSES_ROOT, u"https\\shell\\open\\command", u"", browser},
      {HKEY_CLASSES_ROOT, u".htm", u"", "htmlfile"},
      {HKEY_CLASSES_ROOT, u".html", u"", "htmlfile"},
      {HKEY_CLASSES_ROOT, u"htmlfile\\shell\\open\\command", u"", browser},
      // The office snap-ins find each program's version from its program id's current version.
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Word.Application\\CurVer", u"", "Word.Application.11"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Excel.Application\\CurVer", u"", "Excel.Application.11"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\PowerPoint.Application\\CurVer", u"", "PowerPoint.Application.11"},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Office\\11.0\\Common\\InstallRoot", u"Path", office},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Office\\11.0\\Word\\InstallRoot", u"Path", office},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Office\\11.0\\Excel\\InstallRoot", u"Path", office},
      {HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Office\\11.0\\PowerPoint\\InstallRoot", u"Path", office},
      // The browser's stores.
      {HKEY_CURRENT_USER, std::u16string(cache) + u"Content", u"CachePath",
       "%USERPROFILE%\\Local Settings\\Temporary Internet Files\\Content.IE5"},
      {HKEY_CURRENT_USER, std::u16string(cache) + u"Cookies", u"CachePath", "%USERPROFILE%\\Cookies"},
      {HKEY_CURRENT_USER, std::u16string(cache) + u"History", u"CachePath",
       "%USERPROFILE%\\Local Settings\\History\\History.IE5"},
      {HKEY_CURRENT_USER, u"Software\\Microsoft\\Internet Explorer\\Main", u"Start Page",
       "http://www.microsoft.com/isapi/redir.dll?prd=ie&pver=6&ar=msnhome"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(readText(c.root, c.path.c_str(), c.name), c.expected) << toUtf8(c.path) << " " << toUtf8(c.name);

  // Nothing has been browsed yet: no history containers, no typed addresses, empty folders.
  EXPECT_EQ(contents(HKEY_CURRENT_USER, (std::u16string(cache) + u"Extensible Cache").c_str()), std::make_pair(0, 0));
  EXPECT_EQ(contents(HKEY_CURRENT_USER, u"Software\\Microsoft\\Internet Explorer\\TypedURLs"), std::make_pair(0, 0));
  for (const char* folder : {"Local Settings/History/History.IE5", "Local Settings/Temporary Internet Files/Content.IE5",
                             "Cookies"}) {
    const fs::path p = profile(folder);
    EXPECT_TRUE(fs::is_directory(p) && fs::is_empty(p)) << p;
  }
}

TEST_F(InstalledHostTest, AddressesAndPagesOpenWithTheBrowser) {
  host_.write("page.html", "<html></html>");
  for (const char16_t* target : {u"http://example.org/", u"https://example.org/", u"C:\\page.html"})
    EXPECT_GT(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", target, nullptr, nullptr, SW_SHOWNORMAL)), 32)
        << toUtf8(target);
  // A scheme nobody registered still has no handler.
  EXPECT_EQ(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", u"gopher://x/", nullptr, nullptr, SW_SHOWNORMAL)),
            SE_ERR_NOASSOC);
}

TEST_F(InstalledHostTest, ProductFilesTheBuildHasAreInTheProgramFolder) {
  const fs::path build = fs::path(KIPO_HOST_TOOL).parent_path().parent_path().parent_path();
  const fs::path folder = profile("Application Data/Brackwater/Kipo");
  for (const char* name : {"Lingrove_USA.DLL", "Lingrove_JPN.DLL", "Kipo.exe", "Kipo.chm", "kipo.xml"}) {
    const std::string n = name;
    const std::string built = n == "Kipo.chm" ? "help" : n.rfind("Lingrove", 0) == 0 ? "lang" : "app";
    EXPECT_EQ(fs::is_regular_file(folder / name), fs::is_regular_file(build / built / name)) << name;
  }
  EXPECT_TRUE(fs::is_regular_file(folder / "Lingrove_USA.DLL"));
}

}  // namespace

namespace {

std::vector<std::string> subkeys(HKEY root, const char16_t* path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char16_t name[256] = {};
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(toUtf8(name));
  }
  RegCloseKey(key);
  return names;
}

TEST_F(InstalledHostTest, BrowsingLeavesHistoryTypedAddressesAndACookie) {
  std::string err;
  for (const char* url : {"http://www.Example.org/a", "https://shop.example.net:8443/cart?x=1", "http://www.Example.org/a"})
    ASSERT_EQ(kipotest::runTool({"browse", url}, nullptr, &err), 0) << url << err;
  for (const char* url : {"ftp://example.org/", "example.org", ""})
    EXPECT_NE(kipotest::runTool({"browse", url}, nullptr, &err), 0) << url;

  // The latest address first, each once.
  const char16_t* typed = u"Software\\Microsoft\\Internet Explorer\\TypedURLs";
  EXPECT_EQ(readText(HKEY_CURRENT_USER, typed, u"url1"), "http://www.Example.org/a");
  EXPECT_EQ(readText(HKEY_CURRENT_USER, typed, u"url2"), "https://shop.example.net:8443/cart?x=1");
  EXPECT_EQ(readText(HKEY_CURRENT_USER, typed, u"url3"), "<no value>");

  // Today's history container, its key pointing at its folder, which holds both visits.
  const std::u16string extensible =
      u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\Extensible Cache";
  const auto containers = subkeys(HKEY_CURRENT_USER, extensible.c_str());
  ASSERT_EQ(containers.size(), 1u);
  const std::string& name = containers[0];
  ASSERT_EQ(name.size(), 24u) << name;
  EXPECT_EQ(name.rfind("MSHist01", 0), 0u) << name;
  const std::u16string key = extensible + u"\\" + platform::text::fromUtf8(name);
  EXPECT_EQ(readText(HKEY_CURRENT_USER, key.c_str(), u"CachePath"),
            "C:\\Documents and Settings\\" + platform::host::Host::current().fact(platform::host::fact::UserName) +
                "\\Local Settings\\History\\History.IE5\\" + name + "\\");
  EXPECT_EQ(readText(HKEY_CURRENT_USER, key.c_str(), u"CachePrefix"), ":" + name.substr(8) + ": ");
  const std::string visits = [&] {
    std::ifstream in(profile("Local Settings/History/History.IE5/" + name + "/visits.txt"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  EXPECT_NE(visits.find("@https://shop.example.net:8443/cart?x=1"), std::string::npos) << visits;

  // One cookie file per site, in the browser's text layout.
  std::vector<std::string> cookies;
  for (const auto& e : fs::directory_iterator(profile("Cookies"))) cookies.push_back(e.path().filename().string());
  std::sort(cookies.begin(), cookies.end());
  const std::string user = [] {
    std::string u = platform::host::Host::current().fact(platform::host::fact::UserName);
    for (char& c : u) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return u;
  }();
  ASSERT_EQ(cookies, (std::vector<std::string>{user + "@example.org[1].txt", user + "@shop.example.net[1].txt"}));
  std::ifstream in(profile("Cookies") / cookies[0], std::ios::binary);
  std::string cookie(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(cookie.rfind("visit\n1\nwww.example.org/\n1024\n", 0), 0u) << cookie;
  EXPECT_EQ(cookie.substr(cookie.size() - 2), "*\n");
}

}  // namespace
