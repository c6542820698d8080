// Explorer's desktop as another program sees it: the icons of the user's and All Users' Desktop
// folders and the virtual items, their names under the extension rules, re-reading on the
// Refresh command, on SHChangeNotify and on a change of the folders, the next free grid cell for
// a new icon while the others keep their places, and the "TaskbarCreated" broadcast at start.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/remote_memory.h"
#include "platform/win32/shell.h"
#include "platform/win32/sync.h"
#include "platform/win32/window.h"
#include "tests/support/test_host.h"

namespace {

using platform::text::fromUtf8;
using platform::text::toUtf8;

constexpr DWORD kVm = PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE;
constexpr int kCell = 75;  // the list view's icon spacing
const std::set<std::string> kVirtual = {"My Documents", "My Computer", "My Network Places", "Recycle Bin",
                                        "Internet Explorer"};

std::u16string folder(int csidl) {
  char16_t buf[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buf);
  return buf;
}

void makeFile(const std::u16string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << toUtf8(path) << " error " << GetLastError();
  CloseHandle(h);
}

void setNumber(HKEY root, const char16_t* path, const char16_t* name, DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

void setText(HKEY root, const char16_t* path, const char16_t* name, const std::u16string& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(key);
}

constexpr char16_t kAdvanced[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

// Names of the folder's entries, to see that Explorer changed nothing there.
std::set<std::string> entriesOf(const std::u16string& dir) {
  std::set<std::string> out;
  WIN32_FIND_DATAW fd{};
  HANDLE f = FindFirstFileW((dir + u"\\*").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return out;
  do out.insert(toUtf8(fd.cFileName));
  while (FindNextFileW(f, &fd));
  FindClose(f);
  return out;
}

class ExplorerDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_EQ(kipotest::runTool({"install"}, nullptr, &err), 0) << err;
    user_ = folder(CSIDL_DESKTOPDIRECTORY);
    common_ = folder(CSIDL_COMMON_DESKTOPDIRECTORY);
    ASSERT_FALSE(user_.empty());
    ASSERT_FALSE(common_.empty());
  }
  void TearDown() override {
    if (remote_) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
    if (explorer_) {
      TerminateProcess(explorer_, 1);
      CloseHandle(explorer_);
    }
  }

  // Starts Explorer and waits for its list view; opens its process for a block to read through.
  void startExplorer() {
    std::u16string line = u"C:\\WINDOWS\\explorer.exe";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    if (pi.hThread) CloseHandle(pi.hThread);
    explorer_ = pi.hProcess;
    for (int i = 0; i < 1000 && !list_; ++i) {
      HWND progman = FindWindowW(u"Progman", u"Program Manager");
      HWND view = progman ? FindWindowExW(progman, nullptr, u"SHELLDLL_DefView", nullptr) : nullptr;
      list_ = view ? FindWindowExW(view, nullptr, u"SysListView32", u"FolderView") : nullptr;
      if (!list_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(list_, nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(list_, &pid);
    ASSERT_EQ(pid, GetProcessId(explorer_));
    process_ = OpenProcess(kVm, FALSE, pid);
    ASSERT_NE(process_, nullptr) << GetLastError();
    remote_ = VirtualAllocEx(process_, nullptr, sizeof(POINT), MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(remote_, nullptr) << GetLastError();
  }

  // The icons by name with their positions, read across processes.
  std::map<std::string, POINT> icons() {
    std::map<std::string, POINT> out;
    const auto count = SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      char16_t buf[MAX_PATH] = {};
      LVITEMW item{};
      item.pszText = buf;
      item.cchTextMax = MAX_PATH;
      SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      POINT p{-1, -1};
      if (SendMessageW(list_, LVM_GETITEMPOSITION, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote_)))
        ReadProcessMemory(process_, remote_, &p, sizeof p, nullptr);
      out[toUtf8(buf)] = p;
    }
    return out;
  }
  std::set<std::string> names() {
    std::set<std::string> out;
    for (const auto& [name, at] : icons()) out.insert(name);
    return out;
  }
  // Polls until `ok` holds of the icons (10 s at most); the last ones seen.
  std::map<std::string, POINT> iconsUntil(const std::function<bool(const std::map<std::string, POINT>&)>& ok) {
    std::map<std::string, POINT> seen;
    for (int i = 0; i < 500; ++i) {
      seen = icons();
      if (ok(seen)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return seen;
  }
  std::set<std::string> namesUntil(const std::set<std::string>& want) {
    auto seen = iconsUntil([&](const auto& icons) {
      std::set<std::string> n;
      for (const auto& [name, at] : icons) n.insert(name);
      return n == want;
    });
    std::set<std::string> out;
    for (const auto& [name, at] : seen) out.insert(name);
    return out;
  }
  int indexOf(const std::string& name) {
    const auto count = SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      char16_t buf[MAX_PATH] = {};
      LVITEMW item{};
      item.pszText = buf;
      item.cchTextMax = MAX_PATH;
      SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      if (toUtf8(buf) == name) return static_cast<int>(i);
    }
    return -1;
  }

  static std::set<std::string> with(std::set<std::string> names) {
    names.insert(kVirtual.begin(), kVirtual.end());
    return names;
  }

  kipotest::TestHost host_;
  std::u16string user_, common_;
  HANDLE explorer_ = nullptr;
  HANDLE process_ = nullptr;
  void* remote_ = nullptr;
  HWND list_ = nullptr;
};

std::string join(const std::set<std::string>& s) {
  std::string out;
  for (const auto& n : s) out += "[" + n + "]";
  return out;
}

TEST_F(ExplorerDesktopTest, IconsOfBothFoldersNamedByTheExtensionRules) {
  // ".txt" a registered type, ".doc" one that always shows its extension, ".xyz" none, ".scf"
  // one whose class never shows it; shortcuts never show theirs, registered or not.
  setText(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.txt", u"", u"txtfile");
  setText(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.doc", u"", u"Word.Document.8");
  setText(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Word.Document.8", u"AlwaysShowExt", u"");
  setText(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.scf", u"", u"SHCmdFile");
  setText(HKEY_LOCAL_MACHINE, u"Software\\Classes\\SHCmdFile", u"NeverShowExt", u"");
  setNumber(HKEY_CURRENT_USER, kAdvanced, u"HideFileExt", 1);
  for (const char16_t* f : {u"notes.txt", u"letter.doc", u"data.xyz", u"Show Desktop.scf", u"Kipo.lnk", u".profile"})
    makeFile(user_ + u"\\" + f);
  ASSERT_TRUE(CreateDirectoryW((user_ + u"\\Photos.2006").c_str(), nullptr));
  makeFile(user_ + u"\\secret.txt", FILE_ATTRIBUTE_HIDDEN);
  makeFile(user_ + u"\\desktop.ini", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  makeFile(common_ + u"\\Shared.lnk");
  makeFile(common_ + u"\\readme.txt");
  // The same name in both folders: two icons, as on XP.
  makeFile(common_ + u"\\notes.txt");
  const auto userBefore = entriesOf(user_), commonBefore = entriesOf(common_);

  startExplorer();
  const std::multiset<std::string> hidden{"My Documents", "My Computer", "My Network Places", "Recycle Bin",
                                          "Internet Explorer", "Photos.2006", "notes", "notes", "letter.doc",
                                          "data.xyz", "Show Desktop", "Kipo", ".profile", "Shared", "readme"};
  std::multiset<std::string> seen;
  for (int i = 0; i < 500 && seen != hidden; ++i) {
    seen.clear();
    const auto count = SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT k = 0; k < count; ++k) {
      char16_t buf[MAX_PATH] = {};
      LVITEMW item{};
      item.pszText = buf;
      item.cchTextMax = MAX_PATH;
      SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(&item));
      seen.insert(toUtf8(buf));
    }
    if (seen != hidden) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(seen, hidden);

  // The virtual items come first, down the left column of the work area, one cell apart.
  const auto at = icons();
  EXPECT_EQ(at.at("My Documents").x, 0);
  EXPECT_EQ(at.at("My Documents").y, 0);
  EXPECT_EQ(at.at("My Computer").y, kCell);
  EXPECT_EQ(at.at("Internet Explorer").y, 4 * kCell);

  // Extensions shown: the Refresh command re-reads.
  setNumber(HKEY_CURRENT_USER, kAdvanced, u"HideFileExt", 0);
  ASSERT_TRUE(PostMessageW(GetParent(list_), WM_COMMAND, 28931, 0));
  auto shown = with({"Photos.2006", "notes.txt", "letter.doc", "data.xyz", "Show Desktop", "Kipo", ".profile",
                     "Shared", "readme.txt"});
  EXPECT_EQ(namesUntil(shown), shown);

  // Hidden again, told through SHChangeNotify that the associations changed.
  setNumber(HKEY_CURRENT_USER, kAdvanced, u"HideFileExt", 1);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  auto again = with({"Photos.2006", "notes", "letter.doc", "data.xyz", "Show Desktop", "Kipo", ".profile", "Shared",
                     "readme"});
  EXPECT_EQ(namesUntil(again), again);

  // Hidden files appear when the user asks to see them; system ones only with the super-hidden.
  setNumber(HKEY_CURRENT_USER, kAdvanced, u"Hidden", 1);
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, user_.c_str(), nullptr);
  auto withSecret = again;
  withSecret.insert("secret");
  EXPECT_EQ(namesUntil(withSecret), withSecret);

  EXPECT_EQ(entriesOf(user_), userBefore) << "Explorer changed nothing on the desktop";
  EXPECT_EQ(entriesOf(common_), commonBefore);
}

TEST_F(ExplorerDesktopTest, NewIconsTakeTheNextFreeCellAndOthersKeepTheirPlaces) {
  makeFile(user_ + u"\\a.xyz");
  makeFile(user_ + u"\\b.xyz");
  startExplorer();
  auto start = iconsUntil([](const auto& i) { return i.size() == 7; });
  ASSERT_EQ(start.size(), 7u) << join(names());
  EXPECT_EQ(start.at("a.xyz").y, 5 * kCell);
  EXPECT_EQ(start.at("b.xyz").y, 6 * kCell);

  // My Network Places moves away, leaving its cell (the third) free; b.xyz moves too.
  ASSERT_TRUE(SendMessageW(list_, LVM_SETITEMPOSITION, static_cast<WPARAM>(indexOf("My Network Places")),
                           MAKELPARAM(600, 300)));
  ASSERT_TRUE(SendMessageW(list_, LVM_SETITEMPOSITION, static_cast<WPARAM>(indexOf("b.xyz")), MAKELPARAM(450, 450)));

  // A file appears in All Users' folder: no refresh is asked for, the folder's change is seen.
  makeFile(common_ + u"\\c.xyz");
  auto now = iconsUntil([](const auto& i) { return i.count("c.xyz") != 0; });
  ASSERT_TRUE(now.count("c.xyz")) << join(names());
  EXPECT_EQ(now.at("c.xyz").x, 0);
  EXPECT_EQ(now.at("c.xyz").y, 2 * kCell) << "the first free cell";
  EXPECT_EQ(now.at("My Network Places").x, 600);
  EXPECT_EQ(now.at("My Network Places").y, 300);
  EXPECT_EQ(now.at("b.xyz").x, 450);
  EXPECT_EQ(now.at("a.xyz").y, 5 * kCell);

  // A file that goes and comes back while Explorer runs returns to its place.
  ASSERT_TRUE(DeleteFileW((user_ + u"\\b.xyz").c_str()));
  iconsUntil([](const auto& i) { return i.count("b.xyz") == 0; });
  makeFile(user_ + u"\\b.xyz");
  now = iconsUntil([](const auto& i) { return i.count("b.xyz") != 0; });
  ASSERT_TRUE(now.count("b.xyz"));
  EXPECT_EQ(now.at("b.xyz").x, 450);
  EXPECT_EQ(now.at("b.xyz").y, 450);
}

TEST_F(ExplorerDesktopTest, IconRectanglesAndHitTestsThroughABlockInExplorer) {
  startExplorer();
  iconsUntil([](const auto& i) { return i.size() == 5; });
  // A block big enough for either record, filled with a sentinel before each call.
  void* block = VirtualAllocEx(process_, nullptr, 64, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(block, nullptr);
  auto put = [&](const auto& v) { ASSERT_TRUE(WriteProcessMemory(process_, block, &v, sizeof v, nullptr)); };
  auto get = [&](auto& v) { ASSERT_TRUE(ReadProcessMemory(process_, block, &v, sizeof v, nullptr)); };
  const auto at = reinterpret_cast<LPARAM>(block);

  // "My Computer" stands in the second cell: its box, icon part and label part.
  struct RectCase {
    int item, code;
    LRESULT ok;
    RECT want;
  } rects[] = {
      {1, LVIR_BOUNDS, TRUE, {0, 75, 75, 150}},
      {1, LVIR_ICON, TRUE, {0, 75, 75, 111}},
      {1, LVIR_LABEL, TRUE, {0, 111, 75, 150}},
      {1, LVIR_SELECTBOUNDS, TRUE, {0, 75, 75, 150}},
      {5, LVIR_BOUNDS, FALSE, {LVIR_BOUNDS, -7, -7, -7}},  // no such item: left as it was
  };
  for (const auto& c : rects) {
    SCOPED_TRACE(testing::Message() << "item " << c.item << " code " << c.code);
    put(RECT{c.code, -7, -7, -7});
    EXPECT_EQ(SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(c.item), at), c.ok);
    RECT r{};
    get(r);
    EXPECT_EQ(r.left, c.want.left);
    EXPECT_EQ(r.top, c.want.top);
    EXPECT_EQ(r.right, c.want.right);
    EXPECT_EQ(r.bottom, c.want.bottom);
  }

  // Recycle Bin laid over My Computer: the one on top (listed later) is hit.
  ASSERT_TRUE(SendMessageW(list_, LVM_SETITEMPOSITION, 3, MAKELPARAM(30, 75)));
  struct HitCase {
    POINT pt;
    int item;
    UINT flags;
  } hits[] = {
      {{10, 80}, 1, LVHT_ONITEMICON},
      {{10, 140}, 1, LVHT_ONITEMLABEL},
      {{40, 80}, 3, LVHT_ONITEMICON},
      {{74, 0}, 0, LVHT_ONITEMICON},
      {{75, 0}, -1, LVHT_NOWHERE},
      {{500, 500}, -1, LVHT_NOWHERE},
  };
  for (const auto& c : hits) {
    SCOPED_TRACE(testing::Message() << c.pt.x << "," << c.pt.y);
    put(LVHITTESTINFO{c.pt, 0xDEAD, 77, 77});
    EXPECT_EQ(SendMessageW(list_, LVM_HITTEST, 0, at), c.item);
    LVHITTESTINFO h{};
    get(h);
    EXPECT_EQ(h.iItem, c.item);
    EXPECT_EQ(h.flags, c.flags);
    EXPECT_EQ(h.iSubItem, 0);
  }

  // A pointer into this process's memory is refused and nothing is written to it.
  RECT local{LVIR_BOUNDS, -7, -7, -7};
  EXPECT_EQ(SendMessageW(list_, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&local)), 0);
  EXPECT_EQ(local.top, -7);
  LVHITTESTINFO localHit{{10, 80}, 0xDEAD, 77, 77};
  EXPECT_EQ(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&localHit)), 0);
  EXPECT_EQ(localHit.iItem, 77);
  VirtualFreeEx(process_, block, 0, MEM_RELEASE);
}

// A top-level window of this process that counts "TaskbarCreated".
int g_taskbarCreated = 0;
UINT g_taskbarMessage = 0;
LRESULT CALLBACK countingProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == g_taskbarMessage) ++g_taskbarCreated;
  return DefWindowProcW(h, msg, w, l);
}

TEST_F(ExplorerDesktopTest, ExplorerAnnouncesTheTaskbarWhenItStarts) {
  g_taskbarMessage = RegisterWindowMessageW(u"TaskbarCreated");
  ASSERT_NE(g_taskbarMessage, 0u);
  WNDCLASSW wc{};
  wc.lpfnWndProc = countingProc;
  wc.lpszClassName = u"KipoTaskbarWatcher";
  RegisterClassW(&wc);
  // Hidden: a broadcast reaches hidden top-level windows too.
  HWND w = CreateWindowExW(0, u"KipoTaskbarWatcher", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  g_taskbarCreated = 0;
  startExplorer();
  for (int i = 0; i < 500 && !g_taskbarCreated; ++i) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    if (!g_taskbarCreated) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(g_taskbarCreated, 1);
  DestroyWindow(w);
}

}  // namespace
