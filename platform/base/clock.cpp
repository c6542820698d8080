// Monotonic and wall clocks, the host's time scale, the virtual clock of tests and the timer
// thread that runs scheduled callbacks in real time.
#include "platform/base/clock.h"

#include <time.h>

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "platform/base/filetime.h"
#include "platform/host/host.h"

namespace platform::clock {

namespace {

std::uint64_t linuxNs(clockid_t id) {
  timespec ts{};
  ::clock_gettime(id, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u + static_cast<std::uint64_t>(ts.tv_nsec);
}

// --- scaled real time -------------------------------------------------------------------------

struct Scaled {
  std::mutex mutex;
  double scale = 1.0;
  std::uint64_t anchorReal = 0;  // monotonic = anchorMono + (real - anchorReal) * scale
  std::uint64_t anchorMono = 0;
  std::uint64_t lastMono = 0;
  // What the scale was last read from; atomics so the common case takes no lock.
  std::atomic<std::uint64_t> epochSeen{0};
  std::atomic<std::uint64_t> factsSeen{~0ull};
  std::atomic<bool> hostOpen{false};
};

Scaled& scaled() {
  static Scaled* s = new Scaled;  // never destroyed: the timer thread may read it during exit
  return *s;
}

double parseScale(const std::string& text) {
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  return (end != text.c_str() && v > 0) ? v : 1.0;
}

// Monotonic time at real time `real` by the current anchor (which may be a little later).
std::uint64_t project(const Scaled& s, std::uint64_t real) {
  double delta = static_cast<double>(static_cast<std::int64_t>(real - s.anchorReal)) * s.scale;
  return s.anchorMono + static_cast<std::uint64_t>(static_cast<std::int64_t>(delta));
}

// Re-reads the time scale when the host or its facts changed. The host is read without the
// clock's lock held, so a thread holding the database lock may read the clock.
void refreshScale(Scaled& s) {
  std::uint64_t epoch = platform::host::Host::epoch();
  if (epoch != s.epochSeen.load(std::memory_order_acquire)) {
    s.hostOpen.store(platform::host::Host::available());
    s.factsSeen.store(~0ull);
    s.epochSeen.store(epoch, std::memory_order_release);
  }
  double scale = 1.0;
  if (s.hostOpen.load(std::memory_order_acquire)) {
    auto& host = platform::host::Host::current();
    std::uint64_t facts = host.counters().read(platform::host::Counter::Facts);
    if (facts == s.factsSeen.load(std::memory_order_acquire)) return;
    scale = parseScale(host.fact(platform::host::fact::TimeScale));
    s.factsSeen.store(facts, std::memory_order_release);
  }
  std::uint64_t real = linuxNs(CLOCK_MONOTONIC);
  std::lock_guard lock(s.mutex);
  if (scale == s.scale) return;
  if (s.lastMono == 0) {
    // Nothing handed out yet: start on the host-wide line, real time times the scale.
    s.anchorMono = s.anchorReal = 0;
  } else {
    s.anchorMono = project(s, real);
    s.anchorReal = real;
  }
  s.scale = scale;
}

std::uint64_t scaledNow() {
  Scaled& s = scaled();
  refreshScale(s);
  std::uint64_t real = linuxNs(CLOCK_MONOTONIC);
  std::lock_guard lock(s.mutex);
  std::uint64_t mono = project(s, real);
  // Rounding of a re-anchor, or a reading taken just before it, must not show as time running back.
  s.lastMono = std::max(s.lastMono, mono);
  return s.lastMono;
}

// --- virtual clock ----------------------------------------------------------------------------

struct Event {
  std::uint64_t id;
  std::function<void()> callback;
};

struct Virtual {
  std::mutex mutex;
  std::uint64_t nowNs = 0;
  std::optional<std::uint64_t> wallBase;  // FILETIME ticks at wallBaseNs
  std::uint64_t wallBaseNs = 0;
  std::multimap<std::uint64_t, Event> events;
};

std::atomic<bool> g_virtual{false};
std::atomic<std::uint64_t> g_nextId{1};

Virtual& virt() {
  static Virtual* v = new Virtual;
  return *v;
}

// --- real-time timer thread ---------------------------------------------------------------------

struct Timer {
  std::mutex mutex;
  std::condition_variable cv;
  std::multimap<std::uint64_t, Event> events;  // by monotonic deadline (ns)
  bool started = false;
};

Timer& timer() {
  static Timer* t = new Timer;
  return *t;
}

void timerLoop() {
  Timer& t = timer();
  std::unique_lock lock(t.mutex);
  for (;;) {
    if (t.events.empty()) {
      t.cv.wait(lock);
      continue;
    }
    auto first = t.events.begin();
    std::uint64_t now = scaledNow();
    if (first->first > now) {
      t.cv.wait_for(lock, std::min<std::chrono::nanoseconds>(realFor(first->first - now), std::chrono::milliseconds(100)));
      continue;
    }
    std::function<void()> callback = std::move(first->second.callback);
    t.events.erase(first);
    lock.unlock();
    callback();
    lock.lock();
  }
}

template <class Map>
bool eraseId(Map& events, std::uint64_t id) {
  for (auto it = events.begin(); it != events.end(); ++it)
    if (it->second.id == id) {
      events.erase(it);
      return true;
    }
  return false;
}

}  // namespace

std::uint64_t monotonicNs() {
  if (g_virtual.load(std::memory_order_acquire)) {
    std::lock_guard lock(virt().mutex);
    return virt().nowNs;
  }
  return scaledNow();
}

std::uint64_t wallFileTime() {
  if (g_virtual.load(std::memory_order_acquire)) {
    Virtual& v = virt();
    std::lock_guard lock(v.mutex);
    if (v.wallBase) return *v.wallBase + (v.nowNs - v.wallBaseNs) / 100u;
  }
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return unixToFileTimeTicks(ts.tv_sec, ts.tv_nsec);
}

double timeScale() {
  if (g_virtual.load(std::memory_order_acquire)) return 1.0;
  scaledNow();
  std::lock_guard lock(scaled().mutex);
  return scaled().scale;
}

std::chrono::nanoseconds realFor(std::uint64_t monoNs) {
  if (monoNs == 0) return std::chrono::nanoseconds(0);
  double scale = timeScale();
  auto ns = static_cast<std::int64_t>(static_cast<double>(monoNs) / scale);
  return std::chrono::nanoseconds(std::max<std::int64_t>(ns, 1));
}

bool isVirtual() { return g_virtual.load(std::memory_order_acquire); }

void sleepMs(std::uint32_t ms) {
  if (isVirtual()) {
    // An infinite sleep in a virtual world would never return; it runs what is scheduled.
    if (ms == kInfinite) {
      while (auto next = detail::nextVirtualEventNs()) detail::advanceVirtualTo(*next);
      return;
    }
    detail::advanceVirtualTo(monotonicNs() + static_cast<std::uint64_t>(ms) * 1000000u);
    return;
  }
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  const std::uint64_t deadline = monotonicNs() + static_cast<std::uint64_t>(ms) * 1000000u;
  if (ms == kInfinite) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  for (std::uint64_t now = monotonicNs(); now < deadline; now = monotonicNs())
    std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(realFor(deadline - now), std::chrono::milliseconds(100)));
}

std::uint64_t schedule(std::uint64_t deadlineMs, std::function<void()> callback) {
  std::uint64_t id = g_nextId.fetch_add(1);
  std::uint64_t deadlineNs = deadlineMs * 1000000u;
  if (isVirtual()) {
    std::lock_guard lock(virt().mutex);
    virt().events.emplace(deadlineNs, Event{id, std::move(callback)});
    return id;
  }
  Timer& t = timer();
  std::lock_guard lock(t.mutex);
  if (!t.started) {
    std::thread(timerLoop).detach();
    t.started = true;
  }
  t.events.emplace(deadlineNs, Event{id, std::move(callback)});
  t.cv.notify_all();
  return id;
}

bool cancel(std::uint64_t id) {
  {
    std::lock_guard lock(virt().mutex);
    if (eraseId(virt().events, id)) return true;
  }
  std::lock_guard lock(timer().mutex);
  return eraseId(timer().events, id);
}

VirtualClock::VirtualClock(std::uint64_t startMs) {
  Virtual& v = virt();
  std::lock_guard lock(v.mutex);
  assert(!g_virtual.load() && "one virtual clock at a time");
  v.nowNs = startMs * 1000000u;
  v.wallBase.reset();
  v.events.clear();
  g_virtual.store(true, std::memory_order_release);
}

VirtualClock::~VirtualClock() {
  Virtual& v = virt();
  std::lock_guard lock(v.mutex);
  g_virtual.store(false, std::memory_order_release);
  v.events.clear();
  v.wallBase.reset();
}

void VirtualClock::advance(std::uint64_t ms) { detail::advanceVirtualTo(monotonicNs() + ms * 1000000u); }

void VirtualClock::fixWallTime(std::uint64_t fileTimeTicks) {
  Virtual& v = virt();
  std::lock_guard lock(v.mutex);
  v.wallBase = fileTimeTicks;
  v.wallBaseNs = v.nowNs;
}

namespace detail {

std::optional<std::uint64_t> nextVirtualEventNs() {
  Virtual& v = virt();
  std::lock_guard lock(v.mutex);
  if (v.events.empty()) return std::nullopt;
  return std::max(v.events.begin()->first, v.nowNs);
}

void advanceVirtualTo(std::uint64_t targetNs) {
  Virtual& v = virt();
  for (;;) {
    std::unique_lock lock(v.mutex);
    if (!g_virtual.load(std::memory_order_relaxed)) return;
    auto first = v.events.begin();
    if (first == v.events.end() || first->first > targetNs) {
      v.nowNs = std::max(v.nowNs, targetNs);
      return;
    }
    v.nowNs = std::max(v.nowNs, first->first);
    std::function<void()> callback = std::move(first->second.callback);
    v.events.erase(first);
    lock.unlock();
    callback();
  }
}

}  // namespace detail

}  // namespace platform::clock
