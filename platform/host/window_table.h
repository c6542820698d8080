// The process's side of the host's window table, and the per-thread message queues.
//
// Window handles are host-wide: values come from a shared counter of the host (never reused
// while the host lives), so a handle of one process never names a window of another. The
// desktop and the message-only root have fixed values. Every window of the process is a Window
// record here; the cross-process table (rows keyed by process id and start time, in host.db)
// mirrors the fields other processes may read: handle, class name, text, styles, rectangle,
// parent, owner, control id, thread.
//
// Locking: one mutex (WindowTable::mutex) guards the table, every Window's fields and the
// focus/active/capture fields of the queues; each ThreadQueue has its own mutex for what is
// queued. The table mutex may be held while a queue mutex is taken, never the other way round,
// and neither is held while a window procedure runs.
//
// A message for a window of another thread goes into that thread's ThreadQueue; a message for a
// window of another process goes over that process's channel (window_channel.h) into the same
// structures (a SentMessage with a replyHook rather than a local sender queue). The fields other
// processes read are mirrored into host.db (window_mirror.h).
#pragma once

#include <cstdint>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/types.h"
#include "platform/win32/message.h"
#include "platform/win32/waitable.h"

namespace platform::host {

struct ThreadQueue;

inline constexpr std::uint32_t kDesktopHandle = 0x00010010;
inline constexpr std::uint32_t kMessageRootHandle = 0x00010014;

inline HWND toHwnd(std::uint32_t h) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(h)); }
// Handles are 32-bit values; a pointer-sized value with other bits set names no window.
inline std::uint32_t fromHwnd(HWND h) {
  auto v = reinterpret_cast<UINT_PTR>(h);
  return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

struct WindowClass {
  std::u16string name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int clsExtra = 0;
  int wndExtra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HICON iconSmall = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  std::u16string menuName;
  const WCHAR* menuNamePtr = nullptr;  // kept as given when it is an integer resource id
  int liveWindows = 0;
  bool system = false;  // the desktop's and message root's classes
};

enum class WindowState { Creating, Alive, Destroying, Destroyed };

struct Window {
  std::uint32_t handle = 0;
  std::shared_ptr<WindowClass> cls;
  std::shared_ptr<ThreadQueue> queue;  // null for the desktop and the message root
  DWORD threadId = 0;
  WindowState state = WindowState::Creating;
  std::u16string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::uint32_t parent = 0;  // desktop or message root for a top-level window
  std::uint32_t owner = 0;
  std::vector<std::uint32_t> children;  // z-order, top first
  UINT_PTR id = 0;
  HINSTANCE instance = nullptr;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  std::vector<BYTE> extra;
  std::vector<std::pair<std::u16string, HANDLE>> props;  // key: upper-cased name or "#atom"
  RECT rect{};         // relative to the parent's client area (screen for top-level windows)
  RECT restoreRect{};  // the rectangle before minimizing or maximizing
  HICON iconBig = nullptr;
  HICON iconSmall = nullptr;
  HRGN region = nullptr;
  std::uint32_t lastActivePopup = 0;
  // Painting: the update region as a bounding rectangle.
  bool invalid = false;
  bool eraseNeeded = false;
  RECT invalidRect{};
};

struct WindowTable {
  std::mutex mutex;
  std::unordered_map<std::uint32_t, std::shared_ptr<Window>> windows;
  std::vector<std::shared_ptr<WindowClass>> classes;
  std::uint32_t foreground = 0;
  std::uint32_t localHandles = 0;

  // The single table of the process (never destroyed).
  static WindowTable& get();

  // Under mutex: the live (not Destroyed) window, or null. The desktop and the message root
  // are always there.
  Window* find(std::uint32_t handle);
  Window* find(HWND hwnd) { return find(fromHwnd(hwnd)); }
  std::shared_ptr<Window> findShared(HWND hwnd);
  // A new host-wide handle value.
  std::uint32_t allocateHandle();
  // Under mutex: the class by name (case-insensitive) or atom, or null.
  std::shared_ptr<WindowClass> findClass(const WCHAR* nameOrAtom);
  // Under mutex: whether `w` and its ancestors are visible.
  bool visible(const Window& w);
  // Under mutex: the window's top-left corner in screen coordinates.
  POINT screenOrigin(const Window& w);
  // Under mutex: whether `handle` lies below `ancestor` in the window tree.
  bool isDescendant(std::uint32_t ancestor, std::uint32_t handle);
  // Under mutex: handles of `w` and all its descendants, parents before children.
  void collectTree(const Window& w, std::vector<std::uint32_t>& out);

 private:
  WindowTable();
  void addSystemWindow(std::uint32_t handle, const char16_t* className);
};

// ---- Message queues ----

struct SentMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::shared_ptr<ThreadQueue> sender;  // null when nobody of this process waits for the reply
  bool replied = false;                 // guarded by the sender queue's mutex (see replyHook)
  bool abandoned = false;               // the sender stopped waiting (timed out)
  LRESULT result = 0;
  // A message from another process: called once, on the receiving thread, with the result (then
  // `replied` is touched by that thread only). Null for local messages and notifications.
  std::function<void(SentMessage&)> replyHook;
  // Receiving side of a cross-process message: the unmarshalled data lParam points into.
  // Sending side: the reply's marshalled data, set with `replied`.
  std::vector<std::byte> data;
  // Sending side: 0, or why a cross-process call failed (a Win32 error code).
  DWORD failure = 0;
};

struct Timer {
  std::uint32_t hwnd = 0;
  UINT_PTR id = 0;
  UINT elapse = 0;
  TIMERPROC proc = nullptr;
  std::uint64_t dueMs = 0;
  std::uint64_t order = 0;  // creation order, to break ties between timers due together
  bool announced = false;   // QS_TIMER was raised for this period
};

// Focus, active window and capture: one per thread, or one shared by threads whose input is
// joined (AttachThreadInput). Guarded by the window table's mutex.
struct InputState {
  std::uint32_t active = 0;
  std::uint32_t focus = 0;
  std::uint32_t capture = 0;
};

// One field of a queue's current input state, read and written as a plain handle value, so the
// state can be swapped for a joined one under the code that uses it.
class InputField {
 public:
  InputField(const std::shared_ptr<InputState>* state, std::uint32_t InputState::*field) : state_(state), field_(field) {}
  InputField(const InputField&) = delete;
  InputField& operator=(const InputField&) = delete;
  operator std::uint32_t() const { return (**state_).*field_; }  // NOLINT(google-explicit-constructor)
  InputField& operator=(std::uint32_t value) {
    (**state_).*field_ = value;
    return *this;
  }

 private:
  const std::shared_ptr<InputState>* state_;
  std::uint32_t InputState::*field_;
};

struct ThreadQueue {
  DWORD threadId = 0;
  std::shared_ptr<WaitBlock> block;  // the owning thread's

  // Guarded by `mutex`.
  std::mutex mutex;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit = false;
  int quitCode = 0;
  DWORD changedBits = 0;
  std::vector<Timer> timers;
  std::vector<std::uint32_t> paintPending;
  std::uint64_t lastLookMs = 0;  // last time the thread looked at its queue (hung detection)
  bool waiting = false;          // blocked in a wait for input or for a reply
  bool alive = true;

  // Guarded by the window table's mutex; `input` is shared with the threads joined to this one.
  std::shared_ptr<InputState> input = std::make_shared<InputState>();
  InputField active{&input, &InputState::active};
  InputField focus{&input, &InputState::focus};
  InputField capture{&input, &InputState::capture};

  // Touched by the owning thread only.
  std::vector<SentMessage*> receiving;  // innermost last; null entries for direct calls
  DWORD lastMessageTime = 0;
  DWORD lastMessagePos = 0;

  // Queues something and wakes the owner: call with `mutex` held, then wake() after unlocking.
  void wake() { block->wake(); }
};

// The calling thread's queue, made on first use.
const std::shared_ptr<ThreadQueue>& currentQueue();
// The queue of a thread of this process, or null.
std::shared_ptr<ThreadQueue> findQueue(DWORD threadId);
// The calling thread's id (the Linux thread id, as GetCurrentThreadId gives it).
DWORD currentThreadId();

// ---- Entry points of the channel between processes (implemented with the queues) ----

// Waits for the reply to `m` (whose sender is the calling thread's queue), serving messages sent
// to this thread meanwhile unless SMTO_BLOCK; false with ERROR_TIMEOUT when `timeoutMs` passes
// first (`m` is then marked abandoned). clock::kInfinite waits for ever.
bool awaitReply(const std::shared_ptr<SentMessage>& m, UINT flags, std::uint32_t timeoutMs, LRESULT* result);
// Queues a message posted from another process for a window of this process; false when the
// window is gone.
bool postFromOutside(std::uint32_t hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
enum class Queued { Yes, NoWindow, Hung };
// Queues a message sent (or sent as a notification) from another process to the thread of one of
// this process's windows. `abortIfHung`: a hung thread does not get it.
Queued sendFromOutside(const std::shared_ptr<SentMessage>& m, bool abortIfHung);

// Thread exit: windows of the thread are removed without messages (their procedures may use
// state the exiting thread has already destroyed); senders waiting on it get 0.
void forgetThreadWindows(DWORD threadId);

}  // namespace platform::host
