// The "SysTabControl32" class: tabs with text, image and item data, the current tab, and the
// display area. Tabs lie in one row kTabHeight pixels tall along the top, each 12 pixels plus
// kTabCharWidth per character of its text wide, from the left. A click on a tab that is not the
// current one sends TCN_SELCHANGING (a nonzero answer vetoes the change), then TCN_SELCHANGE;
// TCM_SETCURSEL notifies nobody. The display area is the window less 4 pixels on each side and
// the tab row on top (TCM_ADJUSTRECT).
#include <algorithm>
#include <vector>

#include "platform/win32/controls/classic.h"
#include "platform/win32/controls/control_base.h"
#include "platform/win32/controls/controls.h"

namespace platform::controls::detail {

namespace {

constexpr int kTabPadding = 12;
constexpr int kBorder = 4;

struct Tab {
  std::u16string text;
  int image = -1;
  LPARAM param = 0;
  DWORD state = 0;
};

struct TabControl : ControlState {
  TabControl(HWND h, const CREATESTRUCTW&) : ControlState(h) {}

  std::vector<Tab> tabs;
  int cur = -1;
  int focus = -1;
  HIMAGELIST images = nullptr;

  int count() const { return static_cast<int>(tabs.size()); }
  bool valid(int i) const { return i >= 0 && i < count(); }

  RECT tabRect(int i) const {
    int left = 0;
    for (int k = 0; k < i; ++k) left += kTabPadding + kTabCharWidth * static_cast<int>(tabs[static_cast<std::size_t>(k)].text.size());
    int width = kTabPadding + kTabCharWidth * static_cast<int>(tabs[static_cast<std::size_t>(i)].text.size());
    return RECT{left, 0, left + width, kTabHeight};
  }
  int tabAt(int x, int y) const {
    if (y < 0 || y >= kTabHeight) return -1;
    for (int i = 0; i < count(); ++i) {
      RECT r = tabRect(i);
      if (x >= r.left && x < r.right) return i;
    }
    return -1;
  }

  void apply(Tab& t, const TCITEMW& it) {
    if (it.mask & TCIF_TEXT) t.text = text::view(it.pszText);
    if (it.mask & TCIF_IMAGE) t.image = it.iImage;
    if (it.mask & TCIF_PARAM) t.param = it.lParam;
    if (it.mask & TCIF_STATE) t.state = (t.state & ~it.dwStateMask) | (it.dwState & it.dwStateMask);
  }

  void userPick(int i) {
    if (!valid(i) || i == cur) return;
    NMHDR hdr{};
    if (notify(hwnd, hdr, TCN_SELCHANGING)) return;
    cur = focus = i;
    InvalidateRect(hwnd, nullptr, FALSE);
    NMHDR done{};
    notify(hwnd, done, TCN_SELCHANGE);
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
      case TCM_INSERTITEMW: {
        auto* it = reinterpret_cast<const TCITEMW*>(lParam);
        int at = static_cast<int>(wParam);
        if (!it || at < 0) return -1;
        at = std::min(at, count());
        Tab t;
        apply(t, *it);
        tabs.insert(tabs.begin() + at, t);
        // The first tab becomes the current one; later ones keep the current tab where it was.
        if (cur < 0) cur = 0;
        else if (cur >= at && count() > 1) ++cur;
        InvalidateRect(hwnd, nullptr, FALSE);
        return at;
      }
      case TCM_DELETEITEM: {
        int i = static_cast<int>(wParam);
        if (!valid(i)) return FALSE;
        tabs.erase(tabs.begin() + i);
        if (cur == i) cur = -1;
        else if (cur > i) --cur;
        if (focus >= count()) focus = -1;
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
      }
      case TCM_DELETEALLITEMS:
        tabs.clear();
        cur = focus = -1;
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
      case TCM_GETITEMCOUNT: return count();
      case TCM_GETCURSEL: return cur;
      case TCM_SETCURSEL: {
        int i = static_cast<int>(wParam);
        if (!valid(i)) return -1;
        int old = cur;
        cur = focus = i;
        InvalidateRect(hwnd, nullptr, FALSE);
        return old;
      }
      case TCM_GETCURFOCUS: return focus;
      case TCM_SETCURFOCUS:
        if (valid(static_cast<int>(wParam))) focus = static_cast<int>(wParam);
        return 0;
      case TCM_GETITEMW: {
        auto* it = reinterpret_cast<TCITEMW*>(lParam);
        int i = static_cast<int>(wParam);
        if (!it || !valid(i)) return FALSE;
        const Tab& t = tabs[static_cast<std::size_t>(i)];
        if (it->mask & TCIF_TEXT) copyOut(t.text, it->pszText, it->cchTextMax);
        if (it->mask & TCIF_IMAGE) it->iImage = t.image;
        if (it->mask & TCIF_PARAM) it->lParam = t.param;
        if (it->mask & TCIF_STATE) it->dwState = t.state & it->dwStateMask;
        return TRUE;
      }
      case TCM_SETITEMW: {
        auto* it = reinterpret_cast<const TCITEMW*>(lParam);
        int i = static_cast<int>(wParam);
        if (!it || !valid(i)) return FALSE;
        apply(tabs[static_cast<std::size_t>(i)], *it);
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
      }
      case TCM_GETITEMRECT: {
        auto* r = reinterpret_cast<RECT*>(lParam);
        int i = static_cast<int>(wParam);
        if (!r || !valid(i)) return FALSE;
        *r = tabRect(i);
        return TRUE;
      }
      case TCM_HITTEST: {
        struct HitTest {
          POINT pt;
          UINT flags;
        };
        auto* ht = reinterpret_cast<HitTest*>(lParam);
        if (!ht) return -1;
        int i = tabAt(ht->pt.x, ht->pt.y);
        ht->flags = i < 0 ? 1 /* TCHT_NOWHERE */ : 6 /* TCHT_ONITEM */;
        return i;
      }
      case TCM_ADJUSTRECT: {
        auto* r = reinterpret_cast<RECT*>(lParam);
        if (!r) return 0;
        if (wParam) {  // display area -> window
          r->left -= kBorder;
          r->right += kBorder;
          r->top -= kBorder + kTabHeight;
          r->bottom += kBorder;
        } else {
          r->left += kBorder;
          r->right -= kBorder;
          r->top += kBorder + kTabHeight;
          r->bottom -= kBorder;
        }
        return 0;
      }
      case TCM_SETIMAGELIST: {
        HIMAGELIST old = images;
        images = reinterpret_cast<HIMAGELIST>(lParam);
        return reinterpret_cast<LRESULT>(old);
      }
      case TCM_GETIMAGELIST: return reinterpret_cast<LRESULT>(images);
      case WM_LBUTTONDOWN: {
        if (GetFocus() != hwnd && !(style() & TCS_FOCUSNEVER)) SetFocus(hwnd);
        userPick(tabAt(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))));
        return 0;
      }
      case WM_LBUTTONUP: {
        NMHDR hdr{};
        notify(hwnd, hdr, NM_CLICK);
        return 0;
      }
      case WM_KEYDOWN:
        if (wParam == VK_RIGHT) userPick(cur + 1);
        else if (wParam == VK_LEFT) userPick(cur - 1);
        return 0;
      case WM_PAINT:
        paint(hwnd, 0, [&](HDC hdc) {
          std::vector<std::u16string> labels;
          for (const Tab& t : tabs) labels.push_back(t.text);
          classic::tabs(hdc, hwnd, labels, cur);
        });
        return 0;
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK tabProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<TabControl>(h, m, w, l); }

}  // namespace platform::controls::detail
