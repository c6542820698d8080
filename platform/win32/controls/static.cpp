// The "Static" class: text, icon (SS_ICON), bitmap (SS_BITMAP) and owner-draw (SS_OWNERDRAW)
// labels. With SS_NOTIFY a click sends STN_CLICKED (a double click STN_DBLCLK); without it the
// label is transparent to the mouse and a click does nothing.
#include "platform/win32/controls/classic.h"
#include "platform/win32/controls/control_base.h"

namespace platform::controls::detail {

namespace {

struct Static : ControlState {
  // The image of an SS_ICON or SS_BITMAP static is set with STM_SETICON/STM_SETIMAGE (loading
  // the resource its window name names waits for images from modules).
  Static(HWND h, const CREATESTRUCTW&) : ControlState(h) {}

  HANDLE icon = nullptr;
  HANDLE bitmap = nullptr;

  DWORD type() const { return style() & SS_TYPEMASK; }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_GETDLGCODE: return DLGC_STATIC;
      case STM_SETICON: {
        HANDLE old = icon;
        icon = reinterpret_cast<HANDLE>(wParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
      }
      case STM_GETICON: return reinterpret_cast<LRESULT>(icon);
      case STM_SETIMAGE: {
        if (wParam != IMAGE_ICON && wParam != IMAGE_BITMAP && wParam != IMAGE_CURSOR) return 0;
        HANDLE& slot = wParam == IMAGE_BITMAP ? bitmap : icon;
        HANDLE old = slot;
        slot = reinterpret_cast<HANDLE>(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
      }
      case STM_GETIMAGE:
        if (wParam == IMAGE_BITMAP) return reinterpret_cast<LRESULT>(bitmap);
        if (wParam == IMAGE_ICON || wParam == IMAGE_CURSOR) return reinterpret_cast<LRESULT>(icon);
        return 0;
      case WM_NCHITTEST:
        // Windows lets clicks fall through a label that does not notify.
        return (style() & SS_NOTIFY) ? HTCLIENT : -1 /* HTTRANSPARENT */;
      case WM_LBUTTONDOWN:
        if (style() & SS_NOTIFY) notifyCommand(hwnd, STN_CLICKED);
        return 0;
      case WM_LBUTTONDBLCLK:
        if (style() & SS_NOTIFY) notifyCommand(hwnd, STN_DBLCLK);
        return 0;
      case WM_ENABLE:
        if (style() & SS_NOTIFY) notifyCommand(hwnd, wParam ? STN_ENABLE : STN_DISABLE);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
      case WM_SETTEXT: {
        LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
      }
      case WM_PAINT:
        paint(hwnd, WM_CTLCOLORSTATIC, [&](HDC hdc) {
          if (type() != SS_OWNERDRAW) {
            classic::staticText(hdc, hwnd, style());
            return;
          }
          RECT rc{0, 0, clientWidth(hwnd), clientHeight(hwnd)};
          sendDrawItem(hwnd, ODT_STATIC, 0, ODA_DRAWENTIRE, IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED, rc, 0, hdc);
        });
        return 0;
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK staticProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<Static>(h, m, w, l); }

}  // namespace platform::controls::detail
