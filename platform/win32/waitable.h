// Waiting on kernel objects and message queues together. A waitable kernel object (an event, a
// process, a thread, a mutex) derives from Waitable; every waiting thread has one WaitBlock that
// objects and its message queue wake. The wait loop (waitForObjects) serves
// MsgWaitForMultipleObjects now and WaitForSingleObject/WaitForMultipleObjects once those
// objects exist; all timed waits run on the stand-in's monotonic clock, so a virtual clock makes
// them end at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/types.h"
#include "platform/win32/handle.h"

namespace platform {

// What one thread sleeps on. wake() may be called from any thread, any number of times.
class WaitBlock {
 public:
  void wake();
  // A number that changes with every wake(); read it before checking conditions, then pass it to
  // sleepUntilWoken so a wake-up between the check and the sleep is not lost.
  std::uint64_t generation();
  // Sleeps until wake() is called after `seen` was read, or `ms` of monotonic time pass
  // (clock::kInfinite: no limit). True when woken.
  bool sleepUntilWoken(std::uint64_t seen, std::uint32_t ms);
  // The calling thread's block.
  static const std::shared_ptr<WaitBlock>& current();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::uint64_t generation_ = 0;
};

// A kernel object a thread can wait for.
class Waitable : public KernelObject {
 public:
  // True when signaled; consumes the signal where the object's kind does (an auto-reset event, a
  // mutex taken by the caller). Called without any lock of the waiter held.
  virtual bool tryAcquire() = 0;
  // True when signaled, without consuming (for a wait on all objects).
  virtual bool isSignaled() = 0;
  // 0, or the error a wait on this object fails with at once (an object whose state the stand-in
  // cannot see, such as another process's named mutex).
  virtual DWORD waitError() const { return 0; }
  // The object calls wake() on every registered block when it becomes signaled.
  void addWaiter(const std::shared_ptr<WaitBlock>& block);
  void removeWaiter(const WaitBlock* block);

 protected:
  // Derived objects call this after becoming signaled.
  void wakeWaiters();

 private:
  std::mutex waitersMutex_;
  std::vector<std::weak_ptr<WaitBlock>> waiters_;
};

// The outcome of waitForObjects: the index of the object that ended the wait (the first one for
// a wait on all), `objects.size()` when `extraReady` did, or -1 on timeout.
// `extraReady` (may be empty) is checked along with the objects; whoever makes it true must wake
// the calling thread's WaitBlock.
int waitForObjects(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll, std::uint32_t ms,
                   const std::function<bool()>& extraReady);

}  // namespace platform
