// Smooth moves of another window, announced through the switchboard when they end (see
// window_animator.h).
#include "app/window_animator.h"

#include <cmath>

#include "app/app_messages.h"
#include "app/customizer_exception.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/switchboard.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char16_t* kAnimatorWindowName = u"QX Animator";
constexpr double kHalfPi = 1.57079632675;
// A step this close to the end is the end, so a late last tick does not leave a pixel to go.
constexpr double kSnapDistance = 0.01;

CSwitchboard* g_switchboard = nullptr;

int interpolate(int a, int b, double t) { return a + static_cast<int>((b - a) * t); }

}  // namespace

BEGIN_MESSAGE_MAP(CWindowAnimator, CWnd)
  ON_WM_TIMER()
END_MESSAGE_MAP()

void CWindowAnimator::setSwitchboard(CSwitchboard* switchboard) { g_switchboard = switchboard; }

CWindowAnimator::CWindowAnimator() {
  LARGE_INTEGER value{};
  if (QueryPerformanceFrequency(&value)) {
    frequency = value.QuadPart;
  } else {
    showMessageById(IDS_NO_PERFORMANCE_FREQUENCY);
  }
  CreateEx(0, AfxRegisterWndClass(0), kAnimatorWindowName, 0, 0, 0, 10, 10, nullptr, nullptr);
}

CWindowAnimator::~CWindowAnimator() {
  stop();
  if (m_hWnd != nullptr) DestroyWindow();
}

bool CWindowAnimator::start() {
  if (target == nullptr || !IsWindow(target->GetSafeHwnd())) return false;
  if (timerId != 0) return true;
  LARGE_INTEGER value{};
  if (QueryPerformanceCounter(&value)) {
    startCount = value.QuadPart;
  } else {
    showMessageById(IDS_NO_PERFORMANCE_COUNTER);
  }
  timerId = SetTimer(kTimerId, kTickMs, nullptr);
  return timerId != 0;
}

void CWindowAnimator::stop() {
  if (timerId == 0) return;
  if (m_hWnd != nullptr) KillTimer(timerId);
  timerId = 0;
}

double CWindowAnimator::progressAt(LONGLONG now) const {
  if (now < startCount) return 0.0;
  // Without a counter frequency or a duration there is no way between: straight to the end.
  if (frequency <= 0 || durationMs <= 0) return 1.0;
  double t = static_cast<double>(now - startCount) / static_cast<double>(frequency) / (durationMs * 0.001);
  if (std::fabs(1.0 - t) < kSnapDistance || t > 1.0) t = 1.0;
  if (t < 1.0 && mode == kEaseOut) t = std::sin(t * kHalfPi);
  return t;
}

bool CWindowAnimator::step(LONGLONG now) {
  const double t = progressAt(now);
  current = CRect(interpolate(from.left, to.left, t), interpolate(from.top, to.top, t),
                  interpolate(from.right, to.right, t), interpolate(from.bottom, to.bottom, t));
  bool finished = t >= 1.0;
  HWND window = target != nullptr ? target->GetSafeHwnd() : nullptr;
  if (window == nullptr || !IsWindow(window)) {
    finished = true;
  } else {
    ::SetWindowPos(window, nullptr, current.left, current.top, current.right - current.left,
                 current.bottom - current.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (finished) {
    stop();
    if (g_switchboard != nullptr) g_switchboard->sendMessage(new CAnimationStatus(target));
  }
  return finished;
}

void CWindowAnimator::OnTimer(UINT_PTR id) {
  if (id != kTimerId || timerId == 0) return;
  try {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    step(now.QuadPart);
  } catch (CCustomizerException* e) {
    showMessageText(e->getMessage());
    e->Delete();
  } catch (CException* e) {
    WCHAR text[256] = {};
    e->GetErrorMessage(text, 256);
    writeLog(u"{Window Animator}: Exception in an animation step: %s", text);
    e->Delete();
  } catch (...) {
    // Structured exceptions arrive here as the program's own objects; the step is lost, the
    // animation goes on with the next tick.
    writeLog(u"{Window Animator}: Unexpected exception in an animation step.");
  }
}
