// Message queues: posting, sending (directly on the same thread, through the target's queue
// across threads), retrieval in Windows' order, timers, waits, registered messages and atoms.
#include "platform/win32/message.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <optional>

#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/atom_table.h"
#include "platform/host/window_channel.h"
#include "platform/host/window_mirror.h"
#include "platform/host/window_table.h"
#include "platform/win32/error.h"
#include "platform/win32/waitable.h"
#include "platform/win32/window.h"

using namespace platform::host;
namespace clk = platform::clock;

namespace {

// A thread that has not looked at its queue for this long, and is not waiting in it, is hung.
constexpr std::uint64_t kHungMs = 5000;
constexpr DWORD kMaxWaitObjects = 64;

DWORD tickNow() { return static_cast<DWORD>(clk::monotonicMs()); }

// Marks the message being handled on this thread (null: not one sent from another thread).
struct Receiving {
  ThreadQueue& queue;
  Receiving(ThreadQueue& q, SentMessage* m) : queue(q) { queue.receiving.push_back(m); }
  ~Receiving() { queue.receiving.pop_back(); }
};

// The window's procedure and queue, or false with ERROR_INVALID_WINDOW_HANDLE.
bool lookupWindow(HWND hwnd, WNDPROC& proc, std::shared_ptr<ThreadQueue>& queue) {
  WindowTable& t = WindowTable::get();
  std::lock_guard lock(t.mutex);
  Window* w = t.find(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  proc = w->proc;
  queue = w->queue;
  return true;
}

LRESULT callDirect(ThreadQueue& me, WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Receiving r(me, nullptr);
  return proc ? proc(hwnd, msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

void reply(SentMessage& m, LRESULT result) {
  if (m.replyHook) {
    // From another process: only the receiving thread touches `replied`.
    if (m.replied) return;
    m.replied = true;
    m.result = result;
    m.replyHook(m);
    return;
  }
  if (!m.sender) return;
  {
    std::lock_guard lock(m.sender->mutex);
    if (m.replied) return;
    m.replied = true;
    m.result = result;
  }
  m.sender->wake();
}

// Handles every message other threads have sent to this one; true when there was any.
bool deliverSent(ThreadQueue& me) {
  bool any = false;
  for (;;) {
    std::shared_ptr<SentMessage> m;
    {
      std::lock_guard lock(me.mutex);
      if (me.sent.empty()) return any;
      m = std::move(me.sent.front());
      me.sent.pop_front();
    }
    any = true;
    WNDPROC proc = nullptr;
    std::shared_ptr<ThreadQueue> owner;
    LRESULT result = 0;
    // A handler that throws still answers its sender (with 0), whose thread would wait forever.
    struct ReplyOnUnwind {
      SentMessage& m;
      int before = std::uncaught_exceptions();
      ~ReplyOnUnwind() {
        if (std::uncaught_exceptions() <= before) return;
        try {
          reply(m, 0);
        } catch (...) {
        }
      }
    } unwinding{*m};
    if (lookupWindow(m->hwnd, proc, owner)) {
      Receiving r(me, m.get());
      result = proc ? proc(m->hwnd, m->message, m->wParam, m->lParam)
                    : DefWindowProcW(m->hwnd, m->message, m->wParam, m->lParam);
    }
    reply(*m, result);
  }
}

// Under q.mutex: a thread that has not looked at its queue for a while and is not waiting in it.
bool isHung(const ThreadQueue& q) { return !q.waiting && clk::monotonicMs() - q.lastLookMs > kHungMs; }

// Marks the thread as waiting in its queue (not hung, however long it waits).
struct Waiting {
  ThreadQueue& q;
  explicit Waiting(ThreadQueue& queue) : q(queue) { set(true); }
  ~Waiting() { set(false); }
  void set(bool on) {
    std::lock_guard lock(q.mutex);
    q.waiting = on;
    q.lastLookMs = clk::monotonicMs();
  }
};

// Sends through another thread's queue and waits for the reply (serving messages sent to this
// thread meanwhile unless SMTO_BLOCK). False on timeout (ERROR_TIMEOUT).
bool sendAcross(const std::shared_ptr<ThreadQueue>& target, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                UINT flags, std::uint32_t timeoutMs, LRESULT* result) {
  const auto& me = currentQueue();
  auto m = std::make_shared<SentMessage>();
  m->hwnd = hwnd;
  m->message = msg;
  m->wParam = wParam;
  m->lParam = lParam;
  m->sender = me;
  {
    std::lock_guard lock(target->mutex);
    if (!target->alive) {
      *result = 0;
      return true;
    }
    if ((flags & SMTO_ABORTIFHUNG) && isHung(*target)) {
      SetLastError(ERROR_TIMEOUT);
      return false;
    }
    target->sent.push_back(m);
    target->changedBits |= QS_SENDMESSAGE;
  }
  target->wake();
  return awaitReply(m, flags, timeoutMs, result);
}

// Every top-level window of the host (hidden ones too, message-only ones not): this process's in
// z-order, then other processes'.
std::vector<HWND> topLevelWindows() {
  std::vector<HWND> out;
  {
    WindowTable& t = WindowTable::get();
    std::lock_guard lock(t.mutex);
    if (Window* d = t.find(kDesktopHandle))
      for (std::uint32_t h : d->children) out.push_back(toHwnd(h));
  }
  for (const WindowRow& r : foreignChildren(kDesktopHandle)) out.push_back(toHwnd(r.handle));
  return out;
}

// Where a window lives: in this process (proc and queue set), in another (row set), or nowhere.
enum class Place { Nowhere, Here, Elsewhere };

Place locate(HWND hwnd, WNDPROC& proc, std::shared_ptr<ThreadQueue>& queue, std::optional<WindowRow>& row) {
  {
    WindowTable& t = WindowTable::get();
    std::lock_guard lock(t.mutex);
    if (Window* w = t.find(hwnd)) {
      proc = w->proc;
      queue = w->queue;
      return Place::Here;
    }
  }
  row = foreignWindow(fromHwnd(hwnd));
  if (row) return Place::Elsewhere;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return Place::Nowhere;
}

// The fault check of a send to another thread or process; a send on the window's own thread is a
// plain call of its procedure (35-50 ns) and never asks.
bool sendFails(const char* call) {
  if (DWORD e = platform::fault::check(call)) {
    SetLastError(e);
    return true;
  }
  return false;
}

// Messages whose parameters are pointers into the sender: they cannot be posted.
bool isSyncOnly(UINT msg, WPARAM wParam) {
  switch (msg) {
    case WM_CREATE:
    case WM_NCCREATE:
    case WM_GETTEXT:
    case WM_SETTEXT:
    case WM_GETMINMAXINFO:
    case WM_COPYDATA:
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_NCCALCSIZE:
    case WM_STYLECHANGING:
    case WM_STYLECHANGED:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
    case WM_HELP:
      return true;
    case WM_DEVICECHANGE:
      return (wParam & 0x8000) != 0;  // the DBT_ events that carry a structure
    default:
      return false;
  }
}

void postTo(ThreadQueue& q, const MSG& m) {
  {
    std::lock_guard lock(q.mutex);
    if (!q.alive) return;
    q.posted.push_back(m);
    q.changedBits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
  }
  q.wake();
}

MSG makeMsg(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = hwnd;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = tickNow();
  return m;
}

// What a retrieval accepts.
struct Filter {
  bool any = true;
  bool threadOnly = false;
  std::vector<std::uint32_t> windows;  // the window and its descendants
  UINT min = 0;
  UINT max = 0;

  bool message(UINT m) const {
    if (min == 0 && max == 0) return true;
    if (min <= max) return m >= min && m <= max;
    return m >= min || m <= max;  // a reversed range wraps round
  }
  bool window(std::uint32_t h) const {
    if (any) return true;
    if (threadOnly) return h == 0;
    return std::find(windows.begin(), windows.end(), h) != windows.end();
  }
};

Filter makeFilter(HWND hwnd, UINT min, UINT max) {
  Filter f;
  f.min = min;
  f.max = max;
  if (reinterpret_cast<LONG_PTR>(hwnd) == -1) {
    f.any = false;
    f.threadOnly = true;
  } else if (hwnd) {
    f.any = false;
    WindowTable& t = WindowTable::get();
    std::lock_guard lock(t.mutex);
    if (Window* w = t.find(hwnd)) t.collectTree(*w, f.windows);
  }
  return f;
}

// Under q.mutex: raises QS_TIMER once for each timer that became due.
void announceTimers(ThreadQueue& q, std::uint64_t now) {
  for (auto& tm : q.timers)
    if (tm.dueMs <= now && !tm.announced) {
      tm.announced = true;
      q.changedBits |= QS_TIMER;
    }
}

// Under q.mutex: the kinds of input in the queue now (paint is checked by the caller).
DWORD wakeBits(ThreadQueue& q, std::uint64_t now) {
  DWORD bits = 0;
  if (!q.posted.empty() || q.quit) bits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
  if (!q.sent.empty()) bits |= QS_SENDMESSAGE;
  for (auto& tm : q.timers)
    if (tm.dueMs <= now) bits |= QS_TIMER;
  if (!q.paintPending.empty()) bits |= QS_PAINT;
  return bits;
}

// Milliseconds until the next of the thread's timers comes due (kInfinite when none will). A
// timer that is due already does not count: the caller saw it and its filter did not take it.
std::uint32_t untilNextTimer(ThreadQueue& q) {
  std::lock_guard lock(q.mutex);
  std::uint64_t now = clk::monotonicMs();
  std::uint64_t next = UINT64_MAX;
  for (auto& tm : q.timers)
    if (tm.dueMs > now) next = std::min(next, tm.dueMs);
  return next == UINT64_MAX ? clk::kInfinite : static_cast<std::uint32_t>(std::min<std::uint64_t>(next - now, 0x7FFFFFFF));
}

// A window waiting for WM_PAINT that passes the filter; stale entries are dropped.
std::uint32_t pickPaint(ThreadQueue& q, const Filter& f) {
  std::vector<std::uint32_t> pending;
  {
    std::lock_guard lock(q.mutex);
    if (q.paintPending.empty()) return 0;
    pending = q.paintPending;
  }
  std::uint32_t chosen = 0;
  std::vector<std::uint32_t> stale;
  {
    WindowTable& t = WindowTable::get();
    std::lock_guard lock(t.mutex);
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t h : pending) {
      Window* w = t.find(h);
      if (!w || !w->invalid) {
        stale.push_back(h);
        continue;
      }
      if (f.window(h) && t.visible(*w)) candidates.push_back(h);
    }
    // A parent paints before its children: windows do not clip each other, so a parent painted
    // after them would cover what they drew.
    for (std::uint32_t h : candidates) {
      bool ancestorWaits = false;
      Window* w = t.find(h);
      int depth = 0;  // a bound, whatever the table holds
      for (Window* a = w ? t.find(w->parent) : nullptr; a && !ancestorWaits && ++depth < 256; a = t.find(a->parent))
        ancestorWaits = std::find(candidates.begin(), candidates.end(), a->handle) != candidates.end();
      if (!ancestorWaits) {
        chosen = h;
        break;
      }
    }
  }
  if (!stale.empty()) {
    std::lock_guard lock(q.mutex);
    std::erase_if(q.paintPending, [&](std::uint32_t h) { return std::find(stale.begin(), stale.end(), h) != stale.end(); });
  }
  return chosen;
}

BOOL peek(MSG* out, HWND hwnd, UINT min, UINT max, UINT flags) {
  const auto& q = currentQueue();
  deliverSent(*q);
  const bool remove = (flags & PM_REMOVE) != 0;
  Filter f = makeFilter(hwnd, min, max);
  const std::uint64_t now = clk::monotonicMs();
  {
    std::lock_guard lock(q->mutex);
    q->lastLookMs = now;
    announceTimers(*q, now);
    q->changedBits &= QS_ALLPOSTMESSAGE;
    for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
      if (!f.window(fromHwnd(it->hwnd)) || !f.message(it->message)) continue;
      *out = *it;
      if (remove) q->posted.erase(it);
      if (q->posted.empty()) q->changedBits &= ~static_cast<DWORD>(QS_ALLPOSTMESSAGE);
      q->lastMessageTime = out->time;
      return TRUE;
    }
    if (q->quit && (f.any || f.threadOnly)) {
      *out = makeMsg(nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0);
      if (remove) q->quit = false;
      return TRUE;
    }
  }
  if (f.message(WM_PAINT)) {
    if (std::uint32_t h = pickPaint(*q, f)) {
      *out = makeMsg(toHwnd(h), WM_PAINT, 0, 0);
      return TRUE;
    }
  }
  if (f.message(WM_TIMER)) {
    std::lock_guard lock(q->mutex);
    Timer* best = nullptr;
    for (auto& tm : q->timers) {
      if (tm.dueMs > now || !f.window(tm.hwnd)) continue;
      if (!best || tm.dueMs < best->dueMs || (tm.dueMs == best->dueMs && tm.order < best->order)) best = &tm;
    }
    if (best) {
      *out = makeMsg(toHwnd(best->hwnd), WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc));
      if (remove) {
        best->dueMs = now + best->elapse;
        best->announced = false;
      }
      return TRUE;
    }
  }
  return FALSE;
}

// New input of the kinds in `mask` since the thread last looked (or any such input when
// `available`).
bool inputReady(ThreadQueue& q, DWORD mask, bool available) {
  std::lock_guard lock(q.mutex);
  std::uint64_t now = clk::monotonicMs();
  announceTimers(q, now);
  return ((available ? wakeBits(q, now) : q.changedBits) & mask) != 0;
}

// Blocks the thread until `ready` or `ms` pass, waking for timers coming due; true when ready.
template <class Ready>
bool waitForInput(ThreadQueue& q, std::uint32_t ms, Ready ready) {
  const bool infinite = ms == clk::kInfinite;
  const std::uint64_t deadline = clk::monotonicMs() + (infinite ? 0 : ms);
  Waiting waiting(q);
  for (;;) {
    const std::uint64_t seen = q.block->generation();
    if (ready()) return true;
    std::uint32_t left = untilNextTimer(q);
    if (!infinite) {
      std::uint64_t now = clk::monotonicMs();
      if (now >= deadline) return false;
      left = std::min<std::uint64_t>(left, deadline - now);
    }
    q.block->sleepUntilWoken(seen, left);
  }
}

std::atomic<std::uint32_t> g_nextThreadTimerId{1};
std::atomic<std::uint64_t> g_timerOrder{0};

std::u16string intAtomName(ATOM atom) {
  std::string s = "#" + std::to_string(atom);
  return platform::text::fromUtf8(s);
}

// "#123" gives 123; 0 when the text is not such a number.
ATOM parseIntAtom(std::u16string_view s) {
  if (s.size() < 2 || s[0] != u'#') return 0;
  unsigned long v = 0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] < u'0' || s[i] > u'9') return 0;
    v = v * 10 + (s[i] - u'0');
    if (v >= kFirstStringAtom) return 0;
  }
  return static_cast<ATOM>(v);
}

}  // namespace

BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (DWORD e = platform::fault::check("PostMessageW")) {
    SetLastError(e);
    return FALSE;
  }
  if (isSyncOnly(Msg, wParam)) {
    SetLastError(ERROR_MESSAGE_SYNC_ONLY);
    return FALSE;
  }
  if (!hWnd) {
    postTo(*currentQueue(), makeMsg(nullptr, Msg, wParam, lParam));
    return TRUE;
  }
  if (hWnd == HWND_BROADCAST) {
    for (HWND h : topLevelWindows()) PostMessageW(h, Msg, wParam, lParam);
    return TRUE;
  }
  WNDPROC proc;
  std::shared_ptr<ThreadQueue> queue;
  std::optional<WindowRow> row;
  switch (locate(hWnd, proc, queue, row)) {
    case Place::Nowhere:
      return FALSE;
    case Place::Elsewhere:
      return postToProcess(*row, Msg, wParam, lParam) ? TRUE : FALSE;
    case Place::Here:
      break;
  }
  if (queue) postTo(*queue, makeMsg(hWnd, Msg, wParam, lParam));
  return TRUE;
}

BOOL PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (DWORD e = platform::fault::check("PostThreadMessageW")) {
    SetLastError(e);
    return FALSE;
  }
  if (isSyncOnly(Msg, wParam)) {
    SetLastError(ERROR_MESSAGE_SYNC_ONLY);
    return FALSE;
  }
  auto q = findQueue(idThread);
  if (!q) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  postTo(*q, makeMsg(nullptr, Msg, wParam, lParam));
  return TRUE;
}

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd == HWND_BROADCAST) {
    for (HWND h : topLevelWindows()) SendMessageW(h, Msg, wParam, lParam);
    return 0;
  }
  WNDPROC proc;
  std::shared_ptr<ThreadQueue> queue;
  std::optional<WindowRow> row;
  LRESULT result = 0;
  switch (locate(hWnd, proc, queue, row)) {
    case Place::Nowhere:
      return 0;
    case Place::Elsewhere:
      if (sendFails("SendMessageW")) return 0;
      sendToProcess(*row, Msg, wParam, lParam, SMTO_NORMAL, clk::kInfinite, &result);
      return result;
    case Place::Here:
      break;
  }
  if (!queue) return DefWindowProcW(hWnd, Msg, wParam, lParam);  // the desktop
  const auto& me = currentQueue();
  if (queue == me) return callDirect(*me, proc, hWnd, Msg, wParam, lParam);
  if (sendFails("SendMessageW")) return 0;
  sendAcross(queue, hWnd, Msg, wParam, lParam, SMTO_NORMAL, clk::kInfinite, &result);
  return result;
}

BOOL SendNotifyMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd == HWND_BROADCAST) {
    for (HWND h : topLevelWindows()) SendNotifyMessageW(h, Msg, wParam, lParam);
    return TRUE;
  }
  WNDPROC proc;
  std::shared_ptr<ThreadQueue> queue;
  std::optional<WindowRow> row;
  switch (locate(hWnd, proc, queue, row)) {
    case Place::Nowhere:
      return FALSE;
    case Place::Elsewhere:
      return notifyProcess(*row, Msg, wParam, lParam) ? TRUE : FALSE;
    case Place::Here:
      break;
  }
  if (!queue) return TRUE;
  const auto& me = currentQueue();
  if (queue == me) {
    callDirect(*me, proc, hWnd, Msg, wParam, lParam);
    return TRUE;
  }
  auto m = std::make_shared<SentMessage>();
  m->hwnd = hWnd;
  m->message = Msg;
  m->wParam = wParam;
  m->lParam = lParam;
  {
    std::lock_guard lock(queue->mutex);
    if (!queue->alive) return TRUE;
    queue->sent.push_back(std::move(m));
    queue->changedBits |= QS_SENDMESSAGE;
  }
  queue->wake();
  return TRUE;
}

LRESULT SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags, UINT uTimeout,
                            PDWORD_PTR lpdwResult) {
  if (hWnd == HWND_BROADCAST) {
    for (HWND h : topLevelWindows()) SendMessageTimeoutW(h, Msg, wParam, lParam, fuFlags, uTimeout, nullptr);
    if (lpdwResult) *lpdwResult = 0;
    return TRUE;
  }
  WNDPROC proc;
  std::shared_ptr<ThreadQueue> queue;
  std::optional<WindowRow> row;
  LRESULT result = 0;
  const Place place = locate(hWnd, proc, queue, row);
  if (place == Place::Nowhere) return 0;
  const auto& me = currentQueue();
  if (place == Place::Elsewhere) {
    if (sendFails("SendMessageTimeoutW")) return 0;
    std::uint32_t ms = (fuFlags & SMTO_NOTIMEOUTIFNOTHUNG) ? clk::kInfinite : uTimeout;
    if (!sendToProcess(*row, Msg, wParam, lParam, fuFlags, ms, &result)) return 0;
  } else if (!queue) {
    result = DefWindowProcW(hWnd, Msg, wParam, lParam);
  } else if (queue == me) {
    result = callDirect(*me, proc, hWnd, Msg, wParam, lParam);
  } else {
    if (sendFails("SendMessageTimeoutW")) return 0;
    std::uint32_t ms = (fuFlags & SMTO_NOTIMEOUTIFNOTHUNG) ? clk::kInfinite : uTimeout;
    if (!sendAcross(queue, hWnd, Msg, wParam, lParam, fuFlags, ms, &result)) return 0;
  }
  if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(result);
  return TRUE;
}

BOOL PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  MSG m{};
  if (!peek(&m, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg)) return FALSE;
  if (lpMsg) *lpMsg = m;
  return TRUE;
}

BOOL GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (hWnd && reinterpret_cast<LONG_PTR>(hWnd) != -1 && !IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  if (!lpMsg) {
    SetLastError(ERROR_NOACCESS);
    return -1;
  }
  const auto& q = currentQueue();
  waitForInput(*q, clk::kInfinite, [&] { return peek(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE) != 0; });
  return lpMsg->message == WM_QUIT ? 0 : 1;
}

BOOL TranslateMessage(const MSG* lpMsg) {
  if (!lpMsg) return FALSE;
  UINT msg = lpMsg->message;
  if (msg != WM_KEYDOWN && msg != WM_KEYUP && msg != WM_SYSKEYDOWN && msg != WM_SYSKEYUP) return FALSE;
  if (msg == WM_KEYUP || msg == WM_SYSKEYUP) return TRUE;
  WPARAM vk = lpMsg->wParam;
  char16_t ch = 0;
  if (vk >= 'A' && vk <= 'Z') ch = static_cast<char16_t>(vk - 'A' + 'a');
  else if (vk >= '0' && vk <= '9') ch = static_cast<char16_t>(vk);
  else if (vk == VK_SPACE) ch = u' ';
  else if (vk == VK_RETURN) ch = u'\r';
  else if (vk == VK_BACK) ch = 8;
  else if (vk == VK_TAB) ch = 9;
  else if (vk == VK_ESCAPE) ch = 27;
  if (ch) {
    const auto& q = currentQueue();
    {
      std::lock_guard lock(q->mutex);
      MSG c = *lpMsg;
      c.message = msg == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
      c.wParam = ch;
      q->posted.push_front(c);
      q->changedBits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    }
  }
  return TRUE;
}

LRESULT DispatchMessageW(const MSG* lpMsg) {
  if (!lpMsg) return 0;
  const auto& me = currentQueue();
  if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
    // Only a procedure of one of this thread's timers is called, never an arbitrary address.
    auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
    bool known = false;
    {
      std::lock_guard lock(me->mutex);
      for (auto& tm : me->timers)
        if (tm.proc == proc && tm.id == lpMsg->wParam && tm.hwnd == fromHwnd(lpMsg->hwnd)) known = true;
    }
    if (!known) return 0;
    Receiving r(*me, nullptr);
    proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, tickNow());
    return 0;
  }
  if (!lpMsg->hwnd) return 0;
  WNDPROC proc;
  std::shared_ptr<ThreadQueue> queue;
  if (!lookupWindow(lpMsg->hwnd, proc, queue)) return 0;
  return callDirect(*me, proc, lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

void PostQuitMessage(int nExitCode) {
  const auto& q = currentQueue();
  {
    std::lock_guard lock(q->mutex);
    q->quit = true;
    q->quitCode = nExitCode;
    q->changedBits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
  }
  q->wake();
}

BOOL WaitMessage() {
  const auto& q = currentQueue();
  waitForInput(*q, clk::kInfinite, [&] {
    if (deliverSent(*q)) return true;
    return inputReady(*q, QS_ALLINPUT, false);
  });
  return TRUE;
}

DWORD GetQueueStatus(UINT flags) {
  const auto& q = currentQueue();
  std::lock_guard lock(q->mutex);
  std::uint64_t now = clk::monotonicMs();
  announceTimers(*q, now);
  DWORD current = wakeBits(*q, now) & flags;
  DWORD changed = q->changedBits & flags;
  q->changedBits &= ~flags;
  return (current << 16) | changed;
}

BOOL InSendMessage() {
  const auto& q = currentQueue();
  return !q->receiving.empty() && q->receiving.back() != nullptr;
}

DWORD InSendMessageEx(LPVOID) {
  const auto& q = currentQueue();
  if (q->receiving.empty() || !q->receiving.back()) return ISMEX_NOSEND;
  SentMessage* m = q->receiving.back();
  if (m->replyHook) return ISMEX_SEND | (m->replied ? ISMEX_REPLIED : 0);
  if (!m->sender) return ISMEX_NOTIFY;
  std::lock_guard lock(m->sender->mutex);
  return ISMEX_SEND | (m->replied ? ISMEX_REPLIED : 0);
}

BOOL ReplyMessage(LRESULT lResult) {
  const auto& q = currentQueue();
  if (q->receiving.empty() || !q->receiving.back()) return FALSE;
  SentMessage* m = q->receiving.back();
  if (m->replyHook) {
    if (m->replied) return FALSE;
    reply(*m, lResult);
    return TRUE;
  }
  if (!m->sender) return FALSE;
  {
    std::lock_guard lock(m->sender->mutex);
    if (m->replied) return FALSE;
  }
  reply(*m, lResult);
  return TRUE;
}

DWORD GetMessageTime() { return currentQueue()->lastMessageTime; }
DWORD GetMessagePos() { return currentQueue()->lastMessagePos; }

DWORD MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles, DWORD dwMilliseconds, DWORD dwWakeMask,
                                  DWORD dwFlags) {
  if (nCount >= kMaxWaitObjects || (nCount && !pHandles)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<platform::Waitable>> objects;
  for (DWORD i = 0; i < nCount; ++i) {
    auto o = platform::lookupHandleAs<platform::Waitable>(pHandles[i]);
    if (!o) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    if (DWORD e = o->waitError()) {
      SetLastError(e);
      return WAIT_FAILED;
    }
    objects.push_back(std::move(o));
  }
  const auto& q = currentQueue();
  const bool available = (dwFlags & MWMO_INPUTAVAILABLE) != 0;
  auto ready = [&] { return dwWakeMask && inputReady(*q, dwWakeMask, available); };
  const bool infinite = dwMilliseconds == INFINITE;
  const std::uint64_t deadline = clk::monotonicMs() + (infinite ? 0 : dwMilliseconds);
  Waiting waiting(*q);
  // Waits in slices that end when a timer comes due, so QS_TIMER is noticed.
  for (;;) {
    std::uint32_t slice = (dwWakeMask & QS_TIMER) ? untilNextTimer(*q) : clk::kInfinite;
    if (!infinite) {
      std::uint64_t now = clk::monotonicMs();
      std::uint64_t left = deadline > now ? deadline - now : 0;
      slice = static_cast<std::uint32_t>(std::min<std::uint64_t>(slice, left));
    }
    int r = platform::waitForObjects(objects, (dwFlags & MWMO_WAITALL) != 0, slice, ready);
    if (r >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(r);
    if (!infinite && clk::monotonicMs() >= deadline) return WAIT_TIMEOUT;
  }
}

DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll, DWORD dwMilliseconds,
                                DWORD dwWakeMask) {
  return MsgWaitForMultipleObjectsEx(nCount, pHandles, dwMilliseconds, dwWakeMask, fWaitAll ? MWMO_WAITALL : 0);
}

// ---- Registered messages and atoms ----

UINT RegisterWindowMessageW(LPCWSTR lpString) {
  std::u16string_view name = platform::text::view(lpString);
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (DWORD e = platform::fault::check("RegisterWindowMessageW", name)) {
    SetLastError(e);
    return 0;
  }
  ATOM a = findAtom(AtomTable::Window, name, true);
  if (!a) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return a;
}

UINT RegisterWindowMessageA(LPCSTR lpString) {
  if (!lpString) return RegisterWindowMessageW(nullptr);
  std::u16string wide = platform::text::ansiToWide(lpString);
  return RegisterWindowMessageW(wide.c_str());
}

ATOM GlobalAddAtomW(LPCWSTR lpString) {
  if (IS_INTRESOURCE(lpString)) {
    auto v = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(lpString));
    if (v == 0 || v >= kFirstStringAtom) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    return v;
  }
  std::u16string_view name = platform::text::view(lpString);
  if (ATOM a = parseIntAtom(name)) return a;
  ATOM a = findAtom(AtomTable::Global, name, true);
  if (!a) SetLastError(ERROR_INVALID_PARAMETER);
  return a;
}

ATOM GlobalFindAtomW(LPCWSTR lpString) {
  if (IS_INTRESOURCE(lpString)) return GlobalAddAtomW(lpString);
  std::u16string_view name = platform::text::view(lpString);
  if (ATOM a = parseIntAtom(name)) return a;
  ATOM a = findAtom(AtomTable::Global, name, false);
  if (!a) SetLastError(ERROR_FILE_NOT_FOUND);
  return a;
}

ATOM GlobalDeleteAtom(ATOM nAtom) {
  if (nAtom >= kFirstStringAtom && atomName(AtomTable::Global, nAtom).empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nAtom;
  }
  return 0;
}

UINT GlobalGetAtomNameW(ATOM nAtom, LPWSTR lpBuffer, int nSize) {
  std::u16string name = nAtom < kFirstStringAtom ? intAtomName(nAtom) : atomName(AtomTable::Global, nAtom);
  if (nAtom == 0 || name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!lpBuffer || nSize <= 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::size_t n = std::min<std::size_t>(name.size(), static_cast<std::size_t>(nSize - 1));
  std::copy_n(name.data(), n, lpBuffer);
  lpBuffer[n] = 0;
  return static_cast<UINT>(n);
}

// ---- Timers ----

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  std::shared_ptr<ThreadQueue> q;
  std::uint32_t handle = 0;
  if (hWnd) {
    WindowTable& t = WindowTable::get();
    std::lock_guard lock(t.mutex);
    Window* w = t.find(hWnd);
    if (!w || !w->queue) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->threadId != currentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
    q = w->queue;
    handle = w->handle;
  } else {
    q = currentQueue();
  }
  const UINT elapse = std::clamp<UINT>(uElapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  UINT_PTR id = nIDEvent;
  {
    std::lock_guard lock(q->mutex);
    auto existing = std::find_if(q->timers.begin(), q->timers.end(),
                                 [&](const Timer& tm) { return tm.hwnd == handle && tm.id == nIDEvent; });
    if (!handle && (existing == q->timers.end() || nIDEvent == 0)) {
      // A new thread timer gets an id of its own.
      do {
        id = g_nextThreadTimerId.fetch_add(1) % 0x7FFF + 1;
      } while (std::any_of(q->timers.begin(), q->timers.end(),
                           [&](const Timer& tm) { return tm.hwnd == 0 && tm.id == id; }));
      existing = q->timers.end();
    }
    Timer tm;
    tm.hwnd = handle;
    tm.id = id;
    tm.elapse = elapse;
    tm.proc = lpTimerFunc;
    tm.dueMs = clk::monotonicMs() + elapse;
    tm.order = ++g_timerOrder;
    if (existing != q->timers.end()) *existing = tm;
    else q->timers.push_back(tm);
  }
  q->wake();
  return handle ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  std::shared_ptr<ThreadQueue> q;
  std::uint32_t handle = 0;
  if (hWnd) {
    WindowTable& t = WindowTable::get();
    std::lock_guard lock(t.mutex);
    Window* w = t.find(hWnd);
    if (!w || !w->queue) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    q = w->queue;
    handle = w->handle;
  } else {
    q = currentQueue();
  }
  std::lock_guard lock(q->mutex);
  auto n = std::erase_if(q->timers, [&](const Timer& tm) { return tm.hwnd == handle && tm.id == uIDEvent; });
  return n ? TRUE : FALSE;
}

// ---- Entry points of the channel between processes ----

namespace platform::host {

bool awaitReply(const std::shared_ptr<SentMessage>& m, UINT flags, std::uint32_t timeoutMs, LRESULT* result) {
  const auto& me = currentQueue();
  Waiting waiting(*me);
  const bool infinite = timeoutMs == clk::kInfinite;
  const std::uint64_t deadline = clk::monotonicMs() + (infinite ? 0 : timeoutMs);
  for (;;) {
    const std::uint64_t seen = me->block->generation();
    {
      std::lock_guard lock(me->mutex);
      if (m->replied) {
        *result = m->result;
        return true;
      }
    }
    try {
      if (!(flags & SMTO_BLOCK) && deliverSent(*me)) continue;
    } catch (...) {
      // A handler served meanwhile threw: the send is left as after a timeout.
      std::lock_guard lock(me->mutex);
      m->abandoned = true;
      throw;
    }
    std::uint32_t left = clk::kInfinite;
    if (!infinite) {
      std::uint64_t now = clk::monotonicMs();
      if (now >= deadline) {
        std::lock_guard lock(me->mutex);
        if (m->replied) {
          *result = m->result;
          return true;
        }
        m->abandoned = true;
        SetLastError(ERROR_TIMEOUT);
        return false;
      }
      left = static_cast<std::uint32_t>(deadline - now);
    }
    me->block->sleepUntilWoken(seen, left);
  }
}

bool postFromOutside(std::uint32_t hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> queue;
  {
    WindowTable& t = WindowTable::get();
    std::lock_guard lock(t.mutex);
    Window* w = t.find(hwnd);
    if (!w || !w->queue) return false;
    queue = w->queue;
  }
  postTo(*queue, makeMsg(toHwnd(hwnd), msg, wParam, lParam));
  return true;
}

Queued sendFromOutside(const std::shared_ptr<SentMessage>& m, bool abortIfHung) {
  std::shared_ptr<ThreadQueue> queue;
  {
    WindowTable& t = WindowTable::get();
    std::lock_guard lock(t.mutex);
    Window* w = t.find(m->hwnd);
    if (!w || !w->queue) return Queued::NoWindow;
    queue = w->queue;
  }
  {
    std::lock_guard lock(queue->mutex);
    if (!queue->alive) return Queued::NoWindow;
    if (abortIfHung && isHung(*queue)) return Queued::Hung;
    queue->sent.push_back(m);
    queue->changedBits |= QS_SENDMESSAGE;
  }
  queue->wake();
  return Queued::Yes;
}

}  // namespace platform::host
