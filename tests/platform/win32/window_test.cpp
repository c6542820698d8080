// Windows within a process: classes, the creation and destruction sequences, subclassing, window
// data, the tree and z-order, visibility, activation and focus, painting and regions.
#include "platform/win32/window.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/platform/win32/window_fixture.h"

using namespace wintest;

namespace {

using Windows = WindowFixture;

std::u16string textOf(HWND h) {
  char16_t buf[64];
  int n = GetWindowTextW(h, buf, 64);
  return std::u16string(buf, static_cast<std::size_t>(n));
}

LRESULT CALLBACK plainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

TEST_F(Windows, ClassesShareTheHostAtomTableAndRefuseDuplicatesAndLiveWindows) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = plainProc;
  wc.lpszClassName = u"Kipo.ClassAtom";
  wc.cbWndExtra = 16;
  ATOM atom = RegisterClassExW(&wc);
  ASSERT_NE(atom, 0);
  // Classes and registered messages are names in one atom table.
  EXPECT_EQ(RegisterWindowMessageW(u"KIPO.classatom"), atom);

  wc.lpszClassName = u"kipo.CLASSATOM";
  SetLastError(0);
  EXPECT_EQ(RegisterClassExW(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  EXPECT_TRUE(GetClassInfoExW(nullptr, u"KIPO.CLASSATOM", &info));
  EXPECT_EQ(info.cbWndExtra, 16);
  EXPECT_EQ(info.lpfnWndProc, &plainProc);

  HWND h = CreateWindowExW(0, MAKEINTATOM(atom), u"by atom", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(h);
  char16_t name[8];
  EXPECT_EQ(GetClassNameW(h, name, 8), 7);  // truncated to the buffer, NUL included
  EXPECT_EQ(std::u16string(name), u"Kipo.Cl");

  EXPECT_FALSE(UnregisterClassW(u"Kipo.ClassAtom", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(h);
  EXPECT_TRUE(UnregisterClassW(u"Kipo.ClassAtom", nullptr));
  EXPECT_FALSE(UnregisterClassW(u"Kipo.ClassAtom", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));

  EXPECT_FALSE(CreateWindowExW(0, u"Kipo.ClassAtom", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(Windows, CreationSendsNcCreateCreateSizeMoveAndDefaultProcSetsTitle) {
  int param = 7;
  CREATESTRUCTW seen{};
  g_hook = [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_CREATE) seen = *reinterpret_cast<CREATESTRUCTW*>(l);
    return std::nullopt;
  };
  HWND h = CreateWindowExW(WS_EX_TOOLWINDOW, kClass, u"Title", WS_POPUP, 5, 6, 70, 80, nullptr, nullptr, nullptr, &param);
  ASSERT_TRUE(h);
  EXPECT_EQ(received(h, {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}),
            (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
  EXPECT_EQ(seen.lpCreateParams, &param);
  EXPECT_EQ(seen.cx, 70);
  EXPECT_EQ(seen.dwExStyle, static_cast<DWORD>(WS_EX_TOOLWINDOW));
  EXPECT_EQ(textOf(h), u"Title");
  EXPECT_FALSE(IsWindowVisible(h));

  // The title is set by DefWindowProcW's WM_NCCREATE: a procedure that answers it alone has none.
  g_hook = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_NCCREATE) return TRUE;
    return std::nullopt;
  };
  HWND bare = make(WS_POPUP, nullptr, 0, u"Lost");
  ASSERT_TRUE(bare);
  EXPECT_EQ(GetWindowTextLengthW(bare), 0);
}

TEST_F(Windows, CreateFailsWhenNcCreateOrCreateRefuse) {
  struct Case {
    UINT msg;
    LRESULT answer;
    std::vector<UINT> after;  // what the refused window still got
  } cases[] = {
      {WM_NCCREATE, FALSE, {WM_NCCREATE, WM_NCDESTROY}},
      {WM_CREATE, -1, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}},
  };
  for (const Case& c : cases) {
    clearLog();
    g_hook = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
      if (m == c.msg) return c.answer;
      return std::nullopt;
    };
    EXPECT_EQ(make(), nullptr) << c.msg;
    EXPECT_EQ(received(nullptr, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY, WM_SIZE}), c.after) << c.msg;
  }
  g_hook = nullptr;
  EXPECT_EQ(CreateWindowExW(0, kClass, u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
}

TEST_F(Windows, DestroyGoesOwnedFirstThenDestroyTopDownThenNcDestroyBottomUp) {
  HWND parent = make();
  HWND c1 = make(WS_CHILD, parent, 1);
  HWND grand = make(WS_CHILD, c1, 3);
  HWND c2 = make(WS_CHILD, parent, 2);
  HWND owned = make(WS_POPUP, parent);
  ASSERT_TRUE(parent && c1 && grand && c2 && owned);
  EXPECT_EQ(GetWindow(owned, GW_OWNER), parent);
  bool childrenAliveInDestroy = false;
  g_hook = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_DESTROY && h == parent) childrenAliveInDestroy = IsWindow(c1) && IsWindow(grand) && IsWindow(c2);
    return std::nullopt;
  };
  clearLog();
  EXPECT_TRUE(DestroyWindow(parent));
  std::vector<std::pair<HWND, UINT>> order;
  for (auto& s : g_log)
    if (s.msg == WM_DESTROY || s.msg == WM_NCDESTROY) order.emplace_back(s.hwnd, s.msg);
  std::vector<std::pair<HWND, UINT>> expected{
      {owned, WM_DESTROY}, {owned, WM_NCDESTROY}, {parent, WM_DESTROY}, {c1, WM_DESTROY},  {grand, WM_DESTROY},
      {c2, WM_DESTROY},    {grand, WM_NCDESTROY}, {c1, WM_NCDESTROY},   {c2, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
  EXPECT_EQ(order, expected);
  EXPECT_TRUE(childrenAliveInDestroy);
  for (HWND h : {parent, c1, grand, c2, owned}) EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(parent));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, OnlyTheOwningThreadDestroysAndChildNotifiesParent) {
  HWND parent = make();
  HWND child = make(WS_CHILD, parent, 42);
  EXPECT_EQ(received(parent, {WM_PARENTNOTIFY}).size(), 1u);
  BOOL fromOther = TRUE;
  DWORD error = 0;
  std::thread([&] {
    fromOther = DestroyWindow(child);
    error = GetLastError();
  }).join();
  EXPECT_FALSE(fromOther);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  clearLog();
  EXPECT_TRUE(DestroyWindow(child));
  std::lock_guard lock(g_logMutex);
  auto it = std::find_if(g_log.begin(), g_log.end(), [&](const Seen& s) { return s.msg == WM_PARENTNOTIFY; });
  ASSERT_NE(it, g_log.end());
  EXPECT_EQ(it->hwnd, parent);
  EXPECT_EQ(it->wParam, static_cast<WPARAM>(MAKELONG(WM_DESTROY, 42)));
  EXPECT_EQ(it->lParam, reinterpret_cast<LPARAM>(child));
}

WNDPROC g_previous = nullptr;
LRESULT CALLBACK upperCaseTitles(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_SETTEXT && l) {
    std::u16string t = reinterpret_cast<LPCWSTR>(l);
    for (auto& ch : t)
      if (ch >= u'a' && ch <= u'z') ch = static_cast<char16_t>(ch - 32);
    return CallWindowProcW(g_previous, h, m, w, reinterpret_cast<LPARAM>(t.c_str()));
  }
  return CallWindowProcW(g_previous, h, m, w, l);
}

TEST_F(Windows, SubclassingThroughGwlpWndProcChainsToThePreviousProcedure) {
  HWND h = make();
  g_previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(upperCaseTitles)));
  EXPECT_EQ(g_previous, &recordingProc);
  EXPECT_EQ(GetWindowLongPtrW(h, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(upperCaseTitles));
  clearLog();
  EXPECT_TRUE(SetWindowTextW(h, u"mixed Case"));
  EXPECT_EQ(textOf(h), u"MIXED CASE");
  EXPECT_EQ(received(h, {WM_SETTEXT}).size(), 1u);  // the original procedure still saw it

  SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_previous));
  SetWindowTextW(h, u"lower");
  EXPECT_EQ(textOf(h), u"lower");
  // The class keeps its procedure.
  EXPECT_EQ(GetClassLongPtrW(h, GCLP_WNDPROC), reinterpret_cast<ULONG_PTR>(&recordingProc));
}

TEST_F(Windows, WindowDataIndicesExtraBytesAndProps) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = recordingProc;
  wc.lpszClassName = u"Kipo.Extra";
  wc.cbWndExtra = 12;
  RegisterClassW(&wc);
  HWND parent = make();
  HWND h = CreateWindowExW(0, u"Kipo.Extra", u"", WS_CHILD, 0, 0, 5, 5, parent, reinterpret_cast<HMENU>(17), nullptr,
                           nullptr);
  ASSERT_TRUE(h);
  EXPECT_EQ(GetWindowLongPtrW(h, GWLP_ID), 17);
  EXPECT_EQ(GetDlgCtrlID(h), 17);
  EXPECT_EQ(GetDlgItem(parent, 17), h);
  EXPECT_EQ(GetWindowLongPtrW(h, GWLP_HWNDPARENT), reinterpret_cast<LONG_PTR>(parent));
  EXPECT_EQ(SetWindowLongPtrW(h, GWLP_USERDATA, 0x1234), 0);
  EXPECT_EQ(SetWindowLongPtrW(h, GWLP_USERDATA, 0x5678), 0x1234);
  EXPECT_EQ(GetWindowLongW(h, GWL_USERDATA), 0x5678);

  // Extra bytes: offsets are byte offsets; a value must fit inside cbWndExtra.
  EXPECT_EQ(SetWindowLongPtrW(h, 4, 0x0102030405060708LL), 0);
  EXPECT_EQ(GetWindowLongPtrW(h, 4), 0x0102030405060708LL);
  EXPECT_EQ(GetWindowLongW(h, 4), 0x05060708);
  struct Bad {
    int index;
  } bad[] = {{5}, {12}, {-2}, {-100}};
  for (auto b : bad) {
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrW(h, b.index), 0) << b.index;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX)) << b.index;
  }
  EXPECT_EQ(GetWindowLongW(h, 8), 0x01020304);  // a 32-bit read fits at 8 where a pointer-sized one does not

  // Style changes are announced, and WM_STYLECHANGING may adjust them.
  g_hook = [](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_STYLECHANGING) reinterpret_cast<STYLESTRUCT*>(l)->styleNew |= WS_TABSTOP;
    return std::nullopt;
  };
  LONG before = GetWindowLongW(h, GWL_STYLE);
  EXPECT_EQ(SetWindowLongW(h, GWL_STYLE, before | WS_BORDER), before);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)), static_cast<DWORD>(before | WS_BORDER | WS_TABSTOP));
  EXPECT_EQ(received(h, {WM_STYLECHANGING, WM_STYLECHANGED}), (std::vector<UINT>{WM_STYLECHANGING, WM_STYLECHANGED}));

  EXPECT_TRUE(SetPropW(h, u"Kipo.Prop", reinterpret_cast<HANDLE>(99)));
  EXPECT_EQ(GetPropW(h, u"KIPO.PROP"), reinterpret_cast<HANDLE>(99));
  EXPECT_EQ(RemovePropW(h, u"kipo.prop"), reinterpret_cast<HANDLE>(99));
  EXPECT_EQ(GetPropW(h, u"Kipo.Prop"), nullptr);

  DestroyWindow(h);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrW(h, GWLP_USERDATA), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, TreeQueriesFollowParentsOwnersAndCreationOrder) {
  HWND frame = make(WS_OVERLAPPEDWINDOW, nullptr, 0, u"Frame");
  HWND a = make(WS_CHILD, frame, 1);
  HWND b = make(WS_CHILD, frame, 2);
  HWND a1 = make(WS_CHILD, a, 3);
  HWND popup = make(WS_POPUP, a);          // owner is the top-level ancestor
  HWND ownedOverlapped = make(WS_OVERLAPPED, frame);
  HWND msgOnly = CreateWindowExW(0, kClass, u"Frame", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_TRUE(frame && a && b && a1 && popup && ownedOverlapped && msgOnly);

  struct Case {
    HWND got, want;
    const char* what;
  } cases[] = {
      {GetParent(a), frame, "parent of child"},
      {GetParent(popup), frame, "owner of popup"},
      {GetParent(ownedOverlapped), nullptr, "owned overlapped window has no parent"},
      {GetParent(frame), nullptr, "top-level"},
      {GetWindow(frame, GW_CHILD), a, "first child"},
      {GetWindow(a, GW_HWNDNEXT), b, "creation order"},
      {GetWindow(b, GW_HWNDPREV), a, "previous"},
      {GetWindow(b, GW_HWNDNEXT), nullptr, "last sibling"},
      {GetWindow(b, GW_HWNDFIRST), a, "first sibling"},
      {GetWindow(a, GW_HWNDLAST), b, "last"},
      {GetWindow(popup, GW_OWNER), frame, "owner"},
      {GetAncestor(a1, GA_PARENT), a, "GA_PARENT"},
      {GetAncestor(frame, GA_PARENT), GetDesktopWindow(), "top-level parent is the desktop"},
      {GetAncestor(a1, GA_ROOT), frame, "GA_ROOT"},
      {GetAncestor(popup, GA_ROOTOWNER), frame, "GA_ROOTOWNER"},
      {GetDlgItem(frame, 3), nullptr, "GetDlgItem looks at direct children only"},
      {FindWindowW(kClass, u"frame"), frame, "title matches case-insensitively"},
      {FindWindowW(u"no such class", nullptr), nullptr, "class"},
      {FindWindowExW(HWND_MESSAGE, nullptr, nullptr, u"Frame"), msgOnly, "message-only windows"},
      {FindWindowExW(frame, a, kClass, nullptr), b, "after a child"},
  };
  for (auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  EXPECT_TRUE(IsChild(frame, a1));
  EXPECT_FALSE(IsChild(frame, popup));

  std::vector<HWND> seen;
  auto collect = [](HWND h, LPARAM p) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
  };
  EnumChildWindows(frame, collect, reinterpret_cast<LPARAM>(&seen));
  EXPECT_EQ(seen, (std::vector<HWND>{a, a1, b}));  // depth first
  seen.clear();
  EnumWindows(collect, reinterpret_cast<LPARAM>(&seen));
  EXPECT_NE(std::find(seen.begin(), seen.end(), frame), seen.end());  // hidden, still listed
  EXPECT_EQ(std::find(seen.begin(), seen.end(), msgOnly), seen.end());
  EXPECT_EQ(std::find(seen.begin(), seen.end(), a), seen.end());
  // A callback may destroy what is being enumerated, and FALSE stops the enumeration.
  seen.clear();
  struct Ctx {
    std::vector<HWND>* seen;
    HWND victim;
  } ctx{&seen, b};
  EXPECT_FALSE(EnumChildWindows(
      frame,
      [](HWND h, LPARAM p) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(p);
        c->seen->push_back(h);
        DestroyWindow(c->victim);
        return c->seen->size() < 2;
      },
      reinterpret_cast<LPARAM>(&ctx)));
  EXPECT_EQ(seen, (std::vector<HWND>{a, a1}));
  EXPECT_FALSE(IsWindow(b));
}

TEST_F(Windows, SetParentMovesAChildAndRefusesCycles) {
  HWND one = make(), two = make();
  HWND child = make(WS_CHILD, one, 4);
  HWND grand = make(WS_CHILD, child, 5);
  EXPECT_EQ(SetParent(child, two), one);
  EXPECT_EQ(GetParent(child), two);
  EXPECT_EQ(GetDlgItem(two, 4), child);
  EXPECT_EQ(GetWindow(one, GW_CHILD), nullptr);
  EXPECT_TRUE(IsChild(two, grand));
  EXPECT_EQ(SetParent(child, grand), nullptr);  // would make a cycle
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // Destroying the new parent takes the moved child with it.
  DestroyWindow(two);
  EXPECT_FALSE(IsWindow(grand));
  EXPECT_TRUE(IsWindow(one));
}

TEST_F(Windows, VisibilityNeedsAncestorsAndShowWindowReportsThePreviousState) {
  HWND frame = make();
  HWND child = make(WS_CHILD | WS_VISIBLE, frame);
  EXPECT_FALSE(IsWindowVisible(child));  // its parent is hidden
  EXPECT_TRUE(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE);
  clearLog();
  EXPECT_FALSE(ShowWindow(frame, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_TRUE(ShowWindow(frame, SW_SHOW));
  EXPECT_EQ(received(frame, {WM_SHOWWINDOW}).size(), 1u);  // only when the state changes
  EXPECT_EQ(GetActiveWindow(), frame);

  RECT before;
  GetWindowRect(frame, &before);
  clearLog();
  ShowWindow(frame, SW_MAXIMIZE);
  EXPECT_TRUE(IsZoomed(frame));
  RECT r;
  GetWindowRect(frame, &r);
  EXPECT_EQ(r.right - r.left, 1024);
  EXPECT_EQ(r.bottom - r.top, 768);
  {
    std::lock_guard lock(g_logMutex);
    auto it = std::find_if(g_log.begin(), g_log.end(), [&](const Seen& s) { return s.msg == WM_SIZE; });
    ASSERT_NE(it, g_log.end());
    EXPECT_EQ(it->wParam, static_cast<WPARAM>(SIZE_MAXIMIZED));
  }
  ShowWindow(frame, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(frame));
  EXPECT_FALSE(IsZoomed(frame));
  ShowWindow(frame, SW_RESTORE);
  GetWindowRect(frame, &r);
  EXPECT_TRUE(EqualRect(&r, &before));
  EXPECT_TRUE(ShowWindow(frame, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(frame));
  EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(Windows, EnableWindowReturnsPreviousDisabledStateAndTakesFocusAway) {
  HWND frame = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND edit = make(WS_CHILD | WS_VISIBLE, frame, 5);
  SetFocus(edit);
  ASSERT_EQ(GetFocus(), edit);
  clearLog();
  EXPECT_FALSE(EnableWindow(edit, FALSE));
  EXPECT_TRUE(EnableWindow(edit, FALSE));
  EXPECT_FALSE(IsWindowEnabled(edit));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(received(edit, {WM_ENABLE, WM_KILLFOCUS}), (std::vector<UINT>{WM_KILLFOCUS, WM_ENABLE}));
  EXPECT_TRUE(EnableWindow(edit, TRUE));
  EXPECT_TRUE(IsWindowEnabled(edit));
}

TEST_F(Windows, SetWindowPosReportsOnlyRealChangesAndKeepsTopmostWindowsAbove) {
  HWND h = make(WS_POPUP);
  g_hook = [](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_WINDOWPOSCHANGING) reinterpret_cast<WINDOWPOS*>(l)->cx = 333;  // the window insists on its width
    return std::nullopt;
  };
  struct Case {
    int x, y, cx, cy;
    UINT flags;
    std::vector<UINT> sent;
  } cases[] = {
      {50, 60, 10, 10, SWP_NOZORDER | SWP_NOACTIVATE, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE}},
      {50, 60, 10, 10, SWP_NOZORDER | SWP_NOACTIVATE, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}},
      {70, 60, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE}},
  };
  for (auto& c : cases) {
    clearLog();
    EXPECT_TRUE(SetWindowPos(h, nullptr, c.x, c.y, c.cx, c.cy, c.flags));
    EXPECT_EQ(received(h, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE}), c.sent) << c.x;
  }
  RECT r;
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, 70);
  EXPECT_EQ(r.right - r.left, 333);
  g_hook = nullptr;

  HWND a = make(WS_POPUP), b = make(WS_POPUP), c = make(WS_POPUP);
  SetWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_TRUE(GetWindowLongW(a, GWL_EXSTYLE) & WS_EX_TOPMOST);
  SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(GetTopWindow(nullptr), a);  // HWND_TOP stays below topmost windows
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
  SetWindowPos(b, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), nullptr);
  SetWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_FALSE(GetWindowLongW(a, GWL_EXSTYLE) & WS_EX_TOPMOST);
  SetWindowPos(c, a, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), c);
}

TEST_F(Windows, CoordinatesHaveNoNonClientArea) {
  HWND frame = make(WS_POPUP, nullptr, 0, u"", {100, 50, 400, 350});
  HWND child = make(WS_CHILD, frame, 1, u"", {10, 20, 60, 40});
  RECT r;
  GetWindowRect(child, &r);
  EXPECT_EQ(r.left, 110);
  EXPECT_EQ(r.top, 70);
  EXPECT_EQ(r.right, 160);
  GetClientRect(child, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, 50);
  EXPECT_EQ(r.bottom, 20);
  POINT p{115, 75};
  ScreenToClient(child, &p);
  EXPECT_EQ(p.x, 5);
  EXPECT_EQ(p.y, 5);
  ClientToScreen(child, &p);
  EXPECT_EQ(p.x, 115);
  RECT adjusted{0, 0, 30, 40};
  AdjustWindowRectEx(&adjusted, WS_OVERLAPPEDWINDOW, FALSE, 0);
  EXPECT_EQ(adjusted.right, 30);
  GetWindowRect(GetDesktopWindow(), &r);
  EXPECT_EQ(r.right, 1024);
}

TEST_F(Windows, ActivationAndFocusMessages) {
  HWND one = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND two = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND field = make(WS_CHILD | WS_VISIBLE, two, 9);
  ASSERT_EQ(GetActiveWindow(), two);
  EXPECT_EQ(GetForegroundWindow(), two);
  clearLog();
  EXPECT_EQ(SetActiveWindow(one), two);
  EXPECT_EQ(received(two, {WM_ACTIVATE, WM_KILLFOCUS}), (std::vector<UINT>{WM_ACTIVATE, WM_KILLFOCUS}));
  EXPECT_EQ(received(one, {WM_ACTIVATE, WM_SETFOCUS}), (std::vector<UINT>{WM_ACTIVATE, WM_SETFOCUS}));
  EXPECT_EQ(GetFocus(), one);  // DefWindowProcW's WM_ACTIVATE focuses the window

  // Focusing a control of an inactive window activates that window first.
  clearLog();
  SetFocus(field);
  EXPECT_EQ(GetActiveWindow(), two);
  EXPECT_EQ(GetFocus(), field);
  EXPECT_EQ(received(field, {WM_SETFOCUS}).size(), 1u);

  HWND dialog = make(WS_POPUP | WS_VISIBLE, one);
  EXPECT_EQ(GetLastActivePopup(one), dialog);
  EXPECT_TRUE(SetForegroundWindow(two));
  EXPECT_EQ(GetForegroundWindow(), two);

  clearLog();
  EXPECT_EQ(SetCapture(field), nullptr);
  EXPECT_EQ(GetCapture(), field);
  SetCapture(one);
  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(received(field, {WM_CAPTURECHANGED}).size(), 1u);
  EXPECT_EQ(received(one, {WM_CAPTURECHANGED}).size(), 1u);
}

TEST_F(Windows, PaintingComesAfterPostedMessagesAndStopsOnceValidated) {
  HWND h = make(WS_POPUP | WS_VISIBLE);
  MSG m;
  // Creation as a visible window left it needing paint; DefWindowProcW validates it.
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE));

  RECT part{1, 2, 3, 4};
  InvalidateRect(h, &part, TRUE);
  PostMessageW(h, WM_USER, 0, 0);
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
  // WM_PAINT is not removed by retrieval: it stays until the window is validated.
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
  PAINTSTRUCT ps;
  clearLog();
  BeginPaint(h, &ps);
  EXPECT_EQ(ps.rcPaint.left, 1);
  EXPECT_EQ(ps.rcPaint.bottom, 4);
  EXPECT_TRUE(ps.fErase);  // the class has no background brush, so nothing erased it
  EXPECT_EQ(received(h, {WM_ERASEBKGND}).size(), 1u);
  EndPaint(h, &ps);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));

  // A hidden window is painted only once shown; UpdateWindow paints at once.
  ShowWindow(h, SW_HIDE);
  InvalidateRect(h, nullptr, FALSE);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  clearLog();
  ShowWindow(h, SW_SHOWNA);
  UpdateWindow(h);
  EXPECT_EQ(received(h, {WM_PAINT}).size(), 1u);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(Regions, CombineRgnTable) {
  struct Case {
    int mode;
    int kind;
    RECT box;
    POINT in, out;
  } cases[] = {
      // a = (0,0)-(10,10), b = (5,5)-(15,15)
      {RGN_AND, SIMPLEREGION, {5, 5, 10, 10}, {7, 7}, {2, 2}},
      {RGN_OR, COMPLEXREGION, {0, 0, 15, 15}, {12, 12}, {12, 2}},
      {RGN_XOR, COMPLEXREGION, {0, 0, 15, 15}, {2, 2}, {7, 7}},
      {RGN_DIFF, COMPLEXREGION, {0, 0, 10, 10}, {2, 7}, {7, 7}},
      {RGN_COPY, SIMPLEREGION, {0, 0, 10, 10}, {9, 9}, {10, 10}},
  };
  for (auto& c : cases) {
    HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), d = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.kind) << c.mode;
    RECT box;
    GetRgnBox(d, &box);
    EXPECT_TRUE(EqualRect(&box, &c.box)) << c.mode;
    EXPECT_TRUE(PtInRegion(d, c.in.x, c.in.y)) << c.mode;
    EXPECT_FALSE(PtInRegion(d, c.out.x, c.out.y)) << c.mode;
    for (HRGN r : {a, b, d}) EXPECT_TRUE(DeleteObject(r));
  }
  HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(10, 0, 20, 10), d = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(d, a, b, RGN_OR), SIMPLEREGION);  // touching rectangles join into one
  EXPECT_EQ(CombineRgn(d, a, a, RGN_DIFF), NULLREGION);
  EXPECT_EQ(CombineRgn(d, a, nullptr, RGN_OR), ERROR);
}

TEST_F(Windows, RoundRegionCutsCornersAndWindowOwnsItsRegion) {
  HRGN round = CreateRoundRectRgn(0, 0, 100, 50, 20, 20);
  EXPECT_FALSE(PtInRegion(round, 0, 0));
  EXPECT_FALSE(PtInRegion(round, 99, 49));
  EXPECT_TRUE(PtInRegion(round, 50, 0));
  EXPECT_TRUE(PtInRegion(round, 0, 25));
  EXPECT_TRUE(PtInRegion(round, 10, 10));
  HWND h = make(WS_POPUP);
  EXPECT_TRUE(SetWindowRgn(h, round, FALSE));
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(h, copy), COMPLEXREGION);
  EXPECT_TRUE(EqualRgn(copy, round));
  EXPECT_TRUE(SetWindowRgn(h, nullptr, FALSE));
  EXPECT_FALSE(DeleteObject(round));  // the window deleted the region it owned
  EXPECT_EQ(GetWindowRgn(h, copy), ERROR);
  DeleteObject(copy);
}

}  // namespace
