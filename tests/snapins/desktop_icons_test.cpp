// Desktop icon positions: saved into the registry and moved off screen, then put back, on a
// desktop list view of this process and on Explorer's own in another process; the special icons
// that never move, the file-extension setting held for the run, and the stored values the restore
// skips or refuses.
#include "snapins/desktop_icons.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/file_util.h"
#include "app/registry.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/win32.h"
#include "tests/app/profiles_fixture.h"
#include "tests/support/child_program.h"
#include "tests/support/test_windows.h"

namespace {

using apptest::ProfilesTest;

const char16_t* const kAdvanced = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;

struct Icon {
  const char16_t* text;
  POINT at;
};

// The icons every test lays out: three the shell names as its virtual folders or the two fixed
// texts, and the host's own files.
const Icon kIcons[] = {
    {u"My Computer", {10, 10}},      {u"Recycle Bin", {10, 90}},       {u"Network Neighborhood", {10, 170}},
    {u"report.doc", {200, 40}},      {u"Budget=2007.xls", {300, 400}}, {u"notes.txt", {-20, 5}},
};

std::map<std::string, POINT> stored() {
  std::map<std::string, POINT> out;
  CRegistry dips{CString(kDesktopIconPositionsKey)};
  CStringList names;
  dips.getValueNames(names);
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    CString name = names.GetNext(pos);
    BYTE data[16];
    DWORD size = sizeof data;
    if (!dips.getBinary(name, data, size) || size != 8) continue;
    POINT p{};
    std::memcpy(&p.x, data, 4);
    std::memcpy(&p.y, data + 4, 4);
    out[platform::text::toUtf8(name.view())] = p;
  }
  return out;
}

DWORD hideFileExt() {
  CRegistry r(CString(u"HKEY_CURRENT_USER\\") + kAdvanced);
  DWORD v = 0xDEADBEEF;
  r.getDword(u"HideFileExt", v);
  return v;
}

class DesktopIconsTest : public ProfilesTest {
 protected:
  DesktopIconsTest() {
    platform::host::Host& h = platform::host::Host::current();
    h.setFact(platform::host::fact::ScreenWidth, std::to_string(kScreenWidth));
    h.setFact(platform::host::fact::ScreenHeight, std::to_string(kScreenHeight));
  }
  ~DesktopIconsTest() override { kipotest::destroyThreadWindows(); }

  // A desktop of this process: "Progman" > "SHELLDLL_DefView" > "SysListView32" with the icons.
  HWND makeDesktop(const std::vector<Icon>& icons) {
    InitCommonControls();
    kipotest::registerWindowClass(u"Progman");
    kipotest::registerWindowClass(u"SHELLDLL_DefView");
    HWND progman = CreateWindowExW(0, u"Progman", u"Program Manager", WS_POPUP, 0, 0, kScreenWidth, kScreenHeight,
                                   nullptr, nullptr, nullptr, nullptr);
    HWND view = CreateWindowExW(0, u"SHELLDLL_DefView", u"", WS_CHILD, 0, 0, kScreenWidth, kScreenHeight, progman,
                                nullptr, nullptr, nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, u"FolderView", WS_CHILD | LVS_ICON, 0, 0, kScreenWidth, kScreenHeight,
                                view, nullptr, nullptr, nullptr);
    for (std::size_t i = 0; i < icons.size(); ++i) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      std::u16string text = icons[i].text;
      item.pszText = text.data();
      EXPECT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), static_cast<LRESULT>(i));
      POINT p = icons[i].at;
      SendMessageW(list, LVM_SETITEMPOSITION32, i, reinterpret_cast<LPARAM>(&p));
    }
    return list;
  }

  static POINT positionOf(HWND list, const char16_t* text) {
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = text;
    LRESULT i = SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find));
    POINT p{-9999, -9999};
    if (i >= 0) SendMessageW(list, LVM_GETITEMPOSITION, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&p));
    return p;
  }

  static void storePosition(const CString& name, LONG x, LONG y) {
    BYTE data[8];
    std::memcpy(data, &x, 4);
    std::memcpy(data + 4, &y, 4);
    CRegistry(CString(kDesktopIconPositionsKey), true, true).setBinary(name, data, 8);
  }
};

TEST_F(DesktopIconsTest, SaveParksTheHostsIconsOffScreenAndRestorePutsEachBack) {
  HWND list = makeDesktop(std::vector<Icon>(std::begin(kIcons), std::end(kIcons)));
  CRegistry(CString(u"HKEY_CURRENT_USER\\") + kAdvanced, true, true).setDword(u"HideFileExt", 1);
  CRegistry(CString(kDesktopIconPositionsKey), true, true).setBinary(u"left over", "12345678", 8);

  CDesktopIconStore store;
  ASSERT_TRUE(findDesktopListView(store));
  EXPECT_EQ(store.listView, list);
  ASSERT_TRUE(saveDesktopIconPositions(store));
  EXPECT_TRUE(hasSavedIconPositions());
  std::map<std::string, POINT> saved = stored();
  EXPECT_EQ(saved.size(), std::size(kIcons)) << "the key is made anew";
  for (const Icon& icon : kIcons) {
    std::string name = platform::text::toUtf8(icon.text);
    SCOPED_TRACE(name);
    ASSERT_EQ(saved.count(name), 1u);
    EXPECT_EQ(saved[name].x, icon.at.x);
    EXPECT_EQ(saved[name].y, icon.at.y);
    POINT now = positionOf(list, icon.text);
    if (isSpecialDesktopIcon(CString(icon.text))) {
      EXPECT_EQ(now.x, icon.at.x);
      EXPECT_EQ(now.y, icon.at.y);
    } else {
      EXPECT_EQ(now.x, kScreenWidth + 64);
      EXPECT_EQ(now.y, 0);
    }
  }
  RECT areas[2] = {};
  UINT areaCount = 0;
  SendMessageW(list, LVM_GETNUMBEROFWORKAREAS, 0, reinterpret_cast<LPARAM>(&areaCount));
  EXPECT_EQ(areaCount, 2u);
  SendMessageW(list, LVM_GETWORKAREAS, 2, reinterpret_cast<LPARAM>(areas));
  EXPECT_EQ(areas[1].left, kScreenWidth + 1);
  EXPECT_EQ(areas[1].right, kScreenWidth + 100);
  EXPECT_EQ(hideFileExt(), 1u) << "the user's setting is back after the save";

  // Explorer's styles that would pull icons into place are off while they move, then back.
  SetWindowLongW(list, GWL_STYLE, GetWindowLongW(list, GWL_STYLE) | LVS_AUTOARRANGE);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_SNAPTOGRID, LVS_EX_SNAPTOGRID);
  ASSERT_TRUE(restoreDesktopIconPositions(store));
  for (const Icon& icon : kIcons) {
    SCOPED_TRACE(platform::text::toUtf8(icon.text));
    POINT now = positionOf(list, icon.text);
    EXPECT_EQ(now.x, icon.at.x);
    EXPECT_EQ(now.y, icon.at.y);
  }
  SendMessageW(list, LVM_GETNUMBEROFWORKAREAS, 0, reinterpret_cast<LPARAM>(&areaCount));
  EXPECT_EQ(areaCount, 0u);
  EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & LVS_AUTOARRANGE);
  EXPECT_TRUE(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_SNAPTOGRID);
  EXPECT_EQ(hideFileExt(), 1u);
}

TEST_F(DesktopIconsTest, SpecialIconsAreTheShellsVirtualFolderNamesAndTwoFixedTexts) {
  struct Case {
    const char16_t* text;
    bool special;
  } cases[] = {
      {u"My Computer", true},       {u"My Network Places", true}, {u"My Documents", true},
      {u"Recycle Bin", true},       {u"Internet Explorer", true}, {u"Network Neighborhood", true},
      {u"Microsoft Outlook", true}, {u"my computer", false},      {u"My Documents.lnk", false},
      {u"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isSpecialDesktopIcon(CString(c.text)), c.special) << platform::text::toUtf8(c.text);
}

TEST_F(DesktopIconsTest, RestoreSkipsWhatItCannotPlaceAndCutsCoordinatesTo16Bits) {
  HWND list = makeDesktop({{u"a.txt", {5, 5}}, {u"b.txt", {6, 6}}, {u"c.txt", {7, 7}}});
  CDesktopIconStore store{list};
  storePosition(CString(u"gone.txt"), 1, 1);       // no such icon any more
  storePosition(CString(u"a.txt"), 70000, -3);     // beyond 16 bits
  CRegistry(CString(kDesktopIconPositionsKey), true, true).setString(u"b.txt", CString(u"12,34"));
  CRegistry(CString(kDesktopIconPositionsKey), true, true).setBinary(u"c.txt", "123456789", 9);
  ASSERT_TRUE(restoreDesktopIconPositions(store));
  EXPECT_EQ(positionOf(list, u"a.txt").x, 70000 - 65536);
  EXPECT_EQ(positionOf(list, u"a.txt").y, -3);
  EXPECT_EQ(positionOf(list, u"b.txt").x, 6);
  EXPECT_EQ(positionOf(list, u"c.txt").x, 7);

  // Past the bound of 1,000 the restore stops and says so.
  for (int i = 0; i < 1002; ++i) storePosition(CString(u"i") + CString(std::to_string(i).c_str()), i, 0);
  EXPECT_FALSE(restoreDesktopIconPositions(store));
  EXPECT_TRUE(logHas("{DIPS Client} Number of desktop items out of range: 1001."));
  EXPECT_TRUE(logHas("{DIPS Client} Failed to set desktop icon positions."));

  CRegistry(CString(kDesktopIconPositionsKey)).deleteKey();
  EXPECT_FALSE(hasSavedIconPositions());
  EXPECT_FALSE(restoreDesktopIconPositions(store));
  EXPECT_TRUE(logHas("{DIPS Client} Failed to open DIPS registry key."));
}

TEST_F(DesktopIconsTest, FindingTheListViewRefusesAWindowOfAnotherClass) {
  CDesktopIconStore store;
  EXPECT_FALSE(findDesktopListView(store));
  EXPECT_TRUE(logHas("Desktop Icon Saver failed to find desktop list view window."));
  HWND list = makeDesktop({});
  store.listView = GetParent(list);
  EXPECT_TRUE(findDesktopListView(store));
  EXPECT_EQ(store.listView, list);
  EXPECT_TRUE(logHas("Incorrect desktop listview windowclass: SHELLDLL_DefView windowname: "));
}

TEST_F(DesktopIconsTest, TheExtensionSettingComesBackAsTheUserHadIt) {
  const CString key = CString(u"HKEY_CURRENT_USER\\") + kAdvanced;
  struct Case {
    const char* name;
    bool present;
    DWORD value;
  } cases[] = {{"hidden", true, 1}, {"shown", true, 0}, {"never set", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CRegistry(key, true, true).deleteValue(u"HideFileExt");
    if (c.present) CRegistry(key, true, true).setDword(u"HideFileExt", c.value);
    {
      HideExtDesktopSettingRegKey guard;
      EXPECT_EQ(hideFileExt(), 0u);
      EXPECT_EQ(guard.firstValue(), c.present ? static_cast<LONG>(c.value) : -1);
      DWORD parked = 0;
      const bool changed = !c.present || c.value != 0;
      EXPECT_EQ(CRegistry(CString(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs")).getDword(u"HideFileExt", parked),
                changed) << "parked while it is changed";
      if (changed) {
        EXPECT_EQ(parked, c.present ? c.value : 0xFFFFFFFFu);
      }
    }
    EXPECT_EQ(CRegistry(key).valueExists(u"HideFileExt"), c.present) << "a missing value is not written as -1";
    if (c.present) {
      EXPECT_EQ(hideFileExt(), c.value);
    }
  }
}

// A program killed while it showed the extensions left "HideFileExt" 0 and the host's own value
// parked: the next holder of the setting, or the recovery's step, puts the host's value back.
TEST_F(DesktopIconsTest, AValueLeftChangedByAKilledProgramComesBack) {
  const CString key = CString(u"HKEY_CURRENT_USER\\") + kAdvanced;
  const CString parkKey(u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs");
  struct Case {
    const char* name;
    DWORD parked;  // 0xFFFFFFFF: the host had no value
    bool byRecovery;
  } cases[] = {{"hidden, next holder", 1, false}, {"none, next holder", 0xFFFFFFFF, false},
               {"hidden, recovery", 1, true},     {"none, recovery", 0xFFFFFFFF, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // What the killed program left.
    CRegistry(key, true, true).setDword(u"HideFileExt", 0);
    CRegistry(parkKey, true, true).setDword(u"HideFileExt", c.parked);
    if (c.byRecovery) {
      EXPECT_TRUE(restoreParkedHideFileExt());
    } else {
      HideExtDesktopSettingRegKey guard;
      EXPECT_EQ(hideFileExt(), 0u);
      EXPECT_EQ(guard.firstValue(), c.parked == 0xFFFFFFFF ? -1 : static_cast<LONG>(c.parked));
    }
    EXPECT_EQ(CRegistry(key).valueExists(u"HideFileExt"), c.parked != 0xFFFFFFFF);
    if (c.parked != 0xFFFFFFFF) {
      EXPECT_EQ(hideFileExt(), c.parked);
    }
    EXPECT_FALSE(CRegistry(parkKey).valueExists(u"HideFileExt")) << "the parked value goes with its use";
  }
  EXPECT_FALSE(restoreParkedHideFileExt()) << "nothing parked";
}

// A desktop of another process: every record travels through blocks allocated there.
TEST_F(DesktopIconsTest, IconsOfAnotherProcessAreParkedAndPutBack) {
  const std::string longName = std::string(250, 'x') + ".txt";  // 254 of the 260 characters
  std::vector<std::pair<std::string, POINT>> icons;
  for (const Icon& icon : kIcons) icons.emplace_back(platform::text::toUtf8(icon.text), icon.at);
  icons.emplace_back(longName, POINT{500, 500});
  std::vector<std::string> args;
  for (const auto& [text, at] : icons) args.push_back(text + "@" + std::to_string(at.x) + "," + std::to_string(at.y));
  kipotest::ChildProgram probe(KIPO_DESKTOP_PROBE, args);
  ASSERT_TRUE(probe.saw("\n")) << probe.output();
  const HWND list = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::stoul(probe.output().substr(6))));

  CDesktopIconStore store;
  ASSERT_TRUE(findDesktopListView(store));
  ASSERT_EQ(store.listView, list);
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  ASSERT_NE(pid, GetCurrentProcessId());

  // The test looks at the icons through a block of its own in the probe, as a tool would.
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  ASSERT_NE(process, nullptr) << GetLastError() << " pid " << pid;
  auto* block = static_cast<BYTE*>(VirtualAllocEx(process, nullptr, 64, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(block, nullptr);
  auto positions = [&] {
    std::vector<POINT> out;
    for (std::size_t i = 0; i < icons.size(); ++i) {
      SendMessageW(list, LVM_GETITEMPOSITION, i, reinterpret_cast<LPARAM>(block));
      POINT p{-9999, -9999};
      ReadProcessMemory(process, block, &p, sizeof p, nullptr);
      out.push_back(p);
    }
    return out;
  };

  ASSERT_TRUE(saveDesktopIconPositions(store));
  std::map<std::string, POINT> saved = stored();
  EXPECT_EQ(saved.size(), icons.size());
  std::vector<POINT> parked = positions();
  for (std::size_t i = 0; i < icons.size(); ++i) {
    SCOPED_TRACE(icons[i].first.substr(0, 20));
    ASSERT_EQ(saved.count(icons[i].first), 1u);
    EXPECT_EQ(saved[icons[i].first].x, icons[i].second.x);
    EXPECT_EQ(saved[icons[i].first].y, icons[i].second.y);
    bool special = isSpecialDesktopIcon(CString(platform::text::fromUtf8(icons[i].first).c_str()));
    EXPECT_EQ(parked[i].x, special ? icons[i].second.x : kScreenWidth + 64);
  }

  // A fresh store, as a later run of the program has, puts them back from the registry alone.
  CDesktopIconStore later;
  ASSERT_TRUE(restoreDesktopIconPositions(later));
  std::vector<POINT> back = positions();
  for (std::size_t i = 0; i < icons.size(); ++i) {
    EXPECT_EQ(back[i].x, icons[i].second.x) << i;
    EXPECT_EQ(back[i].y, icons[i].second.y) << i;
  }
  VirtualFreeEx(process, block, 0, MEM_RELEASE);
  CloseHandle(process);
}

// The host's Explorer with one icon per Desktop entry: the user hides known extensions, yet the
// positions are kept under the full names, the host's icons step aside and come back, and the
// user's setting is as it was.
TEST_F(DesktopIconsTest, ExplorersDesktopIconsStepAsideAndComeBack) {
  std::string err;
  ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
  CRegistry(CString(u"HKEY_LOCAL_MACHINE\\Software\\Classes\\.txt"), true, true).setString(u"", CString(u"txtfile"));
  CRegistry(CString(u"HKEY_CURRENT_USER\\") + kAdvanced, true, true).setDword(u"HideFileExt", 1);
  const CString desktop = CFolderLookup::getDesktopPath();
  for (const char16_t* name : {u"notes.txt", u"report.txt"}) {
    CFile f(joinPath(desktop, name), CFile::modeCreate | CFile::modeWrite);
    f.Close();
  }
  CreateDirectoryW(joinPath(desktop, u"Projects"), nullptr);

  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::u16string line = u"C:\\WINDOWS\\explorer.exe";
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  if (pi.hThread) CloseHandle(pi.hThread);
  struct Ender {
    HANDLE h;
    ~Ender() {
      TerminateProcess(h, 0);
      CloseHandle(h);
    }
  } ender{pi.hProcess};
  HWND list = nullptr;
  for (int i = 0; i < 1000 && !list; ++i) {
    HWND progman = FindWindowW(u"Progman", nullptr);
    HWND view = progman ? FindWindowExW(progman, nullptr, u"SHELLDLL_DefView", nullptr) : nullptr;
    list = view ? FindWindowExW(view, nullptr, u"SysListView32", nullptr) : nullptr;
    if (!list) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_NE(list, nullptr);
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  ASSERT_NE(process, nullptr);
  auto* block = static_cast<BYTE*>(VirtualAllocEx(process, nullptr, 1024, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(block, nullptr);
  // Explorer's icons by text, read through a block of ours in its process.
  auto icons = [&] {
    std::map<std::string, POINT> out;
    const auto count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      char16_t text[MAX_PATH] = {};
      LVITEMW item{};
      item.pszText = text;
      item.cchTextMax = MAX_PATH;
      SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      POINT p{-9999, -9999};
      if (SendMessageW(list, LVM_GETITEMPOSITION, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(block)))
        ReadProcessMemory(process, block, &p, sizeof p, nullptr);
      out[platform::text::toUtf8(text)] = p;
    }
    return out;
  };
  std::map<std::string, POINT> before;
  for (int i = 0; i < 500 && !(before = icons()).count("Projects"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(before.count("notes"), 1u) << "the user hides known extensions";
  ASSERT_EQ(before.count("My Computer"), 1u);

  CDesktopIconStore store;
  ASSERT_TRUE(saveDesktopIconPositions(store));
  EXPECT_EQ(store.listView, list);
  std::map<std::string, POINT> saved = stored();
  EXPECT_EQ(saved.size(), before.size());
  for (const char* name : {"notes.txt", "report.txt", "Projects", "My Computer", "Recycle Bin"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(saved.count(name), 1u);
    std::string shown = std::string(name) == "notes.txt" ? "notes" : std::string(name) == "report.txt" ? "report" : name;
    EXPECT_EQ(saved[name].x, before[shown].x);
    EXPECT_EQ(saved[name].y, before[shown].y);
  }
  EXPECT_EQ(hideFileExt(), 1u);
  std::map<std::string, POINT> parked = icons();
  EXPECT_EQ(parked["notes"].x, kScreenWidth + 64) << "named as the user sees it again";
  EXPECT_EQ(parked["Projects"].x, kScreenWidth + 64);
  EXPECT_EQ(parked["My Computer"].x, before["My Computer"].x);
  EXPECT_EQ(parked["Recycle Bin"].y, before["Recycle Bin"].y);

  ASSERT_TRUE(restoreDesktopIconPositions(store));
  std::map<std::string, POINT> after = icons();
  for (const auto& [name, at] : before) {
    SCOPED_TRACE(name);
    EXPECT_EQ(after[name].x, at.x);
    EXPECT_EQ(after[name].y, at.y);
  }
  EXPECT_EQ(hideFileExt(), 1u);
  VirtualFreeEx(process, block, 0, MEM_RELEASE);
  CloseHandle(process);
}

}  // namespace
