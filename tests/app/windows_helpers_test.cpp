// The shared Windows helpers: version tests from the host's facts, Base64 (with short last
// groups), the administrator check with and without impersonation, the timed box (its own
// WM_QUIT against anyone else's), the show-desktop key press, shell and taskbar helpers, the
// process list, and the removal of the earlier product (which must not disturb the product's
// key).
#include "app/windows_helpers.h"

#include <thread>

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "platform/host/host.h"
#include "platform/host/users.h"
#include "platform/ui/driver.h"
#include "platform/win32/input.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"
#include "tests/support/test_windows.h"

namespace {

using apptest::AppTest;
using platform::host::Host;
namespace fact = platform::host::fact;

std::vector<BYTE> bytesOf(std::string_view s) { return std::vector<BYTE>(s.begin(), s.end()); }

class WindowsHelpersTest : public AppTest {
 protected:
  ~WindowsHelpersTest() override {
    RevertToSelf();
    CFolderLookup::setDevicePathSource(nullptr);
    kipotest::destroyThreadWindows(true);
  }

  static HWND makeWindow(const char16_t* cls, const char16_t* title, DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE) {
    kipotest::registerWindowClass(cls);
    return CreateWindowExW(0, cls, title, style, 10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
  }

  static CString regString(const char16_t* path, const char16_t* name) {
    CRegistry key{CString(path)};
    CString value;
    if (!key.getString(name, value)) return CString(u"<none>");
    return value;
  }
};

TEST_F(WindowsHelpersTest, WindowsVersionTestsFollowTheHost) {
  struct Case {
    const char* version;
    bool xp, w2000, before;
  } cases[] = {{"5.1", true, false, false}, {"5.2", true, false, false}, {"5.0", false, true, false},
               {"4.0", false, false, true}, {"6.0", false, false, false}};
  for (const Case& c : cases) {
    Host::current().setFact(fact::WindowsVersion, c.version);
    EXPECT_EQ(isWindowsXP(), c.xp) << c.version;
    EXPECT_EQ(isWindows2000(), c.w2000) << c.version;
    EXPECT_EQ(isBeforeWindows2000(), c.before) << c.version;
  }
}

TEST_F(WindowsHelpersTest, Base64FollowsTheRfcVectors) {
  const std::pair<const char*, const char16_t*> vectors[] = {
      {"", u""},          {"f", u"Zg=="},         {"fo", u"Zm8="},         {"foo", u"Zm9v"},
      {"foob", u"Zm9vYg=="}, {"fooba", u"Zm9vYmE="}, {"foobar", u"Zm9vYmFy"},
  };
  for (auto [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encode(bytesOf(plain)), CString(encoded)) << plain;
    EXPECT_EQ(base64Decode(CString(encoded)), bytesOf(plain)) << plain;
  }
  std::vector<BYTE> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<BYTE>(i);
  EXPECT_EQ(base64Decode(base64Encode(all)), all);
}

TEST_F(WindowsHelpersTest, Base64DecodesShortAndDirtyInput) {
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"Zg", "f"},                 // an unpadded group of two is one byte, not "f\0\0"
      {u"Zm8", "fo"},               // three are two
      {u"Zm9vY", "foo"},            // a lone last character makes nothing
      {u"Zm9v\r\nYmFy", "foobar"},  // line breaks and other characters are dropped
      {u"Zm 9v-Y*g==", "foob"},
      {u"Zg=AZm8=", "ffo"},         // "=" in the third place ends that group only
      {u"=AAAZg==", "f"},           // a group that starts with "=" makes nothing
      {u"", ""},
  };
  for (auto [text, plain] : cases) EXPECT_EQ(base64Decode(CString(text)), bytesOf(plain)) << utf8(CString(text));
}

TEST_F(WindowsHelpersTest, AdministratorCheckUsesTheImpersonationTokenElseTheProcessToken) {
  Host& h = Host::current();
  h.setFact(fact::UserIsAdmin, "0");
  EXPECT_FALSE(isUserAdministrator()) << "no thread token: the process token's groups";
  h.setFact(fact::UserIsAdmin, "1");
  EXPECT_TRUE(isUserAdministrator());

  h.setFact(fact::UserIsAdmin, "0");
  std::string problem;
  ASSERT_TRUE(platform::host::addUser(h, {u"Admin2", u"secret", true, false}, &problem)) << problem;
  HANDLE token = reinterpret_cast<HANDLE>(1);
  EXPECT_FALSE(impersonateUser(CString(u"Admin2"), CString(u"wrong"), token));
  EXPECT_EQ(token, nullptr);
  ASSERT_TRUE(impersonateUser(CString(u"Admin2"), CString(u"secret"), token));
  EXPECT_NE(token, nullptr);
  EXPECT_TRUE(isUserAdministrator()) << "the impersonated administrator";
  RevertToSelf();
  CloseHandle(token);
  EXPECT_FALSE(isUserAdministrator());

  h.setFact(fact::WindowsVersion, "4.0");
  EXPECT_TRUE(isUserAdministrator()) << "before Windows 2000 everyone is";
}

TEST_F(WindowsHelpersTest, SystemLanguageAndCountryInEnglish) {
  EXPECT_EQ(utf8(getSystemLanguageName()), "English");
  EXPECT_EQ(utf8(getSystemCountryName()), "United States");
  Host::current().setFact(fact::SystemLocale, "040c");
  EXPECT_EQ(utf8(getSystemLanguageName()), "French");
  EXPECT_EQ(utf8(getSystemCountryName()), "France");
}

TEST_F(WindowsHelpersTest, ToUtf8CountsTheNul) {
  std::size_t length = 99;
  char* text = toUtf8(CString(u"d\u00e9j\u00e0"), length);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(length, 7u);
  EXPECT_STREQ(text, "d\xC3\xA9j\xC3\xA0");
  std::free(text);
}

TEST_F(WindowsHelpersTest, AskYesNoIsASystemModalEnglishQuestion) {
  answers = {IDYES, IDNO};
  EXPECT_TRUE(askYesNo(u"Remove %s?", u"E:\\x"));
  EXPECT_FALSE(askYesNo(u"Again?"));
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(utf8(boxes[0].text), "Remove E:\\x?");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL));
  EXPECT_EQ(boxes[0].language, MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL));
  EXPECT_EQ(boxes[0].caption, programCaption());
  EXPECT_EQ(boxes[0].owner, nullptr);
}

TEST_F(WindowsHelpersTest, TimedBoxAnswersZeroWhenTheTimeRunsOut) {
  HWND main = makeWindow(u"TimedOwner", u"main");
  SetActiveWindow(main);
  EXPECT_EQ(timedMessageBox(50, main, CString(u"Closing soon"), CString(u"Kipo"), MB_OK), 0);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(GetActiveWindow(), main);
  MSG m;
  EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "its own WM_QUIT was consumed";
}

TEST_F(WindowsHelpersTest, TimedBoxAnsweredInTimeLeavesNoQuitBehind) {
  platform::ui::Script s;
  s.box(u"Closing soon").answer(IDOK);
  // Long enough that a loaded machine still answers before the time runs out.
  EXPECT_EQ(timedMessageBox(1500, nullptr, CString(u"Closing soon"), CString(u"Kipo"), MB_OK), IDOK);
  EXPECT_TRUE(s.done());
  EXPECT_TRUE(s.failures().empty());
  Sleep(1600);  // the timer would have fired by now
  MSG m;
  for (int i = 0; i < 5; ++i)
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      EXPECT_NE(m.message, static_cast<UINT>(WM_QUIT));
      DispatchMessageW(&m);
    }
}

TEST_F(WindowsHelpersTest, TimedBoxKeepsAnotherQuitForTheCallersLoop) {
  PostQuitMessage(7);  // the program is quitting while the box comes up
  timedMessageBox(5000, nullptr, CString(u"Closing soon"), CString(u"Kipo"), MB_OK);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 7u) << "the caller's quit, with its code";
}

TEST_F(WindowsHelpersTest, ShowDesktopPressesWindowsAndDAndTheSecondPressRestores) {
  platform::input::clearRecordedInput();
  HWND w = makeWindow(u"SomeApp", u"app");
  showDesktop();
  auto events = platform::input::recordedInput();
  ASSERT_EQ(events.size(), 4u);
  const std::pair<WORD, DWORD> expected[] = {
      {VK_LWIN, 0}, {0x44, 0}, {0x44, KEYEVENTF_KEYUP}, {VK_LWIN, KEYEVENTF_KEYUP}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(events[i].vk, expected[i].first) << i;
    EXPECT_EQ(events[i].flags, expected[i].second) << i;
  }
  EXPECT_TRUE(IsIconic(w));
  EXPECT_GE(GetAsyncKeyState(VK_LWIN), 0) << "nothing is left held down";
  showDesktop();
  EXPECT_FALSE(IsIconic(w));
}

TEST_F(WindowsHelpersTest, ShellAndTaskbarHelpers) {
  EXPECT_EQ(utf8(getShell32Path()), "C:\\WINDOWS\\system32\\shell32.dll");
  EXPECT_EQ(getTaskbarEdge(), static_cast<UINT>(ABE_BOTTOM));
  Host::current().setFact(fact::TaskbarPosition, "top");
  EXPECT_EQ(getTaskbarEdge(), static_cast<UINT>(ABE_TOP));
  EXPECT_TRUE(isTaskbarAlwaysOnTop());
  EXPECT_FALSE(isTaskbarAutoHide());
  BYTE settings[40] = {};
  settings[8] = ABS_AUTOHIDE;
  CRegistry stuck{CString(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StuckRects2")};
  ASSERT_TRUE(stuck.setBinary(u"Settings", settings, sizeof settings));
  EXPECT_TRUE(isTaskbarAutoHide());
  EXPECT_FALSE(isTaskbarAlwaysOnTop());

  platform::shell::clearChangeNotifications();
  notifyShellFolderChanged(CString(u"C:\\Documents and Settings"));
  auto changes = platform::shell::changeNotifications();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].event, SHCNE_UPDATEDIR);
  EXPECT_EQ(changes[0].item1, u"C:\\Documents and Settings");

  EXPECT_EQ(getSpecialFolderPath(CSIDL_DRIVES), CString()) << "a virtual folder has no path";
  WCHAR personal[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, personal, CSIDL_PERSONAL, FALSE));
  EXPECT_EQ(getSpecialFolderPath(CSIDL_PERSONAL), CString(personal));
}

TEST_F(WindowsHelpersTest, RefreshDesktopSendsTheShellItsRefreshCommand) {
  static std::vector<WPARAM> commands;
  commands.clear();
  kipotest::registerWindowClass(u"Progman", [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
    if (msg == WM_COMMAND) commands.push_back(wp);
    return DefWindowProcW(h, msg, wp, lp);
  });
  refreshDesktop();  // no desktop window: nothing to do
  HWND desktop = CreateWindowExW(0, u"Progman", u"Program Manager", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768, nullptr,
                                 nullptr, nullptr, nullptr);
  ASSERT_TRUE(desktop);
  refreshDesktop();
  EXPECT_EQ(commands, std::vector<WPARAM>{kDesktopRefreshCommand});
}

TEST_F(WindowsHelpersTest, ReplaceWindowTextReplacesEveryOccurrence) {
  HWND w = makeWindow(u"TextApp", u"%an% says hello to %an%");
  EXPECT_TRUE(replaceWindowText(w, CString(u"%an%"), CString(u"Kipo")));
  WCHAR text[64] = {};
  GetWindowTextW(w, text, 64);
  EXPECT_EQ(std::u16string(text), u"Kipo says hello to Kipo");
  EXPECT_FALSE(replaceWindowText(nullptr, CString(u"a"), CString(u"b")));
}

TEST_F(WindowsHelpersTest, ProcessListHoldsLowerCaseFileNamesOfTheUsersProcesses) {
  CStringArray names;
  ASSERT_TRUE(listUserProcessNames(names));
  ASSERT_GT(names.GetSize(), 0);
  PROCESSENTRY32W own{};
  own.dwSize = sizeof own;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  CString ownName;
  for (BOOL more = Process32FirstW(snap, &own); more; more = Process32NextW(snap, &own))
    if (own.th32ProcessID == GetCurrentProcessId()) ownName = own.szExeFile;
  CloseHandle(snap);
  ownName.MakeLower();
  bool found = false;
  for (INT_PTR i = 0; i < names.GetSize(); ++i) {
    const CString& n = names[i];
    EXPECT_EQ(n.Find(u'\\'), -1) << utf8(n);
    CString lower = n;
    lower.MakeLower();
    EXPECT_EQ(n, lower);
    if (n == getFileName(ownName)) found = true;
  }
  EXPECT_TRUE(found) << "this test program runs as the host user";
}

// ---- the earlier product ----

const EarlierProduct kEarlier{CString(u"Marrowvale"), CString(u"Ferrowind"), CString(u"CustomizerMainFrameClass")};
constexpr const char16_t* kOldKey = u"HKEY_CURRENT_USER\\Software\\Marrowvale\\Ferrowind";
constexpr const char16_t* kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
constexpr const char16_t* kRun = u"HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST_F(WindowsHelpersTest, NothingToRemoveSucceedsInEveryStep) {
  CFolderLookup::setDevicePathSource([] { return CString(u"C:\\Drive"); });
  EXPECT_TRUE(removeEarlierProduct(kEarlier));
}

TEST_F(WindowsHelpersTest, EarlierProductSettingsJoinTheProductKeyWithoutReplacingIt) {
  // The product's key holds a host value parked at login; the earlier product has its own.
  CRegistry product{CString(kProductKey)};
  ASSERT_TRUE(product.setString(u"Kipo Start Page", CString(u"http://host.example/")));
  CRegistry parked{CString(kProductKey) + u"\\Kipo Url History"};
  ASSERT_TRUE(parked.setDword(u"Count", 3));
  CRegistry old{CString(kOldKey)};
  ASSERT_TRUE(old.setString(u"Kipo Start Page", CString(u"http://old.example/")));
  ASSERT_TRUE(old.setDword(u"OldOnly", 5));
  CRegistry oldParked{CString(kOldKey) + u"\\Kipo Url History"};
  ASSERT_TRUE(oldParked.setDword(u"Count", 9));
  ASSERT_TRUE(oldParked.setDword(u"Extra", 1));
  CRegistry oldSub{CString(kOldKey) + u"\\Options\\Deep"};
  ASSERT_TRUE(oldSub.setString(u"Name", CString(u"deep")));

  CRegistry run{CString(kRun)};
  ASSERT_TRUE(run.setString(u"Ferrowind", CString(u"C:\\ferro.exe")));
  ASSERT_TRUE(run.setString(u"Other", CString(u"C:\\other.exe")));
  host.write("Documents and Settings/" + utf8(CString(Host::current().factW(fact::UserName))) +
                 "/Application Data/Marrowvale/settings.ini",
             "x");
  host.write("Drive/Ferrowind.exe", "MZ");
  CFolderLookup::setDevicePathSource([] { return CString(u"C:\\Drive"); });

  EXPECT_TRUE(removeEarlierProduct(kEarlier));

  EXPECT_EQ(utf8(regString(kProductKey, u"Kipo Start Page")), "http://host.example/") << "the parked value stays";
  DWORD value = 0;
  CRegistry check{CString(kProductKey)};
  EXPECT_TRUE(check.getDword(u"OldOnly", value));
  EXPECT_EQ(value, 5u);
  CRegistry checkParked{CString(kProductKey) + u"\\Kipo Url History"};
  EXPECT_TRUE(checkParked.getDword(u"Count", value));
  EXPECT_EQ(value, 3u);
  EXPECT_TRUE(checkParked.getDword(u"Extra", value));
  EXPECT_EQ(utf8(regString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Options\\Deep", u"Name")), "deep");
  EXPECT_FALSE(CRegistry(CString(kOldKey)).isOpen()) << "the old key is gone";

  EXPECT_EQ(utf8(regString(kRun, u"Ferrowind")), "<none>");
  EXPECT_EQ(utf8(regString(kRun, u"Other")), "C:\\other.exe");
  EXPECT_TRUE(host.gone("Documents and Settings/" + utf8(CString(Host::current().factW(fact::UserName))) +
                        "/Application Data/Marrowvale"));
  EXPECT_TRUE(host.gone("Drive/Ferrowind.exe"));
}

TEST_F(WindowsHelpersTest, EarlierProductWindowsOfThisProgramAreAskedToCloseButNotWaitedFor) {
  static int closes = 0;
  closes = 0;
  kipotest::registerWindowClass(u"CustomizerMainFrameClass", [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
    if (msg == WM_CLOSE) ++closes;
    return DefWindowProcW(h, msg, wp, lp);
  });
  HWND w = CreateWindowExW(0, u"CustomizerMainFrameClass", u"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                           nullptr, nullptr);
  ASSERT_TRUE(w);
  EXPECT_TRUE(removeEarlierProduct(kEarlier));
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  EXPECT_EQ(closes, 1);
}

TEST_F(WindowsHelpersTest, CopyingMissingValuesNeedsASource) {
  EXPECT_FALSE(copyMissingRegistryTree(CString(u"HKEY_CURRENT_USER\\Software\\Nobody"), CString(kProductKey)));
  EXPECT_FALSE(copyMissingRegistryTree(CString(u"NOT_A_ROOT\\x"), CString(kProductKey)));
}

}  // namespace
