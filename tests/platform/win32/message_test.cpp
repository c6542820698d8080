// Message queues: retrieval order and filters, posting errors, nested loops, sending between
// threads (the waiting sender serves messages sent to it), timeouts, waits, registered messages.
#include "platform/win32/message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "platform/base/clock.h"
#include "platform/win32/waitable.h"
#include "tests/platform/win32/window_fixture.h"

using namespace wintest;

namespace {

using Messages = WindowFixture;

// A manual-reset object to wait on, as an event will be.
class TestSignal : public platform::Waitable {
 public:
  bool tryAcquire() override { return set_.load(); }
  bool isSignaled() override { return set_.load(); }
  void signal() {
    set_ = true;
    wakeWaiters();
  }

 private:
  std::atomic<bool> set_{false};
};

void drain() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

TEST_F(Messages, RetrievalOrderIsSentPostedQuitPaintTimer) {
  platform::clock::VirtualClock clock;
  HWND h = make(WS_POPUP | WS_VISIBLE);
  drain();
  SetTimer(h, 1, 10, nullptr);
  clock.advance(20);
  InvalidateRect(h, nullptr, FALSE);
  PostQuitMessage(3);
  PostMessageW(h, WM_USER, 0, 0);
  PostMessageW(h, WM_USER + 1, 0, 0);
  std::thread([&] { SendNotifyMessageW(h, WM_USER + 5, 0, 0); }).join();
  clearLog();

  std::vector<UINT> order;
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    order.push_back(m.message);
    if (m.message == WM_PAINT) ValidateRect(h, nullptr);
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER, WM_USER + 1, WM_QUIT, WM_PAINT, WM_TIMER}));
  // The sent message was handled inside the first PeekMessageW, before anything was returned.
  EXPECT_EQ(received(h, {WM_USER + 5}).size(), 1u);
  KillTimer(h, 1);
}

TEST_F(Messages, PeekFiltersByWindowTreeThreadAndRange) {
  HWND a = make(WS_POPUP);
  HWND child = make(WS_CHILD, a, 1);
  HWND b = make(WS_POPUP);
  PostMessageW(b, WM_USER + 1, 0, 0);
  PostMessageW(child, WM_USER + 2, 0, 0);
  PostThreadMessageW(thisThread(), WM_USER + 3, 0, 0);
  PostMessageW(a, WM_APP, 0, 0);

  struct Case {
    HWND filter;
    UINT min, max;
    UINT expect;  // 0: nothing
    const char* rule;
  } cases[] = {
      {a, 0, 0, WM_USER + 2, "a window's filter takes its children's messages"},
      {reinterpret_cast<HWND>(-1), 0, 0, WM_USER + 3, "-1 takes thread messages only"},
      {nullptr, WM_APP, WM_APP, WM_APP, "range"},
      {b, WM_APP, WM_APP + 10, 0, "window and range together"},
      {nullptr, 0, 0, WM_USER + 1, "no filter: first posted"},
      {nullptr, 0, 0, WM_USER + 1, "PM_NOREMOVE left it there"},
  };
  for (auto& c : cases) {
    MSG m{};
    BOOL got = PeekMessageW(&m, c.filter, c.min, c.max, PM_NOREMOVE);
    EXPECT_EQ(got ? m.message : 0u, c.expect) << c.rule;
  }
  std::vector<UINT> all;
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) all.push_back(m.message);
  EXPECT_EQ(all, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_APP}));

  DestroyWindow(b);
  SetLastError(0);
  EXPECT_EQ(GetMessageW(&m, b, 0, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Messages, PostingAndSendingErrors) {
  HWND h = make(WS_POPUP);
  HWND gone = make(WS_POPUP);
  DestroyWindow(gone);
  struct Case {
    BOOL result;
    DWORD error;
    const char* what;
  };
  auto run = [](BOOL r) {
    return Case{r, GetLastError(), ""};
  };
  SetLastError(0);
  Case cases[] = {
      run(PostMessageW(gone, WM_USER, 0, 0)),
      run(PostMessageW(h, WM_SETTEXT, 0, 0)),
      run(PostMessageW(h, WM_COPYDATA, 0, 0)),
      run(PostThreadMessageW(0x7FFFFFF0, WM_USER, 0, 0)),
      run(static_cast<BOOL>(SendMessageW(gone, WM_USER, 0, 0))),
  };
  const DWORD expected[] = {ERROR_INVALID_WINDOW_HANDLE, ERROR_MESSAGE_SYNC_ONLY, ERROR_MESSAGE_SYNC_ONLY,
                            ERROR_INVALID_THREAD_ID, ERROR_INVALID_WINDOW_HANDLE};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_FALSE(cases[i].result) << i;
    EXPECT_EQ(cases[i].error, expected[i]) << i;
  }
  // A message posted to no window is a thread message.
  EXPECT_TRUE(PostMessageW(nullptr, WM_USER + 7, 1, 2));
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 7));
  EXPECT_EQ(m.hwnd, nullptr);
}

TEST_F(Messages, HiddenWindowIsServedByAPeekMessagePump) {
  HWND hidden = make(WS_POPUP);
  ASSERT_FALSE(IsWindowVisible(hidden));
  for (WPARAM i = 0; i < 3; ++i) PostMessageW(hidden, WM_USER + 20, i, 0);
  clearLog();
  drain();
  std::lock_guard lock(g_logMutex);
  std::vector<WPARAM> got;
  for (auto& s : g_log)
    if (s.hwnd == hidden && s.msg == WM_USER + 20) got.push_back(s.wParam);
  EXPECT_EQ(got, (std::vector<WPARAM>{0, 1, 2}));
}

TEST_F(Messages, NestedLoopTakesQueuedMessagesAndQuitWaitsForPostedOnes) {
  HWND h = make(WS_POPUP);
  int depth = 0;
  std::vector<std::pair<UINT, int>> trace;
  g_hook = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m < WM_USER || m > WM_USER + 10) return std::nullopt;
    trace.emplace_back(m, depth);
    if (m == WM_USER) {
      ++depth;
      PostMessageW(h, WM_USER + 1, 0, 0);
      PostMessageW(h, WM_USER + 2, 0, 0);
      MSG inner;
      while (GetMessageW(&inner, nullptr, 0, 0)) {
        DispatchMessageW(&inner);
        if (inner.message == WM_USER + 2) break;
      }
      --depth;
    }
    return 0;
  };
  PostMessageW(h, WM_USER, 0, 0);
  PostMessageW(h, WM_USER + 3, 0, 0);
  PostQuitMessage(5);
  MSG m;
  int loops = 0;
  while (GetMessageW(&m, nullptr, 0, 0)) {
    DispatchMessageW(&m);
    ++loops;
  }
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 5u);
  EXPECT_EQ(loops, 1);
  std::vector<std::pair<UINT, int>> expected{{WM_USER, 0}, {WM_USER + 3, 1}, {WM_USER + 1, 1}, {WM_USER + 2, 1}};
  EXPECT_EQ(trace, expected);
}

TEST_F(Messages, SendFromAnotherThreadRunsOnTheOwnerAndTheWaitingSenderServesSends) {
  HWND mine = make(WS_POPUP);
  const DWORD mainThread = thisThread();
  std::atomic<HWND> workerWindow{nullptr};
  std::atomic<DWORD> ranOn{0}, callbackRanOn{0};
  std::atomic<bool> inSend{false}, done{false};
  g_hook = [&](HWND h, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (h == mine && m == WM_USER) {
      ranOn = thisThread();
      inSend = InSendMessage();
      // The sender is blocked in SendMessageW, yet it handles this.
      LRESULT back = SendMessageW(workerWindow, WM_USER + 1, 0, 0);
      return static_cast<LRESULT>(w) + back;
    }
    if (m == WM_USER + 1) {
      callbackRanOn = thisThread();
      return 100;
    }
    return std::nullopt;
  };
  LRESULT result = 0;
  std::thread worker([&] {
    HWND w = CreateWindowExW(0, kClass, u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    workerWindow = w;
    result = SendMessageW(mine, WM_USER, 41, 0);
    DestroyWindow(w);
    done = true;
    PostMessageW(mine, WM_NULL, 0, 0);
  });
  MSG m;
  while (!done && GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  worker.join();
  EXPECT_EQ(result, 141);
  EXPECT_EQ(ranOn.load(), mainThread);
  EXPECT_NE(callbackRanOn.load(), mainThread);
  EXPECT_TRUE(inSend.load());
  EXPECT_FALSE(InSendMessage());
}

TEST_F(Messages, ReplyMessageReleasesTheSenderEarly) {
  HWND mine = make(WS_POPUP);
  std::atomic<bool> senderReleased{false}, sawRelease{false};
  g_hook = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_USER) return std::nullopt;
    EXPECT_EQ(InSendMessageEx(nullptr), static_cast<DWORD>(ISMEX_SEND));
    EXPECT_TRUE(ReplyMessage(7));
    EXPECT_EQ(InSendMessageEx(nullptr), static_cast<DWORD>(ISMEX_SEND | ISMEX_REPLIED));
    EXPECT_FALSE(ReplyMessage(8));
    for (int i = 0; i < 500 && !senderReleased; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    sawRelease = senderReleased.load();
    return 99;
  };
  LRESULT result = 0;
  std::thread worker([&] {
    result = SendMessageW(mine, WM_USER, 0, 0);
    senderReleased = true;
  });
  MSG m;
  while (!senderReleased) {
    if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    else MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  worker.join();
  EXPECT_EQ(result, 7);
  EXPECT_TRUE(sawRelease.load());
  EXPECT_FALSE(ReplyMessage(1));  // nothing is being handled now
}

TEST_F(Messages, TimeoutsAndNotificationsToAThreadThatDoesNotPump) {
  platform::clock::VirtualClock clock;
  std::mutex mutex;
  std::condition_variable cv;
  bool pump = false;
  std::atomic<HWND> theirs{nullptr};
  std::atomic<DWORD> notifyKind{0};
  g_hook = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_USER + 9) notifyKind = InSendMessageEx(nullptr);
    return std::nullopt;
  };
  std::thread worker([&] {
    theirs = CreateWindowExW(0, kClass, u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return pump; });
    lock.unlock();
    drain();
    DestroyWindow(theirs);
  });
  while (!theirs) std::this_thread::yield();

  DWORD_PTR reply = 0xDEAD;
  SetLastError(0);
  EXPECT_EQ(SendMessageTimeoutW(theirs, WM_USER, 0, 0, SMTO_NORMAL, 50, &reply), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(reply, 0xDEADu);  // left unchanged

  // Not looking at its queue for five seconds makes the thread hung: no wait at all.
  clock.advance(6000);
  const std::uint64_t before = platform::clock::monotonicMs();
  EXPECT_EQ(SendMessageTimeoutW(theirs, WM_USER, 0, 0, SMTO_ABORTIFHUNG, 1000, &reply), 0);
  EXPECT_EQ(platform::clock::monotonicMs(), before);

  EXPECT_TRUE(SendNotifyMessageW(theirs, WM_USER + 9, 0, 0));  // returns without waiting
  {
    std::lock_guard lock(mutex);
    pump = true;
  }
  cv.notify_all();
  worker.join();
  EXPECT_EQ(notifyKind.load(), static_cast<DWORD>(ISMEX_NOTIFY));
}

TEST_F(Messages, WindowsOfAThreadThatEndsVanishAndItsWaitingSendersGetZero) {
  std::atomic<HWND> theirs{nullptr};
  std::atomic<bool> release{false};
  std::thread worker([&] {
    theirs = CreateWindowExW(0, kClass, u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  while (!theirs) std::this_thread::yield();
  DWORD tid = GetWindowThreadProcessId(theirs, nullptr);
  EXPECT_NE(tid, thisThread());
  EXPECT_TRUE(PostThreadMessageW(tid, WM_USER, 0, 0));
  std::thread ender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    release = true;
  });
  // The owner never pumps: the send is answered with 0 when the thread ends.
  EXPECT_EQ(SendMessageW(theirs, WM_USER, 0, 0), 0);
  worker.join();
  ender.join();
  EXPECT_FALSE(IsWindow(theirs));
  EXPECT_FALSE(PostMessageW(theirs, WM_USER, 0, 0));
  EXPECT_FALSE(PostThreadMessageW(tid, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

TEST_F(Messages, BroadcastsReachHiddenTopLevelWindowsOnly) {
  HWND visible = make(WS_POPUP | WS_VISIBLE);
  HWND hidden = make(WS_POPUP);
  HWND child = make(WS_CHILD, visible, 1);
  HWND msgOnly = CreateWindowExW(0, kClass, u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  const UINT note = RegisterWindowMessageW(u"Kipo.Broadcast");
  clearLog();
  EXPECT_TRUE(PostMessageW(HWND_BROADCAST, note, 1, 0));
  drain();
  SendMessageW(HWND_BROADCAST, note, 2, 0);
  DWORD_PTR r;
  EXPECT_TRUE(SendMessageTimeoutW(HWND_BROADCAST, note, 3, 0, SMTO_ABORTIFHUNG, 100, &r));
  for (HWND h : {visible, hidden}) EXPECT_EQ(received(h, {note}).size(), 3u);
  for (HWND h : {child, msgOnly}) EXPECT_TRUE(received(h, {note}).empty());
}

TEST_F(Messages, WaitMessageReturnsForInputFromAnotherThread) {
  HWND h = make(WS_POPUP);
  drain();
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PostMessageW(h, WM_USER, 0, 0);
  });
  EXPECT_TRUE(WaitMessage());
  poster.join();
  MSG m;
  EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
}

TEST_F(Messages, TranslateMessagePutsTheCharacterFirst) {
  HWND h = make(WS_POPUP);
  struct Case {
    WPARAM vk;
    UINT msg;
    WPARAM ch;  // 0: no character
  } cases[] = {
      {'A', WM_KEYDOWN, u'a'},       {'7', WM_KEYDOWN, u'7'},       {VK_RETURN, WM_KEYDOWN, u'\r'},
      {VK_LEFT, WM_KEYDOWN, 0},      {'A', WM_KEYUP, 0},            {'Q', WM_SYSKEYDOWN, u'q'},
  };
  for (auto& c : cases) {
    PostMessageW(h, WM_USER, 0, 0);
    MSG key{h, c.msg, c.vk, 0, 0, {0, 0}};
    EXPECT_TRUE(TranslateMessage(&key));
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    if (c.ch) {
      EXPECT_EQ(m.message, static_cast<UINT>(c.msg == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR)) << c.vk;
      EXPECT_EQ(m.wParam, c.ch);
      ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    }
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER)) << c.vk;
  }
  MSG other{h, WM_USER, 0, 0, 0, {0, 0}};
  EXPECT_FALSE(TranslateMessage(&other));
}

TEST_F(Messages, QueueStatusAndMsgWaitSeeOnlyNewInputUnlessAskedForAvailable) {
  platform::clock::VirtualClock clock;
  HWND h = make(WS_POPUP);
  drain();
  GetQueueStatus(QS_ALLINPUT);
  PostMessageW(h, WM_USER, 0, 0);
  EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE), static_cast<DWORD>((QS_POSTMESSAGE << 16) | QS_POSTMESSAGE));
  EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE), static_cast<DWORD>(QS_POSTMESSAGE << 16));

  // The queued message was seen already: only the timeout ends the wait, on the virtual clock.
  std::uint64_t start = platform::clock::monotonicMs();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(platform::clock::monotonicMs() - start, 1000u);
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 1000, QS_ALLINPUT, MWMO_INPUTAVAILABLE),
            static_cast<DWORD>(WAIT_OBJECT_0));
  PostMessageW(h, WM_USER, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_POSTMESSAGE), static_cast<DWORD>(WAIT_OBJECT_0));
  drain();

  // A timer coming due ends an infinite wait for QS_TIMER exactly when it is due.
  SetTimer(h, 4, 500, nullptr);
  start = platform::clock::monotonicMs();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_TIMER), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(platform::clock::monotonicMs() - start, 500u);
  KillTimer(h, 4);
  drain();

  auto signal = std::make_shared<TestSignal>();
  HANDLE handles[] = {platform::registerHandle(signal)};
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    signal->signal();
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(1, handles, FALSE, INFINITE, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0));
  setter.join();
  PostMessageW(h, WM_USER, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, handles, FALSE, 0, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0))
      << "objects are checked before input";
  CloseHandle(handles[0]);
  SetLastError(0);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, handles, FALSE, 0, QS_ALLINPUT), static_cast<DWORD>(WAIT_FAILED));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Messages, RegisteredMessagesAreTheSameInEveryProcessOfTheHost) {
  UINT mine = RegisterWindowMessageW(u"Kipo.Refresh");
  EXPECT_GE(mine, 0xC000u);
  EXPECT_LE(mine, 0xFFFFu);
  EXPECT_EQ(RegisterWindowMessageW(u"KIPO.REFRESH"), mine);
  EXPECT_EQ(RegisterWindowMessageA("kipo.refresh"), mine);
  EXPECT_NE(RegisterWindowMessageW(u"Kipo.Other"), mine);
  EXPECT_EQ(RegisterWindowMessageW(u""), 0u);

  std::string out;
  ASSERT_EQ(kipotest::runTool({"atom", "kipo.REFRESH"}, &out), 0);
  EXPECT_EQ(std::stoul(out, nullptr, 16), mine);
  // Registered first by another process, then here.
  ASSERT_EQ(kipotest::runTool({"atom", "Kipo.FromTool"}, &out), 0);
  EXPECT_EQ(RegisterWindowMessageW(u"Kipo.FromTool"), std::stoul(out, nullptr, 16));
}

TEST_F(Messages, GlobalAtoms) {
  EXPECT_EQ(GlobalAddAtomW(u"#123"), 123);
  EXPECT_EQ(GlobalAddAtomW(MAKEINTATOM(77)), 77);
  ATOM a = GlobalAddAtomW(u"Kipo.Atom");
  EXPECT_GE(a, 0xC000);
  EXPECT_EQ(GlobalFindAtomW(u"KIPO.ATOM"), a);
  char16_t name[32];
  EXPECT_EQ(GlobalGetAtomNameW(a, name, 32), 9u);
  EXPECT_EQ(std::u16string(name), u"Kipo.Atom");
  EXPECT_EQ(GlobalGetAtomNameW(123, name, 32), 4u);
  EXPECT_EQ(std::u16string(name), u"#123");
  SetLastError(0);
  EXPECT_EQ(GlobalFindAtomW(u"Kipo.Never"), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
