// Wait blocks and the wait loop over waitable objects.
#include "platform/win32/waitable.h"

#include <algorithm>

#include "platform/base/clock.h"

namespace platform {

void WaitBlock::wake() {
  {
    std::lock_guard lock(mutex_);
    ++generation_;
  }
  cv_.notify_all();
}

std::uint64_t WaitBlock::generation() {
  std::lock_guard lock(mutex_);
  return generation_;
}

bool WaitBlock::sleepUntilWoken(std::uint64_t seen, std::uint32_t ms) {
  std::unique_lock lock(mutex_);
  return clock::waitUntil(cv_, lock, ms, [&] { return generation_ != seen; });
}

const std::shared_ptr<WaitBlock>& WaitBlock::current() {
  thread_local const std::shared_ptr<WaitBlock> block = std::make_shared<WaitBlock>();
  return block;
}

void Waitable::addWaiter(const std::shared_ptr<WaitBlock>& block) {
  std::lock_guard lock(waitersMutex_);
  std::erase_if(waiters_, [](const std::weak_ptr<WaitBlock>& w) { return w.expired(); });
  waiters_.push_back(block);
}

void Waitable::removeWaiter(const WaitBlock* block) {
  std::lock_guard lock(waitersMutex_);
  std::erase_if(waiters_, [&](const std::weak_ptr<WaitBlock>& w) {
    auto b = w.lock();
    return !b || b.get() == block;
  });
}

void Waitable::wakeWaiters() {
  std::vector<std::shared_ptr<WaitBlock>> blocks;
  {
    std::lock_guard lock(waitersMutex_);
    for (auto& w : waiters_)
      if (auto b = w.lock()) blocks.push_back(std::move(b));
  }
  for (auto& b : blocks) b->wake();
}

int waitForObjects(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll, std::uint32_t ms,
                   const std::function<bool()>& extraReady) {
  const auto& block = WaitBlock::current();
  for (auto& o : objects) o->addWaiter(block);
  struct Unregister {
    const std::vector<std::shared_ptr<Waitable>>& objects;
    const WaitBlock* block;
    ~Unregister() {
      for (auto& o : objects) o->removeWaiter(block);
    }
  } unregister{objects, block.get()};

  const bool infinite = ms == clock::kInfinite;
  const std::uint64_t deadline = clock::monotonicMs() + (infinite ? 0 : ms);
  const int count = static_cast<int>(objects.size());
  for (;;) {
    const std::uint64_t seen = block->generation();
    if (waitAll) {
      if (count > 0 && std::all_of(objects.begin(), objects.end(), [](auto& o) { return o->isSignaled(); })) {
        for (auto& o : objects) o->tryAcquire();
        return 0;
      }
    } else {
      for (int i = 0; i < count; ++i)
        if (objects[static_cast<std::size_t>(i)]->tryAcquire()) return i;
    }
    if (extraReady && extraReady()) return count;
    std::uint32_t left = clock::kInfinite;
    if (!infinite) {
      const std::uint64_t now = clock::monotonicMs();
      if (now >= deadline) return -1;
      left = static_cast<std::uint32_t>(deadline - now);
    }
    block->sleepUntilWoken(seen, left);
  }
}

}  // namespace platform
