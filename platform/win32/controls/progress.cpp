// The "msctls_progress32" class: a range (0-100 by default), a position kept inside it, and a
// step (10 by default). Each setter answers the previous value as Windows does.
#include <algorithm>

#include "platform/win32/controls/classic.h"
#include "platform/win32/controls/control_base.h"

namespace platform::controls::detail {

namespace {

struct Progress : ControlState {
  Progress(HWND h, const CREATESTRUCTW&) : ControlState(h) {}

  int low = 0;
  int high = 100;
  int pos = 0;
  int step = 10;
  COLORREF bar = CLR_DEFAULT;
  COLORREF back = CLR_DEFAULT;

  int setPos(int p) {
    int old = pos;
    pos = std::clamp(p, std::min(low, high), std::max(low, high));
    if (pos != old) InvalidateRect(hwnd, nullptr, FALSE);
    return old;
  }

  LRESULT setRange(int l, int h) {
    LRESULT old = MAKELRESULT(static_cast<WORD>(low), static_cast<WORD>(high));
    low = l;
    high = h;
    setPos(pos);
    InvalidateRect(hwnd, nullptr, FALSE);
    return old;
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case PBM_SETRANGE: return setRange(LOWORD(lParam), HIWORD(lParam));
      case PBM_SETRANGE32: return setRange(static_cast<int>(wParam), static_cast<int>(lParam));
      case PBM_GETRANGE: {
        if (auto* r = reinterpret_cast<PBRANGE*>(lParam)) *r = PBRANGE{low, high};
        return wParam ? low : high;
      }
      case PBM_SETPOS: return setPos(static_cast<int>(wParam));
      case PBM_DELTAPOS: return setPos(pos + static_cast<int>(wParam));
      case PBM_GETPOS: return pos;
      case PBM_SETSTEP: {
        int old = step;
        step = static_cast<int>(wParam);
        return old;
      }
      case PBM_STEPIT: {
        // Stepping past the end wraps to the start, as Windows does.
        int old = pos;
        int next = pos + step;
        if (next > std::max(low, high)) next = std::min(low, high) + (next - std::max(low, high));
        else if (next < std::min(low, high)) next = std::max(low, high) - (std::min(low, high) - next);
        setPos(next);
        return old;
      }
      case PBM_SETBARCOLOR: {
        COLORREF old = bar;
        bar = static_cast<COLORREF>(lParam);
        return static_cast<LRESULT>(old);
      }
      case PBM_SETBKCOLOR: {
        COLORREF old = back;
        back = static_cast<COLORREF>(lParam);
        return static_cast<LRESULT>(old);
      }
      case WM_PAINT:
        paint(hwnd, 0, [&](HDC hdc) { classic::progressBar(hdc, hwnd, low, high, pos); });
        return 0;
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK progressProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<Progress>(h, m, w, l); }

}  // namespace platform::controls::detail
