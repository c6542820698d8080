// The window animator: positions along the way (linear and eased), the snap to the end, a
// running animation that is not restarted, a vanished target, and a real run on its timer
// announced through the switchboard.
#include "app/window_animator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "app/app_messages.h"
#include "app/lingrove.h"
#include "app/switchboard.h"
#include "platform/win32/win32.h"
#include "tests/app/app_fixture.h"

namespace {

class AnimationListener : public CAnimationStatusListener {
 public:
  void onAnimationStatus(CAnimationStatus* status) override { ended.push_back(status->window); }
  std::vector<CWnd*> ended;
};

class WindowAnimatorTest : public apptest::AppTest {
 protected:
  WindowAnimatorTest() {
    installLanguages({"USA"});
    language = std::make_unique<Lingrove>(CString(u"USA"), FALSE);
    switchboard = std::make_unique<CSwitchboard>();
    switchboard->addListener(&listener);
    CWindowAnimator::setSwitchboard(switchboard.get());
    target.CreateEx(0, AfxRegisterWndClass(0), u"Pull-down", WS_POPUP, 100, -200, 300, 200, nullptr, nullptr);
    animator = std::make_unique<CWindowAnimator>();
    animator->target = &target;
    animator->from = CRect(100, -200, 400, 0);
    animator->to = CRect(100, 0, 400, 200);
  }
  ~WindowAnimatorTest() override {
    animator.reset();
    CWindowAnimator::setSwitchboard(nullptr);
    switchboard->removeListener(&listener);
    if (target.GetSafeHwnd() != nullptr) target.DestroyWindow();
  }

  CRect targetRect() {
    RECT r{};
    GetWindowRect(target.GetSafeHwnd(), &r);
    return CRect(r);
  }
  // The counter value `fraction` of the way through the animation.
  LONGLONG at(double fraction) const {
    return animator->startCount +
           static_cast<LONGLONG>(fraction * animator->frequency * animator->durationMs * 0.001);
  }

  CWinApp application{u"Kipo"};
  std::unique_ptr<Lingrove> language;
  std::unique_ptr<CSwitchboard> switchboard;
  AnimationListener listener;
  CWnd target;
  std::unique_ptr<CWindowAnimator> animator;
};

TEST_F(WindowAnimatorTest, HasItsHiddenWindowAndDefaults) {
  HWND own = FindWindowW(nullptr, u"QX Animator");
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own, animator->GetSafeHwnd());
  EXPECT_FALSE(IsWindowVisible(own));
  EXPECT_EQ(animator->durationMs, 1000);
  EXPECT_EQ(animator->mode, CWindowAnimator::kEaseOut);
  EXPECT_GT(animator->frequency, 0);
  animator.reset();
  EXPECT_EQ(FindWindowW(nullptr, u"QX Animator"), nullptr);
}

TEST_F(WindowAnimatorTest, StepsMoveTheTargetAlongTheWay) {
  animator->startCount = 1000000;
  struct Case {
    const char* what;
    int mode;
    double fraction;
    int top;  // from -200 to 0; the other edges follow
    bool finished;
  };
  const double eased = std::sin(0.5 * 1.57079632675);
  const Case cases[] = {
      {"before the start count", 1, -0.5, -200, false},
      {"at the start", 1, 0.0, -200, false},
      {"half way, linear", 1, 0.5, -100, false},
      {"half way, eased", CWindowAnimator::kEaseOut, 0.5, -200 + static_cast<int>(200 * eased), false},
      {"a quarter, eased", CWindowAnimator::kEaseOut, 0.25,
       -200 + static_cast<int>(200 * std::sin(0.25 * 1.57079632675)), false},
      {"within 0.01 of the end snaps to it", 1, 0.995, 0, true},
      {"past the end", CWindowAnimator::kEaseOut, 1.7, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    listener.ended.clear();
    animator->mode = c.mode;
    EXPECT_EQ(animator->step(at(c.fraction)), c.finished);
    EXPECT_EQ(animator->current, CRect(100, c.top, 400, c.top + 200));
    EXPECT_EQ(targetRect(), animator->current);
    EXPECT_EQ(listener.ended.size(), c.finished ? 1u : 0u);
    if (c.finished) {
      EXPECT_EQ(listener.ended[0], &target);
    }
  }
}

TEST_F(WindowAnimatorTest, StartDoesNotRestartARunningAnimation) {
  EXPECT_TRUE(animator->start());
  const LONGLONG first = animator->startCount;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(animator->start());
  EXPECT_EQ(animator->startCount, first);
  animator->stop();
  EXPECT_FALSE(animator->isRunning());

  animator->target = nullptr;
  EXPECT_FALSE(animator->start());
  CWnd gone;
  gone.CreateEx(0, AfxRegisterWndClass(0), u"Gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
  gone.DestroyWindow();
  animator->target = &gone;
  EXPECT_FALSE(animator->start());
  EXPECT_FALSE(animator->isRunning());
}

TEST_F(WindowAnimatorTest, AVanishedTargetEndsTheAnimation) {
  ASSERT_TRUE(animator->start());
  target.DestroyWindow();
  EXPECT_TRUE(animator->step(at(0.3)));
  EXPECT_FALSE(animator->isRunning());
  ASSERT_EQ(listener.ended.size(), 1u);
}

TEST_F(WindowAnimatorTest, ARunOnTheTimerLastsItsDurationAndIsAnnounced) {
  animator->durationMs = 300;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(animator->start());
  std::vector<int> tops;
  MSG msg;
  while (listener.ended.empty() && std::chrono::steady_clock::now() - started < std::chrono::seconds(5)) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
      tops.push_back(targetRect().top);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(listener.ended.size(), 1u);
  EXPECT_EQ(listener.ended[0], &target);
  EXPECT_EQ(targetRect(), CRect(100, 0, 400, 200));
  EXPECT_FALSE(animator->isRunning());
  EXPECT_GE(took, std::chrono::milliseconds(290));
  EXPECT_LT(took, std::chrono::milliseconds(2000));
  EXPECT_GE(tops.size(), 4u) << "several frames on the way";
  for (std::size_t i = 1; i < tops.size(); ++i) EXPECT_GE(tops[i], tops[i - 1]) << "always downwards";
}

}  // namespace
