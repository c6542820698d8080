// Shell folders and the smaller shell calls: special folders of a fresh host and their registry
// redirection, virtual folders, item lists and display names through the desktop folder, byte
// sizes, path compaction, change notifications and the taskbar.
#include "platform/win32/shell.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/registry.h"
#include "tests/support/test_host.h"

namespace {

using platform::host::Host;
namespace fact = platform::host::fact;
namespace text = platform::text;

constexpr const char16_t* kUserShellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char16_t* kShellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char16_t kPad = 0xBDBD;

std::u16string folderPath(int csidl, HRESULT* hr = nullptr) {
  char16_t path[MAX_PATH];
  std::fill(std::begin(path), std::end(path), kPad);
  HRESULT r = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  if (hr) *hr = r;
  return path[0] == kPad ? u"<untouched>" : std::u16string(path);
}

// The Linux path of a Windows path on drive C:.
std::filesystem::path onC(const kipotest::TestHost& host, std::u16string_view windows) {
  EXPECT_EQ(windows.substr(0, 3), u"C:\\");
  std::string rel = text::toUtf8(windows.substr(3));
  for (char& c : rel)
    if (c == '\\') c = '/';
  return host.c(rel);
}

std::u16string nameOf(IShellFolder* folder, LPCITEMIDLIST pidl, SHGDNF flags) {
  STRRET s;
  if (FAILED(folder->GetDisplayNameOf(pidl, flags, &s))) return u"<failed>";
  char16_t buf[MAX_PATH];
  if (FAILED(StrRetToBufW(&s, pidl, buf, MAX_PATH))) return u"<failed>";
  return buf;
}

void setString(HKEY root, const char16_t* key, const char16_t* name, DWORD type, std::u16string_view value) {
  std::u16string v(value);
  ASSERT_EQ(SHSetValueW(root, key, name, type, v.c_str(), static_cast<DWORD>((v.size() + 1) * 2)),
            static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(ShellFolders, FreshHostFoldersAreExistingFoldersOfDriveC) {
  kipotest::TestHost host;
  const std::u16string profile = u"C:\\Documents and Settings\\Robin";
  const std::u16string all = u"C:\\Documents and Settings\\All Users";
  struct Case {
    int csidl;
    std::u16string path;
  } const cases[] = {
      {CSIDL_DESKTOP, profile + u"\\Desktop"},
      {CSIDL_PROGRAMS, profile + u"\\Start Menu\\Programs"},
      {CSIDL_PERSONAL, profile + u"\\My Documents"},
      {CSIDL_FAVORITES, profile + u"\\Favorites"},
      {CSIDL_STARTUP, profile + u"\\Start Menu\\Programs\\Startup"},
      {CSIDL_RECENT, profile + u"\\Recent"},
      {CSIDL_STARTMENU, profile + u"\\Start Menu"},
      {CSIDL_MYMUSIC, profile + u"\\My Documents\\My Music"},
      {CSIDL_DESKTOPDIRECTORY, profile + u"\\Desktop"},
      {CSIDL_NETHOOD, profile + u"\\NetHood"},
      {CSIDL_TEMPLATES, profile + u"\\Templates"},
      {CSIDL_COMMON_DESKTOPDIRECTORY, all + u"\\Desktop"},
      {CSIDL_APPDATA, profile + u"\\Application Data"},
      {CSIDL_PRINTHOOD, profile + u"\\PrintHood"},
      {CSIDL_LOCAL_APPDATA, profile + u"\\Local Settings\\Application Data"},
      {CSIDL_INTERNET_CACHE, profile + u"\\Local Settings\\Temporary Internet Files"},
      {CSIDL_COOKIES, profile + u"\\Cookies"},
      {CSIDL_HISTORY, profile + u"\\Local Settings\\History"},
      {CSIDL_COMMON_APPDATA, all + u"\\Application Data"},
      {CSIDL_WINDOWS, u"C:\\WINDOWS"},
      {CSIDL_SYSTEM, u"C:\\WINDOWS\\system32"},
      {CSIDL_PROGRAM_FILES, u"C:\\Program Files"},
      {CSIDL_MYPICTURES, profile + u"\\My Documents\\My Pictures"},
      {CSIDL_PROFILE, profile},
      {CSIDL_PROGRAM_FILES_COMMON, u"C:\\Program Files\\Common Files"},
      {CSIDL_COMMON_DOCUMENTS, all + u"\\Documents"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.csidl);
    HRESULT hr = E_UNEXPECTED;
    EXPECT_EQ(folderPath(c.csidl, &hr), c.path);
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(std::filesystem::is_directory(onC(host, c.path)));
    char16_t special[MAX_PATH] = {};
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, special, c.csidl, FALSE));
    EXPECT_EQ(std::u16string(special), c.path);
  }
  // The 8-bit forms the product uses.
  char path[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_APPDATA, FALSE));
  EXPECT_STREQ(path, "C:\\Documents and Settings\\Robin\\Application Data");
}

TEST(ShellFolders, MissingFolderFailsUnlessCreated) {
  kipotest::TestHost host;
  std::filesystem::remove_all(host.c("Documents and Settings/Robin/Favorites"));
  HRESULT hr = S_OK;
  EXPECT_EQ(folderPath(CSIDL_FAVORITES, &hr), u"");
  EXPECT_EQ(hr, E_FAIL);
  char narrow[MAX_PATH] = "x";
  EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_FAVORITES, nullptr, SHGFP_TYPE_CURRENT, narrow), S_FALSE)
      << "the 8-bit form says S_FALSE";
  char16_t path[MAX_PATH];
  EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_FAVORITES, FALSE));
  EXPECT_FALSE(std::filesystem::exists(host.c("Documents and Settings/Robin/Favorites")));
  // fCreate and CSIDL_FLAG_CREATE make it, with missing parents.
  EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_FAVORITES, TRUE));
  EXPECT_TRUE(std::filesystem::is_directory(host.c("Documents and Settings/Robin/Favorites")));
  std::filesystem::remove_all(host.c("Documents and Settings/Robin/Local Settings"));
  EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_HISTORY | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_TRUE(std::filesystem::is_directory(host.c("Documents and Settings/Robin/Local Settings/History")));
  // CSIDL_FLAG_DONT_VERIFY gives the path of a folder that is not there.
  std::filesystem::remove_all(host.c("Documents and Settings/Robin/Cookies"));
  EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_COOKIES | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Documents and Settings\\Robin\\Cookies");
}

TEST(ShellFolders, FollowUserShellFoldersThenShellFolders) {
  kipotest::TestHost host;
  std::filesystem::create_directories(host.c("Documents and Settings/Robin/Papers"));
  std::filesystem::create_directories(host.c("Elsewhere"));
  // A changed User Shell Folders value is expanded and followed at once.
  setString(HKEY_CURRENT_USER, kUserShellFolders, u"Personal", REG_EXPAND_SZ, u"%USERPROFILE%\\Papers");
  EXPECT_EQ(folderPath(CSIDL_PERSONAL), u"C:\\Documents and Settings\\Robin\\Papers");
  // The default place ignores the registry.
  char16_t path[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_DEFAULT, path), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Documents and Settings\\Robin\\My Documents");
  // Without a User Shell Folders value, the Shell Folders one counts.
  setString(HKEY_CURRENT_USER, kShellFolders, u"Personal", REG_SZ, u"C:\\Elsewhere");
  EXPECT_EQ(SHDeleteValueW(HKEY_CURRENT_USER, kUserShellFolders, u"Personal"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(folderPath(CSIDL_PERSONAL), u"C:\\Elsewhere");
  // Without either, the default place under the profile.
  EXPECT_EQ(SHDeleteValueW(HKEY_CURRENT_USER, kShellFolders, u"Personal"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(folderPath(CSIDL_PERSONAL), u"C:\\Documents and Settings\\Robin\\My Documents");
  // Common folders follow the machine's values.
  std::filesystem::create_directories(host.c("Shared"));
  setString(HKEY_LOCAL_MACHINE, kUserShellFolders, u"Common Desktop", REG_EXPAND_SZ, u"%SystemDrive%\\Shared");
  EXPECT_EQ(folderPath(CSIDL_COMMON_DESKTOPDIRECTORY), u"C:\\Shared");

  // The item list and its display names follow too; My Documents keeps its shown name.
  setString(HKEY_CURRENT_USER, kUserShellFolders, u"Personal", REG_EXPAND_SZ, u"%USERPROFILE%\\Papers");
  LPITEMIDLIST pidl = nullptr;
  ASSERT_EQ(SHGetFolderLocation(nullptr, CSIDL_PERSONAL, nullptr, 0, &pidl), S_OK);
  ASSERT_TRUE(SHGetPathFromIDListW(pidl, path));
  EXPECT_EQ(std::u16string(path), u"C:\\Documents and Settings\\Robin\\Papers");
  IShellFolder* desktop = nullptr;
  ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
  EXPECT_EQ(nameOf(desktop, pidl, SHGDN_NORMAL), u"My Documents");
  desktop->Release();
  ILFree(pidl);
}

TEST(ShellFolders, VirtualFoldersHaveNoPath) {
  kipotest::TestHost host;
  for (int csidl : {CSIDL_INTERNET, CSIDL_CONTROLS, CSIDL_PRINTERS, CSIDL_BITBUCKET, CSIDL_DRIVES, CSIDL_NETWORK}) {
    SCOPED_TRACE(csidl);
    HRESULT hr = S_OK;
    EXPECT_EQ(folderPath(csidl, &hr), u"") << "emptied";
    EXPECT_EQ(hr, E_FAIL);
    char16_t path[MAX_PATH] = u"x";
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE));
    // They have an item list, which has no path either.
    LPITEMIDLIST pidl = nullptr;
    ASSERT_EQ(SHGetFolderLocation(nullptr, csidl, nullptr, 0, &pidl), S_OK);
    path[0] = u'x';
    EXPECT_FALSE(SHGetPathFromIDListW(pidl, path));
    EXPECT_EQ(path[0], 0);
    ILFree(pidl);
  }
  HRESULT hr = S_OK;
  EXPECT_EQ(folderPath(0x3F, &hr), u"");
  EXPECT_EQ(hr, E_INVALIDARG);
  LPITEMIDLIST pidl = reinterpret_cast<LPITEMIDLIST>(&hr);
  EXPECT_EQ(SHGetFolderLocation(nullptr, 0x3F, nullptr, 0, &pidl), E_INVALIDARG);
  EXPECT_EQ(pidl, nullptr);
}

TEST(ShellFolders, DisplayNamesThroughTheDesktopFolder) {
  kipotest::TestHost host;
  const std::u16string profile = u"C:\\Documents and Settings\\Robin";
  struct Case {
    int csidl;
    const char16_t* normal;
    std::u16string parsing;
  } const cases[] = {
      {CSIDL_DESKTOP, u"Desktop", profile + u"\\Desktop"},
      {CSIDL_INTERNET, u"Internet Explorer", u"::{871C5380-42A0-1069-A2EA-08002B30309D}"},
      {CSIDL_PERSONAL, u"My Documents", profile + u"\\My Documents"},
      {CSIDL_FAVORITES, u"Favorites", profile + u"\\Favorites"},
      {CSIDL_RECENT, u"My Recent Documents", profile + u"\\Recent"},
      {CSIDL_BITBUCKET, u"Recycle Bin", u"::{645FF040-5081-101B-9F08-00AA002F954E}"},
      {CSIDL_DESKTOPDIRECTORY, u"Desktop", profile + u"\\Desktop"},
      {CSIDL_DRIVES, u"My Computer", u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"},
      {CSIDL_NETWORK, u"My Network Places", u"::{208D2C60-3AEA-1069-A2D7-08002B30309D}"},
      {CSIDL_COMMON_DESKTOPDIRECTORY, u"Desktop", u"C:\\Documents and Settings\\All Users\\Desktop"},
      {CSIDL_APPDATA, u"Application Data", profile + u"\\Application Data"},
      {CSIDL_COOKIES, u"Cookies", profile + u"\\Cookies"},
      {CSIDL_HISTORY, u"History", profile + u"\\Local Settings\\History"},
      {CSIDL_INTERNET_CACHE, u"Temporary Internet Files", profile + u"\\Local Settings\\Temporary Internet Files"},
      {CSIDL_PROFILE, u"Robin", profile},
      {CSIDL_SYSTEM, u"system32", u"C:\\WINDOWS\\system32"},
      {CSIDL_COMMON_DOCUMENTS, u"Shared Documents", u"C:\\Documents and Settings\\All Users\\Documents"},
  };
  IShellFolder* desktop = nullptr;
  ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
  LPMALLOC malloc = nullptr;
  ASSERT_EQ(SHGetMalloc(&malloc), S_OK);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.csidl);
    LPITEMIDLIST pidl = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, c.csidl, &pidl), S_OK);
    EXPECT_EQ(nameOf(desktop, pidl, SHGDN_NORMAL), c.normal);
    EXPECT_EQ(nameOf(desktop, pidl, SHGDN_INFOLDER), c.normal);
    EXPECT_EQ(nameOf(desktop, pidl, SHGDN_FORPARSING), c.parsing);
    // The product's way: the parent folder of the list's last item.
    IShellFolder* parent = nullptr;
    LPCITEMIDLIST last = nullptr;
    ASSERT_EQ(SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(&parent), &last), S_OK);
    EXPECT_EQ(nameOf(parent, last, SHGDN_NORMAL), c.normal);
    parent->Release();
    malloc->Free(pidl);
  }
  malloc->Release();
  desktop->Release();
}

TEST(ShellFolders, ItemListsOfParsedPaths) {
  kipotest::TestHost host;
  std::ofstream(host.c("Documents and Settings/Robin/My Documents/report.doc")) << "x";
  IShellFolder* desktop = nullptr;
  ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);

  std::u16string file = u"C:\\Documents and Settings\\Robin\\My Documents\\report.doc";
  LPITEMIDLIST pidl = nullptr;
  ULONG eaten = 0, attributes = SFGAO_FOLDER | SFGAO_FILESYSTEM;
  ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, file.data(), &eaten, &pidl, &attributes), S_OK);
  EXPECT_EQ(eaten, file.size());
  EXPECT_EQ(attributes, static_cast<ULONG>(SFGAO_FILESYSTEM)) << "a file is no folder";
  EXPECT_EQ(nameOf(desktop, pidl, SHGDN_NORMAL), u"report.doc");
  EXPECT_EQ(nameOf(desktop, pidl, SHGDN_FORPARSING), file);
  EXPECT_EQ(nameOf(desktop, pidl, SHGDN_FORPARSING | SHGDN_INFOLDER), u"report.doc");
  char narrow[MAX_PATH];
  ASSERT_TRUE(SHGetPathFromIDListA(pidl, narrow));
  EXPECT_EQ(std::string(narrow), text::toUtf8(file));

  // A copy is an equal list; the folder it is in, parsed from its path, has its special name.
  LPITEMIDLIST copy = ILClone(pidl);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(ILGetSize(copy), ILGetSize(pidl));
  EXPECT_EQ(desktop->CompareIDs(0, pidl, copy), S_OK);
  ILFree(copy);
  std::u16string folder = u"c:\\documents and settings\\robin\\my documents\\";
  LPITEMIDLIST folderList = nullptr;
  ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, folder.data(), nullptr, &folderList, nullptr), S_OK);
  EXPECT_EQ(nameOf(desktop, folderList, SHGDN_NORMAL), u"My Documents");
  ILFree(folderList);
  ILFree(pidl);

  std::u16string missing = u"C:\\Documents and Settings\\Robin\\nothing.txt";
  pidl = reinterpret_cast<LPITEMIDLIST>(&eaten);
  EXPECT_EQ(desktop->ParseDisplayName(nullptr, nullptr, missing.data(), nullptr, &pidl, nullptr),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(pidl, nullptr);
  std::u16string relative = u"My Documents";
  EXPECT_EQ(desktop->ParseDisplayName(nullptr, nullptr, relative.data(), nullptr, &pidl, nullptr), E_INVALIDARG);

  // A list the shell did not make is refused, not misread.
  BYTE foreign[] = {6, 0, 'X', 1, 0, 0, 0, 0};
  STRRET s;
  EXPECT_EQ(desktop->GetDisplayNameOf(reinterpret_cast<LPCITEMIDLIST>(foreign), SHGDN_NORMAL, &s), E_INVALIDARG);
  char16_t path[MAX_PATH] = u"x";
  EXPECT_FALSE(SHGetPathFromIDListW(reinterpret_cast<LPCITEMIDLIST>(foreign), path));
  desktop->Release();
}

TEST(ShellTexts, ByteSizesHaveThreeTruncatedDigits) {
  kipotest::TestHost host;
  struct Case {
    LONGLONG bytes;
    const char16_t* text;
  } const cases[] = {
      {0, u"0 bytes"},
      {532, u"532 bytes"},
      {1023, u"1023 bytes"},
      {1024, u"1.00 KB"},
      {1340, u"1.30 KB"},
      {1535, u"1.49 KB"},  // 1.499: truncated, not rounded
      {10239, u"9.99 KB"},
      {10240, u"10.0 KB"},
      {23506, u"22.9 KB"},
      {102400, u"100 KB"},
      {1023999, u"999 KB"},
      {1024000, u"0.97 MB"},  // 1000 KB and more move to the next unit
      {2400016, u"2.28 MB"},
      {11010048, u"10.5 MB"},
      {2400000000LL, u"2.23 GB"},
      {1099511627776LL, u"1.00 TB"},
      {1152921504606846976LL, u"1.00 EB"},
  };
  for (const auto& c : cases) {
    char16_t buf[32];
    EXPECT_EQ(StrFormatByteSizeW(c.bytes, buf, 32), buf);
    EXPECT_EQ(std::u16string(buf), c.text) << c.bytes;
  }
  // A short buffer gets the start of the text, NUL-terminated, and nothing past it.
  char16_t small[6];
  std::fill(std::begin(small), std::end(small), kPad);
  StrFormatByteSizeW(1340, small, 4);
  EXPECT_EQ(std::u16string(small), u"1.3");
  EXPECT_EQ(small[4], kPad);
  char narrow[16];
  EXPECT_STREQ(StrFormatByteSize64A(23506, narrow, 16), "22.9 KB");
}

TEST(ShellTexts, ByteSizesUseTheLocaleDecimalSeparator) {
  platform::host::HostOptions options;
  options.facts[fact::UserLocale] = "040c";
  kipotest::TestHost host(options);
  char16_t buf[32];
  EXPECT_EQ(std::u16string(StrFormatByteSizeW(2400016, buf, 32)), u"2,28 MB");
}

TEST(ShellTexts, CompactPathKeepsTheLastComponent) {
  // Every character is kDefaultCharWidth (6) pixels wide.
  const std::u16string path = u"C:\\Documents and Settings\\Robin\\file.txt";  // 40 characters
  struct Case {
    UINT chars;  // width in characters
    const char16_t* result;
  } const cases[] = {
      {40, u"C:\\Documents and Settings\\Robin\\file.txt"},  // fits: unchanged
      {39, u"C:\\Documents and Settings\\R...\\file.txt"},  // cut inside a component
      {20, u"C:\\Docum...\\file.txt"},
      {12, u"...\\file.txt"},
      {10, u"file.tx..."},  // even "...\file.txt" is too wide
      {4, u"f..."},
      {2, u".."},
      {0, u""},
  };
  for (const auto& c : cases) {
    char16_t buf[MAX_PATH];
    std::fill(std::begin(buf), std::end(buf), kPad);
    std::memcpy(buf, path.c_str(), (path.size() + 1) * 2);
    EXPECT_TRUE(PathCompactPathW(nullptr, buf, c.chars * platform::shell::kDefaultCharWidth));
    EXPECT_EQ(std::u16string(buf), c.result) << c.chars;
    EXPECT_EQ(buf[path.size() + 1], kPad);
  }
  char16_t name[] = u"averyveryverylongname.txt";
  EXPECT_TRUE(PathCompactPathW(nullptr, name, 10 * platform::shell::kDefaultCharWidth));
  EXPECT_EQ(std::u16string(name), u"averyve...");
}

TEST(ShellNotify, ChangesAreRecordedForEveryProcessToSee) {
  kipotest::TestHost host;
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, u"E:\\", nullptr);
  SHChangeNotify(SHCNE_RENAMEITEM, SHCNF_PATHA | SHCNF_FLUSH, "C:\\a.txt", "C:\\b.txt");
  LPITEMIDLIST pidl = nullptr;
  ASSERT_EQ(SHGetFolderLocation(nullptr, CSIDL_DRIVES, nullptr, 0, &pidl), S_OK);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, pidl, nullptr);
  ILFree(pidl);
  auto seen = platform::shell::changeNotifications();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].event, SHCNE_UPDATEDIR);
  EXPECT_EQ(seen[0].item1, u"E:\\");
  EXPECT_EQ(seen[1].item1, u"C:\\a.txt");
  EXPECT_EQ(seen[1].item2, u"C:\\b.txt");
  EXPECT_EQ(seen[2].item1, u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}");

  std::string out;
  ASSERT_EQ(kipotest::runTool({"shell-changes"}, &out), 0);
  EXPECT_EQ(out.find("0x00001000\tE:\\\t\t"), 0u) << out;
  ASSERT_EQ(kipotest::runTool({"shell-changes", "--clear"}), 0);
  EXPECT_TRUE(platform::shell::changeNotifications().empty());
}

TEST(ShellTaskbar, PositionAndStateFromTheHost) {
  kipotest::TestHost host;
  struct Case {
    const char* position;
    UINT edge;
    RECT rc;
  } const cases[] = {
      {"bottom", ABE_BOTTOM, {0, 738, 1024, 768}},
      {"top", ABE_TOP, {0, 0, 1024, 30}},
      {"left", ABE_LEFT, {0, 0, 30, 768}},
      {"right", ABE_RIGHT, {994, 0, 1024, 768}},
  };
  for (const auto& c : cases) {
    Host::current().setFact(fact::TaskbarPosition, c.position);
    APPBARDATA abd{};
    abd.cbSize = sizeof abd;
    abd.uEdge = 0xdeadbeef;
    ASSERT_TRUE(SHAppBarMessage(ABM_GETTASKBARPOS, &abd)) << c.position;
    EXPECT_EQ(abd.uEdge, c.edge) << c.position;
    EXPECT_EQ(abd.rc.left, c.rc.left);
    EXPECT_EQ(abd.rc.top, c.rc.top);
    EXPECT_EQ(abd.rc.right, c.rc.right);
    EXPECT_EQ(abd.rc.bottom, c.rc.bottom);
  }
  APPBARDATA abd{};
  abd.cbSize = sizeof abd;
  EXPECT_EQ(SHAppBarMessage(ABM_GETSTATE, &abd), static_cast<UINT_PTR>(ABS_ALWAYSONTOP));
  // Explorer's own settings say auto-hide.
  BYTE settings[40] = {40, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, ABS_AUTOHIDE | ABS_ALWAYSONTOP};
  ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StuckRects2", u"Settings",
                        REG_BINARY, settings, sizeof settings),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(SHAppBarMessage(ABM_GETSTATE, &abd), static_cast<UINT_PTR>(ABS_AUTOHIDE | ABS_ALWAYSONTOP));
}

}  // namespace
