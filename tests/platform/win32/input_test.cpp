// Synthesized input: what is recorded, the key state it leaves (GetAsyncKeyState's "pressed since"
// bit, GetKeyState's toggle), the cursor it moves, the shell's Windows+D toggle, and mouse-leave
// tracking, the double-click time from the registry, and threads whose input state is joined.
#include "platform/win32/input.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/time.h"
#include "tests/platform/win32/window_fixture.h"
#include "tests/support/test_windows.h"

namespace {

using namespace wintest;
using platform::input::InputEvent;

constexpr BYTE kD = 0x44;

class InputTest : public WindowFixture {
 protected:
  InputTest() { platform::input::clearRecordedInput(); }

  static void press(BYTE vk) {
    keybd_event(vk, 0, 0, 0);
    keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
  }
  static void windowsD() {
    keybd_event(VK_LWIN, 0, 0, 0);
    press(kD);
    keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
  }
};

TEST_F(InputTest, KeyEventsAreRecordedInOrderWithTheCallersProcess) {
  keybd_event(VK_SHIFT, 0x2A, 0, 0);
  keybd_event(VK_SHIFT, 0x2A, KEYEVENTF_KEYUP, 0);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  auto events = platform::input::recordedInput();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_TRUE(events[0].keyboard);
  EXPECT_EQ(events[0].vk, VK_SHIFT);
  EXPECT_EQ(events[0].scan, 0x2A);
  EXPECT_EQ(events[1].flags, static_cast<DWORD>(KEYEVENTF_KEYUP));
  EXPECT_FALSE(events[2].keyboard);
  EXPECT_EQ(events[2].flags, static_cast<DWORD>(MOUSEEVENTF_LEFTDOWN));
  for (const InputEvent& e : events) EXPECT_EQ(e.processId, static_cast<std::int64_t>(GetCurrentProcessId()));
  EXPECT_LT(events[0].id, events[1].id);
}

TEST_F(InputTest, AsyncKeyStateTellsDownNowAndPressedSinceTheLastAsk) {
  EXPECT_EQ(GetAsyncKeyState('A'), 0);
  keybd_event('A', 0, 0, 0);
  EXPECT_EQ(static_cast<WORD>(GetAsyncKeyState('A')), 0x8001) << "down, and pressed since the last ask";
  EXPECT_EQ(static_cast<WORD>(GetAsyncKeyState('A')), 0x8000) << "the press was reported already";
  keybd_event('A', 0, KEYEVENTF_KEYUP, 0);
  EXPECT_EQ(GetAsyncKeyState('A'), 0);
  press('A');
  EXPECT_EQ(GetAsyncKeyState('A'), 1) << "a press and release in between: only the low bit";
  // A key held down with repeats is one press.
  keybd_event('B', 0, 0, 0);
  keybd_event('B', 0, 0, 0);
  EXPECT_EQ(static_cast<WORD>(GetAsyncKeyState('B')), 0x8001);
  keybd_event('B', 0, KEYEVENTF_KEYUP, 0);
  EXPECT_EQ(GetAsyncKeyState(0), 0);
  EXPECT_EQ(GetAsyncKeyState(300), 0);
}

TEST_F(InputTest, KeyStateTogglesOnEveryPressAndSidesMakeTheGenericKey) {
  EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 0);
  press(VK_CAPITAL);
  EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 1);
  EXPECT_EQ(GetKeyState(VK_CAPITAL) & 0x8000, 0);
  press(VK_CAPITAL);
  EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 0);

  keybd_event(VK_RCONTROL, 0, 0, 0);
  EXPECT_LT(GetKeyState(VK_CONTROL), 0) << "either side holds the generic key down (the result is negative)";
  EXPECT_LT(GetKeyState(VK_RCONTROL), 0);
  EXPECT_GE(GetKeyState(VK_LCONTROL), 0);
  keybd_event(VK_RCONTROL, 0, KEYEVENTF_KEYUP, 0);
  EXPECT_GE(GetKeyState(VK_CONTROL), 0);
}

TEST_F(InputTest, SendInputTakesAllRecordsOrNone) {
  INPUT in[2]{};
  in[0].type = INPUT_KEYBOARD;
  in[0].ki.wVk = 'Z';
  in[1].type = INPUT_MOUSE;
  in[1].mi.dwFlags = MOUSEEVENTF_MOVE;
  in[1].mi.dx = 5;
  in[1].mi.dy = 7;

  SetLastError(0xdeadbeef);
  EXPECT_EQ(SendInput(2, in, sizeof(INPUT) - 1), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  INPUT bad[2] = {in[0], in[1]};
  bad[1].type = INPUT_HARDWARE;
  EXPECT_EQ(SendInput(2, bad, sizeof(INPUT)), 0u) << "a record it cannot take refuses the whole call";
  EXPECT_TRUE(platform::input::recordedInput().empty());

  POINT start{};
  ASSERT_TRUE(GetCursorPos(&start));
  EXPECT_EQ(SendInput(2, in, sizeof(INPUT)), 2u);
  auto events = platform::input::recordedInput();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].vk, 'Z');
  EXPECT_LT(GetKeyState('Z'), 0);
  POINT now{};
  GetCursorPos(&now);
  EXPECT_EQ(now.x, std::min<LONG>(start.x + 5, 1023));
  EXPECT_EQ(now.y, std::min<LONG>(start.y + 7, 767));
  keybd_event('Z', 0, KEYEVENTF_KEYUP, 0);
}

TEST_F(InputTest, MouseMovesTheCursorWithinTheScreenAndTracksButtons) {
  // The host's screen is 1024 x 768; absolute coordinates are 0..65535 across it.
  struct Case {
    DWORD flags;
    DWORD dx, dy;
    POINT expected;
  } cases[] = {
      {MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 32768, 32768, {512, 384}},
      {MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 65535, 65535, {1023, 767}},  // the bottom-right pixel
      {MOUSEEVENTF_MOVE, 100, 100, {1023, 767}},                             // stays on the screen
      {MOUSEEVENTF_MOVE, static_cast<DWORD>(-2000), static_cast<DWORD>(-10), {0, 757}},
      {MOUSEEVENTF_LEFTDOWN, 0, 0, {0, 757}},                                // buttons do not move it
  };
  for (const Case& c : cases) {
    mouse_event(c.flags, c.dx, c.dy, 0, 0);
    POINT p{};
    GetCursorPos(&p);
    EXPECT_EQ(p.x, c.expected.x) << "flags " << c.flags << " dx " << static_cast<LONG>(c.dx);
    EXPECT_EQ(p.y, c.expected.y) << "flags " << c.flags << " dy " << static_cast<LONG>(c.dy);
  }
  EXPECT_LT(GetAsyncKeyState(VK_LBUTTON), 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  EXPECT_GE(GetAsyncKeyState(VK_LBUTTON), 0);
  EXPECT_EQ(platform::input::recordedInput().back().cursor.y, 757);

  ASSERT_TRUE(SetCursorPos(40, 50));
  POINT p{};
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 40);
  EXPECT_EQ(p.y, 50);
}

// A press moves the activation as a click does, once the thread reads its messages: onto the
// calling thread's window under the cursor, and away from it over another thread's window or the
// bare desktop.
TEST_F(InputTest, APressActivatesTheWindowUnderTheCursorOrTakesTheActivationAway) {
  HWND left = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, u"left", RECT{10, 20, 110, 220});
  HWND right = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, u"right", RECT{300, 300, 400, 400});
  std::atomic<HWND> foreign{nullptr};
  std::atomic<bool> done{false};
  std::thread other([&] {
    foreign = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, u"other thread", RECT{500, 100, 600, 200});
    while (!done) Sleep(5);
    DestroyWindow(foreign);
  });
  while (!foreign) Sleep(5);
  auto pressAt = [](int x, int y) {
    mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, static_cast<DWORD>(x * 65536 / 1024 + 1),
                static_cast<DWORD>(y * 65536 / 768 + 1), 0, 0);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    // Taken in when the thread reads its messages.
    const DWORD until = GetTickCount() + 200;
    for (MSG msg; GetTickCount() < until;) {
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(5);
    }
  };
  SetActiveWindow(right);
  ASSERT_EQ(GetActiveWindow(), right);
  // Not during the call that makes it.
  mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN, 50 * 65536 / 1024 + 1,
              100 * 65536 / 768 + 1, 0, 0);
  EXPECT_EQ(GetActiveWindow(), right);
  pressAt(50, 100);
  EXPECT_EQ(GetActiveWindow(), left);
  pressAt(550, 150);
  EXPECT_EQ(GetActiveWindow(), nullptr) << "another thread's window takes the activation";
  SetActiveWindow(right);
  pressAt(1000, 700);
  EXPECT_EQ(GetActiveWindow(), nullptr) << "the desktop takes the activation";
  // A move or a release alone changes nothing.
  SetActiveWindow(right);
  mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 32768, 1000, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  EXPECT_EQ(GetActiveWindow(), right);
  done = true;
  other.join();
}

TEST_F(InputTest, WindowsDMinimisesTheShownWindowsAndTheSamePressRestoresThem) {
  HWND shown = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND alreadyMinimised = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  ShowWindow(alreadyMinimised, SW_MINIMIZE);
  HWND hidden = make(WS_OVERLAPPEDWINDOW);
  HWND second = CreateWindowExW(0, kClass, u"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_TRUE(shown && alreadyMinimised && hidden && second);

  press(kD);  // D alone is just a key
  EXPECT_FALSE(platform::input::desktopShown());
  EXPECT_FALSE(IsIconic(shown));

  windowsD();
  EXPECT_TRUE(platform::input::desktopShown());
  EXPECT_TRUE(IsIconic(shown));
  EXPECT_TRUE(IsIconic(second));
  EXPECT_FALSE(IsWindowVisible(hidden)) << "a hidden window is left alone";
  EXPECT_FALSE(IsIconic(hidden));
  auto remembered = platform::input::windowsHiddenByShowDesktop();
  EXPECT_EQ(std::count(remembered.begin(), remembered.end(), shown), 1);
  EXPECT_EQ(std::count(remembered.begin(), remembered.end(), alreadyMinimised), 0)
      << "a window minimised before is not the press's to restore";

  windowsD();
  EXPECT_FALSE(platform::input::desktopShown());
  EXPECT_FALSE(IsIconic(shown));
  EXPECT_TRUE(IsIconic(alreadyMinimised));
  EXPECT_TRUE(platform::input::windowsHiddenByShowDesktop().empty());
}

TEST_F(InputTest, WindowsDLeavesTheShellsOwnWindows) {
  kipotest::registerWindowClass(u"Shell_TrayWnd");
  HWND tray = CreateWindowExW(0, u"Shell_TrayWnd", u"", WS_POPUP | WS_VISIBLE, 0, 738, 1024, 30, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_TRUE(tray);
  windowsD();
  EXPECT_FALSE(IsIconic(tray));
  windowsD();
  DestroyWindow(tray);
}

TEST_F(InputTest, MouseLeaveIsPostedOnceWhenAskedFor) {
  HWND w = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  EXPECT_FALSE(platform::input::mouseLeave(w)) << "nobody asked";

  TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, w, HOVER_DEFAULT};
  ASSERT_TRUE(TrackMouseEvent(&t));
  TRACKMOUSEEVENT q{sizeof q, TME_QUERY, w, 0};
  ASSERT_TRUE(TrackMouseEvent(&q));
  EXPECT_EQ(q.dwFlags, static_cast<DWORD>(TME_LEAVE));

  EXPECT_TRUE(platform::input::mouseLeave(w));
  EXPECT_FALSE(platform::input::mouseLeave(w)) << "the tracking ended with the message";
  MSG m;
  int leaves = 0;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_MOUSELEAVE && m.hwnd == w) ++leaves;
    DispatchMessageW(&m);  // paints too, so the queue runs dry
  }
  EXPECT_EQ(leaves, 1);

  // Cancelling withdraws the request.
  ASSERT_TRUE(TrackMouseEvent(&t));
  TRACKMOUSEEVENT cancel{sizeof cancel, TME_LEAVE | TME_CANCEL, w, 0};
  ASSERT_TRUE(TrackMouseEvent(&cancel));
  EXPECT_EQ(platform::input::trackingOf(w), 0u);
}

TEST_F(InputTest, MovingTheCursorOutOfTheWindowCountsAsLeaving) {
  HWND w = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, u"", RECT{100, 100, 200, 200});
  SetCursorPos(150, 150);
  TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, w, HOVER_DEFAULT};
  ASSERT_TRUE(TrackMouseEvent(&t));
  SetCursorPos(160, 160);
  EXPECT_EQ(platform::input::trackingOf(w), static_cast<DWORD>(TME_LEAVE)) << "still inside";
  SetCursorPos(300, 300);
  EXPECT_EQ(platform::input::trackingOf(w), 0u);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, w, WM_MOUSELEAVE, WM_MOUSELEAVE, PM_REMOVE));
}

TEST_F(InputTest, TrackMouseEventChecksItsRecordAndWindow) {
  HWND w = make();
  TRACKMOUSEEVENT t{sizeof t - 1, TME_LEAVE, w, HOVER_DEFAULT};
  SetLastError(0);
  EXPECT_FALSE(TrackMouseEvent(&t));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  t.cbSize = sizeof t;
  t.hwndTrack = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x7FFF0001));
  EXPECT_FALSE(TrackMouseEvent(&t));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

// ---- Double-click time ----

struct DoubleClickCase {
  const char* rule;
  DWORD type;      // 0: no value at all
  std::u16string text;
  DWORD number;    // for REG_DWORD
  UINT expected;
};

TEST_F(InputTest, DoubleClickTimeIsTheUsersMouseSettingWithWindowsLimits) {
  const DoubleClickCase cases[] = {
      {"no value: Windows' default", 0, u"", 0, 500},
      {"the value as the control panel writes it", REG_SZ, u"200", 0, 200},
      {"read afresh on every call", REG_SZ, u"900", 0, 900},
      {"zero means the default, as SetDoubleClickTime(0)", REG_SZ, u"0", 0, 500},
      {"not a number: the default", REG_SZ, u"fast", 0, 500},
      {"the leading digits count", REG_SZ, u"350ms", 0, 350},
      {"at most 5000", REG_SZ, u"9999", 0, 5000},
      {"far above the limit still 5000", REG_SZ, u"12345678901234", 0, 5000},
      {"expandable text is text", REG_EXPAND_SZ, u"450", 0, 450},
      {"a number-typed value is not read", REG_DWORD, u"", 300, 500},
  };
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"Control Panel\\Mouse", &key), ERROR_SUCCESS);
  for (const auto& c : cases) {
    RegDeleteValueW(key, u"DoubleClickSpeed");
    if (c.type == REG_DWORD) {
      RegSetValueExW(key, u"DoubleClickSpeed", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&c.number), sizeof(DWORD));
    } else if (c.type) {
      RegSetValueExW(key, u"DoubleClickSpeed", 0, c.type, reinterpret_cast<const BYTE*>(c.text.c_str()),
                     static_cast<DWORD>((c.text.size() + 1) * sizeof(char16_t)));
    }
    EXPECT_EQ(GetDoubleClickTime(), c.expected) << c.rule;
  }
  // A value without its terminating NUL is read to its end, not past it.
  const char16_t unterminated[] = {u'7', u'5', u'0', u'9'};
  RegSetValueExW(key, u"DoubleClickSpeed", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), 3 * sizeof(char16_t));
  EXPECT_EQ(GetDoubleClickTime(), 750u);
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Control Panel\\Mouse"), ERROR_SUCCESS);
  EXPECT_EQ(GetDoubleClickTime(), 500u) << "no key at all";
}

// ---- Joined input state ----

constexpr UINT kAskFocus = WM_USER + 70;
constexpr UINT kAskActive = WM_USER + 71;

// A second thread with a visible window of its own, answering what its thread sees as focus and
// active window, pumping until told to stop.
class OtherThread {
 public:
  OtherThread() {
    thread_ = std::thread([this] {
      HWND w = CreateWindowExW(0, kClass, u"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
      id_ = GetCurrentThreadId();
      window_ = w;
      while (!stop_) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        Sleep(1);
      }
      DestroyWindow(w);
    });
    while (!window_) Sleep(1);
  }
  ~OtherThread() {
    stop_ = true;
    thread_.join();
  }
  HWND window() const { return window_; }
  DWORD id() const { return id_; }
  HWND focus() const { return reinterpret_cast<HWND>(SendMessageW(window_, kAskFocus, 0, 0)); }
  HWND active() const { return reinterpret_cast<HWND>(SendMessageW(window_, kAskActive, 0, 0)); }

 private:
  std::thread thread_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<DWORD> id_{0};
  std::atomic<bool> stop_{false};
};

class AttachTest : public InputTest {
 protected:
  AttachTest() {
    g_hook = [](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
      if (msg == kAskFocus) return reinterpret_cast<LRESULT>(GetFocus());
      if (msg == kAskActive) return reinterpret_cast<LRESULT>(GetActiveWindow());
      return std::nullopt;
    };
  }
};

TEST_F(AttachTest, JoinedThreadsShareFocusAndActiveWindowAndSeparatingSplitsThemByOwner) {
  HWND mine = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  OtherThread other;  // its window comes to the foreground
  ASSERT_EQ(GetForegroundWindow(), other.window());
  ASSERT_EQ(GetActiveWindow(), mine);

  // Apart, a thread cannot focus another thread's window.
  SetLastError(0xDEADBEEF);
  EXPECT_EQ(SetFocus(other.window()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetFocus(), mine);

  // Joined to the foreground thread, this thread sees the foreground thread's state...
  ASSERT_TRUE(AttachThreadInput(other.id(), GetCurrentThreadId(), TRUE));
  EXPECT_EQ(GetActiveWindow(), other.window());
  EXPECT_EQ(GetFocus(), other.window());

  // ...and may move the one focus, and the foreground, back to its own window.
  SetFocus(mine);
  EXPECT_EQ(GetFocus(), mine);
  EXPECT_EQ(other.focus(), mine);
  EXPECT_EQ(other.active(), mine);
  EXPECT_EQ(GetForegroundWindow(), mine);

  // Separated, each thread keeps what belongs to it.
  ASSERT_TRUE(AttachThreadInput(other.id(), GetCurrentThreadId(), FALSE));
  EXPECT_EQ(GetFocus(), mine);
  EXPECT_EQ(GetActiveWindow(), mine);
  EXPECT_EQ(other.focus(), nullptr);
  EXPECT_EQ(other.active(), nullptr);
  SetLastError(0xDEADBEEF);
  EXPECT_EQ(SetFocus(other.window()), nullptr) << "apart again";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(AttachTest, JoinsAreCountedPerPair) {
  OtherThread other;
  HWND mine = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);  // the foreground: its state is the joined one
  ASSERT_TRUE(AttachThreadInput(other.id(), GetCurrentThreadId(), TRUE));
  ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), other.id(), TRUE));
  ASSERT_TRUE(AttachThreadInput(other.id(), GetCurrentThreadId(), FALSE));
  EXPECT_EQ(other.focus(), GetFocus()) << "one join is left";
  ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), other.id(), FALSE));
  EXPECT_EQ(GetActiveWindow(), mine);
  EXPECT_EQ(other.active(), nullptr) << "the shared state held only this thread's window";
}

TEST_F(AttachTest, RefusesWhatCannotBeJoined) {
  OtherThread other;
  std::atomic<DWORD> plain{0};
  std::atomic<bool> release{false};
  std::thread noQueue([&] {
    plain = GetCurrentThreadId();
    while (!release) Sleep(1);
  });
  while (!plain) Sleep(1);
  const DWORD me = GetCurrentThreadId();
  make(WS_OVERLAPPEDWINDOW);
  struct Case {
    const char* rule;
    DWORD from, to;
    BOOL attach;
  } cases[] = {
      {"a thread with itself", me, me, TRUE},
      {"no such thread", 0x7FFFFFF0u, me, TRUE},
      {"to no such thread", me, 0x7FFFFFF0u, TRUE},
      {"a thread without a message queue", plain, me, TRUE},
      {"separating threads never joined", other.id(), me, FALSE},
  };
  for (const auto& c : cases) {
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(AttachThreadInput(c.from, c.to, c.attach)) << c.rule;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.rule;
  }
  release = true;
  noQueue.join();
}

}  // namespace
