// The stand-in's clocks. Monotonic time (behind GetTickCount, QueryPerformanceCounter, Sleep,
// timers and every timed wait) and wall time (GetSystemTimeAsFileTime, GetLocalTime, time) are
// kept apart, as on Windows:
// - Monotonic time runs at the host's time scale (host fact "time_scale"): at scale 100 a
//   45-second countdown passes in 0.45 s of real time, in every process of the host. While the
//   scale stays the same every process reads the same monotonic time (Linux CLOCK_MONOTONIC
//   times the scale); when it changes, each process carries on from where it was, so monotonic
//   time never jumps back in a process.
// - A test may install a VirtualClock in its own process: monotonic time then stands still until
//   something waits. sleepMs and timed waits advance it at once, running on the way the
//   callbacks that stand-ins scheduled (schedule()), in deadline order, on the thread that
//   advances the clock.
// - Wall time is the real time and is never scaled; a virtual clock may fix it too (fixWallTime),
//   after which it moves with virtual monotonic time. File times come from the file system and
//   never follow either.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace platform::clock {

// A wait or sleep of this many milliseconds never ends (Windows' INFINITE).
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Monotonic time since an arbitrary origin, scaled (or virtual).
std::uint64_t monotonicNs();
inline std::uint64_t monotonicMs() { return monotonicNs() / 1000000u; }

// Wall time as FILETIME ticks (100 ns since 1601-01-01 UTC).
std::uint64_t wallFileTime();

// The time scale in force (1 without a host, and under a virtual clock).
double timeScale();

// How long in real time a stretch of monotonic time takes (at least 1 ns for a positive one).
std::chrono::nanoseconds realFor(std::uint64_t monotonicNs);

// Sleeps `ms` of monotonic time: under a virtual clock, advances it at once.
void sleepMs(std::uint32_t ms);

// Runs `callback` once monotonic time reaches `deadlineMs` (absolute, as monotonicMs()). Under a
// virtual clock it runs on the thread that advances virtual time past the deadline; otherwise on
// the stand-in's timer thread. Callbacks scheduled under a virtual clock that has not reached
// them when it is removed are dropped. Returns an id for cancel(), never 0.
std::uint64_t schedule(std::uint64_t deadlineMs, std::function<void()> callback);
// Removes a callback that has not started; false when it ran already or the id is unknown.
bool cancel(std::uint64_t id);

// Installs a virtual clock for this process for the object's lifetime (one at a time).
class VirtualClock {
 public:
  // Monotonic time starts at `startMs`.
  explicit VirtualClock(std::uint64_t startMs = 1000000);
  ~VirtualClock();
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  // Moves monotonic time forward, running scheduled callbacks due on the way.
  void advance(std::uint64_t ms);
  std::uint64_t nowMs() const { return monotonicMs(); }
  // From now on, wall time is `fileTimeTicks` plus the virtual time passed since this call.
  void fixWallTime(std::uint64_t fileTimeTicks);
};

bool isVirtual();

namespace detail {
// Earliest deadline (ns) among callbacks scheduled on the virtual clock.
std::optional<std::uint64_t> nextVirtualEventNs();
// Advances the virtual clock to `targetNs`, running due callbacks without any lock held.
void advanceVirtualTo(std::uint64_t targetNs);
}  // namespace detail

// The timed wait every facility uses: waits on `cv` with `lock` held until `pred()` is true or
// `ms` of monotonic time have passed (kInfinite: no limit); returns pred()'s last value.
// Under a virtual clock, virtual time jumps to each scheduled callback due before the deadline
// (the lock released while it runs), then to the deadline; an infinite wait with nothing
// scheduled waits in real time for a notification.
template <class CV, class Lock, class Pred>
bool waitUntil(CV& cv, Lock& lock, std::uint32_t ms, Pred pred) {
  using namespace std::chrono;
  const bool infinite = ms == kInfinite;
  const std::uint64_t deadline = monotonicNs() + static_cast<std::uint64_t>(ms) * 1000000u;
  for (;;) {
    if (pred()) return true;
    if (isVirtual()) {
      std::optional<std::uint64_t> next = detail::nextVirtualEventNs();
      if (next && (infinite || *next <= deadline)) {
        lock.unlock();
        detail::advanceVirtualTo(*next);
        lock.lock();
        continue;
      }
      if (!infinite) {
        lock.unlock();
        detail::advanceVirtualTo(deadline);
        lock.lock();
        return pred();
      }
      cv.wait_for(lock, milliseconds(10));
      continue;
    }
    if (infinite) {
      // Bounded so that a change of the time scale is noticed; pred() guards spurious wake-ups.
      cv.wait_for(lock, milliseconds(100));
      continue;
    }
    std::uint64_t now = monotonicNs();
    if (now >= deadline) return pred();
    cv.wait_for(lock, std::min<nanoseconds>(realFor(deadline - now), milliseconds(100)));
  }
}

}  // namespace platform::clock
