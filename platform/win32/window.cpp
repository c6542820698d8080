// Windows of the process: classes, creation and destruction, the default procedure, window data,
// the tree and z-order, position and visibility, activation and focus, painting.
#include "platform/win32/window.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/base/codepage.h"
#include "platform/base/fault.h"
#include "platform/base/text.h"
#include "platform/host/atom_table.h"
#include "platform/win32/controls/controls.h"
#include "platform/host/host.h"
#include "platform/host/window_channel.h"
#include "platform/host/window_mirror.h"
#include "platform/host/window_table.h"
#include "platform/win32/error.h"
#include "platform/win32/gdi.h"

using namespace platform::host;
namespace text = platform::text;

namespace {

// Where CW_USEDEFAULT puts a top-level window, and how big it makes it (a share of the screen).
constexpr int kDefaultX = 22;
constexpr int kDefaultY = 22;
// Where Windows XP parks a minimized top-level window, and its size there.
constexpr int kMinimizedPos = -32000;
constexpr int kMinimizedWidth = 160;
constexpr int kMinimizedHeight = 31;

WindowTable& table() { return WindowTable::get(); }

using Guard = std::lock_guard<std::mutex>;

bool isRoot(std::uint32_t h) { return h == kDesktopHandle || h == kMessageRootHandle; }

LONG width(const RECT& r) { return r.right - r.left; }
LONG height(const RECT& r) { return r.bottom - r.top; }

RECT screenRect() {
  Host& h = Host::current();
  return RECT{0, 0, static_cast<LONG>(h.factNumber(fact::ScreenWidth, 1024)),
              static_cast<LONG>(h.factNumber(fact::ScreenHeight, 768))};
}

// Under the table mutex: the window or null with ERROR_INVALID_WINDOW_HANDLE set.
Window* findOrFail(HWND hwnd) {
  Window* w = table().find(hwnd);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

// A window of another process of the host; none with ERROR_INVALID_WINDOW_HANDLE set.
std::optional<WindowRow> elsewhereOrFail(HWND hwnd) {
  auto row = foreignWindow(fromHwnd(hwnd));
  if (!row) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return row;
}

// ---- Window calls on another process's window ----
//
// As on XP, they go to the thread that owns the window as a message it carries out there (its
// window procedure passes it to DefWindowProcW); the arguments travel packed into the parameters.
enum class ForeignCall { Show, Pos, Invalidate, SetLong };

UINT foreignCallMessage(ForeignCall c) {
  static const UINT ids[] = {RegisterWindowMessageW(u"KipoWindowCall.Show"),
                             RegisterWindowMessageW(u"KipoWindowCall.Pos"),
                             RegisterWindowMessageW(u"KipoWindowCall.Invalidate"),
                             RegisterWindowMessageW(u"KipoWindowCall.SetLong")};
  return ids[static_cast<int>(c)];
}

// Four 16-bit coordinates in one parameter (screen coordinates fit).
LPARAM packShorts(int a, int b, int c, int d) {
  auto u = [](int v) { return static_cast<std::uint64_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); };
  return static_cast<LPARAM>(u(a) | u(b) << 16 | u(c) << 32 | u(d) << 48);
}
int shortAt(LPARAM l, int i) { return static_cast<std::int16_t>(static_cast<std::uint64_t>(l) >> (16 * i)); }
bool fitsShort(int v) { return v >= -32768 && v <= 32767; }

// Carries out a call on a window of another process; false with the error when it cannot
// (ERROR_INVALID_WINDOW_HANDLE once the window is gone).
bool callElsewhere(HWND hWnd, ForeignCall c, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (!elsewhereOrFail(hWnd)) return false;
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(hWnd, foreignCallMessage(c), wParam, lParam, SMTO_NORMAL, 30000, &r)) return false;
  if (result) *result = static_cast<LRESULT>(r);
  return true;
}

// Whether a window of another process and its ancestors are visible.
bool foreignVisible(WindowRow row) {
  for (;;) {
    if (!(row.style & WS_VISIBLE)) return false;
    if (isRoot(row.parent)) return true;
    auto parent = foreignWindow(row.parent);
    if (!parent) return false;
    row = std::move(*parent);
  }
}

// The top-left corner of a window of another process in screen coordinates.
POINT foreignOrigin(WindowRow row) {
  POINT p{0, 0};
  for (;;) {
    p.x += row.rect.left;
    p.y += row.rect.top;
    if (isRoot(row.parent)) return p;
    auto parent = foreignWindow(row.parent);
    if (!parent) return p;
    row = std::move(*parent);
  }
}

// Under the table mutex: the top-level ancestor of a window (itself when top-level).
Window* rootOf(Window* w) {
  while (w && !isRoot(w->parent)) {
    Window* p = table().find(w->parent);
    if (!p) break;
    w = p;
  }
  return w;
}

// Under the table mutex: whether the window belongs to the queue's thread or to a thread whose
// input is joined to it (AttachThreadInput), so the queue may focus or activate it.
bool sharesInput(const Window& w, const ThreadQueue& q) {
  return w.threadId == q.threadId || (w.queue && w.queue->input == q.input);
}

// Under the table mutex: the window's size (the desktop's is the screen's).
RECT rectOf(const Window& w) {
  if (w.handle == kDesktopHandle) return screenRect();
  return w.rect;
}

// Under the table mutex: places `w` among its siblings. Top-level windows keep the topmost ones
// first.
void placeInZOrder(Window& w, HWND insertAfter) {
  WindowTable& t = table();
  Window* parent = t.find(w.parent);
  if (!parent) return;
  auto& list = parent->children;
  std::erase(list, w.handle);
  const bool topLevel = isRoot(w.parent);
  if (insertAfter == HWND_TOPMOST && topLevel) w.exStyle |= WS_EX_TOPMOST;
  if ((insertAfter == HWND_NOTOPMOST || insertAfter == HWND_BOTTOM) && topLevel) w.exStyle &= ~WS_EX_TOPMOST;
  auto firstNonTopmost = [&] {
    return std::find_if(list.begin(), list.end(), [&](std::uint32_t h) {
      Window* s = t.find(h);
      return !s || !(s->exStyle & WS_EX_TOPMOST);
    });
  };
  std::vector<std::uint32_t>::iterator at;
  if (insertAfter == HWND_BOTTOM) {
    at = list.end();
  } else if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
    at = (w.exStyle & WS_EX_TOPMOST) || !topLevel ? list.begin() : firstNonTopmost();
  } else {
    auto it = std::find(list.begin(), list.end(), fromHwnd(insertAfter));
    at = it == list.end() ? list.begin() : it + 1;
    if (topLevel && !(w.exStyle & WS_EX_TOPMOST)) at = std::max(at, firstNonTopmost());
  }
  list.insert(at, w.handle);
}

// Under the table mutex: marks the rectangle (client coordinates; null: all) for repainting.
void invalidate(Window& w, const RECT* r, bool erase) {
  RECT whole{0, 0, width(w.rect), height(w.rect)};
  RECT add = whole;
  if (r && !IntersectRect(&add, r, &whole)) return;
  if (w.invalid) UnionRect(&w.invalidRect, &w.invalidRect, &add);
  else w.invalidRect = add;
  w.invalid = true;
  w.eraseNeeded = w.eraseNeeded || erase;
  if (!w.queue) return;
  bool visible = table().visible(w);
  {
    std::lock_guard lock(w.queue->mutex);
    if (std::find(w.queue->paintPending.begin(), w.queue->paintPending.end(), w.handle) == w.queue->paintPending.end())
      w.queue->paintPending.push_back(w.handle);
    if (visible) w.queue->changedBits |= QS_PAINT;
  }
  if (visible) w.queue->wake();
}

void validate(Window& w) {
  w.invalid = false;
  w.eraseNeeded = false;
  if (!w.queue) return;
  std::lock_guard lock(w.queue->mutex);
  std::erase(w.queue->paintPending, w.handle);
}

// Prop keys: upper-cased names, integer atoms as "#n".
std::u16string propKey(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return u"#" + text::fromUtf8(std::to_string(reinterpret_cast<ULONG_PTR>(name)));
  return text::upcased(text::view(name));
}

ATOM registerClass(const WNDCLASSEXW& wc) {
  if (!wc.lpszClassName || !wc.lpfnWndProc || wc.cbWndExtra < 0 || wc.cbClsExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string name;
  if (IS_INTRESOURCE(wc.lpszClassName)) {
    ATOM a = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(wc.lpszClassName));
    name = u"#" + text::fromUtf8(std::to_string(a));
  } else {
    name = text::view(wc.lpszClassName);
  }
  ATOM atom = findAtom(AtomTable::Window, name, true);
  if (!atom) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  auto cls = std::make_shared<WindowClass>();
  cls->name = name;
  cls->atom = atom;
  cls->style = wc.style;
  cls->proc = wc.lpfnWndProc;
  cls->clsExtra = wc.cbClsExtra;
  cls->wndExtra = wc.cbWndExtra;
  cls->instance = wc.hInstance;
  cls->icon = wc.hIcon;
  cls->iconSmall = wc.hIconSm;
  cls->cursor = wc.hCursor;
  cls->background = wc.hbrBackground;
  if (wc.lpszMenuName && !IS_INTRESOURCE(wc.lpszMenuName)) {
    cls->menuName = text::view(wc.lpszMenuName);
  } else {
    cls->menuNamePtr = wc.lpszMenuName;
  }
  Guard lock(table().mutex);
  if (table().findClass(name.c_str())) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  table().classes.push_back(std::move(cls));
  return atom;
}

void fillClassInfo(const WindowClass& c, WNDCLASSEXW& out) {
  out.style = c.style;
  out.lpfnWndProc = c.proc;
  out.cbClsExtra = c.clsExtra;
  out.cbWndExtra = c.wndExtra;
  out.hInstance = c.instance;
  out.hIcon = c.icon;
  out.hCursor = c.cursor;
  out.hbrBackground = c.background;
  out.lpszMenuName = c.menuName.empty() ? c.menuNamePtr : c.menuName.c_str();
  out.lpszClassName = c.name.c_str();
  out.hIconSm = c.iconSmall;
}

// Removes a destroyed window from the table and from everything that refers to it.
void finishDestroy(std::uint32_t handle) {
  std::shared_ptr<ThreadQueue> queue;
  HRGN region = nullptr;
  {
    WindowTable& t = table();
    Guard lock(t.mutex);
    auto it = t.windows.find(handle);
    if (it == t.windows.end()) return;
    Window& w = *it->second;
    if (Window* parent = t.find(w.parent)) std::erase(parent->children, handle);
    for (std::uint32_t c : w.children)
      if (auto ci = t.windows.find(c); ci != t.windows.end()) ci->second->parent = 0;
    for (auto& [h, other] : t.windows)
      if (other->owner == handle) other->owner = 0;
    if (w.cls) --w.cls->liveWindows;
    if (t.foreground == handle) t.foreground = 0;
    queue = w.queue;
    if (queue) {
      if (queue->active == handle) queue->active = 0;
      if (queue->focus == handle) queue->focus = 0;
      if (queue->capture == handle) queue->capture = 0;
    }
    region = w.region;
    w.state = WindowState::Destroyed;
    t.windows.erase(it);
    forgetMirrored({handle});
  }
  if (queue) {
    std::lock_guard lock(queue->mutex);
    std::erase_if(queue->posted, [&](const MSG& m) { return fromHwnd(m.hwnd) == handle; });
    std::erase_if(queue->timers, [&](const Timer& tm) { return tm.hwnd == handle; });
    std::erase(queue->paintPending, handle);
  }
  if (region) DeleteObject(region);
}

// Under the table mutex: applies SetWindowPos's changes (as WM_WINDOWPOSCHANGING left them) and
// marks in `wp` what did not change, so that WM_SIZE and WM_MOVE follow only real changes. A
// window that becomes visible or changes size needs painting.
void applyWindowPos(Window& w, WINDOWPOS& wp) {
  RECT old = w.rect;
  if (!(wp.flags & SWP_NOMOVE)) {
    w.rect.left = wp.x;
    w.rect.top = wp.y;
    w.rect.right = wp.x + width(old);
    w.rect.bottom = wp.y + height(old);
  }
  if (!(wp.flags & SWP_NOSIZE)) {
    w.rect.right = w.rect.left + std::max(0, wp.cx);
    w.rect.bottom = w.rect.top + std::max(0, wp.cy);
  }
  if (w.rect.left == old.left && w.rect.top == old.top) wp.flags |= SWP_NOMOVE;
  if (width(w.rect) == width(old) && height(w.rect) == height(old)) wp.flags |= SWP_NOSIZE;
  wp.x = w.rect.left;
  wp.y = w.rect.top;
  wp.cx = width(w.rect);
  wp.cy = height(w.rect);
  if (!(wp.flags & SWP_NOZORDER)) placeInZOrder(w, wp.hwndInsertAfter);
  bool becameVisible = false;
  if ((wp.flags & SWP_SHOWWINDOW) && !(w.style & WS_VISIBLE)) {
    w.style |= WS_VISIBLE;
    becameVisible = true;
  }
  if ((wp.flags & SWP_HIDEWINDOW) && (w.style & WS_VISIBLE)) w.style &= ~WS_VISIBLE;
  if (becameVisible || (!(wp.flags & SWP_NOSIZE) && !(wp.flags & SWP_NOREDRAW))) invalidate(w, nullptr, true);
  mirrorWindow(w);
}

// The focus moves away from every window in the tree of `handle` (without messages).
void dropFocusIn(std::uint32_t handle, ThreadQueue& q) {
  WindowTable& t = table();
  if (q.focus && (q.focus == handle || t.isDescendant(handle, q.focus))) q.focus = 0;
}

// Under the table mutex: the window's tree, children before their parent.
void collectPostOrder(const Window& w, std::vector<std::uint32_t>& out) {
  for (std::uint32_t c : w.children)
    if (Window* child = table().find(c)) collectPostOrder(*child, out);
  out.push_back(w.handle);
}

}  // namespace

// ---- Classes ----

ATOM RegisterClassW(const WNDCLASSW* lpWndClass) {
  if (!lpWndClass) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WNDCLASSEXW ex{};
  ex.cbSize = sizeof(ex);
  ex.style = lpWndClass->style;
  ex.lpfnWndProc = lpWndClass->lpfnWndProc;
  ex.cbClsExtra = lpWndClass->cbClsExtra;
  ex.cbWndExtra = lpWndClass->cbWndExtra;
  ex.hInstance = lpWndClass->hInstance;
  ex.hIcon = lpWndClass->hIcon;
  ex.hCursor = lpWndClass->hCursor;
  ex.hbrBackground = lpWndClass->hbrBackground;
  ex.lpszMenuName = lpWndClass->lpszMenuName;
  ex.lpszClassName = lpWndClass->lpszClassName;
  return registerClass(ex);
}

ATOM RegisterClassExW(const WNDCLASSEXW* lpWndClass) {
  if (!lpWndClass || lpWndClass->cbSize != sizeof(WNDCLASSEXW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return registerClass(*lpWndClass);
}

BOOL UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
  WindowTable& t = table();
  Guard lock(t.mutex);
  auto cls = t.findClass(lpClassName);
  if (!cls) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (cls->liveWindows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  std::erase(t.classes, cls);
  return TRUE;
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR lpszClass, LPWNDCLASSEXW lpwcx) {
  Guard lock(table().mutex);
  auto cls = table().findClass(lpszClass);
  if (!cls) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (!lpwcx) return TRUE;
  fillClassInfo(*cls, *lpwcx);
  return cls->atom;
}

BOOL GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpszClass, LPWNDCLASSW lpwc) {
  WNDCLASSEXW ex{};
  BOOL r = GetClassInfoExW(hInstance, lpszClass, &ex);
  if (r && lpwc) {
    lpwc->style = ex.style;
    lpwc->lpfnWndProc = ex.lpfnWndProc;
    lpwc->cbClsExtra = ex.cbClsExtra;
    lpwc->cbWndExtra = ex.cbWndExtra;
    lpwc->hInstance = ex.hInstance;
    lpwc->hIcon = ex.hIcon;
    lpwc->hCursor = ex.hCursor;
    lpwc->hbrBackground = ex.hbrBackground;
    lpwc->lpszMenuName = ex.lpszMenuName;
    lpwc->lpszClassName = ex.lpszClassName;
  }
  return r;
}

ULONG_PTR GetClassLongPtrW(HWND hWnd, int nIndex) {
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w) return 0;
  const WindowClass& c = *w->cls;
  switch (nIndex) {
    case GCL_STYLE: return c.style;
    case GCLP_WNDPROC: return reinterpret_cast<ULONG_PTR>(c.proc);
    case GCLP_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(c.background);
    case GCLP_HICON: return reinterpret_cast<ULONG_PTR>(c.icon);
    case GCLP_HICONSM: return reinterpret_cast<ULONG_PTR>(c.iconSmall);
    case GCLP_HCURSOR: return reinterpret_cast<ULONG_PTR>(c.cursor);
    case GCL_CBWNDEXTRA: return static_cast<ULONG_PTR>(c.wndExtra);
    case GCL_CBCLSEXTRA: return static_cast<ULONG_PTR>(c.clsExtra);
    case GCW_ATOM: return c.atom;
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

DWORD GetClassLongW(HWND hWnd, int nIndex) { return static_cast<DWORD>(GetClassLongPtrW(hWnd, nIndex)); }

int GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
  std::u16string name;
  bool here = false;
  {
    Guard lock(table().mutex);
    if (Window* w = table().find(hWnd)) {
      name = w->cls->name;
      here = true;
    }
  }
  if (!here) {
    auto row = elsewhereOrFail(hWnd);
    if (!row) return 0;
    name = row->className;
  }
  if (!lpClassName || nMaxCount <= 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::size_t n = std::min<std::size_t>(name.size(), static_cast<std::size_t>(nMaxCount - 1));
  std::copy_n(name.data(), n, lpClassName);
  lpClassName[n] = 0;
  return static_cast<int>(n);
}

// ---- Creation and destruction ----

HWND CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
  if (DWORD e = platform::fault::check("CreateWindowExW",
                                      IS_INTRESOURCE(lpClassName) ? std::u16string_view() : text::view(lpClassName))) {
    SetLastError(e);
    return nullptr;
  }
  // The system and common control classes exist in every process before its first window, as
  // the window manager and the control library register them at load.
  platform::controls::registerCommonClasses();
  // Other processes can reach the window as soon as its row is written.
  ensureChannel();
  const auto& queue = currentQueue();
  const bool messageOnly = hWndParent == HWND_MESSAGE;
  const bool child = (dwStyle & WS_CHILD) && !messageOnly;
  auto w = std::make_shared<Window>();
  {
    WindowTable& t = table();
    Guard lock(t.mutex);
    auto cls = t.findClass(lpClassName);
    if (!cls || cls->system) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    Window* parent = nullptr;
    if (hWndParent && !messageOnly) {
      parent = t.find(hWndParent);
      if (!parent) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
    }
    if (child && !parent) {
      SetLastError(ERROR_TLW_WITH_WSCHILD);
      return nullptr;
    }
    w->handle = t.allocateHandle();
    w->cls = cls;
    w->queue = queue;
    w->threadId = queue->threadId;
    w->style = dwStyle & ~static_cast<DWORD>(WS_VISIBLE);
    // Overlapped windows always have a caption and clip their siblings.
    if (!(dwStyle & (WS_CHILD | WS_POPUP))) w->style |= WS_CAPTION | WS_CLIPSIBLINGS;
    w->exStyle = dwExStyle;
    w->id = reinterpret_cast<UINT_PTR>(hMenu);
    w->instance = hInstance;
    w->proc = cls->proc;
    w->extra.assign(static_cast<std::size_t>(cls->wndExtra), 0);
    if (child) {
      w->parent = parent->handle;
    } else {
      w->parent = messageOnly ? kMessageRootHandle : kDesktopHandle;
      if (parent) w->owner = rootOf(parent)->handle;
    }
    int x = X, y = Y, cx = nWidth, cy = nHeight;
    if (!child) {
      RECT screen = screenRect();
      if (x == CW_USEDEFAULT) {
        x = kDefaultX;
        y = kDefaultY;
      }
      if (cx == CW_USEDEFAULT) {
        cx = width(screen) * 3 / 4;
        cy = height(screen) * 3 / 4;
      }
    } else {
      if (x == CW_USEDEFAULT) x = y = 0;
      if (cx == CW_USEDEFAULT) cx = cy = 0;
    }
    w->rect = RECT{x, y, x + std::max(0, cx), y + std::max(0, cy)};
    w->restoreRect = w->rect;
    ++cls->liveWindows;
    t.windows.emplace(w->handle, w);
    Window* p = t.find(w->parent);
    // New children go to the bottom (so siblings run in creation order); top-level windows on top.
    if (child) p->children.push_back(w->handle);
    else placeInZOrder(*w, (dwExStyle & WS_EX_TOPMOST) ? HWND_TOPMOST : HWND_TOP);
  }
  const HWND hwnd = toHwnd(w->handle);
  CREATESTRUCTW cs{};
  cs.lpCreateParams = lpParam;
  cs.hInstance = hInstance;
  cs.hMenu = hMenu;
  cs.hwndParent = hWndParent;
  cs.x = w->rect.left;
  cs.y = w->rect.top;
  cs.cx = width(w->rect);
  cs.cy = height(w->rect);
  cs.style = static_cast<LONG>(dwStyle);
  cs.lpszName = lpWindowName;
  cs.lpszClass = lpClassName;
  cs.dwExStyle = dwExStyle;

  if (!SendMessageW(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    if (IsWindow(hwnd)) {
      SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
      finishDestroy(w->handle);
    }
    return nullptr;
  }
  if (SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  RECT r;
  {
    Guard lock(table().mutex);
    if (!table().find(w->handle)) return nullptr;  // destroyed while being created
    if (w->state == WindowState::Creating) w->state = WindowState::Alive;
    mirrorWindow(*w);
    r = w->rect;
  }
  SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELONG(width(r), height(r)));
  SendMessageW(hwnd, WM_MOVE, 0, MAKELONG(r.left, r.top));
  if (child && !(dwExStyle & WS_EX_NOPARENTNOTIFY))
    SendMessageW(hWndParent, WM_PARENTNOTIFY, MAKELONG(WM_CREATE, w->id), reinterpret_cast<LPARAM>(hwnd));
  if (dwStyle & WS_VISIBLE) {
    int cmd = SW_SHOW;
    if (dwStyle & WS_MAXIMIZE) cmd = SW_SHOWMAXIMIZED;
    else if (dwStyle & WS_MINIMIZE) cmd = SW_SHOWMINIMIZED;
    ShowWindow(hwnd, cmd);
  }
  return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hWnd) {
  std::vector<HWND> owned;
  std::uint32_t handle;
  std::uint32_t parent = 0;
  UINT_PTR id = 0;
  bool notifyParent = false;
  std::shared_ptr<ThreadQueue> queue;
  bool wasActive = false;
  std::uint32_t owner = 0;
  {
    WindowTable& t = table();
    Guard lock(t.mutex);
    Window* w = t.find(hWnd);
    if (!w) {
      // Only the owning thread may destroy a window, so never one of another process.
      SetLastError(foreignWindow(fromHwnd(hWnd)) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (isRoot(w->handle) || w->threadId != currentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->state == WindowState::Destroying) return TRUE;
    handle = w->handle;
    std::vector<std::uint32_t> tree;
    t.collectTree(*w, tree);
    for (std::uint32_t h : tree) t.find(h)->state = WindowState::Destroying;
    for (auto& [h, other] : t.windows)
      if (other->owner == handle && other->state != WindowState::Destroyed) owned.push_back(toHwnd(h));
    notifyParent = (w->style & WS_CHILD) && !(w->exStyle & WS_EX_NOPARENTNOTIFY);
    parent = w->parent;
    id = w->id;
    owner = w->owner;
    queue = w->queue;
    wasActive = queue->active == handle;
    dropFocusIn(handle, *queue);
    if (queue->capture && (queue->capture == handle || t.isDescendant(handle, queue->capture))) queue->capture = 0;
  }
  for (HWND o : owned) DestroyWindow(o);
  if (wasActive) {
    // The owner (when there is one) is activated in the destroyed window's place.
    SetActiveWindow(owner && IsWindow(toHwnd(owner)) ? toHwnd(owner) : nullptr);
  }
  if (notifyParent)
    SendMessageW(toHwnd(parent), WM_PARENTNOTIFY, MAKELONG(WM_DESTROY, id), reinterpret_cast<LPARAM>(hWnd));
  {
    Guard lock(table().mutex);
    if (Window* w = table().find(handle)) w->style &= ~WS_VISIBLE;
  }
  std::vector<std::uint32_t> tree;
  {
    Guard lock(table().mutex);
    if (Window* w = table().find(handle)) table().collectTree(*w, tree);
  }
  for (std::uint32_t h : tree)
    if (IsWindow(toHwnd(h))) SendMessageW(toHwnd(h), WM_DESTROY, 0, 0);
  // Children created meanwhile go too; each window's children go before it.
  std::vector<std::uint32_t> postOrder;
  {
    Guard lock(table().mutex);
    if (Window* w = table().find(handle)) collectPostOrder(*w, postOrder);
  }
  for (std::uint32_t h : postOrder) {
    if (!IsWindow(toHwnd(h))) continue;
    SendMessageW(toHwnd(h), WM_NCDESTROY, 0, 0);
    finishDestroy(h);
  }
  return TRUE;
}

// ---- Procedures and window data ----

LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg >= 0xC000) {
    // A call another process made on this window, carried out by its own thread.
    if (Msg == foreignCallMessage(ForeignCall::Show)) return ShowWindow(hWnd, static_cast<int>(wParam));
    if (Msg == foreignCallMessage(ForeignCall::Pos))
      return SetWindowPos(hWnd, toHwnd(static_cast<std::uint32_t>(wParam >> 32)), shortAt(lParam, 0), shortAt(lParam, 1),
                          shortAt(lParam, 2), shortAt(lParam, 3), static_cast<UINT>(wParam));
    if (Msg == foreignCallMessage(ForeignCall::Invalidate)) {
      RECT r{shortAt(lParam, 0), shortAt(lParam, 1), shortAt(lParam, 2), shortAt(lParam, 3)};
      return InvalidateRect(hWnd, (wParam & 2) ? &r : nullptr, static_cast<BOOL>(wParam & 1));
    }
    if (Msg == foreignCallMessage(ForeignCall::SetLong)) {
      SetLastError(0);
      return SetWindowLongPtrW(hWnd, static_cast<int>(static_cast<std::int32_t>(wParam)), lParam);
    }
  }
  switch (Msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
      if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) {
        Guard lock(table().mutex);
        if (Window* w = table().find(hWnd)) w->text = text::view(cs->lpszName);
      }
      return TRUE;
    }
    case WM_SETTEXT: {
      Guard lock(table().mutex);
      Window* w = table().find(hWnd);
      if (!w) return FALSE;
      w->text = text::view(reinterpret_cast<LPCWSTR>(lParam));
      mirrorWindow(*w);
      return TRUE;
    }
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<LPWSTR>(lParam);
      if (!buffer || wParam == 0) return 0;
      Guard lock(table().mutex);
      Window* w = table().find(hWnd);
      if (!w) return 0;
      std::size_t n = std::min<std::size_t>(w->text.size(), wParam - 1);
      std::copy_n(w->text.data(), n, buffer);
      buffer[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
      Guard lock(table().mutex);
      Window* w = table().find(hWnd);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE: SendMessageW(hWnd, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(hWnd, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(hWnd, SW_MAXIMIZE); break;
        case SC_RESTORE: ShowWindow(hWnd, SW_RESTORE); break;
        default: break;
      }
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4 && (lParam & (1 << 29))) SendMessageW(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hWnd, &ps);
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH background = nullptr;
      {
        Guard lock(table().mutex);
        Window* w = table().find(hWnd);
        if (w) background = w->cls->background;
      }
      if (!background) return 0;
      RECT client{0, 0, 0, 0};
      GetClientRect(hWnd, &client);
      if (wParam) FillRect(reinterpret_cast<HDC>(wParam), &client, background);
      return 1;
    }
    case WM_WINDOWPOSCHANGED: {
      auto* wp = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (!wp) return 0;
      if (!(wp->flags & SWP_NOSIZE)) {
        WPARAM kind = IsIconic(hWnd) ? SIZE_MINIMIZED : IsZoomed(hWnd) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        SendMessageW(hWnd, WM_SIZE, kind, MAKELONG(wp->cx, wp->cy));
      }
      if (!(wp->flags & SWP_NOMOVE)) SendMessageW(hWnd, WM_MOVE, 0, MAKELONG(wp->x, wp->y));
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) SetFocus(hWnd);
      return 0;
    case WM_SETICON: {
      Guard lock(table().mutex);
      Window* w = table().find(hWnd);
      if (!w) return 0;
      HICON& slot = wParam == ICON_SMALL ? w->iconSmall : w->iconBig;
      HICON old = slot;
      slot = reinterpret_cast<HICON>(lParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_GETICON: {
      Guard lock(table().mutex);
      Window* w = table().find(hWnd);
      if (!w) return 0;
      return reinterpret_cast<LRESULT>(wParam == ICON_SMALL ? w->iconSmall : w->iconBig);
    }
    case WM_QUERYENDSESSION:
    case WM_QUERYOPEN:
    case WM_NCACTIVATE:
      return TRUE;
    case WM_MOUSEACTIVATE:
      return MA_ACTIVATE;
    case WM_NCHITTEST:
      return HTCLIENT;
    default:
      return 0;
  }
}

LRESULT CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!lpPrevWndFunc) return 0;
  return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

namespace {

// The window data another process may read of a window it does not own.
LONG_PTR foreignWindowLong(HWND hWnd, int nIndex) {
  auto row = elsewhereOrFail(hWnd);
  if (!row) return 0;
  switch (nIndex) {
    case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(row->style));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(row->exStyle));
    case GWLP_ID: return static_cast<LONG_PTR>(row->id);
    case GWLP_HWNDPARENT: return (row->style & WS_CHILD) ? row->parent : row->owner;
    default:
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
  }
}

}  // namespace

LONG_PTR GetWindowLongPtrW(HWND hWnd, int nIndex) {
  Guard lock(table().mutex);
  Window* w = table().find(hWnd);
  if (!w) return foreignWindowLong(hWnd, nIndex);
  if (nIndex >= 0) {
    if (static_cast<std::size_t>(nIndex) + sizeof(LONG_PTR) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG_PTR v;
    std::memcpy(&v, w->extra.data() + nIndex, sizeof(v));
    return v;
  }
  switch (nIndex) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return (w->style & WS_CHILD) ? w->parent : w->owner;
    case GWLP_ID: return static_cast<LONG_PTR>(w->id);
    case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
    case GWLP_USERDATA: return w->userData;
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

namespace {

// Sets a style word, telling the window before and after as Windows does.
LONG_PTR setStyle(HWND hWnd, int index, DWORD value) {
  DWORD old;
  {
    Guard lock(table().mutex);
    Window* w = findOrFail(hWnd);
    if (!w) return 0;
    old = index == GWL_STYLE ? w->style : w->exStyle;
  }
  STYLESTRUCT ss{old, value};
  SendMessageW(hWnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
  {
    Guard lock(table().mutex);
    Window* w = table().find(hWnd);
    if (!w) return 0;
    (index == GWL_STYLE ? w->style : w->exStyle) = ss.styleNew;
    mirrorWindow(*w);
  }
  SendMessageW(hWnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
  return static_cast<LONG_PTR>(static_cast<LONG>(old));
}

// Stores `size` bytes of `value` at a non-negative offset of the window's extra bytes.
LONG_PTR setExtra(HWND hWnd, int offset, LONG_PTR value, std::size_t size) {
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w) return 0;
  if (static_cast<std::size_t>(offset) + size > w->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  LONG_PTR old = 0;
  if (size == sizeof(LONG_PTR)) {
    std::memcpy(&old, w->extra.data() + offset, size);
    std::memcpy(w->extra.data() + offset, &value, size);
  } else {
    LONG o, n = static_cast<LONG>(value);
    std::memcpy(&o, w->extra.data() + offset, size);
    std::memcpy(w->extra.data() + offset, &n, size);
    old = o;
  }
  return old;
}

}  // namespace

LONG_PTR SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  {
    std::unique_lock<std::mutex> lock(table().mutex);
    if (!table().find(hWnd)) {
      // Another process's window: its styles can be changed from here, nothing else.
      if (nIndex != GWL_STYLE && nIndex != GWL_EXSTYLE) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
      }
      lock.unlock();
      LRESULT old = 0;
      if (!callElsewhere(hWnd, ForeignCall::SetLong, static_cast<WPARAM>(static_cast<std::uint32_t>(nIndex)),
                         static_cast<LPARAM>(static_cast<DWORD>(dwNewLong)), &old))
        return 0;
      SetLastError(0);
      return static_cast<LONG_PTR>(static_cast<DWORD>(old));
    }
  }
  if (nIndex >= 0) return setExtra(hWnd, nIndex, dwNewLong, sizeof(LONG_PTR));
  if (nIndex == GWL_STYLE || nIndex == GWL_EXSTYLE) return setStyle(hWnd, nIndex, static_cast<DWORD>(dwNewLong));
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w) return 0;
  LONG_PTR old;
  switch (nIndex) {
    case GWLP_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
      return old;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
      return old;
    case GWLP_HWNDPARENT:
      // Changes the owner of a top-level window.
      old = (w->style & WS_CHILD) ? w->parent : w->owner;
      if (!(w->style & WS_CHILD)) {
        Window* o = table().find(static_cast<std::uint32_t>(dwNewLong));
        w->owner = o ? rootOf(o)->handle : 0;
        mirrorWindow(*w);
      }
      return old;
    case GWLP_ID:
      old = static_cast<LONG_PTR>(w->id);
      w->id = static_cast<UINT_PTR>(dwNewLong);
      mirrorWindow(*w);
      return old;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = dwNewLong;
      return old;
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

LONG GetWindowLongW(HWND hWnd, int nIndex) {
  if (nIndex >= 0) {
    Guard lock(table().mutex);
    Window* w = table().find(hWnd);
    if (!w) return static_cast<LONG>(foreignWindowLong(hWnd, nIndex));
    if (static_cast<std::size_t>(nIndex) + sizeof(LONG) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG v;
    std::memcpy(&v, w->extra.data() + nIndex, sizeof(v));
    return v;
  }
  return static_cast<LONG>(GetWindowLongPtrW(hWnd, nIndex));
}

LONG SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
  if (nIndex >= 0) return static_cast<LONG>(setExtra(hWnd, nIndex, dwNewLong, sizeof(LONG)));
  return static_cast<LONG>(SetWindowLongPtrW(hWnd, nIndex, dwNewLong));
}

BOOL SetPropW(HWND hWnd, LPCWSTR lpString, HANDLE hData) {
  if (!lpString) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string key = propKey(lpString);
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w) return FALSE;
  for (auto& [k, v] : w->props)
    if (k == key) {
      v = hData;
      return TRUE;
    }
  w->props.emplace_back(std::move(key), hData);
  return TRUE;
}

HANDLE GetPropW(HWND hWnd, LPCWSTR lpString) {
  if (!lpString) return nullptr;
  std::u16string key = propKey(lpString);
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w) return nullptr;
  for (auto& [k, v] : w->props)
    if (k == key) return v;
  return nullptr;
}

HANDLE RemovePropW(HWND hWnd, LPCWSTR lpString) {
  if (!lpString) return nullptr;
  std::u16string key = propKey(lpString);
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w) return nullptr;
  for (auto it = w->props.begin(); it != w->props.end(); ++it)
    if (it->first == key) {
      HANDLE v = it->second;
      w->props.erase(it);
      return v;
    }
  return nullptr;
}

// ---- Queries ----

namespace {

// The style of a window of this process or another; nullopt when there is no such window.
std::optional<DWORD> styleOf(HWND hWnd) {
  {
    Guard lock(table().mutex);
    if (Window* w = table().find(hWnd)) return w->style;
  }
  if (auto row = foreignWindow(fromHwnd(hWnd))) return row->style;
  return std::nullopt;
}

// Children of a window in z-order: this process's, and for the roots (and other processes'
// windows) those of other processes after them.
std::vector<std::uint32_t> childrenOf(std::uint32_t parent) {
  std::vector<std::uint32_t> out;
  bool here = false;
  {
    WindowTable& t = table();
    Guard lock(t.mutex);
    if (Window* p = t.find(parent)) {
      here = true;
      for (std::uint32_t c : p->children)
        if (t.find(c)) out.push_back(c);
    }
  }
  if (!here || isRoot(parent))
    for (const WindowRow& r : foreignChildren(parent)) out.push_back(r.handle);
  return out;
}

}  // namespace

BOOL IsWindow(HWND hWnd) {
  {
    Guard lock(table().mutex);
    if (table().find(hWnd)) return TRUE;
  }
  return foreignWindow(fromHwnd(hWnd)) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hWnd) {
  {
    Guard lock(table().mutex);
    if (Window* w = table().find(hWnd)) return table().visible(*w);
  }
  auto row = foreignWindow(fromHwnd(hWnd));
  return row && foreignVisible(*row);
}

BOOL IsWindowEnabled(HWND hWnd) {
  auto style = styleOf(hWnd);
  return style && !(*style & WS_DISABLED);
}

BOOL IsIconic(HWND hWnd) {
  auto style = styleOf(hWnd);
  return style && (*style & WS_MINIMIZE);
}

BOOL IsZoomed(HWND hWnd) {
  auto style = styleOf(hWnd);
  return style && (*style & WS_MAXIMIZE);
}

HWND GetParent(HWND hWnd) {
  DWORD style;
  std::uint32_t parent, owner;
  {
    Guard lock(table().mutex);
    Window* w = table().find(hWnd);
    if (w) {
      style = w->style;
      parent = w->parent;
      owner = w->owner;
    }
    if (!w) {
      auto row = elsewhereOrFail(hWnd);
      if (!row) return nullptr;
      style = row->style;
      parent = row->parent;
      owner = row->owner;
    }
  }
  if (style & WS_CHILD) return isRoot(parent) ? nullptr : toHwnd(parent);
  if (style & WS_POPUP) return toHwnd(owner);
  return nullptr;
}

HWND GetWindow(HWND hWnd, UINT uCmd) {
  const std::uint32_t self = fromHwnd(hWnd);
  std::uint32_t parent = 0, owner = 0;
  {
    Guard lock(table().mutex);
    Window* w = table().find(hWnd);
    if (w) {
      parent = w->parent;
      owner = w->owner;
    } else {
      auto row = elsewhereOrFail(hWnd);
      if (!row) return nullptr;
      parent = row->parent;
      owner = row->owner;
    }
  }
  auto handleAt = [](const std::vector<std::uint32_t>& list, std::ptrdiff_t i) {
    return i >= 0 && i < static_cast<std::ptrdiff_t>(list.size()) ? toHwnd(list[static_cast<std::size_t>(i)])
                                                                    : nullptr;
  };
  switch (uCmd) {
    case GW_CHILD:
      return handleAt(childrenOf(self), 0);
    case GW_OWNER:
      return toHwnd(owner);
    case GW_ENABLEDPOPUP:
      return nullptr;
    case GW_HWNDFIRST:
    case GW_HWNDLAST:
    case GW_HWNDNEXT:
    case GW_HWNDPREV: {
      if (!parent) return nullptr;  // the desktop has no siblings
      std::vector<std::uint32_t> list = childrenOf(parent);
      if (uCmd == GW_HWNDFIRST) return handleAt(list, 0);
      if (uCmd == GW_HWNDLAST) return handleAt(list, static_cast<std::ptrdiff_t>(list.size()) - 1);
      auto it = std::find(list.begin(), list.end(), self);
      if (it == list.end()) return nullptr;
      return handleAt(list, (it - list.begin()) + (uCmd == GW_HWNDNEXT ? 1 : -1));
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

HWND GetTopWindow(HWND hWnd) { return GetWindow(hWnd ? hWnd : GetDesktopWindow(), GW_CHILD); }

HWND GetAncestor(HWND hwnd, UINT gaFlags) {
  Guard lock(table().mutex);
  Window* w = findOrFail(hwnd);
  if (!w || isRoot(w->handle)) return nullptr;
  switch (gaFlags) {
    case GA_PARENT:
      return toHwnd(w->parent);
    case GA_ROOT:
      return toHwnd(rootOf(w)->handle);
    case GA_ROOTOWNER: {
      Window* r = rootOf(w);
      // Follows owners of popups as GetParent does.
      while (r && (r->style & WS_POPUP) && r->owner) {
        Window* o = table().find(r->owner);
        if (!o) break;
        r = rootOf(o);
      }
      return toHwnd(r->handle);
    }
    default:
      return nullptr;
  }
}

BOOL IsChild(HWND hWndParent, HWND hWnd) {
  WindowTable& t = table();
  Guard lock(t.mutex);
  Window* w = t.find(hWnd);
  if (!w || !t.find(hWndParent)) return FALSE;
  // Only WS_CHILD links count: an owned window is no child.
  while (w && (w->style & WS_CHILD)) {
    if (w->parent == fromHwnd(hWndParent)) return TRUE;
    w = t.find(w->parent);
  }
  return FALSE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
  {
    WindowTable& t = table();
    Guard lock(t.mutex);
    if (Window* w = t.find(hDlg)) {
      for (std::uint32_t c : w->children) {
        Window* child = t.find(c);
        if (child && static_cast<int>(child->id) == nIDDlgItem) return toHwnd(c);
      }
      SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
      return nullptr;
    }
  }
  if (!elsewhereOrFail(hDlg)) return nullptr;
  for (const WindowRow& r : foreignChildren(fromHwnd(hDlg)))
    if (static_cast<int>(r.id) == nIDDlgItem) return toHwnd(r.handle);
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int GetDlgCtrlID(HWND hWnd) {
  {
    Guard lock(table().mutex);
    if (Window* w = table().find(hWnd)) return static_cast<int>(w->id);
  }
  auto row = elsewhereOrFail(hWnd);
  return row ? static_cast<int>(row->id) : 0;
}

int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  bool here;
  {
    Guard lock(table().mutex);
    here = table().find(hWnd) != nullptr;
  }
  if (!here) {
    // Another process's window: its stored text, without asking its (maybe hung) owner.
    auto row = elsewhereOrFail(hWnd);
    if (!lpString || nMaxCount <= 0) return 0;
    lpString[0] = 0;
    if (!row) return 0;
    std::size_t n = std::min<std::size_t>(row->text.size(), static_cast<std::size_t>(nMaxCount - 1));
    std::copy_n(row->text.data(), n, lpString);
    lpString[n] = 0;
    return static_cast<int>(n);
  }
  if (!lpString || nMaxCount <= 0) return 0;
  lpString[0] = 0;
  return static_cast<int>(SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLengthW(HWND hWnd) {
  {
    Guard lock(table().mutex);
    if (!table().find(hWnd)) {
      auto row = elsewhereOrFail(hWnd);
      return row ? static_cast<int>(row->text.size()) : 0;
    }
  }
  return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  {
    Guard lock(table().mutex);
    if (Window* w = table().find(hWnd)) {
      // The desktop and the message-only root belong to no process of the product.
      if (lpdwProcessId) *lpdwProcessId = isRoot(w->handle) ? 0 : static_cast<DWORD>(::getpid());
      return w->threadId;
    }
  }
  auto row = elsewhereOrFail(hWnd);
  if (!row) return 0;
  if (lpdwProcessId) *lpdwProcessId = row->pid;
  return row->threadId;
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
  {
    Guard lock(table().mutex);
    if (Window* w = table().find(hWnd)) {
      if (!lpRect) return FALSE;
      RECT r = rectOf(*w);
      POINT origin = table().screenOrigin(*w);
      *lpRect = RECT{origin.x, origin.y, origin.x + width(r), origin.y + height(r)};
      return TRUE;
    }
  }
  auto row = elsewhereOrFail(hWnd);
  if (!row || !lpRect) return FALSE;
  POINT origin = foreignOrigin(*row);
  *lpRect = RECT{origin.x, origin.y, origin.x + width(row->rect), origin.y + height(row->rect)};
  return TRUE;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
  RECT r;
  {
    Guard lock(table().mutex);
    Window* w = table().find(hWnd);
    if (w) r = rectOf(*w);
    if (!w) {
      auto row = elsewhereOrFail(hWnd);
      if (!row) return FALSE;
      r = row->rect;
    }
  }
  if (!lpRect) return FALSE;
  *lpRect = RECT{0, 0, width(r), height(r)};
  return TRUE;
}

BOOL AdjustWindowRectEx(LPRECT lpRect, DWORD, BOOL, DWORD) { return lpRect != nullptr; }
BOOL AdjustWindowRect(LPRECT lpRect, DWORD, BOOL) { return lpRect != nullptr; }

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w || !lpPoint) return FALSE;
  POINT o = table().screenOrigin(*w);
  lpPoint->x -= o.x;
  lpPoint->y -= o.y;
  return TRUE;
}

BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w || !lpPoint) return FALSE;
  POINT o = table().screenOrigin(*w);
  lpPoint->x += o.x;
  lpPoint->y += o.y;
  return TRUE;
}

int MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
  Guard lock(table().mutex);
  POINT from{0, 0}, to{0, 0};
  if (hWndFrom) {
    Window* w = findOrFail(hWndFrom);
    if (!w) return 0;
    from = table().screenOrigin(*w);
  }
  if (hWndTo) {
    Window* w = findOrFail(hWndTo);
    if (!w) return 0;
    to = table().screenOrigin(*w);
  }
  LONG dx = from.x - to.x, dy = from.y - to.y;
  for (UINT i = 0; lpPoints && i < cPoints; ++i) {
    lpPoints[i].x += dx;
    lpPoints[i].y += dy;
  }
  return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

HWND GetDesktopWindow() { return toHwnd(kDesktopHandle); }

HWND GetForegroundWindow() {
  Guard lock(table().mutex);
  return table().find(table().foreground) ? toHwnd(table().foreground) : nullptr;
}

HWND GetActiveWindow() {
  const auto& q = currentQueue();
  Guard lock(table().mutex);
  return toHwnd(q->active);
}

HWND GetFocus() {
  const auto& q = currentQueue();
  Guard lock(table().mutex);
  return toHwnd(q->focus);
}

HWND GetCapture() {
  const auto& q = currentQueue();
  Guard lock(table().mutex);
  return toHwnd(q->capture);
}

HWND GetLastActivePopup(HWND hWnd) {
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w) return nullptr;
  Window* popup = table().find(w->lastActivePopup);
  if (popup && (popup->style & WS_VISIBLE) && !(popup->style & WS_DISABLED)) return toHwnd(popup->handle);
  return hWnd;
}

namespace {

// Handles to enumerate, taken before the first callback so that callbacks may change the tree.
std::vector<HWND> snapshotChildren(std::uint32_t parent, bool deep) {
  WindowTable& t = table();
  Guard lock(t.mutex);
  std::vector<HWND> out;
  Window* p = t.find(parent);
  if (!p) return out;
  std::vector<std::uint32_t> tree;
  for (std::uint32_t c : p->children) {
    Window* child = t.find(c);
    if (!child) continue;
    if (deep) t.collectTree(*child, tree);
    else tree.push_back(c);
  }
  for (std::uint32_t h : tree) out.push_back(toHwnd(h));
  return out;
}

bool matches(const std::u16string& className, ATOM atom, const std::u16string& title, LPCWSTR cls,
             LPCWSTR wanted) {
  if (cls) {
    if (IS_INTRESOURCE(cls)) {
      if (atom != static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(cls))) return false;
    } else if (!text::equalNoCase(className, text::view(cls))) {
      return false;
    }
  }
  return !wanted || text::equalNoCase(title, text::view(wanted));
}

// Descendants of a window of another process, depth first (parents before children).
void collectForeignTree(std::uint32_t parent, std::vector<HWND>& out) {
  for (const WindowRow& r : foreignChildren(parent)) {
    out.push_back(toHwnd(r.handle));
    collectForeignTree(r.handle, out);
  }
}

}  // namespace

BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  if (!lpEnumFunc) return FALSE;
  for (std::uint32_t h : childrenOf(kDesktopHandle))
    if (IsWindow(toHwnd(h)) && !lpEnumFunc(toHwnd(h), lParam)) return FALSE;
  return TRUE;
}

BOOL EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  if (!hWndParent) return EnumWindows(lpEnumFunc, lParam);
  if (!lpEnumFunc) return FALSE;
  bool here;
  {
    Guard lock(table().mutex);
    here = table().find(hWndParent) != nullptr;
  }
  std::vector<HWND> list;
  if (here) list = snapshotChildren(fromHwnd(hWndParent), true);
  else collectForeignTree(fromHwnd(hWndParent), list);
  for (HWND h : list)
    if (IsWindow(h) && !lpEnumFunc(h, lParam)) return FALSE;
  return TRUE;
}

BOOL EnumThreadWindows(DWORD dwThreadId, WNDENUMPROC lpfn, LPARAM lParam) {
  if (!lpfn) return FALSE;
  std::vector<HWND> list;
  {
    WindowTable& t = table();
    Guard lock(t.mutex);
    for (std::uint32_t root : {kDesktopHandle, kMessageRootHandle})
      for (std::uint32_t c : t.find(root)->children)
        if (Window* w = t.find(c); w && w->threadId == dwThreadId) list.push_back(toHwnd(c));
  }
  for (HWND h : list)
    if (IsWindow(h) && !lpfn(h, lParam)) return FALSE;
  return TRUE;
}

HWND FindWindowExW(HWND hWndParent, HWND hWndChildAfter, LPCWSTR lpszClass, LPCWSTR lpszWindow) {
  const std::uint32_t parent = hWndParent == HWND_MESSAGE ? kMessageRootHandle
                               : hWndParent               ? fromHwnd(hWndParent)
                                                          : kDesktopHandle;
  struct Candidate {
    std::uint32_t handle;
    std::u16string className;
    ATOM atom;
    std::u16string text;
  };
  std::vector<Candidate> list;
  bool here = false;
  {
    WindowTable& t = table();
    Guard lock(t.mutex);
    if (Window* p = t.find(parent)) {
      here = true;
      for (std::uint32_t c : p->children)
        if (Window* w = t.find(c)) list.push_back({c, w->cls->name, w->cls->atom, w->text});
    }
  }
  if (!here && !elsewhereOrFail(toHwnd(parent))) return nullptr;
  if (!here || isRoot(parent))
    for (WindowRow& r : foreignChildren(parent))
      list.push_back({r.handle, std::move(r.className), r.atom, std::move(r.text)});
  auto it = list.begin();
  if (hWndChildAfter) {
    it = std::find_if(list.begin(), list.end(), [&](const Candidate& c) { return c.handle == fromHwnd(hWndChildAfter); });
    if (it == list.end()) return nullptr;
    ++it;
  }
  for (; it != list.end(); ++it)
    if (matches(it->className, it->atom, it->text, lpszClass, lpszWindow)) return toHwnd(it->handle);
  return nullptr;
}

HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  // The class name is the fault's subject (none for an atom).
  std::u16string_view subject = IS_INTRESOURCE(lpClassName) ? std::u16string_view() : text::view(lpClassName);
  if (DWORD e = platform::fault::check("FindWindowW", subject)) {
    SetLastError(e);
    return nullptr;
  }
  return FindWindowExW(nullptr, nullptr, lpClassName, lpWindowName);
}

HWND FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
  std::u16string cls, title;
  LPCWSTR c = nullptr;
  if (IS_INTRESOURCE(lpClassName)) {
    c = reinterpret_cast<LPCWSTR>(lpClassName);
  } else {
    cls = text::ansiToWide(lpClassName);
    c = cls.c_str();
  }
  if (lpWindowName) title = text::ansiToWide(lpWindowName);
  return FindWindowW(c, lpWindowName ? title.c_str() : nullptr);
}

// ---- Changes ----

BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  WINDOWPOS wp{hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags};
  bool topLevel;
  {
    std::unique_lock<std::mutex> lock(table().mutex);
    Window* w = table().find(hWnd);
    if (!w) {
      lock.unlock();
      if (!fitsShort(X) || !fitsShort(Y) || !fitsShort(cx) || !fitsShort(cy)) {
        if (!elsewhereOrFail(hWnd)) return FALSE;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      const auto after = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hWndInsertAfter));
      LRESULT r = 0;
      if (!callElsewhere(hWnd, ForeignCall::Pos, static_cast<WPARAM>(after) << 32 | uFlags, packShorts(X, Y, cx, cy), &r))
        return FALSE;
      return r ? TRUE : FALSE;
    }
    if (isRoot(w->handle)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (uFlags & SWP_NOMOVE) {
      wp.x = w->rect.left;
      wp.y = w->rect.top;
    }
    if (uFlags & SWP_NOSIZE) {
      wp.cx = width(w->rect);
      wp.cy = height(w->rect);
    }
    topLevel = !(w->style & WS_CHILD);
  }
  if (!(uFlags & SWP_NOSENDCHANGING))
    SendMessageW(hWnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
  bool visible;
  {
    Guard lock(table().mutex);
    Window* w = table().find(hWnd);
    if (!w) return FALSE;
    applyWindowPos(*w, wp);
    if (wp.flags & SWP_HIDEWINDOW) {
      dropFocusIn(w->handle, *w->queue);
    }
    visible = (w->style & WS_VISIBLE) != 0;
  }
  if (topLevel && visible && !(wp.flags & SWP_NOACTIVATE) && !(wp.flags & SWP_HIDEWINDOW)) SetActiveWindow(hWnd);
  SendMessageW(hWnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  return TRUE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight,
                      SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0 : SWP_NOREDRAW));
}

BOOL BringWindowToTop(HWND hWnd) { return SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
  bool wasVisible, topLevel, isActive;
  DWORD style;
  RECT target{}, parentArea{};
  std::uint32_t owner;
  {
    std::unique_lock<std::mutex> lock(table().mutex);
    Window* w = table().find(hWnd);
    if (!w) {
      lock.unlock();
      LRESULT r = 0;
      if (!callElsewhere(hWnd, ForeignCall::Show, static_cast<WPARAM>(nCmdShow), 0, &r)) return FALSE;
      return r ? TRUE : FALSE;
    }
    if (isRoot(w->handle)) return TRUE;
    wasVisible = (w->style & WS_VISIBLE) != 0;
    topLevel = !(w->style & WS_CHILD);
    style = w->style;
    target = w->rect;
    owner = w->owner;
    isActive = w->queue->active == w->handle;
    Window* p = table().find(w->parent);
    RECT pr = p ? rectOf(*p) : screenRect();
    parentArea = RECT{0, 0, width(pr), height(pr)};
  }
  const bool minimized = style & WS_MINIMIZE, maximized = style & WS_MAXIMIZE;
  bool show = true, activate = topLevel;
  DWORD newStyle = style;
  bool moveIt = false;
  switch (nCmdShow) {
    case SW_HIDE:
      show = false;
      activate = false;
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
    case SW_SHOWNOACTIVATE:
      if (minimized || maximized) {
        newStyle &= ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE);
        moveIt = true;
      }
      if (nCmdShow == SW_SHOWNOACTIVATE) activate = false;
      break;
    case SW_SHOW:
      break;
    case SW_SHOWNA:
      activate = false;
      break;
    case SW_SHOWMAXIMIZED:
      if (!maximized) {
        newStyle = (newStyle & ~static_cast<DWORD>(WS_MINIMIZE)) | WS_MAXIMIZE;
        moveIt = true;
      }
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
      if (!minimized) {
        newStyle = (newStyle & ~static_cast<DWORD>(WS_MAXIMIZE)) | WS_MINIMIZE;
        moveIt = true;
      }
      activate = topLevel && nCmdShow == SW_SHOWMINIMIZED;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  if (moveIt) {
    Guard lock(table().mutex);
    Window* w = table().find(hWnd);
    if (!w) return FALSE;
    if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->restoreRect = w->rect;
    if (newStyle & WS_MAXIMIZE) target = parentArea;
    else if (newStyle & WS_MINIMIZE)
      target = topLevel ? RECT{kMinimizedPos, kMinimizedPos, kMinimizedPos + kMinimizedWidth,
                               kMinimizedPos + kMinimizedHeight}
                        : RECT{0, 0, kMinimizedWidth, kMinimizedHeight};
    else target = w->restoreRect;
    w->style = newStyle;
  }
  if (show != wasVisible) SendMessageW(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
  if (!moveIt) flags |= SWP_NOMOVE | SWP_NOSIZE;
  if (show != wasVisible || moveIt)
    SetWindowPos(hWnd, nullptr, target.left, target.top, width(target), height(target), flags);
  if (!show && isActive) SetActiveWindow(owner && IsWindowVisible(toHwnd(owner)) ? toHwnd(owner) : nullptr);
  if ((newStyle & WS_MINIMIZE) && !activate && isActive) SetActiveWindow(nullptr);
  if (show && activate) SetActiveWindow(hWnd);
  return wasVisible ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
  bool wasDisabled;
  {
    Guard lock(table().mutex);
    Window* w = findOrFail(hWnd);
    if (!w) return FALSE;
    wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !bEnable) return wasDisabled;
    if (bEnable) w->style &= ~static_cast<DWORD>(WS_DISABLED);
    else w->style |= WS_DISABLED;
    mirrorWindow(*w);
  }
  if (!bEnable) {
    HWND focus = GetFocus();
    if (focus && (focus == hWnd || IsChild(hWnd, focus))) SetFocus(nullptr);
  }
  SendMessageW(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
  return wasDisabled;
}

HWND SetParent(HWND hWndChild, HWND hWndNewParent) {
  WindowTable& t = table();
  Guard lock(t.mutex);
  Window* w = findOrFail(hWndChild);
  if (!w || isRoot(w->handle)) return nullptr;
  std::uint32_t newParent = hWndNewParent == HWND_MESSAGE ? kMessageRootHandle
                            : hWndNewParent               ? fromHwnd(hWndNewParent)
                                                          : kDesktopHandle;
  Window* np = findOrFail(toHwnd(newParent));
  if (!np) return nullptr;
  if (newParent == w->handle || t.isDescendant(w->handle, newParent)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::uint32_t old = w->parent;
  if (Window* op = t.find(old)) std::erase(op->children, w->handle);
  w->parent = newParent;
  np->children.insert(np->children.begin(), w->handle);
  mirrorWindow(*w);
  return toHwnd(old);
}

BOOL SetForegroundWindow(HWND hWnd) {
  std::uint32_t root;
  {
    Guard lock(table().mutex);
    Window* w = findOrFail(hWnd);
    if (!w || isRoot(w->handle)) return FALSE;
    root = rootOf(w)->handle;
    table().foreground = root;
  }
  SetActiveWindow(toHwnd(root));
  return TRUE;
}

HWND SetActiveWindow(HWND hWnd) {
  const auto& q = currentQueue();
  std::uint32_t old, now = 0;
  {
    WindowTable& t = table();
    Guard lock(t.mutex);
    if (hWnd) {
      Window* w = findOrFail(hWnd);
      if (!w) return nullptr;
      if (!sharesInput(*w, *q) || isRoot(w->handle)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
      w = rootOf(w);
      now = w->handle;
      // The owner remembers its popup for GetLastActivePopup.
      for (Window* o = t.find(w->owner); o; o = t.find(o->owner)) {
        o->lastActivePopup = now;
        if (o->owner == 0) break;
      }
      placeInZOrder(*w, HWND_TOP);
    }
    old = q->active;
    if (old == now) return toHwnd(old);
    q->active = now;
    if (now) t.foreground = now;
    else if (t.foreground == old) t.foreground = 0;
  }
  if (old && IsWindow(toHwnd(old))) {
    SendMessageW(toHwnd(old), WM_NCACTIVATE, FALSE, 0);
    SendMessageW(toHwnd(old), WM_ACTIVATE, MAKELONG(WA_INACTIVE, IsIconic(toHwnd(old)) ? 1 : 0),
                 reinterpret_cast<LPARAM>(toHwnd(now)));
  }
  if (now) {
    SendMessageW(toHwnd(now), WM_NCACTIVATE, TRUE, 0);
    SendMessageW(toHwnd(now), WM_ACTIVATE, MAKELONG(WA_ACTIVE, IsIconic(toHwnd(now)) ? 1 : 0),
                 reinterpret_cast<LPARAM>(toHwnd(old)));
  } else if (GetFocus()) {
    SetFocus(nullptr);
  }
  return toHwnd(old);
}

HWND SetFocus(HWND hWnd) {
  const auto& q = currentQueue();
  if (hWnd) {
    HWND root;
    {
      Guard lock(table().mutex);
      Window* w = findOrFail(hWnd);
      if (!w) return nullptr;
      if (!sharesInput(*w, *q) || isRoot(w->handle)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
      root = toHwnd(rootOf(w)->handle);
    }
    if (GetActiveWindow() != root) SetActiveWindow(root);
  }
  std::uint32_t old;
  {
    Guard lock(table().mutex);
    old = q->focus;
    if (old == fromHwnd(hWnd)) return toHwnd(old);
    if (hWnd && !table().find(hWnd)) return nullptr;
    q->focus = fromHwnd(hWnd);
  }
  if (old && IsWindow(toHwnd(old))) SendMessageW(toHwnd(old), WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
  if (hWnd) SendMessageW(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(toHwnd(old)), 0);
  return toHwnd(old);
}

HWND SetCapture(HWND hWnd) {
  const auto& q = currentQueue();
  std::uint32_t old;
  {
    Guard lock(table().mutex);
    if (!findOrFail(hWnd)) return nullptr;
    old = q->capture;
    q->capture = fromHwnd(hWnd);
  }
  if (old && old != fromHwnd(hWnd) && IsWindow(toHwnd(old)))
    SendMessageW(toHwnd(old), WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
  return toHwnd(old);
}

BOOL ReleaseCapture() {
  const auto& q = currentQueue();
  std::uint32_t old;
  {
    Guard lock(table().mutex);
    old = q->capture;
    q->capture = 0;
  }
  if (old && IsWindow(toHwnd(old))) SendMessageW(toHwnd(old), WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

// ---- Painting ----

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
  WindowTable& t = table();
  std::unique_lock<std::mutex> lock(t.mutex);
  if (!hWnd) {
    // The whole screen: every top-level window of the process.
    for (std::uint32_t h : t.find(kDesktopHandle)->children)
      if (Window* w = t.find(h)) invalidate(*w, nullptr, bErase);
    return TRUE;
  }
  Window* w = t.find(hWnd);
  if (!w) {
    lock.unlock();
    // A rectangle too large to carry repaints the whole window, which covers it.
    const bool rect = lpRect && fitsShort(lpRect->left) && fitsShort(lpRect->top) && fitsShort(lpRect->right) &&
                      fitsShort(lpRect->bottom);
    LPARAM packed = rect ? packShorts(lpRect->left, lpRect->top, lpRect->right, lpRect->bottom) : 0;
    LRESULT r = 0;
    if (!callElsewhere(hWnd, ForeignCall::Invalidate, (bErase ? 1 : 0) | (rect ? 2 : 0), packed, &r)) return FALSE;
    return r ? TRUE : FALSE;
  }
  invalidate(*w, lpRect, bErase);
  return TRUE;
}

BOOL ValidateRect(HWND hWnd, const RECT* lpRect) {
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w) return FALSE;
  if (!w->invalid) return TRUE;
  // The update region is kept as one rectangle: a partial validation leaves it whole.
  RECT covered;
  if (!lpRect || (UnionRect(&covered, lpRect, &w->invalidRect) && EqualRect(&covered, lpRect))) validate(*w);
  return TRUE;
}

BOOL RedrawWindow(HWND hWnd, const RECT* lprcUpdate, HRGN hrgnUpdate, UINT flags) {
  if (!hWnd) hWnd = GetDesktopWindow();
  RECT box;
  const RECT* area = lprcUpdate;
  if (!area && hrgnUpdate && GetRgnBox(hrgnUpdate, &box) != ERROR) area = &box;
  std::vector<HWND> targets{hWnd};
  if (flags & RDW_ALLCHILDREN)
    for (HWND c : snapshotChildren(fromHwnd(hWnd), true)) targets.push_back(c);
  for (HWND h : targets) {
    if (h == GetDesktopWindow()) continue;
    const RECT* r = h == hWnd ? area : nullptr;
    if (flags & RDW_INVALIDATE) InvalidateRect(h, r, (flags & RDW_ERASE) ? TRUE : FALSE);
    if (flags & RDW_VALIDATE) ValidateRect(h, r);
  }
  if (flags & RDW_UPDATENOW)
    for (HWND h : targets)
      if (h != GetDesktopWindow()) UpdateWindow(h);
  return TRUE;
}

BOOL GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL) {
  Guard lock(table().mutex);
  Window* w = findOrFail(hWnd);
  if (!w) return FALSE;
  if (lpRect) *lpRect = w->invalid ? w->invalidRect : RECT{0, 0, 0, 0};
  return w->invalid ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hWnd) {
  bool needed;
  {
    Guard lock(table().mutex);
    Window* w = findOrFail(hWnd);
    if (!w) return FALSE;
    needed = w->invalid && table().visible(*w);
  }
  if (needed) SendMessageW(hWnd, WM_PAINT, 0, 0);
  return TRUE;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  bool erase;
  RECT area;
  {
    Guard lock(table().mutex);
    Window* w = findOrFail(hWnd);
    if (!w || !lpPaint) return nullptr;
    erase = w->eraseNeeded;
    area = w->invalid ? w->invalidRect : RECT{0, 0, 0, 0};
    validate(*w);
  }
  *lpPaint = PAINTSTRUCT{};
  lpPaint->rcPaint = area;
  lpPaint->hdc = platform::gdi::beginPaintDC(hWnd, area);
  if (erase)
    lpPaint->fErase = SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(lpPaint->hdc), 0) ? FALSE : TRUE;
  return lpPaint->hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
  if (lpPaint) platform::gdi::endPaintDC(hWnd, lpPaint->hdc);
  return TRUE;
}

// ---- Rectangles ----

BOOL SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
  if (!lprc) return FALSE;
  *lprc = RECT{xLeft, yTop, xRight, yBottom};
  return TRUE;
}

BOOL SetRectEmpty(LPRECT lprc) { return SetRect(lprc, 0, 0, 0, 0); }

BOOL IsRectEmpty(const RECT* lprc) { return !lprc || lprc->right <= lprc->left || lprc->bottom <= lprc->top; }

BOOL PtInRect(const RECT* lprc, POINT pt) {
  return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom;
}

BOOL OffsetRect(LPRECT lprc, int dx, int dy) {
  if (!lprc) return FALSE;
  lprc->left += dx;
  lprc->right += dx;
  lprc->top += dy;
  lprc->bottom += dy;
  return TRUE;
}

BOOL InflateRect(LPRECT lprc, int dx, int dy) {
  if (!lprc) return FALSE;
  lprc->left -= dx;
  lprc->right += dx;
  lprc->top -= dy;
  lprc->bottom += dy;
  return TRUE;
}

BOOL IntersectRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
  if (!lprcDst || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    *lprcDst = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *lprcDst = r;
  return TRUE;
}

BOOL UnionRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
  if (!lprcDst || !a || !b) return FALSE;
  if (IsRectEmpty(a)) *lprcDst = *b;
  else if (IsRectEmpty(b)) *lprcDst = *a;
  else
    *lprcDst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                    std::max(a->bottom, b->bottom)};
  if (IsRectEmpty(lprcDst)) {
    *lprcDst = RECT{0, 0, 0, 0};
    return FALSE;
  }
  return TRUE;
}

BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL CopyRect(LPRECT lprcDst, const RECT* lprcSrc) {
  if (!lprcDst || !lprcSrc) return FALSE;
  *lprcDst = *lprcSrc;
  return TRUE;
}
