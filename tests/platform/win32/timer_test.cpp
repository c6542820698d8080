// Timers on the stand-in's monotonic clock, driven here by a virtual clock: order of firing,
// resetting and killing, thread timers, callback timers, coalescing of late periods.
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <thread>

#include "platform/base/clock.h"
#include "tests/platform/win32/window_fixture.h"

using namespace wintest;
namespace clk = platform::clock;

namespace {

class Timers : public WindowFixture {
 protected:
  clk::VirtualClock clock_;
  std::uint64_t start_ = clk::monotonicMs();

  std::uint64_t elapsed() const { return clk::monotonicMs() - start_; }

  // Pumps with GetMessageW until `count` WM_TIMER messages came; returns (id, time) of each.
  std::vector<std::pair<UINT_PTR, std::uint64_t>> pumpTimers(std::size_t count) {
    std::vector<std::pair<UINT_PTR, std::uint64_t>> fired;
    MSG m;
    while (fired.size() < count && GetMessageW(&m, nullptr, 0, 0) > 0) {
      if (m.message == WM_TIMER) fired.emplace_back(m.wParam, elapsed());
      DispatchMessageW(&m);
    }
    return fired;
  }
};

std::vector<std::pair<HWND, UINT_PTR>> g_callbacks;
void CALLBACK onTimer(HWND hwnd, UINT msg, UINT_PTR id, DWORD) {
  EXPECT_EQ(msg, static_cast<UINT>(WM_TIMER));
  g_callbacks.emplace_back(hwnd, id);
}

TEST_F(Timers, FireInDueOrderAndRepeatFromWhenTheyFired) {
  HWND h = make(WS_POPUP);
  ASSERT_EQ(SetTimer(h, 3, 300, nullptr), 3u);
  ASSERT_EQ(SetTimer(h, 1, 100, nullptr), 1u);
  ASSERT_EQ(SetTimer(h, 2, 200, nullptr), 2u);
  auto fired = pumpTimers(6);
  // Timers due at the same moment come in the order they were set.
  std::vector<std::pair<UINT_PTR, std::uint64_t>> expected{{1, 100}, {1, 200}, {2, 200}, {3, 300},
                                                           {1, 300}, {1, 400}};
  EXPECT_EQ(fired, expected);
  EXPECT_EQ(received(h, {WM_TIMER}).size(), 6u);
}

TEST_F(Timers, SetTimerAgainResetsKillTimerStopsAndDestroyEndsAWindowsTimers) {
  HWND h = make(WS_POPUP);
  SetTimer(h, 7, 100, nullptr);
  clock_.advance(80);
  SetTimer(h, 7, 100, nullptr);  // same id: replaced, counting again from now
  auto fired = pumpTimers(1);
  EXPECT_EQ(fired, (std::vector<std::pair<UINT_PTR, std::uint64_t>>{{7, 180}}));

  EXPECT_TRUE(KillTimer(h, 7));
  EXPECT_FALSE(KillTimer(h, 7));
  clock_.advance(1000);
  MSG m;
  EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));

  SetTimer(h, 8, 50, nullptr);
  DestroyWindow(h);
  clock_.advance(100);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
  SetLastError(0);
  EXPECT_EQ(SetTimer(h, 1, 10, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Timers, ALatePeriodGivesOneMessageAndShortIntervalsAreRaisedToTheMinimum) {
  HWND h = make(WS_POPUP);
  SetTimer(h, 1, 100, nullptr);
  clock_.advance(1000);  // ten periods pass unserved
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  // PM_NOREMOVE leaves the timer due.
  clock_.advance(100);
  EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  KillTimer(h, 1);

  SetTimer(h, 2, 1, nullptr);
  start_ = clk::monotonicMs();
  EXPECT_EQ(pumpTimers(1), (std::vector<std::pair<UINT_PTR, std::uint64_t>>{{2, USER_TIMER_MINIMUM}}));
}

double threadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

TEST_F(Timers, ADueTimerOutsideTheFilterDoesNotKeepTheWaitBusy) {
  HWND dialog = make(WS_POPUP);
  HWND other = make(WS_POPUP);
  SetTimer(other, 1, 10, nullptr);
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PostMessageW(dialog, WM_USER, 0, 0);
  });
  const double cpuBefore = threadCpuMs();
  MSG m;
  ASSERT_EQ(GetMessageW(&m, dialog, 0, 0), 1);  // a modal loop's filter: the timer is not for it
  poster.join();
  EXPECT_EQ(m.message, static_cast<UINT>(WM_USER));
  EXPECT_LT(threadCpuMs() - cpuBefore, 60.0);
  EXPECT_TRUE(PeekMessageW(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));  // still there for the main loop
  KillTimer(other, 1);
}

TEST_F(Timers, ThreadTimersGetNewIdsAndCallbacksRunInsteadOfTheWindowProcedure) {
  g_callbacks.clear();
  UINT_PTR a = SetTimer(nullptr, 0, 100, onTimer);
  UINT_PTR b = SetTimer(nullptr, 5000, 150, onTimer);  // an id that names no timer is not used
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  EXPECT_NE(b, 5000u);
  EXPECT_EQ(SetTimer(nullptr, a, 120, onTimer), a);  // naming an existing thread timer replaces it

  HWND h = make(WS_POPUP);
  SetTimer(h, 9, 130, onTimer);
  clearLog();
  pumpTimers(3);
  std::vector<std::pair<HWND, UINT_PTR>> expected{{nullptr, a}, {h, 9}, {nullptr, b}};
  EXPECT_EQ(g_callbacks, expected);
  EXPECT_TRUE(received(h, {WM_TIMER}).empty());  // the callback replaced the window procedure

  // DispatchMessageW calls only the procedure of a live timer, not any address in lParam.
  KillTimer(nullptr, a);
  g_callbacks.clear();
  MSG forged{nullptr, WM_TIMER, a, reinterpret_cast<LPARAM>(onTimer), 0, {0, 0}};
  DispatchMessageW(&forged);
  EXPECT_TRUE(g_callbacks.empty());
  KillTimer(nullptr, b);
  KillTimer(h, 9);
}

}  // namespace
