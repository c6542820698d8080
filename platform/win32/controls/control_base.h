// What every control class of this folder shares: its per-window state behind the first
// pointer of the window's extra bytes (made on WM_NCCREATE, freed when the last message being
// handled returns after WM_NCDESTROY, so a parent may destroy a control from a notification),
// and the messages a control sends its parent.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/text.h"
#include "platform/base/types.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/gdi.h"
#include "platform/win32/window.h"

namespace platform::controls::detail {

// The window procedure of a class whose state type S has S(HWND, const CREATESTRUCTW&) and
// LRESULT handle(UINT, WPARAM, LPARAM).
template <class S>
LRESULT CALLBACK procFor(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<S*>(GetWindowLongPtrW(hwnd, 0));
  if (msg == WM_NCCREATE && !s) {
    s = new S(hwnd, *reinterpret_cast<const CREATESTRUCTW*>(lParam));
    SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(s));
  }
  if (!s) return DefWindowProcW(hwnd, msg, wParam, lParam);
  // Every control keeps the font it is given.
  if (msg == WM_SETFONT || msg == WM_GETFONT) return platform::gdi::windowFontMessage(hwnd, msg, wParam, lParam);
  ++s->depth;
  LRESULT r = s->handle(msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, 0, 0);
    s->dead = true;
  }
  if (--s->depth == 0 && s->dead) delete s;
  return r;
}

// Fields every state has.
struct ControlState {
  explicit ControlState(HWND h) : hwnd(h) {}
  virtual ~ControlState() = default;
  HWND hwnd;
  int depth = 0;
  bool dead = false;
  DWORD style() const { return static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)); }
  UINT id() const { return static_cast<UINT>(GetWindowLongPtrW(hwnd, GWLP_ID)); }
  HWND parent() const { return GetParent(hwnd); }
};

// WM_COMMAND (id, code) to the parent.
void notifyCommand(HWND control, int code);
// WM_NOTIFY to the parent with the header filled in; returns the parent's answer.
LRESULT notify(HWND control, NMHDR& header, UINT code);
// BeginPaint, WM_CTLCOLOR* (`ctlColor`, 0 for none) to the parent, `drawItems` for owner-draw
// controls, EndPaint.
// `fillArea` limits the background to part of the client area (a combo box's closed field).
template <class F>
void paint(HWND control, UINT ctlColor, F drawItems, const RECT* fillArea = nullptr) {
  PAINTSTRUCT ps;
  BeginPaint(control, &ps);
  if (ctlColor) {
    HWND p = GetParent(control);
    auto brush = p ? reinterpret_cast<HBRUSH>(SendMessageW(p, ctlColor, reinterpret_cast<WPARAM>(ps.hdc),
                                                            reinterpret_cast<LPARAM>(control)))
                   : nullptr;
    // The parent's brush fills the background; without an answer, the system colour of the
    // control's kind does, as the default answer gives it.
    RECT client{};
    GetClientRect(control, &client);
    if (fillArea) IntersectRect(&client, &client, fillArea);
    if (brush) {
      FillRect(ps.hdc, &client, brush);
    } else {
      const bool window = ctlColor == WM_CTLCOLOREDIT || ctlColor == WM_CTLCOLORLISTBOX;
      HBRUSH face = CreateSolidBrush(GetSysColor(window ? COLOR_WINDOW : COLOR_BTNFACE));
      FillRect(ps.hdc, &client, face);
      DeleteObject(face);
    }
  }
  drawItems(ps.hdc);
  EndPaint(control, &ps);
}
// WM_DRAWITEM to the parent.
void sendDrawItem(HWND control, UINT type, UINT itemId, UINT action, UINT state, const RECT& rc, ULONG_PTR data,
                  HDC hdc);
// Copies text into a caller's buffer of `max` characters (NUL included); the count copied.
int copyOut(std::u16string_view text, LPWSTR buffer, int max);
// Client rectangle height.
int clientHeight(HWND hwnd);
int clientWidth(HWND hwnd);
// A string from an LPARAM text pointer (null: empty).
inline std::u16string textOf(LPARAM p) { return std::u16string(text::view(reinterpret_cast<LPCWSTR>(p))); }
// Case-insensitive prefix test (the list boxes' and list view's partial match).
bool startsWithNoCase(std::u16string_view s, std::u16string_view prefix);

// Window procedures of the classes.
LRESULT CALLBACK buttonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK editProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK staticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK listBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK comboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK listViewProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK treeViewProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK progressProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK tabProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK animateProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK tooltipProc(HWND, UINT, WPARAM, LPARAM);

}  // namespace platform::controls::detail
