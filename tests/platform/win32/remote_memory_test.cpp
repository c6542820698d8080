// Memory allocated in another process and what reaches through it: the page-granular blocks, the
// rights, the caller's reservation of a block's address, and a list view of another process
// reading and writing through a block.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/host/process_table.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/error.h"
#include "platform/win32/process.h"
#include "platform/win32/remote_memory.h"
#include "tests/platform/win32/window_fixture.h"
#include "tests/platform/win32/winprobe_client.h"

using kipotest::WinProbe;

namespace {

using RemoteMemory = wintest::WindowFixture;

constexpr DWORD kVm = PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE;

DWORD probePid(const WinProbe& p) { return static_cast<DWORD>(p.pid()); }

struct Handle {
  HANDLE h;
  explicit Handle(HANDLE h) : h(h) {}
  ~Handle() {
    if (h) CloseHandle(h);
  }
};

TEST_F(RemoteMemory, BlocksArePageGranularAndReservedInTheCaller) {
  WinProbe probe({});
  Handle proc(OpenProcess(kVm | PROCESS_QUERY_INFORMATION, FALSE, probePid(probe)));
  ASSERT_NE(proc.h, nullptr);
  void* block = VirtualAllocEx(proc.h, nullptr, 520, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(block, nullptr);
  const auto base = reinterpret_cast<std::uintptr_t>(block);
  EXPECT_EQ(base % 65536, 0u);

  // The address is taken here and cannot be read as one of ours.
  EXPECT_EQ(::mmap(block, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0), MAP_FAILED);
  char own[8];
  SIZE_T n = 99;
  EXPECT_FALSE(ReadProcessMemory(GetCurrentProcess(), block, own, sizeof own, &n));
  EXPECT_EQ(n, 0u);

  std::vector<unsigned char> pattern(520);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<unsigned char>(i * 7 + 1);
  ASSERT_TRUE(WriteProcessMemory(proc.h, block, pattern.data(), pattern.size(), &n));
  EXPECT_EQ(n, 520u);
  // A whole page is committed: reading 2,048 bytes of a 520-byte block succeeds, the rest zero.
  std::vector<unsigned char> back(2048, 0xEE);
  ASSERT_TRUE(ReadProcessMemory(proc.h, block, back.data(), back.size(), &n));
  EXPECT_EQ(n, 2048u);
  EXPECT_EQ(std::memcmp(back.data(), pattern.data(), 520), 0);
  EXPECT_EQ(std::count(back.begin() + 520, back.end(), 0), 2048 - 520);

  struct Case {
    std::uintptr_t offset;
    SIZE_T size;
    BOOL ok;
    SIZE_T done;
  } cases[] = {
      {4092, 4, TRUE, 4},           // the last bytes of the page
      {4092, 8, FALSE, 4},          // runs off the committed page: what lies inside is copied
      {4096, 4, FALSE, 0},          // just past it
      {65536 * 3, 4, FALSE, 0},     // nowhere
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    char buf[8] = {'s', 's', 's', 's', 's', 's', 's', 's'};
    n = 99;
    SetLastError(0);
    EXPECT_EQ(ReadProcessMemory(proc.h, reinterpret_cast<void*>(base + c.offset), buf, c.size, &n), c.ok);
    EXPECT_EQ(n, c.done);
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PARTIAL_COPY));
    }
    EXPECT_EQ(buf[7], 's');
    n = 99;
    EXPECT_EQ(WriteProcessMemory(proc.h, reinterpret_cast<void*>(base + c.offset), "abcdefgh", c.size, &n), c.ok);
    EXPECT_EQ(n, c.done);
  }
  EXPECT_FALSE(ReadProcessMemory(proc.h, block, nullptr, 4, &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));

  // Released only at its base, once.
  EXPECT_FALSE(VirtualFreeEx(proc.h, reinterpret_cast<void*>(base + 4096), 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  EXPECT_FALSE(VirtualFreeEx(proc.h, block, 520, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(VirtualFreeEx(proc.h, block, 0, MEM_RELEASE));
  EXPECT_FALSE(ReadProcessMemory(proc.h, block, own, 4, &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PARTIAL_COPY));
  EXPECT_FALSE(VirtualFreeEx(proc.h, block, 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
}

TEST_F(RemoteMemory, EachCallNeedsItsRights) {
  WinProbe probe({});
  Handle all(OpenProcess(kVm, FALSE, probePid(probe)));
  ASSERT_NE(all.h, nullptr);
  void* block = VirtualAllocEx(all.h, nullptr, 64, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(block, nullptr);
  struct Case {
    DWORD access;
    bool alloc, read, write;
  } cases[] = {
      {PROCESS_VM_OPERATION, true, false, false},
      {PROCESS_VM_READ, false, true, false},
      {PROCESS_VM_WRITE, false, false, false},
      {PROCESS_VM_WRITE | PROCESS_VM_OPERATION, true, false, true},
      {PROCESS_QUERY_INFORMATION, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.access);
    Handle h(OpenProcess(c.access, FALSE, probePid(probe)));
    ASSERT_NE(h.h, nullptr);
    void* p = VirtualAllocEx(h.h, nullptr, 16, MEM_COMMIT, PAGE_READWRITE);
    EXPECT_EQ(p != nullptr, c.alloc);
    if (p) {
      EXPECT_TRUE(VirtualFreeEx(h.h, p, 0, MEM_RELEASE));
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    int v = 0;
    SIZE_T n;
    EXPECT_EQ(ReadProcessMemory(h.h, block, &v, sizeof v, &n) != FALSE, c.read);
    if (!c.read) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(WriteProcessMemory(h.h, block, &v, sizeof v, &n) != FALSE, c.write);
    if (!c.write) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
  }
  // What the stand-in does not offer fails rather than pretending.
  EXPECT_EQ(VirtualAllocEx(all.h, block, 16, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  EXPECT_EQ(VirtualAllocEx(all.h, nullptr, 16, MEM_RESERVE, PAGE_READWRITE), nullptr);
  EXPECT_EQ(VirtualAllocEx(all.h, nullptr, 16, MEM_COMMIT, PAGE_READONLY), nullptr);
  EXPECT_EQ(VirtualAllocEx(all.h, nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // Another user's process refuses the rights that reach into it, not the others.
  std::optional<platform::host::ProcessRow> row = platform::host::findLivingProcess(probePid(probe));
  ASSERT_TRUE(row);
  row->user = u"SYSTEM";
  platform::host::recordStartedProcess(*row);
  for (DWORD access : {DWORD(PROCESS_VM_READ), DWORD(PROCESS_VM_OPERATION), DWORD(PROCESS_VM_WRITE)}) {
    EXPECT_EQ(OpenProcess(access, FALSE, probePid(probe)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  Handle query(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, probePid(probe)));
  EXPECT_NE(query.h, nullptr);
}

TEST_F(RemoteMemory, InTheCallersOwnProcessTheBlockIsItsMemory) {
  void* block = VirtualAllocEx(GetCurrentProcess(), nullptr, 100, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 65536, 0u);
  std::memcpy(static_cast<char*>(block) + 4000, "page", 4);
  char buf[4];
  SIZE_T n;
  ASSERT_TRUE(ReadProcessMemory(GetCurrentProcess(), static_cast<char*>(block) + 4000, buf, 4, &n));
  EXPECT_EQ(std::memcmp(buf, "page", 4), 0);
  EXPECT_FALSE(ReadProcessMemory(GetCurrentProcess(), static_cast<char*>(block) + 4094, buf, 4, &n));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PARTIAL_COPY));
  EXPECT_EQ(n, 2u);
  EXPECT_TRUE(VirtualFreeEx(GetCurrentProcess(), block, 0, MEM_RELEASE));
}

}  // namespace

namespace {

// A block in the probe holding a record and the text buffer it points to, as tools lay it out.
struct RemoteItem {
  HANDLE process;
  char* block;
  explicit RemoteItem(HANDLE process)
      : process(process),
        block(static_cast<char*>(VirtualAllocEx(process, nullptr, 520, MEM_COMMIT, PAGE_READWRITE))) {}
  ~RemoteItem() {
    if (block) VirtualFreeEx(process, block, 0, MEM_RELEASE);
  }
  template <class T>
  bool put(std::size_t offset, const T& v) {
    return WriteProcessMemory(process, block + offset, &v, sizeof v, nullptr);
  }
  template <class T>
  T get(std::size_t offset) {
    T v{};
    ReadProcessMemory(process, block + offset, &v, sizeof v, nullptr);
    return v;
  }
  std::u16string text(std::size_t offset, std::size_t chars) {
    std::u16string t(chars, u'\0');
    ReadProcessMemory(process, block + offset, t.data(), chars * 2, nullptr);
    return t.substr(0, t.find(u'\0'));
  }
};

TEST_F(RemoteMemory, AListViewOfAnotherProcessWorksOnABlockAllocatedInIt) {
  WinProbe probe({});
  HWND lv = probe.window();
  Handle proc(OpenProcess(kVm, FALSE, probePid(probe)));
  ASSERT_NE(proc.h, nullptr);
  RemoteItem r(proc.h);
  ASSERT_NE(r.block, nullptr);
  constexpr std::size_t kText = 256;
  const std::u16string names[] = {u"alpha", u"beta", u"gamma"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    for (UINT msg : {UINT(LVM_GETITEMW), UINT(LVM_GETITEMTEXTW)}) {
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_PARAM;
      item.iItem = i;
      item.pszText = reinterpret_cast<LPWSTR>(r.block + kText);
      item.cchTextMax = 100;
      item.lParam = 0x5e5e;
      ASSERT_TRUE(r.put(0, item));
      ASSERT_TRUE(r.put(kText, u'#'));
      LRESULT got = SendMessageW(lv, msg, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(r.block));
      EXPECT_EQ(r.text(kText, 100), names[i]);
      LVITEMW back = r.get<LVITEMW>(0);
      // The record still points at the caller's buffer in the probe, never at the probe's own data.
      EXPECT_EQ(back.pszText, reinterpret_cast<LPWSTR>(r.block + kText));
      if (msg == LVM_GETITEMW) {
        EXPECT_EQ(got, TRUE);
        EXPECT_EQ(back.lParam, 100 + i);
      } else {
        EXPECT_EQ(got, static_cast<LRESULT>(names[i].size()));
      }
    }
  }
  // A state set through the block reaches the control; a local record still travels as a copy.
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = LVIS_SELECTED;
  ASSERT_TRUE(r.put(0, state));
  EXPECT_EQ(SendMessageW(lv, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(r.block)), TRUE);
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMSTATE, 1, LVIS_SELECTED), LVIS_SELECTED);
  WCHAR local[16] = {};
  LVITEMW item{};
  item.iSubItem = 0;
  item.pszText = local;
  item.cchTextMax = 16;
  EXPECT_EQ(SendMessageW(lv, LVM_GETITEMTEXTW, 2, reinterpret_cast<LPARAM>(&item)), 5);
  EXPECT_EQ(std::u16string(local), u"gamma");

  // A text buffer that leaves the block is refused before anything reaches the probe.
  LVITEMW far{};
  far.mask = LVIF_TEXT;
  far.pszText = reinterpret_cast<LPWSTR>(r.block + 4000);
  far.cchTextMax = 100;
  ASSERT_TRUE(r.put(0, far));
  SetLastError(0);
  DWORD_PTR res = 7;
  EXPECT_EQ(SendMessageTimeoutW(lv, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(r.block), SMTO_NORMAL, 2000, &res), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Pointers the new messages take must be in a block of the target: a local one is never read.
TEST_F(RemoteMemory, TheNewListViewMessagesTakeNoOtherPointer) {
  WinProbe probe({});
  HWND lv = probe.window();
  LVFINDINFOW find{};
  find.flags = LVFI_STRING;
  find.psz = u"beta";
  POINT pt{1, 2};
  RECT areas[2] = {};
  struct Case {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  } cases[] = {
      {LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)},
      {LVM_GETITEMPOSITION, 0, reinterpret_cast<LPARAM>(&pt)},
      {LVM_SETITEMPOSITION32, 0, reinterpret_cast<LPARAM>(&pt)},
      {LVM_GETWORKAREAS, 2, reinterpret_cast<LPARAM>(areas)},
      {LVM_SETWORKAREAS, 2, reinterpret_cast<LPARAM>(areas)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.msg);
    DWORD_PTR res = 7;
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(lv, c.msg, c.wParam, c.lParam, SMTO_NORMAL, 2000, &res), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_EQ(pt.x, 1);
}

}  // namespace

namespace {

std::u16string titleOf(HWND h) {
  WCHAR buf[64];
  int n = GetWindowTextW(h, buf, 64);
  return std::u16string(buf, static_cast<std::size_t>(std::max(n, 0)));
}

TEST_F(RemoteMemory, WindowCallsOnAnotherProcesssWindowAreCarriedOutByItsThread) {
  WinProbe probe({});
  HWND main = GetParent(probe.window());
  ASSERT_NE(main, nullptr);
  using kipotest::eventually;

  EXPECT_TRUE(ShowWindow(main, SW_HIDE));  // it was visible
  EXPECT_TRUE(eventually([&] { return !IsWindowVisible(main); }));
  EXPECT_FALSE(ShowWindow(main, SW_SHOWNOACTIVATE));
  EXPECT_TRUE(eventually([&] { return IsWindowVisible(main) != FALSE; }));

  ASSERT_TRUE(SetWindowPos(main, nullptr, 50, 60, 210, 120, SWP_NOZORDER | SWP_NOACTIVATE));
  EXPECT_TRUE(eventually([&] {
    RECT r{};
    GetWindowRect(main, &r);
    return r.left == 50 && r.top == 60 && r.right == 260 && r.bottom == 180;
  }));

  const DWORD style = static_cast<DWORD>(GetWindowLongW(main, GWL_STYLE));
  SetLastError(7);
  EXPECT_EQ(static_cast<DWORD>(SetWindowLongW(main, GWL_STYLE, static_cast<LONG>(style & ~WS_CAPTION))), style);
  EXPECT_TRUE(eventually([&] { return (GetWindowLongW(main, GWL_STYLE) & WS_CAPTION) == 0; }));
  EXPECT_EQ(SetWindowLongPtrW(main, GWL_EXSTYLE, WS_EX_TOOLWINDOW), 0);
  EXPECT_TRUE(eventually([&] { return (GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0; }));
  EXPECT_EQ(SetWindowLongPtrW(main, GWLP_USERDATA, 5), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // A repaint asked from here runs the probe's WM_PAINT.
  ASSERT_TRUE(eventually([&] { return titleOf(main).rfind(u"paints ", 0) == 0; }));
  const std::u16string before = titleOf(main);
  RECT part{1, 2, 30, 40};
  EXPECT_TRUE(InvalidateRect(main, &part, TRUE));
  EXPECT_TRUE(eventually([&] { return titleOf(main) != before; }));

  // Once the window has gone every call fails with ERROR_INVALID_WINDOW_HANDLE.
  probe.kill();
  ASSERT_TRUE(eventually([&] { return !IsWindow(main); }));
  struct Call {
    const char* name;
    std::function<bool()> run;
  } calls[] = {
      {"ShowWindow", [&] { return ShowWindow(main, SW_SHOW) != FALSE; }},
      {"SetWindowPos", [&] { return SetWindowPos(main, nullptr, 1, 2, 3, 4, SWP_NOZORDER) != FALSE; }},
      {"InvalidateRect", [&] { return InvalidateRect(main, nullptr, FALSE) != FALSE; }},
      {"SetWindowLongW", [&] { return SetWindowLongW(main, GWL_STYLE, 0) != 0; }},
      {"SetWindowLongPtrW", [&] { return SetWindowLongPtrW(main, GWL_EXSTYLE, 0) != 0; }},
  };
  for (const Call& c : calls) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_FALSE(c.run());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  }
}

}  // namespace

namespace {

// The position and work-area messages, run in this process on a pointer of ours and on another
// process's list view through a block allocated in it: both must agree.
struct Positions {
  std::function<POINT(int)> get;
  std::function<LRESULT(int, POINT)> set32;
  std::function<LRESULT(WPARAM, const std::vector<RECT>&)> setAreas;
  std::function<std::vector<RECT>(WPARAM)> getAreas;
};

void checkPositions(HWND lv, Positions& p) {
  // alpha, beta, gamma took the first cells of a row, 75 apart.
  EXPECT_EQ(p.get(0).x, 0);
  EXPECT_EQ(p.get(1).x, 75);
  EXPECT_EQ(p.get(2).x, 150);
  EXPECT_EQ(p.get(2).y, 0);
  struct Case {
    int item;
    POINT to;
    DWORD ex;
    LRESULT ok;
    POINT expect;
  } cases[] = {
      {1, {123, 45}, 0, TRUE, {123, 45}},
      {1, {-20, 7}, 0, TRUE, {-20, 7}},
      {2, {110, 40}, LVS_EX_SNAPTOGRID, TRUE, {75, 75}},
      {2, {30, 30}, LVS_EX_SNAPTOGRID, TRUE, {0, 0}},
      {7, {1, 1}, 0, FALSE, {-1, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_SNAPTOGRID, c.ex);
    EXPECT_EQ(SendMessageW(lv, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_SNAPTOGRID, c.ex);
    EXPECT_EQ(p.set32(c.item, c.to), c.ok);
    if (c.ok) {
      POINT got = p.get(c.item);
      EXPECT_EQ(got.x, c.expect.x);
      EXPECT_EQ(got.y, c.expect.y);
    }
  }
  SendMessageW(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_SNAPTOGRID, 0);
  // The 16-bit form carries its coordinates in lParam.
  EXPECT_EQ(SendMessageW(lv, LVM_SETITEMPOSITION, 0, MAKELPARAM(static_cast<WORD>(-5), 9)), TRUE);
  EXPECT_EQ(p.get(0).x, -5);
  EXPECT_EQ(p.get(0).y, 9);

  // Work areas: none at first, set and read back (a short read copies what fits), too many refused.
  EXPECT_TRUE(p.getAreas(4).empty());
  std::vector<RECT> areas = {{300, 0, 600, 400}, {0, 0, 300, 400}};
  EXPECT_EQ(p.setAreas(2, areas), TRUE);
  std::vector<RECT> back = p.getAreas(4);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].left, 300);
  EXPECT_EQ(back[1].right, 300);
  ASSERT_EQ(p.getAreas(1).size(), 1u);
  EXPECT_EQ(p.setAreas(LV_MAX_WORKAREAS + 1, std::vector<RECT>(LV_MAX_WORKAREAS + 1, RECT{0, 0, 10, 10})), FALSE);
  // Arranging puts the items into the first work area's grid.
  EXPECT_EQ(SendMessageW(lv, LVM_ARRANGE, LVA_DEFAULT, 0), TRUE);
  EXPECT_EQ(p.get(0).x, 300);
  EXPECT_EQ(p.get(1).x, 375);
  EXPECT_EQ(p.get(3 - 1).y, 0);
  EXPECT_EQ(p.setAreas(0, {}), TRUE);
  EXPECT_TRUE(p.getAreas(4).empty());
}

TEST_F(RemoteMemory, ListViewPositionsAndWorkAreasInThisProcess) {
  HWND parent = CreateWindowExW(0, wintest::kClass, u"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                nullptr, nullptr);
  HWND lv = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | LVS_ICON, 0, 0, 380, 280, parent, nullptr,
                            nullptr, nullptr);
  ASSERT_NE(lv, nullptr);
  for (const char16_t* t : {u"alpha", u"beta", u"gamma"}) {
    LVITEMW it{};
    it.mask = LVIF_TEXT;
    it.iItem = 100;
    it.pszText = const_cast<LPWSTR>(t);
    SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
  }
  Positions p;
  p.get = [&](int i) {
    POINT pt{-1, -1};
    SendMessageW(lv, LVM_GETITEMPOSITION, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&pt));
    return pt;
  };
  p.set32 = [&](int i, POINT pt) { return SendMessageW(lv, LVM_SETITEMPOSITION32, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&pt)); };
  p.setAreas = [&](WPARAM n, const std::vector<RECT>& r) { return SendMessageW(lv, LVM_SETWORKAREAS, n, reinterpret_cast<LPARAM>(r.data())); };
  p.getAreas = [&](WPARAM n) {
    UINT count = 99;
    SendMessageW(lv, LVM_GETNUMBEROFWORKAREAS, 0, reinterpret_cast<LPARAM>(&count));
    std::vector<RECT> r(n, RECT{-7, -7, -7, -7});
    SendMessageW(lv, LVM_GETWORKAREAS, n, reinterpret_cast<LPARAM>(r.data()));
    r.resize(std::min<std::size_t>(n, count));
    return r;
  };
  checkPositions(lv, p);
  DestroyWindow(parent);
}

TEST_F(RemoteMemory, ListViewPositionsAndWorkAreasAcrossProcessesThroughABlock) {
  WinProbe probe({});
  HWND lv = probe.window();
  Handle proc(OpenProcess(kVm, FALSE, probePid(probe)));
  ASSERT_NE(proc.h, nullptr);
  RemoteItem r(proc.h);
  ASSERT_NE(r.block, nullptr);
  Positions p;
  p.get = [&](int i) {
    r.put(0, POINT{-1, -1});
    EXPECT_EQ(SendMessageW(lv, LVM_GETITEMPOSITION, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(r.block)), TRUE);
    return r.get<POINT>(0);
  };
  p.set32 = [&](int i, POINT pt) {
    r.put(0, pt);
    return SendMessageW(lv, LVM_SETITEMPOSITION32, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(r.block));
  };
  p.setAreas = [&](WPARAM n, const std::vector<RECT>& rs) {
    for (std::size_t k = 0; k < rs.size(); ++k) r.put(k * sizeof(RECT), rs[k]);
    return SendMessageW(lv, LVM_SETWORKAREAS, n, reinterpret_cast<LPARAM>(r.block));
  };
  p.getAreas = [&](WPARAM n) {
    r.put(512, UINT{99});
    SendMessageW(lv, LVM_GETNUMBEROFWORKAREAS, 0, reinterpret_cast<LPARAM>(r.block + 512));
    const UINT count = r.get<UINT>(512);
    for (std::size_t k = 0; k < n; ++k) r.put(k * sizeof(RECT), RECT{-7, -7, -7, -7});
    SendMessageW(lv, LVM_GETWORKAREAS, n, reinterpret_cast<LPARAM>(r.block));
    std::vector<RECT> out;
    for (std::size_t k = 0; k < std::min<std::size_t>(n, count); ++k) out.push_back(r.get<RECT>(k * sizeof(RECT)));
    return out;
  };
  checkPositions(lv, p);

  // LVM_FINDITEMW with its text in the block.
  LVFINDINFOW find{};
  find.flags = LVFI_STRING;
  find.psz = reinterpret_cast<LPCWSTR>(r.block + 64);
  r.put(0, find);
  const char16_t beta[] = u"beta";
  WriteProcessMemory(proc.h, r.block + 64, beta, sizeof beta, nullptr);
  EXPECT_EQ(SendMessageW(lv, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(r.block)), 1);
  EXPECT_EQ(r.get<LVFINDINFOW>(0).psz, find.psz);  // the caller's record is left as it was
}

}  // namespace
