// The process's window table, handle allocation and the registry of thread queues.
#include "platform/host/window_table.h"

#include <sys/syscall.h>
#include <unistd.h>

#include "platform/base/clock.h"
#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/window_mirror.h"
#include "platform/win32/window.h"

namespace platform::host {

namespace {

// Handle values given out: even numbers from here on, as Windows' handles are.
constexpr std::uint32_t kFirstHandle = 0x00020000;

struct QueueRegistry {
  std::mutex mutex;
  std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>> queues;
};

QueueRegistry& registry() {
  static QueueRegistry* r = new QueueRegistry();
  return *r;
}

// Ends the thread's queue when the thread ends.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (!queue) return;
    {
      std::lock_guard lock(registry().mutex);
      registry().queues.erase(queue->threadId);
    }
    forgetThreadWindows(queue->threadId);
    std::deque<std::shared_ptr<SentMessage>> pending;
    {
      std::lock_guard lock(queue->mutex);
      queue->alive = false;
      pending.swap(queue->sent);
      queue->posted.clear();
      queue->timers.clear();
    }
    for (auto& m : pending) {
      if (m->replyHook) {
        // A sender in another process gets 0, as a local one does.
        if (!m->replied) {
          m->replied = true;
          m->result = 0;
          m->replyHook(*m);
        }
        continue;
      }
      if (!m->sender) continue;
      {
        std::lock_guard lock(m->sender->mutex);
        m->replied = true;
        m->result = 0;
      }
      m->sender->wake();
    }
  }
};

}  // namespace

WindowTable::WindowTable() {
  addSystemWindow(kDesktopHandle, u"#32769");
  addSystemWindow(kMessageRootHandle, u"Message");
}

void WindowTable::addSystemWindow(std::uint32_t handle, const char16_t* className) {
  auto cls = std::make_shared<WindowClass>();
  cls->name = className;
  cls->system = true;
  auto w = std::make_shared<Window>();
  w->handle = handle;
  w->cls = cls;
  w->state = WindowState::Alive;
  w->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN;
  windows.emplace(handle, std::move(w));
}

WindowTable& WindowTable::get() {
  static WindowTable* t = new WindowTable();
  return *t;
}

Window* WindowTable::find(std::uint32_t handle) {
  if (handle == 0) return nullptr;
  auto it = windows.find(handle);
  if (it == windows.end() || it->second->state == WindowState::Destroyed) return nullptr;
  return it->second.get();
}

std::shared_ptr<Window> WindowTable::findShared(HWND hwnd) {
  auto it = windows.find(fromHwnd(hwnd));
  if (it == windows.end() || it->second->state == WindowState::Destroyed) return nullptr;
  return it->second;
}

std::uint32_t WindowTable::allocateHandle() {
  for (;;) {
    std::uint64_t n = Host::current().counters().bump(Counter::WindowHandles);
    auto value = static_cast<std::uint32_t>((kFirstHandle + 2 * n) & 0xFFFFFFFEu);
    if (value < kFirstHandle) continue;  // wrapped round
    if (!windows.count(value)) return value;
  }
}

std::shared_ptr<WindowClass> WindowTable::findClass(const WCHAR* nameOrAtom) {
  if (!nameOrAtom) return nullptr;
  auto v = reinterpret_cast<ULONG_PTR>(nameOrAtom);
  if ((v >> 16) == 0) {
    for (auto& c : classes)
      if (c->atom == static_cast<ATOM>(v)) return c;
    return nullptr;
  }
  std::u16string_view name = text::view(nameOrAtom);
  for (auto& c : classes)
    if (text::equalNoCase(c->name, name)) return c;
  return nullptr;
}

bool WindowTable::visible(const Window& w) {
  const Window* cur = &w;
  while (cur && cur->handle != kDesktopHandle && cur->handle != kMessageRootHandle) {
    if (!(cur->style & WS_VISIBLE)) return false;
    cur = find(cur->parent);
  }
  return cur != nullptr;
}

POINT WindowTable::screenOrigin(const Window& w) {
  POINT p{0, 0};
  const Window* cur = &w;
  while (cur && cur->handle != kDesktopHandle && cur->handle != kMessageRootHandle) {
    p.x += cur->rect.left;
    p.y += cur->rect.top;
    cur = find(cur->parent);
  }
  return p;
}

bool WindowTable::isDescendant(std::uint32_t ancestor, std::uint32_t handle) {
  const Window* cur = find(handle);
  while (cur) {
    if (cur->parent == ancestor) return true;
    if (cur->parent == kDesktopHandle || cur->parent == kMessageRootHandle) return false;
    cur = find(cur->parent);
  }
  return false;
}

void WindowTable::collectTree(const Window& w, std::vector<std::uint32_t>& out) {
  out.push_back(w.handle);
  for (std::uint32_t c : w.children)
    if (Window* child = find(c)) collectTree(*child, out);
}

DWORD currentThreadId() {
  thread_local const DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
  return id;
}

const std::shared_ptr<ThreadQueue>& currentQueue() {
  thread_local QueueHolder holder;
  if (!holder.queue) {
    auto q = std::make_shared<ThreadQueue>();
    q->threadId = currentThreadId();
    q->block = WaitBlock::current();
    q->lastLookMs = clock::monotonicMs();
    {
      std::lock_guard lock(registry().mutex);
      registry().queues[q->threadId] = q;
    }
    holder.queue = std::move(q);
  }
  return holder.queue;
}

std::shared_ptr<ThreadQueue> findQueue(DWORD threadId) {
  std::lock_guard lock(registry().mutex);
  auto it = registry().queues.find(threadId);
  return it == registry().queues.end() ? nullptr : it->second.lock();
}

void forgetThreadWindows(DWORD threadId) {
  WindowTable& t = WindowTable::get();
  std::lock_guard lock(t.mutex);
  std::vector<std::uint32_t> gone;
  for (auto& [handle, w] : t.windows)
    if (w->threadId == threadId && w->queue && w->state != WindowState::Destroyed) gone.push_back(handle);
  for (std::uint32_t h : gone) {
    auto& w = t.windows[h];
    if (Window* parent = t.find(w->parent)) std::erase(parent->children, h);
    if (w->cls) --w->cls->liveWindows;
    if (t.foreground == h) t.foreground = 0;
  }
  for (std::uint32_t h : gone) t.windows.erase(h);
  forgetMirrored(gone);
}

}  // namespace platform::host
