// Clocks: the virtual clock of tests (sleeps and timed waits advance it at once and run what is
// scheduled on the way), the host's time scale, and wall time kept apart from both.
#include "platform/base/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/host/host.h"
#include "tests/support/test_host.h"

namespace clk = platform::clock;
using platform::host::Host;

namespace {

double realSecondsOf(const std::function<void()>& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(VirtualClock, SleepAdvancesAtOnceAndWallTimeIsNotTouched) {
  clk::VirtualClock vc(5000);
  EXPECT_EQ(clk::monotonicMs(), 5000u);
  std::uint64_t wallBefore = clk::wallFileTime();
  double took = realSecondsOf([] { clk::sleepMs(60000); });
  EXPECT_LT(took, 1.0);
  EXPECT_EQ(clk::monotonicMs(), 65000u);
  // Wall time is real time unless the test fixes it: a virtual minute is not a real one.
  EXPECT_LT(clk::wallFileTime() - wallBefore, 10000000u * 5);
}

TEST(VirtualClock, FixedWallTimeMovesWithVirtualTime) {
  clk::VirtualClock vc;
  const std::uint64_t base = 130000000000000000ull;
  vc.fixWallTime(base);
  EXPECT_EQ(clk::wallFileTime(), base);
  vc.advance(1500);
  EXPECT_EQ(clk::wallFileTime(), base + 15000000u);
}

TEST(VirtualClock, ScheduledCallbacksRunInDeadlineOrderWhenTimePassesThem) {
  clk::VirtualClock vc(0);
  std::vector<int> ran;
  std::vector<std::uint64_t> at;
  auto note = [&](int n) {
    return [&, n] {
      ran.push_back(n);
      at.push_back(clk::monotonicMs());
    };
  };
  clk::schedule(300, note(3));
  clk::schedule(100, note(1));
  std::uint64_t cancelled = clk::schedule(200, note(2));
  clk::schedule(900, note(9));
  EXPECT_TRUE(clk::cancel(cancelled));
  EXPECT_FALSE(clk::cancel(cancelled));

  vc.advance(99);
  EXPECT_TRUE(ran.empty()) << "nothing is due before its deadline";
  clk::sleepMs(401);  // to 500
  EXPECT_EQ(ran, (std::vector<int>{1, 3}));
  EXPECT_EQ(at, (std::vector<std::uint64_t>{100, 300})) << "each callback sees its own deadline as now";
  EXPECT_EQ(clk::monotonicMs(), 500u);
}

TEST(VirtualClock, TimedWaitStopsAtTheCallbackThatSatisfiesIt) {
  clk::VirtualClock vc(0);
  std::mutex m;
  std::condition_variable cv;
  bool answered = false;
  clk::schedule(250, [&] {
    std::lock_guard lock(m);
    answered = true;
    cv.notify_all();
  });
  std::unique_lock lock(m);
  EXPECT_TRUE(clk::waitUntil(cv, lock, 10000, [&] { return answered; }));
  EXPECT_EQ(clk::monotonicMs(), 250u) << "the wait ends when the answer comes, not at its timeout";

  // Nothing scheduled: the wait times out, having advanced by exactly its timeout.
  EXPECT_FALSE(clk::waitUntil(cv, lock, 750, [] { return false; }));
  EXPECT_EQ(clk::monotonicMs(), 1000u);

  // A callback due after the deadline stays pending.
  bool late = false;
  clk::schedule(5000, [&] { late = true; });
  EXPECT_FALSE(clk::waitUntil(cv, lock, 100, [&] { return late; }));
  EXPECT_FALSE(late);
  EXPECT_EQ(clk::monotonicMs(), 1100u);
}

TEST(VirtualClock, InfiniteWaitRunsToTheNextScheduledAnswer) {
  clk::VirtualClock vc(0);
  std::mutex m;
  std::condition_variable cv;
  int step = 0;
  clk::schedule(40, [&] { step = 1; });
  clk::schedule(70, [&] { step = 2; });
  std::unique_lock lock(m);
  EXPECT_TRUE(clk::waitUntil(cv, lock, clk::kInfinite, [&] { return step == 2; }));
  EXPECT_EQ(clk::monotonicMs(), 70u);
}

TEST(RealClock, ScheduledCallbackRunsOnTheTimerThreadAfterItsDeadline) {
  std::mutex m;
  std::condition_variable cv;
  std::atomic<std::uint64_t> ranAt{0};
  std::uint64_t deadline = clk::monotonicMs() + 30;
  clk::schedule(deadline, [&] {
    std::lock_guard lock(m);
    ranAt = clk::monotonicMs();
    cv.notify_all();
  });
  std::unique_lock lock(m);
  ASSERT_TRUE(clk::waitUntil(cv, lock, 5000, [&] { return ranAt.load() != 0; }));
  EXPECT_GE(ranAt.load(), deadline);
}

TEST(TimeScale, SpeedsUpMonotonicTimeButNotWallTime) {
  kipotest::TestHost host;
  Host::current().setFact(platform::host::fact::TimeScale, "100");
  EXPECT_DOUBLE_EQ(clk::timeScale(), 100.0);
  std::uint64_t mono0 = clk::monotonicMs();
  std::uint64_t wall0 = clk::wallFileTime();
  double took = realSecondsOf([] { clk::sleepMs(3000); });
  EXPECT_LT(took, 1.0) << "3 s at scale 100 take about 30 ms";
  EXPECT_GE(took, 0.025);
  EXPECT_GE(clk::monotonicMs() - mono0, 3000u);
  EXPECT_LT(clk::wallFileTime() - wall0, 10000000u) << "wall time is never scaled";

  // A timed wait's timeout is monotonic time too.
  std::mutex m;
  std::condition_variable cv;
  std::unique_lock lock(m);
  took = realSecondsOf([&] { EXPECT_FALSE(clk::waitUntil(cv, lock, 2000, [] { return false; })); });
  EXPECT_LT(took, 1.0);
}

TEST(TimeScale, ChangeByAnotherProcessIsNoticedAndTimeNeverRunsBack) {
  kipotest::TestHost host;
  std::uint64_t before = clk::monotonicNs();
  ASSERT_EQ(kipotest::runTool({"set", "--time-scale", "50"}), 0);
  EXPECT_DOUBLE_EQ(clk::timeScale(), 50.0);
  std::uint64_t during = clk::monotonicNs();
  EXPECT_GE(during, before);
  ASSERT_EQ(kipotest::runTool({"set", "--time-scale", "1"}), 0);
  EXPECT_DOUBLE_EQ(clk::timeScale(), 1.0);
  EXPECT_GE(clk::monotonicNs(), during);
}
