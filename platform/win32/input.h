// Synthesized keyboard and mouse input (keybd_event, mouse_event, SendInput), the key state that
// input leaves behind (GetAsyncKeyState, GetKeyState), the cursor position, and mouse-leave
// tracking (TrackMouseEvent), the double-click time, and joined input state (AttachThreadInput).
//
// No real keyboard or mouse exists: synthesized input is recorded in host.db, in order, for tests
// and `kipo-host` to read (platform::input::recordedInput), and it updates the host's key state
// and cursor position, which every process of the host sees. It is not turned into WM_KEYDOWN or
// WM_LBUTTONDOWN messages for the focus window: the product only synthesizes input for its effect
// on the shell (the show-desktop key) and for the activation a click moves, and a control driven
// by tests is driven through the UI driver instead. A button press moves the activation as a
// click does, once the calling thread next reads its messages (input is taken in apart from the
// call that made it, as on Windows): a visible, enabled top-level window of that thread under the
// cursor becomes its active window; another thread's window there, or none (the desktop), takes
// the activation away from the thread's active window (that other window is not activated by the
// stand-in).
//
// The shell's one hot key: pressing D while a Windows key (VK_LWIN or VK_RWIN) is down toggles
// "show desktop", as Explorer does. The first press minimises every visible, unowned top-level
// window of the host except the shell's own ("Progman", "WorkerW", "Shell_TrayWnd") and those
// already minimised, and remembers them in host.db; the next press restores the remembered ones
// that still exist and are still minimised, and forgets them. Windows of the calling thread
// change at once; windows of other threads and processes are sent WM_SYSCOMMAND SC_MINIMIZE /
// SC_RESTORE without waiting (their owner acts when it next reads its queue).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/base/types.h"

// ---- Virtual keys beyond those of message.h ----

#ifndef VK_LBUTTON
#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_CANCEL 0x03
#define VK_MBUTTON 0x04
#endif
#ifndef VK_CAPITAL
#define VK_CAPITAL 0x14
#endif
#ifndef VK_LWIN
#define VK_LWIN 0x5B
#define VK_RWIN 0x5C
#define VK_APPS 0x5D
#endif
#ifndef VK_NUMLOCK
#define VK_NUMLOCK 0x90
#define VK_SCROLL 0x91
#endif
#ifndef VK_LSHIFT
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5
#endif

// ---- keybd_event / mouse_event / SendInput ----

#define KEYEVENTF_EXTENDEDKEY 0x0001
#define KEYEVENTF_KEYUP 0x0002
#define KEYEVENTF_UNICODE 0x0004
#define KEYEVENTF_SCANCODE 0x0008

#define MOUSEEVENTF_MOVE 0x0001
#define MOUSEEVENTF_LEFTDOWN 0x0002
#define MOUSEEVENTF_LEFTUP 0x0004
#define MOUSEEVENTF_RIGHTDOWN 0x0008
#define MOUSEEVENTF_RIGHTUP 0x0010
#define MOUSEEVENTF_MIDDLEDOWN 0x0020
#define MOUSEEVENTF_MIDDLEUP 0x0040
#define MOUSEEVENTF_WHEEL 0x0800
#define MOUSEEVENTF_ABSOLUTE 0x8000

#define INPUT_MOUSE 0
#define INPUT_KEYBOARD 1
#define INPUT_HARDWARE 2

struct MOUSEINPUT {
  LONG dx;
  LONG dy;
  DWORD mouseData;
  DWORD dwFlags;
  DWORD time;
  ULONG_PTR dwExtraInfo;
};
struct KEYBDINPUT {
  WORD wVk;
  WORD wScan;
  DWORD dwFlags;
  DWORD time;
  ULONG_PTR dwExtraInfo;
};
struct HARDWAREINPUT {
  DWORD uMsg;
  WORD wParamL;
  WORD wParamH;
};
struct INPUT {
  DWORD type;
  union {
    MOUSEINPUT mi;
    KEYBDINPUT ki;
    HARDWAREINPUT hi;
  };
};
using LPINPUT = INPUT*;

// A key pressed (or released, with KEYEVENTF_KEYUP). A KEYEVENTF_UNICODE record carries a
// character in its scan field and changes no key state.
void keybd_event(BYTE bVk, BYTE bScan, DWORD dwFlags, ULONG_PTR dwExtraInfo);
// Buttons and movement. With MOUSEEVENTF_ABSOLUTE, dx and dy are 0..65535 across the screen
// (the host's screen_width x screen_height facts) and the cursor goes to
// (dx * width / 65536, dy * height / 65536); otherwise they move it by that many pixels. The
// cursor stays on the screen.
void mouse_event(DWORD dwFlags, DWORD dx, DWORD dy, DWORD dwData, ULONG_PTR dwExtraInfo);
// Each record as keybd_event or mouse_event would take it; INPUT_HARDWARE records are not
// supported. Returns the number of records inserted: 0 with ERROR_INVALID_PARAMETER when cbSize
// is not sizeof(INPUT) or a record's type is unknown (nothing inserted then).
UINT SendInput(UINT cInputs, LPINPUT pInputs, int cbSize);

// ---- Key state ----

// The high bit (0x8000) when the key is down now; the low bit when it was pressed since the
// previous GetAsyncKeyState call for it in this process. 0 for a key outside 1..254.
SHORT GetAsyncKeyState(int vKey);
// The high bit when the key is down; the low bit is the key's toggle (flips on every press; the
// lock keys' on/off). VK_SHIFT, VK_CONTROL and VK_MENU are down when either side is.
SHORT GetKeyState(int vKey);

// ---- Cursor position ----

BOOL GetCursorPos(LPPOINT lpPoint);
// Moves the cursor (clipped to the screen); recorded as a mouse move.
BOOL SetCursorPos(int X, int Y);

// ---- Mouse-leave tracking ----

#define TME_HOVER 0x00000001
#define TME_LEAVE 0x00000002
#define TME_NONCLIENT 0x00000010
#define TME_QUERY 0x40000000
#define TME_CANCEL 0x80000000
#define HOVER_DEFAULT 0xFFFFFFFF

struct TRACKMOUSEEVENT {
  DWORD cbSize;
  DWORD dwFlags;
  HWND hwndTrack;
  DWORD dwHoverTime;
};
using LPTRACKMOUSEEVENT = TRACKMOUSEEVENT*;

// Asks for WM_MOUSELEAVE (TME_LEAVE) and/or WM_MOUSEHOVER (TME_HOVER) for a window of the calling
// thread. Since no real mouse moves, the tracking is remembered until the test says the mouse left
// (platform::input::mouseLeave) or hovered (platform::input::mouseHover): then the message is
// posted once and that part of the tracking ends, as on Windows. The cursor position does not
// decide leaving; a SetCursorPos or mouse_event that moves the cursor outside the window's screen
// rectangle counts as leaving too. TME_CANCEL withdraws the given kinds; TME_QUERY fills the record
// with the window's current tracking. FALSE with ERROR_INVALID_PARAMETER for a bad cbSize, with
// ERROR_INVALID_WINDOW_HANDLE for a window that is not the calling thread's.
BOOL TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack);

// ---- Double-click time ----

// The user's double-click time in milliseconds: "DoubleClickSpeed" under
// "HKEY_CURRENT_USER\Control Panel\Mouse", a text value as Windows keeps it. Missing, not text,
// not a number or 0: 500, Windows' default; above 5000: 5000, the most Windows allows. Read on
// every call, so a change through the registry shows at once.
UINT GetDoubleClickTime();

// ---- Joined input state ----

// Joins (fAttach TRUE) or separates the input state of two threads of this process, as XP does:
// while joined, both threads see one focus, one active window and one capture, so either may
// give the focus to a window of the other, and GetFocus/GetActiveWindow answer the same on
// both. The joined state is that of the side holding the foreground window, else that of
// idAttachTo's side; so a thread joined to the foreground thread may take the foreground with
// SetFocus or SetActiveWindow. Joins are counted per pair and are transitive (A to B and C to B
// join all three).
// Separating gives each thread back a state of its own holding only its own windows. The key
// state needs no joining here: it is the host's, shared by every thread already.
// FALSE with ERROR_INVALID_PARAMETER when the two ids are equal, when either is not a thread of
// this process with a message queue (the stand-in cannot join input across processes), or when
// separating threads that were not joined.
BOOL AttachThreadInput(DWORD idAttach, DWORD idAttachTo, BOOL fAttach);

namespace platform::input {

// One synthesized input record, as recorded in host.db.
struct InputEvent {
  std::int64_t id = 0;
  bool keyboard = true;
  WORD vk = 0;          // keyboard: virtual key
  WORD scan = 0;        // keyboard: scan code or character
  DWORD flags = 0;      // KEYEVENTF_* or MOUSEEVENTF_*
  LONG dx = 0, dy = 0;  // mouse: as given
  DWORD data = 0;       // mouse: wheel delta or button data
  POINT cursor{0, 0};   // mouse: the cursor position afterwards
  std::int64_t processId = 0;
};

// Recorded input of the host, oldest first (the host keeps the last 1000 records).
std::vector<InputEvent> recordedInput();
// Forgets the records, the key state and the show-desktop state (not the cursor position).
void clearRecordedInput();

// Whether "show desktop" is on (a Windows+D press is pending its restoring press), and the
// windows that press minimised.
bool desktopShown();
std::vector<HWND> windowsHiddenByShowDesktop();

// The mouse left (or hovered over) a window: posts WM_MOUSELEAVE (or WM_MOUSEHOVER with the
// cursor's client position) when the window asked for it with TrackMouseEvent, and ends that
// tracking. False when it had not asked.
bool mouseLeave(HWND hwnd);
bool mouseHover(HWND hwnd);
// Whether the window tracks leaving / hovering now (for tests).
DWORD trackingOf(HWND hwnd);

}  // namespace platform::input
