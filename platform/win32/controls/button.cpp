// The "Button" class: push and default push buttons, check boxes (two and three states, plain
// and automatic), radio buttons (an automatic one unchecks the radio buttons of its group), group
// boxes and owner-draw buttons. A click is a press and a release inside the button (mouse or
// space bar); BM_CLICK is that press and release, and does nothing on a disabled button.
#include <algorithm>
#include <vector>

#include "platform/win32/controls/classic.h"
#include "platform/win32/controls/control_base.h"

namespace platform::controls::detail {

namespace {

bool isCheckType(DWORD type) {
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
         type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}
bool isRadioType(DWORD type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }

struct Button : ControlState {
  Button(HWND h, const CREATESTRUCTW&) : ControlState(h) {}

  UINT check = BST_UNCHECKED;
  bool pushed = false;
  bool focused = false;
  bool down = false;  // pressed by the mouse or the space bar, waiting for the release
  HANDLE bitmap = nullptr;
  HANDLE icon = nullptr;

  DWORD type() const { return style() & BS_TYPEMASK; }

  void setPushed(bool p) {
    if (pushed == p) return;
    pushed = p;
    InvalidateRect(hwnd, nullptr, FALSE);
  }

  void setCheck(UINT value) {
    DWORD t = type();
    if (!isCheckType(t)) return;
    if (value == BST_INDETERMINATE && t != BS_3STATE && t != BS_AUTO3STATE) value = BST_CHECKED;
    if (value > BST_INDETERMINATE) value = BST_CHECKED;
    if (isRadioType(t)) {
      // A checked radio button is the group's tab stop.
      LONG_PTR s = GetWindowLongPtrW(hwnd, GWL_STYLE);
      LONG_PTR n = value ? (s | WS_TABSTOP) : (s & ~static_cast<LONG_PTR>(WS_TABSTOP));
      if (n != s) SetWindowLongPtrW(hwnd, GWL_STYLE, n);
    }
    if (check != value) {
      check = value;
      InvalidateRect(hwnd, nullptr, FALSE);
    }
  }

  // The siblings in this button's group: from the nearest WS_GROUP window at or before it up to
  // the next WS_GROUP window.
  std::vector<HWND> group() const {
    std::vector<HWND> siblings;
    for (HWND s = GetWindow(hwnd, GW_HWNDFIRST); s; s = GetWindow(s, GW_HWNDNEXT)) siblings.push_back(s);
    auto self = std::find(siblings.begin(), siblings.end(), hwnd);
    if (self == siblings.end()) return {hwnd};
    auto begin = self;
    while (begin != siblings.begin() && !(GetWindowLongPtrW(*begin, GWL_STYLE) & WS_GROUP)) --begin;
    auto end = self + 1;
    while (end != siblings.end() && !(GetWindowLongPtrW(*end, GWL_STYLE) & WS_GROUP)) ++end;
    return std::vector<HWND>(begin, end);
  }

  // What a completed click does before the parent hears of it.
  void clicked() {
    switch (type()) {
      case BS_AUTOCHECKBOX: setCheck(check ? BST_UNCHECKED : BST_CHECKED); break;
      case BS_AUTO3STATE: setCheck(check == BST_UNCHECKED ? BST_CHECKED
                                   : check == BST_CHECKED  ? BST_INDETERMINATE
                                                           : BST_UNCHECKED);
        break;
      case BS_AUTORADIOBUTTON:
        for (HWND s : group())
          if (s != hwnd && (SendMessageW(s, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON))
            SendMessageW(s, BM_SETCHECK, BST_UNCHECKED, 0);
        setCheck(BST_CHECKED);
        break;
      default: break;
    }
    notifyCommand(hwnd, BN_CLICKED);
  }

  bool inside(LPARAM lParam) const {
    int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    return x >= 0 && y >= 0 && x <= clientWidth(hwnd) && y <= clientHeight(hwnd);
  }

  UINT dlgCode() const {
    switch (type()) {
      case BS_DEFPUSHBUTTON: return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      case BS_PUSHBUTTON:
      case BS_OWNERDRAW:
      case BS_PUSHBOX:
      case BS_USERBUTTON: return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON: return DLGC_BUTTON | DLGC_RADIOBUTTON;
      case BS_GROUPBOX: return DLGC_STATIC;
      default: return DLGC_BUTTON;
    }
  }

  void paintButton() {
    DWORD t = type();
    // Check boxes, radio buttons and group boxes paint as statics do; push buttons with the
    // button colour.
    UINT color = (isCheckType(t) || t == BS_GROUPBOX) ? WM_CTLCOLORSTATIC : WM_CTLCOLORBTN;
    paint(hwnd, color, [&](HDC hdc) {
      if (t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || t == BS_PUSHBOX) {
        classic::pushButton(hdc, hwnd, pushed, t == BS_DEFPUSHBUTTON, focused);
        return;
      }
      if (isCheckType(t)) {
        const bool radio = t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON;
        classic::checkBox(hdc, hwnd, radio ? 1 : 0, check, pushed);
        return;
      }
      if (t == BS_GROUPBOX) {
        classic::groupBox(hdc, hwnd);
        return;
      }
      if (t != BS_OWNERDRAW) return;
      UINT state = 0;
      if (pushed) state |= ODS_SELECTED;
      if (focused) state |= ODS_FOCUS;
      if (!IsWindowEnabled(hwnd)) state |= ODS_DISABLED;
      RECT rc{0, 0, clientWidth(hwnd), clientHeight(hwnd)};
      sendDrawItem(hwnd, ODT_BUTTON, 0, ODA_DRAWENTIRE, state, rc, 0, hdc);
    });
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_GETDLGCODE: return dlgCode();
      case BM_GETCHECK: return isCheckType(type()) ? check : BST_UNCHECKED;
      case BM_SETCHECK: setCheck(static_cast<UINT>(wParam)); return 0;
      case BM_GETSTATE:
        return (isCheckType(type()) ? check : 0) | (pushed ? BST_PUSHED : 0) | (focused ? BST_FOCUS : 0);
      case BM_SETSTATE: setPushed(wParam != 0); return 0;
      case BM_SETSTYLE: {
        LONG_PTR s = GetWindowLongPtrW(hwnd, GWL_STYLE);
        SetWindowLongPtrW(hwnd, GWL_STYLE, (s & ~static_cast<LONG_PTR>(0xFFFF)) | LOWORD(wParam));
        if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
      }
      case BM_CLICK:
        if (!IsWindowEnabled(hwnd)) return 0;
        SendMessageW(hwnd, WM_LBUTTONDOWN, 0x0001 /* MK_LBUTTON */, 0);
        SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
        return 0;
      case BM_SETIMAGE: {
        HANDLE& slot = wParam == IMAGE_ICON ? icon : bitmap;
        HANDLE old = slot;
        slot = reinterpret_cast<HANDLE>(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
      }
      case BM_GETIMAGE: return reinterpret_cast<LRESULT>(wParam == IMAGE_ICON ? icon : bitmap);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        if (type() == BS_GROUPBOX) return 0;
        down = true;
        SetCapture(hwnd);
        if (GetFocus() != hwnd) SetFocus(hwnd);
        setPushed(true);
        return 0;
      case WM_LBUTTONUP: {
        if (!down) return 0;
        down = false;
        if (GetCapture() == hwnd) ReleaseCapture();
        setPushed(false);
        if (inside(lParam)) clicked();
        return 0;
      }
      case WM_KEYDOWN:
        if (wParam == VK_SPACE && type() != BS_GROUPBOX) {
          down = true;
          setPushed(true);
        }
        return 0;
      case WM_KEYUP:
        if (wParam == VK_SPACE && down) {
          down = false;
          setPushed(false);
          clicked();
        }
        return 0;
      case WM_SETFOCUS:
        focused = true;
        InvalidateRect(hwnd, nullptr, FALSE);
        if (style() & BS_NOTIFY) notifyCommand(hwnd, BN_SETFOCUS);
        return 0;
      case WM_KILLFOCUS:
        focused = false;
        if (down && GetCapture() != hwnd) {
          down = false;
          setPushed(false);
        }
        InvalidateRect(hwnd, nullptr, FALSE);
        if (style() & BS_NOTIFY) notifyCommand(hwnd, BN_KILLFOCUS);
        return 0;
      case WM_CAPTURECHANGED:
        if (down && reinterpret_cast<HWND>(lParam) != hwnd) {
          down = false;
          setPushed(false);
        }
        return 0;
      case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
      case WM_SETTEXT: {
        LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
      }
      case WM_PAINT: paintButton(); return 0;
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK buttonProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<Button>(h, m, w, l); }

}  // namespace platform::controls::detail
