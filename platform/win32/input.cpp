// Synthesized input over host.db: the record of every event, the host's key state and cursor
// position, the show-desktop toggle, this process's mouse-leave tracking, the double-click time
// and the joining of threads' input state. See input.h.
#include "platform/win32/input.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/host/window_table.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/window.h"

namespace platform::input {
namespace {

using host::Host;

host::SchemaPart inputSchema(
    "CREATE TABLE IF NOT EXISTS input_events ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, keyboard INTEGER NOT NULL, vk INTEGER NOT NULL,"
    " scan INTEGER NOT NULL, flags INTEGER NOT NULL, dx INTEGER NOT NULL, dy INTEGER NOT NULL,"
    " data INTEGER NOT NULL, cx INTEGER NOT NULL, cy INTEGER NOT NULL, pid INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS input_keys ("
    " vk INTEGER PRIMARY KEY, down INTEGER NOT NULL, toggled INTEGER NOT NULL,"
    " presses INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS input_state (name TEXT PRIMARY KEY, value INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS input_desktop_hidden (hwnd INTEGER PRIMARY KEY)");
constexpr std::int64_t kKeptEvents = 1000;
constexpr WORD kKeyD = 0x44;

// Shell windows that show the desktop and stay when it is shown.
constexpr const char16_t* kShellClasses[] = {u"Progman", u"WorkerW", u"Shell_TrayWnd"};

std::int64_t handleValue(HWND h) { return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(h)); }
HWND handleFrom(std::int64_t v) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(v)); }

std::int64_t stateValue(host::Database& db, const char* name, std::int64_t fallback) {
  auto q = db.query("SELECT value FROM input_state WHERE name = ?1");
  q.bind(1, std::string_view(name));
  return q.step() ? q.int64At(0) : fallback;
}
void setStateValue(host::Database& db, const char* name, std::int64_t value) {
  db.query("INSERT OR REPLACE INTO input_state (name, value) VALUES (?1, ?2)")
      .bind(1, std::string_view(name))
      .bind(2, value)
      .run();
}

struct KeyRow {
  bool down = false;
  bool toggled = false;
  std::int64_t presses = 0;
};
KeyRow keyRow(host::Database& db, int vk) {
  auto q = db.query("SELECT down, toggled, presses FROM input_keys WHERE vk = ?1");
  q.bind(1, vk);
  KeyRow r;
  if (q.step()) r = {q.int64At(0) != 0, q.int64At(1) != 0, q.int64At(2)};
  return r;
}

RECT screenRect() {
  Host& h = Host::current();
  return RECT{0, 0, static_cast<LONG>(h.factNumber(host::fact::ScreenWidth, 1024)),
              static_cast<LONG>(h.factNumber(host::fact::ScreenHeight, 768))};
}

POINT cursorOf(host::Database& db) {
  return POINT{static_cast<LONG>(stateValue(db, "cursor_x", 0)), static_cast<LONG>(stateValue(db, "cursor_y", 0))};
}

void record(host::Database& db, const InputEvent& e) {
  db.query("INSERT INTO input_events (keyboard, vk, scan, flags, dx, dy, data, cx, cy, pid)"
           " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)")
      .bind(1, e.keyboard ? 1 : 0)
      .bind(2, e.vk)
      .bind(3, e.scan)
      .bind(4, static_cast<std::int64_t>(e.flags))
      .bind(5, e.dx)
      .bind(6, e.dy)
      .bind(7, static_cast<std::int64_t>(e.data))
      .bind(8, e.cursor.x)
      .bind(9, e.cursor.y)
      .bind(10, static_cast<std::int64_t>(GetCurrentProcessId()))
      .run();
  db.query("DELETE FROM input_events WHERE id <= ?1").bind(1, db.lastInsertRowid() - kKeptEvents).run();
}

// ---- show desktop ----

bool isShellWindow(HWND w) {
  char16_t cls[64] = {};
  GetClassNameW(w, cls, 64);
  for (const char16_t* s : kShellClasses)
    if (text::equalNoCase(text::view(cls), s)) return true;
  return false;
}

BOOL CALLBACK collectCandidate(HWND w, LPARAM param) {
  auto* out = reinterpret_cast<std::vector<HWND>*>(param);
  if (IsWindowVisible(w) && !IsIconic(w) && !GetWindow(w, GW_OWNER) && !isShellWindow(w)) out->push_back(w);
  return TRUE;
}

// Minimises or restores a window: at once for the caller's own, by a posted system command for
// any other (only its owner may change it).
void showForDesktop(HWND w, bool minimise) {
  if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) {
    ShowWindow(w, minimise ? SW_MINIMIZE : SW_RESTORE);
  } else {
    PostMessageW(w, WM_SYSCOMMAND, minimise ? SC_MINIMIZE : SC_RESTORE, 0);
  }
}

// The windows to change are chosen inside the transaction; they are changed after it, since a
// window's own procedure may use the database.
void toggleShowDesktop(host::Database& db, std::vector<HWND>& minimise, std::vector<HWND>& restore) {
  if (stateValue(db, "desktop_shown", 0) != 0) {
    auto q = db.query("SELECT hwnd FROM input_desktop_hidden ORDER BY rowid");
    while (q.step()) {
      HWND w = handleFrom(q.int64At(0));
      if (IsWindow(w) && IsIconic(w)) restore.push_back(w);
    }
    db.exec("DELETE FROM input_desktop_hidden");
    setStateValue(db, "desktop_shown", 0);
    return;
  }
  EnumWindows(collectCandidate, reinterpret_cast<LPARAM>(&minimise));
  db.exec("DELETE FROM input_desktop_hidden");
  for (HWND w : minimise)
    db.query("INSERT OR IGNORE INTO input_desktop_hidden (hwnd) VALUES (?1)").bind(1, handleValue(w)).run();
  setStateValue(db, "desktop_shown", 1);
}

void applyDesktop(const std::vector<HWND>& minimise, const std::vector<HWND>& restore) {
  for (HWND w : minimise) showForDesktop(w, true);
  for (HWND w : restore) showForDesktop(w, false);
}

// ---- mouse-leave tracking (this process's windows) ----

std::mutex g_trackMutex;
std::map<HWND, DWORD> g_tracking;  // window -> TME_HOVER | TME_LEAVE

// Windows that were tracking leaving and no longer contain the cursor.
void leaveByCursor(POINT cursor) {
  std::vector<HWND> left;
  {
    std::lock_guard lock(g_trackMutex);
    for (auto& [w, flags] : g_tracking) {
      if (!(flags & TME_LEAVE)) continue;
      RECT r{};
      if (!GetWindowRect(w, &r) || !PtInRect(&r, cursor)) left.push_back(w);
    }
  }
  for (HWND w : left) mouseLeave(w);
}

// ---- keys and buttons ----

void keyChange(host::Database& db, int vk, bool down) {
  if (vk <= 0 || vk > 254) return;
  KeyRow r = keyRow(db, vk);
  if (down && !r.down) {
    r.toggled = !r.toggled;
    ++r.presses;
  }
  r.down = down;
  db.query("INSERT OR REPLACE INTO input_keys (vk, down, toggled, presses) VALUES (?1, ?2, ?3, ?4)")
      .bind(1, vk)
      .bind(2, r.down ? 1 : 0)
      .bind(3, r.toggled ? 1 : 0)
      .bind(4, r.presses)
      .run();
}

void keyEvent(WORD vk, WORD scan, DWORD flags) {
  Host& host = Host::current();
  std::vector<HWND> minimise, restore;
  {
    auto& db = host.db();
    host::Database::Transaction t(db);
    InputEvent e;
    e.keyboard = true;
    e.vk = vk;
    e.scan = scan;
    e.flags = flags;
    record(db, e);
    if (!(flags & KEYEVENTF_UNICODE)) {
      const bool down = !(flags & KEYEVENTF_KEYUP);
      if (down && vk == kKeyD && !keyRow(db, kKeyD).down && (keyRow(db, VK_LWIN).down || keyRow(db, VK_RWIN).down))
        toggleShowDesktop(db, minimise, restore);
      keyChange(db, vk, down);
    }
    t.commit();
  }
  applyDesktop(minimise, restore);
}

// A button press activates the top-level window under the cursor, as a click does: when it is a
// window of the calling thread it becomes its active window; when it is another thread's window,
// or no window is there, the calling thread's active window loses the activation (the other
// thread's window itself is not activated from here).
void activateByPress(POINT at) {
  struct Hit {
    POINT at;
    HWND window = nullptr;
  } hit{at};
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        auto* found = reinterpret_cast<Hit*>(p);
        RECT r{};
        if (!IsWindowVisible(h) || !GetWindowRect(h, &r) || !PtInRect(&r, found->at)) return TRUE;
        found->window = h;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&hit));
  if (hit.window && GetWindowThreadProcessId(hit.window, nullptr) == GetCurrentThreadId()) {
    if (IsWindowEnabled(hit.window)) SetActiveWindow(hit.window);
  } else if (GetActiveWindow()) {
    SetActiveWindow(nullptr);
  }
}

// The press waiting to be taken in by the calling thread, as Windows takes input in apart from the
// call that made it: when the thread next reads its messages.
thread_local std::optional<POINT> t_pendingPress;

void CALLBACK takePress(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  const std::optional<POINT> at = t_pendingPress;
  t_pendingPress.reset();
  if (at) activateByPress(*at);
}

void mouseEvent(DWORD flags, LONG dx, LONG dy, DWORD data) {
  Host& host = Host::current();
  POINT cursor{};
  {
    auto& db = host.db();
    host::Database::Transaction t(db);
    const RECT screen = screenRect();
    cursor = cursorOf(db);
    if (flags & MOUSEEVENTF_MOVE) {
      if (flags & MOUSEEVENTF_ABSOLUTE) {
        cursor.x = static_cast<LONG>(static_cast<std::int64_t>(static_cast<DWORD>(dx) & 0xFFFF) * screen.right / 65536);
        cursor.y = static_cast<LONG>(static_cast<std::int64_t>(static_cast<DWORD>(dy) & 0xFFFF) * screen.bottom / 65536);
      } else {
        cursor.x += dx;
        cursor.y += dy;
      }
      cursor.x = std::clamp<LONG>(cursor.x, 0, std::max<LONG>(screen.right - 1, 0));
      cursor.y = std::clamp<LONG>(cursor.y, 0, std::max<LONG>(screen.bottom - 1, 0));
      setStateValue(db, "cursor_x", cursor.x);
      setStateValue(db, "cursor_y", cursor.y);
    }
    InputEvent e;
    e.keyboard = false;
    e.flags = flags;
    e.dx = dx;
    e.dy = dy;
    e.data = data;
    e.cursor = cursor;
    record(db, e);
    if (flags & MOUSEEVENTF_LEFTDOWN) keyChange(db, VK_LBUTTON, true);
    if (flags & MOUSEEVENTF_LEFTUP) keyChange(db, VK_LBUTTON, false);
    if (flags & MOUSEEVENTF_RIGHTDOWN) keyChange(db, VK_RBUTTON, true);
    if (flags & MOUSEEVENTF_RIGHTUP) keyChange(db, VK_RBUTTON, false);
    if (flags & MOUSEEVENTF_MIDDLEDOWN) keyChange(db, VK_MBUTTON, true);
    if (flags & MOUSEEVENTF_MIDDLEUP) keyChange(db, VK_MBUTTON, false);
    t.commit();
  }
  if (flags & MOUSEEVENTF_MOVE) leaveByCursor(cursor);
  if (flags & (MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_RIGHTDOWN | MOUSEEVENTF_MIDDLEDOWN)) {
    if (!t_pendingPress) SetTimer(nullptr, 0, 0, takePress);
    t_pendingPress = cursor;
  }
}

// Presses seen by this process's GetAsyncKeyState, per key.
std::mutex g_seenMutex;
std::map<int, std::int64_t> g_seenPresses;

bool keyDown(host::Database& db, int vk) {
  switch (vk) {
    case VK_SHIFT: return keyRow(db, VK_SHIFT).down || keyRow(db, VK_LSHIFT).down || keyRow(db, VK_RSHIFT).down;
    case VK_CONTROL:
      return keyRow(db, VK_CONTROL).down || keyRow(db, VK_LCONTROL).down || keyRow(db, VK_RCONTROL).down;
    case VK_MENU: return keyRow(db, VK_MENU).down || keyRow(db, VK_LMENU).down || keyRow(db, VK_RMENU).down;
    default: return keyRow(db, vk).down;
  }
}

bool postTracked(HWND hwnd, DWORD kind) {
  {
    std::lock_guard lock(g_trackMutex);
    auto it = g_tracking.find(hwnd);
    if (it == g_tracking.end() || !(it->second & kind)) return false;
    it->second &= ~kind;
    if (!it->second) g_tracking.erase(it);
  }
  if (kind == TME_LEAVE) return PostMessageW(hwnd, WM_MOUSELEAVE, 0, 0) != FALSE;
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(hwnd, &p);
  return PostMessageW(hwnd, WM_MOUSEHOVER, 0,
                      static_cast<LPARAM>((static_cast<DWORD>(p.y & 0xFFFF) << 16) | static_cast<DWORD>(p.x & 0xFFFF))) !=
         FALSE;
}

}  // namespace

std::vector<InputEvent> recordedInput() {
  Host& host = Host::current();
  auto lock = host.db().lock();
  std::vector<InputEvent> out;
  auto q = host.db().query("SELECT id, keyboard, vk, scan, flags, dx, dy, data, cx, cy, pid FROM input_events ORDER BY id");
  while (q.step()) {
    InputEvent e;
    e.id = q.int64At(0);
    e.keyboard = q.int64At(1) != 0;
    e.vk = static_cast<WORD>(q.int64At(2));
    e.scan = static_cast<WORD>(q.int64At(3));
    e.flags = static_cast<DWORD>(q.int64At(4));
    e.dx = static_cast<LONG>(q.int64At(5));
    e.dy = static_cast<LONG>(q.int64At(6));
    e.data = static_cast<DWORD>(q.int64At(7));
    e.cursor = POINT{static_cast<LONG>(q.int64At(8)), static_cast<LONG>(q.int64At(9))};
    e.processId = q.int64At(10);
    out.push_back(e);
  }
  return out;
}

void clearRecordedInput() {
  Host& host = Host::current();
  auto& db = host.db();
  host::Database::Transaction t(db);
  db.exec("DELETE FROM input_events");
  db.exec("DELETE FROM input_keys");
  db.exec("DELETE FROM input_desktop_hidden");
  db.exec("DELETE FROM input_state WHERE name = 'desktop_shown'");
  t.commit();
  std::lock_guard lock(g_seenMutex);
  g_seenPresses.clear();
}

bool desktopShown() {
  Host& host = Host::current();
  auto lock = host.db().lock();
  return stateValue(host.db(), "desktop_shown", 0) != 0;
}

std::vector<HWND> windowsHiddenByShowDesktop() {
  Host& host = Host::current();
  auto lock = host.db().lock();
  std::vector<HWND> out;
  auto q = host.db().query("SELECT hwnd FROM input_desktop_hidden ORDER BY rowid");
  while (q.step()) out.push_back(handleFrom(q.int64At(0)));
  return out;
}

bool mouseLeave(HWND hwnd) { return postTracked(hwnd, TME_LEAVE); }
bool mouseHover(HWND hwnd) { return postTracked(hwnd, TME_HOVER); }

DWORD trackingOf(HWND hwnd) {
  std::lock_guard lock(g_trackMutex);
  auto it = g_tracking.find(hwnd);
  return it == g_tracking.end() ? 0 : it->second;
}

}  // namespace platform::input

using namespace platform::input;

void keybd_event(BYTE bVk, BYTE bScan, DWORD dwFlags, ULONG_PTR) { keyEvent(bVk, bScan, dwFlags); }

void mouse_event(DWORD dwFlags, DWORD dx, DWORD dy, DWORD dwData, ULONG_PTR) {
  mouseEvent(dwFlags, static_cast<LONG>(dx), static_cast<LONG>(dy), dwData);
}

UINT SendInput(UINT cInputs, LPINPUT pInputs, int cbSize) {
  if (cbSize != static_cast<int>(sizeof(INPUT)) || (cInputs && !pInputs)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  for (UINT i = 0; i < cInputs; ++i)
    if (pInputs[i].type != INPUT_MOUSE && pInputs[i].type != INPUT_KEYBOARD) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  for (UINT i = 0; i < cInputs; ++i) {
    const INPUT& in = pInputs[i];
    if (in.type == INPUT_KEYBOARD) keyEvent(in.ki.wVk, in.ki.wScan, in.ki.dwFlags);
    else mouseEvent(in.mi.dwFlags, in.mi.dx, in.mi.dy, in.mi.mouseData);
  }
  return cInputs;
}

SHORT GetAsyncKeyState(int vKey) {
  if (vKey <= 0 || vKey > 254) return 0;
  Host& host = Host::current();
  bool down;
  std::int64_t presses;
  {
    auto lock = host.db().lock();
    down = keyDown(host.db(), vKey);
    presses = keyRow(host.db(), vKey).presses;
  }
  bool pressedSince;
  {
    std::lock_guard lock(g_seenMutex);
    auto& seen = g_seenPresses[vKey];
    pressedSince = presses > seen;
    seen = presses;
  }
  return static_cast<SHORT>((down ? 0x8000 : 0) | (pressedSince ? 1 : 0));
}

SHORT GetKeyState(int vKey) {
  if (vKey <= 0 || vKey > 254) return 0;
  Host& host = Host::current();
  auto lock = host.db().lock();
  const bool down = keyDown(host.db(), vKey);
  const bool toggled = keyRow(host.db(), vKey).toggled;
  return static_cast<SHORT>((down ? 0xFF80 : 0) | (toggled ? 1 : 0));
}

BOOL GetCursorPos(LPPOINT lpPoint) {
  if (!lpPoint) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Host& host = Host::current();
  auto lock = host.db().lock();
  *lpPoint = cursorOf(host.db());
  return TRUE;
}

BOOL SetCursorPos(int X, int Y) {
  POINT now{};
  GetCursorPos(&now);
  mouseEvent(MOUSEEVENTF_MOVE, X - now.x, Y - now.y, 0);
  return TRUE;
}

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT e) {
  if (!e || e->cbSize != sizeof(TRACKMOUSEEVENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (e->dwFlags & TME_QUERY) {
    std::lock_guard lock(g_trackMutex);
    auto it = g_tracking.find(e->hwndTrack);
    const DWORD flags = it == g_tracking.end() ? 0 : it->second;
    e->dwFlags = flags;
    if (!flags) e->hwndTrack = nullptr;
    return TRUE;
  }
  if (!IsWindow(e->hwndTrack) || GetWindowThreadProcessId(e->hwndTrack, nullptr) != GetCurrentThreadId()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  const DWORD kinds = e->dwFlags & (TME_HOVER | TME_LEAVE);
  std::lock_guard lock(g_trackMutex);
  if (e->dwFlags & TME_CANCEL) {
    auto it = g_tracking.find(e->hwndTrack);
    if (it != g_tracking.end()) {
      it->second &= ~kinds;
      if (!it->second) g_tracking.erase(it);
    }
  } else if (kinds) {
    g_tracking[e->hwndTrack] |= kinds;
  }
  return TRUE;
}

// ---- Double-click time ----

namespace {

constexpr const char16_t* kMouseKey = u"Control Panel\\Mouse";
constexpr const char16_t* kDoubleClickValue = u"DoubleClickSpeed";
constexpr UINT kDefaultDoubleClickMs = 500;
constexpr UINT kMaxDoubleClickMs = 5000;

// The leading decimal digits of a registry text, or 0.
UINT leadingNumber(const char16_t* s, std::size_t length) {
  std::uint64_t n = 0;
  for (std::size_t i = 0; i < length && s[i] >= u'0' && s[i] <= u'9'; ++i) {
    n = n * 10 + static_cast<std::uint64_t>(s[i] - u'0');
    if (n > kMaxDoubleClickMs) return kMaxDoubleClickMs + 1;
  }
  return static_cast<UINT>(n);
}

}  // namespace

UINT GetDoubleClickTime() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kMouseKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return kDefaultDoubleClickMs;
  char16_t text[16] = {};
  DWORD type = 0;
  DWORD size = sizeof(text) - sizeof(char16_t);  // room for a NUL the value may lack
  const LONG rc = RegQueryValueExW(key, kDoubleClickValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return kDefaultDoubleClickMs;
  const UINT ms = leadingNumber(text, size / sizeof(char16_t));
  if (ms == 0) return kDefaultDoubleClickMs;
  return ms > kMaxDoubleClickMs ? kMaxDoubleClickMs : ms;
}

// ---- Joined input state ----

namespace {

using platform::host::InputState;
using platform::host::ThreadQueue;
using platform::host::WindowTable;

// Joins made and not yet undone, one entry per AttachThreadInput call. Guarded by g_joinMutex,
// which is taken before the queue registry's lock and the window table's.
std::mutex g_joinMutex;
std::multiset<std::pair<DWORD, DWORD>> g_joins;

std::pair<DWORD, DWORD> joinKey(DWORD a, DWORD b) { return a < b ? std::pair{a, b} : std::pair{b, a}; }

// Under g_joinMutex: the threads joined to `start`, itself included.
std::set<DWORD> joinedGroup(DWORD start) {
  std::set<DWORD> group{start};
  std::vector<DWORD> todo{start};
  while (!todo.empty()) {
    const DWORD t = todo.back();
    todo.pop_back();
    for (const auto& [a, b] : g_joins) {
      const DWORD other = a == t ? b : b == t ? a : 0;
      if (other && group.insert(other).second) todo.push_back(other);
    }
  }
  return group;
}

// Under g_joinMutex: forgets joins of threads whose queue is gone (an ended thread is joined to
// nothing, as on Windows).
void forgetEndedThreads() {
  for (auto it = g_joins.begin(); it != g_joins.end();) {
    if (!platform::host::findQueue(it->first) || !platform::host::findQueue(it->second)) it = g_joins.erase(it);
    else ++it;
  }
}

std::vector<std::shared_ptr<ThreadQueue>> queuesOf(const std::set<DWORD>& group) {
  std::vector<std::shared_ptr<ThreadQueue>> out;
  for (DWORD t : group)
    if (auto q = platform::host::findQueue(t)) out.push_back(std::move(q));
  return out;
}

// Under the table mutex: a state for `group` holding what `from` holds of the group's own windows.
std::shared_ptr<InputState> stateOfGroup(const InputState& from, const std::set<DWORD>& group) {
  WindowTable& t = WindowTable::get();
  auto keep = [&](std::uint32_t h) -> std::uint32_t {
    const platform::host::Window* w = h ? t.find(h) : nullptr;
    return w && group.count(w->threadId) ? h : 0;
  };
  auto s = std::make_shared<InputState>();
  s->active = keep(from.active);
  s->focus = keep(from.focus);
  s->capture = keep(from.capture);
  return s;
}

}  // namespace

BOOL AttachThreadInput(DWORD idAttach, DWORD idAttachTo, BOOL fAttach) {
  std::lock_guard joinLock(g_joinMutex);
  forgetEndedThreads();
  auto from = platform::host::findQueue(idAttach);
  auto to = platform::host::findQueue(idAttachTo);
  if (idAttach == idAttachTo || !from || !to) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WindowTable& table = WindowTable::get();
  if (fAttach) {
    const std::set<DWORD> groupFrom = joinedGroup(idAttach);
    const std::set<DWORD> groupTo = joinedGroup(idAttachTo);
    g_joins.insert(joinKey(idAttach, idAttachTo));
    if (groupFrom.count(idAttachTo)) return TRUE;  // joined already
    const auto queuesFrom = queuesOf(groupFrom);
    const auto queuesTo = queuesOf(groupTo);
    std::lock_guard lock(table.mutex);
    // As on Windows, the joined threads become the foreground input when either side was it (so
    // a thread joined to the foreground one may take the foreground); otherwise they take the
    // state of the thread attached to.
    const platform::host::Window* fg = table.find(table.foreground);
    const bool fromIsForeground = fg && groupFrom.count(fg->threadId);
    const std::shared_ptr<InputState> shared = fromIsForeground ? from->input : to->input;
    for (const auto& q : fromIsForeground ? queuesTo : queuesFrom) q->input = shared;
    return TRUE;
  }
  auto it = g_joins.find(joinKey(idAttach, idAttachTo));
  if (it == g_joins.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  g_joins.erase(it);
  const std::set<DWORD> groupA = joinedGroup(idAttach);
  if (groupA.count(idAttachTo)) return TRUE;  // still joined through another pair
  const std::set<DWORD> groupB = joinedGroup(idAttachTo);
  const auto queuesA = queuesOf(groupA);
  const auto queuesB = queuesOf(groupB);
  std::lock_guard lock(table.mutex);
  const InputState before = *from->input;
  const auto stateA = stateOfGroup(before, groupA);
  const auto stateB = stateOfGroup(before, groupB);
  for (const auto& q : queuesA) q->input = stateA;
  for (const auto& q : queuesB) q->input = stateB;
  return TRUE;
}
