// The "ListBox" class: single, multiple (LBS_MULTIPLESEL) and extended (LBS_EXTENDEDSEL)
// selection, sorted lists (LBS_SORT), item data, owner-draw rows (WM_MEASUREITEM when created,
// or per item for LBS_OWNERDRAWVARIABLE; WM_DRAWITEM per visible row when painting) and
// WM_DELETEITEM for removed items with data. Rows are kListBoxItemHeight pixels (or what
// WM_MEASUREITEM answered) from the top index down. LBN_SELCHANGE and LBN_DBLCLK go to the
// parent only for the user's mouse and keyboard actions and only with LBS_NOTIFY; selecting by
// message notifies nobody, as on Windows.
#include <algorithm>

#include "platform/win32/controls/classic.h"
#include "platform/win32/controls/control_base.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/controls/item_list.h"

namespace platform::controls::detail {

namespace {

constexpr WPARAM kMkShift = 0x0004;
constexpr WPARAM kMkControl = 0x0008;

struct ListBox : ControlState {
  ListBox(HWND h, const CREATESTRUCTW& cs) : ControlState(h) {
    list.hasStrings = !(cs.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) || (cs.style & LBS_HASSTRINGS);
  }

  ItemList list;
  int curSel = -1;  // single selection
  int caret = 0;    // the focus row (multiple selection: LB_GETCURSEL's answer)
  int anchor = 0;
  int top = 0;
  int itemHeight = kListBoxItemHeight;
  bool focused = false;

  bool multi() const { return (style() & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0; }
  bool ownerDraw() const { return (style() & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0; }
  int count() const { return list.count(); }
  int visibleRows() const { return std::max(1, clientHeight(hwnd) / std::max(1, itemHeight)); }

  void selChangeByUser() {
    if (style() & LBS_NOTIFY) notifyCommand(hwnd, LBN_SELCHANGE);
  }

  void ensureVisible(int i) {
    if (i < 0) return;
    if (i < top) top = i;
    else if (i >= top + visibleRows()) top = i - visibleRows() + 1;
  }

  void measure(int index, ULONG_PTR data) {
    HWND p = parent();
    if (!p) return;
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_LISTBOX;
    mis.CtlID = id();
    mis.itemID = static_cast<UINT>(index);
    mis.itemWidth = static_cast<UINT>(clientWidth(hwnd));
    mis.itemHeight = static_cast<UINT>(itemHeight);
    mis.itemData = data;
    SendMessageW(p, WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
    if (style() & LBS_OWNERDRAWFIXED) itemHeight = std::max(1, static_cast<int>(mis.itemHeight));
  }

  void deleted(int index) {
    const ListItem& it = list.items[static_cast<std::size_t>(index)];
    HWND p = parent();
    if (!p || it.data == 0) return;
    DELETEITEMSTRUCT dis{};
    dis.CtlType = ODT_LISTBOX;
    dis.CtlID = id();
    dis.itemID = static_cast<UINT>(index);
    dis.hwndItem = hwnd;
    dis.itemData = it.data;
    SendMessageW(p, WM_DELETEITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
  }

  LRESULT add(int index, LPARAM value, bool sorted) {
    if (sorted && list.hasStrings) index = list.sortedPosition(text::view(reinterpret_cast<LPCWSTR>(value)));
    int at = list.insert(index, value);
    if (at < 0) return LB_ERR;
    if (curSel >= at) ++curSel;
    if (style() & LBS_OWNERDRAWVARIABLE) measure(at, list.items[static_cast<std::size_t>(at)].data);
    InvalidateRect(hwnd, nullptr, TRUE);
    return at;
  }

  LRESULT remove(WPARAM index) {
    if (!list.valid(index)) return LB_ERR;
    int i = static_cast<int>(index);
    deleted(i);
    list.items.erase(list.items.begin() + i);
    if (curSel == i) curSel = -1;
    else if (curSel > i) --curSel;
    if (caret >= count()) caret = std::max(0, count() - 1);
    if (top >= count()) top = std::max(0, count() - 1);
    InvalidateRect(hwnd, nullptr, TRUE);
    return count();
  }

  void reset() {
    for (int i = 0; i < count(); ++i) deleted(i);
    list.items.clear();
    curSel = -1;
    caret = anchor = top = 0;
    InvalidateRect(hwnd, nullptr, TRUE);
  }

  // A click on row `i` with the mouse keys `keys`.
  void clickRow(int i, WPARAM keys) {
    if (GetFocus() != hwnd) SetFocus(hwnd);
    if (i < 0 || i >= count()) return;
    bool changed = false;
    if (style() & LBS_MULTIPLESEL) {
      list.items[static_cast<std::size_t>(i)].selected = !list.items[static_cast<std::size_t>(i)].selected;
      changed = true;
    } else if (style() & LBS_EXTENDEDSEL) {
      if (keys & kMkControl) {
        list.items[static_cast<std::size_t>(i)].selected = !list.items[static_cast<std::size_t>(i)].selected;
        anchor = i;
      } else {
        int lo = (keys & kMkShift) ? std::min(anchor, i) : i, hi = (keys & kMkShift) ? std::max(anchor, i) : i;
        for (int k = 0; k < count(); ++k) list.items[static_cast<std::size_t>(k)].selected = k >= lo && k <= hi;
        if (!(keys & kMkShift)) anchor = i;
      }
      changed = true;
    } else {
      changed = curSel != i;
      curSel = i;
    }
    caret = i;
    ensureVisible(i);
    InvalidateRect(hwnd, nullptr, FALSE);
    if (changed) selChangeByUser();
  }

  int rowAt(LPARAM lParam) const {
    int y = static_cast<short>(HIWORD(lParam));
    if (y < 0) return -1;
    return top + y / std::max(1, itemHeight);
  }

  void keyDown(WPARAM vk) {
    if (count() == 0) return;
    int from = multi() ? caret : curSel;
    int to = from;
    if (vk == VK_DOWN) to = std::min(count() - 1, from + 1);
    else if (vk == VK_UP) to = std::max(0, from - 1);
    else if (vk == VK_SPACE && multi()) {
      clickRow(caret, kMkControl);
      return;
    } else return;
    if (to == from && from >= 0) return;
    if (multi()) {
      caret = to;
      ensureVisible(to);
      InvalidateRect(hwnd, nullptr, FALSE);
      return;
    }
    clickRow(to, 0);
  }

  void paintRows() {
    paint(hwnd, WM_CTLCOLORLISTBOX, [&](HDC hdc) {
      if (!ownerDraw()) {
        classic::Rows rows;
        for (int i = 0; i < count(); ++i) {
          rows.texts.push_back(list.items[static_cast<std::size_t>(i)].text);
          rows.selected.push_back(multi() ? list.items[static_cast<std::size_t>(i)].selected : i == curSel);
        }
        rows.top = top;
        rows.rowHeight = itemHeight;
        classic::listBox(hdc, hwnd, rows, (style() & WS_BORDER) != 0);
        return;
      }
      int width = clientWidth(hwnd);
      for (int i = top, row = 0; i < count() && row < visibleRows(); ++i, ++row) {
        bool sel = multi() ? list.items[static_cast<std::size_t>(i)].selected : i == curSel;
        UINT state = (sel ? ODS_SELECTED : 0) | (focused && i == caret ? ODS_FOCUS : 0) |
                     (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
        RECT rc{0, row * itemHeight, width, (row + 1) * itemHeight};
        sendDrawItem(hwnd, ODT_LISTBOX, static_cast<UINT>(i), ODA_DRAWENTIRE, state, rc,
                     list.items[static_cast<std::size_t>(i)].data, hdc);
      }
    });
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_CREATE:
        if (style() & LBS_OWNERDRAWFIXED) measure(0, 0);
        return 0;
      case WM_DESTROY: reset(); return 0;
      case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
      case LB_ADDSTRING: return add(-1, lParam, (style() & LBS_SORT) != 0);
      case LB_INSERTSTRING: return add(static_cast<int>(wParam), lParam, false);
      case LB_DELETESTRING: return remove(wParam);
      case LB_RESETCONTENT: reset(); return 0;
      case LB_GETCOUNT: return count();
      case LB_GETTEXT: return list.getText(wParam, lParam);
      case LB_GETTEXTLEN: return list.textLength(wParam);
      case LB_GETITEMDATA: return list.valid(wParam) ? static_cast<LRESULT>(list.items[wParam].data) : LB_ERR;
      case LB_SETITEMDATA:
        if (!list.valid(wParam)) return LB_ERR;
        list.items[wParam].data = static_cast<ULONG_PTR>(lParam);
        return TRUE;
      case LB_SETCURSEL: {
        if (multi()) return LB_ERR;
        int i = static_cast<int>(wParam);
        if (i == -1) {
          curSel = -1;
          InvalidateRect(hwnd, nullptr, FALSE);
          return LB_ERR;
        }
        if (!list.valid(wParam)) return LB_ERR;
        curSel = caret = i;
        ensureVisible(i);
        InvalidateRect(hwnd, nullptr, FALSE);
        return i;
      }
      case LB_GETCURSEL: return multi() ? (count() ? caret : LB_ERR) : curSel;
      case LB_SETSEL: {
        if (!multi()) return LB_ERR;
        int i = static_cast<int>(lParam);
        if (i == -1) {
          for (auto& it : list.items) it.selected = wParam != 0;
        } else {
          if (!list.valid(static_cast<WPARAM>(lParam))) return LB_ERR;
          list.items[static_cast<std::size_t>(i)].selected = wParam != 0;
          caret = i;
        }
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
      }
      case LB_GETSEL:
        if (!list.valid(wParam)) return LB_ERR;
        return multi() ? (list.items[wParam].selected ? 1 : 0) : (static_cast<int>(wParam) == curSel ? 1 : 0);
      case LB_GETSELCOUNT:
        if (!multi()) return LB_ERR;
        return std::count_if(list.items.begin(), list.items.end(), [](const ListItem& it) { return it.selected; });
      case LB_GETSELITEMS: {
        if (!multi()) return LB_ERR;
        auto* out = reinterpret_cast<int*>(lParam);
        int n = 0;
        for (int i = 0; i < count() && n < static_cast<int>(wParam); ++i)
          if (list.items[static_cast<std::size_t>(i)].selected) out[n++] = i;
        return n;
      }
      case LB_FINDSTRING: return list.find(wParam, lParam, false);
      case LB_FINDSTRINGEXACT: return list.find(wParam, lParam, true);
      case LB_SELECTSTRING: {
        if (multi()) return LB_ERR;
        int i = list.find(wParam, lParam, false);
        if (i < 0) return LB_ERR;
        curSel = caret = i;
        ensureVisible(i);
        InvalidateRect(hwnd, nullptr, FALSE);
        return i;
      }
      case LB_SETTOPINDEX:
        if (!list.valid(wParam) && !(wParam == 0 && count() == 0)) return LB_ERR;
        top = static_cast<int>(wParam);
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
      case LB_GETTOPINDEX: return top;
      case LB_SETCARETINDEX:
        if (!list.valid(wParam)) return LB_ERR;
        caret = static_cast<int>(wParam);
        ensureVisible(caret);
        return 0;
      case LB_GETCARETINDEX: return count() ? caret : (multi() ? 0 : LB_ERR);
      case LB_SETITEMHEIGHT:
        if (LOWORD(lParam) == 0 || LOWORD(lParam) > 255) return LB_ERR;
        itemHeight = LOWORD(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
      case LB_GETITEMHEIGHT: return itemHeight;
      case LB_GETITEMRECT: {
        if (!list.valid(wParam) && !(wParam == 0 && count() == 0)) return LB_ERR;
        auto* r = reinterpret_cast<RECT*>(lParam);
        int row = static_cast<int>(wParam) - top;
        *r = RECT{0, row * itemHeight, clientWidth(hwnd), (row + 1) * itemHeight};
        return 1;
      }
      case LB_ITEMFROMPOINT: {
        int i = rowAt(lParam);
        bool outside = i < 0 || i >= count();
        if (i >= count()) i = std::max(0, count() - 1);
        return MAKELRESULT(std::max(0, i), outside ? 1 : 0);
      }
      case WM_LBUTTONDOWN: clickRow(rowAt(lParam), wParam); return 0;
      case WM_LBUTTONDBLCLK: {
        int i = rowAt(lParam);
        clickRow(i, wParam);
        if (i >= 0 && i < count() && (style() & LBS_NOTIFY)) notifyCommand(hwnd, LBN_DBLCLK);
        return 0;
      }
      case WM_KEYDOWN: keyDown(wParam); return 0;
      case WM_SETFOCUS:
        focused = true;
        InvalidateRect(hwnd, nullptr, FALSE);
        if (style() & LBS_NOTIFY) notifyCommand(hwnd, LBN_SETFOCUS);
        return 0;
      case WM_KILLFOCUS:
        focused = false;
        InvalidateRect(hwnd, nullptr, FALSE);
        if (style() & LBS_NOTIFY) notifyCommand(hwnd, LBN_KILLFOCUS);
        return 0;
      case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
      case WM_PAINT: paintRows(); return 0;
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK listBoxProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<ListBox>(h, m, w, l); }

}  // namespace platform::controls::detail
