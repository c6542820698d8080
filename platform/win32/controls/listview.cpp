// The "SysListView32" class in report view: columns, items with sub-item texts, images, item
// data, states (selection, focus, the state image a check box shows with LVS_EX_CHECKBOXES),
// find, sort and scrolling. Every state change, also one made by message, is announced to the
// parent as Windows does: LVN_ITEMCHANGING (a nonzero answer vetoes it), then LVN_ITEMCHANGED.
// Layout: a header of kListViewHeaderHeight pixels (none with LVS_NOCOLUMNHEADER), then rows of
// kListViewRowHeight from the top index; the check box is the first kListViewCheckWidth pixels of
// a row. A click on the header sends LVN_COLUMNCLICK; a click on a row selects it (the others are
// deselected) and NM_CLICK follows on release; a double click sends NM_DBLCLK and LVN_ITEMACTIVATE.
// Column auto-size uses the fixed metric of 6 pixels per character plus 12.
// The icon views have no header; each item is a grid cell's box at its position (the icon above,
// the label below), which item rectangles, hit tests and clicks follow.
// There is no header child window (LVM_GETHEADER gives NULL) and nothing is drawn.
#include <algorithm>
#include <array>
#include <set>
#include <utility>
#include <vector>

#include "platform/win32/controls/classic.h"
#include "platform/win32/controls/control_base.h"
#include "platform/win32/controls/controls.h"

namespace platform::controls::detail {

namespace {

constexpr int kCharWidth = 6;
constexpr int kTextPadding = 12;
constexpr WPARAM kMkShift = 0x0004;
constexpr WPARAM kMkControl = 0x0008;
constexpr UINT kLvkfControl = 0x0002;  // NMITEMACTIVATE's key flags
constexpr UINT kLvkfShift = 0x0004;

struct Column {
  int fmt = LVCFMT_LEFT;
  int cx = 0;
  std::u16string text;
  int image = 0;
  int order = 0;
};

struct Item {
  std::vector<std::u16string> texts{std::u16string()};  // [0] the label, then sub-items
  bool callbackText = false;
  int image = 0;
  LPARAM param = 0;
  UINT state = 0;
  int indent = 0;
  POINT pos{};          // icon views: the item's position in the view
  bool placed = false;  // given a position yet
};

struct ListView : ControlState {
  ListView(HWND h, const CREATESTRUCTW&) : ControlState(h) {}

  std::vector<Column> columns;
  std::vector<Item> items;
  std::array<HIMAGELIST, 3> imageLists{};
  DWORD exStyle = 0;
  int top = 0;
  int selectionMark = -1;
  int pressedRow = -2;  // row under the last button press (-1: empty area), -2: none
  std::vector<RECT> workAreas;  // none: the client area is the one work area

  // ---- Positions in the icon views (XP's default icon spacing) ----
  static constexpr int kSpacing = 75;

  bool iconView() const { return (style() & LVS_TYPEMASK) == LVS_ICON || (style() & LVS_TYPEMASK) == LVS_SMALLICON; }
  RECT area() const {
    if (!workAreas.empty()) return workAreas.front();
    return RECT{0, 0, std::max(clientWidth(hwnd), kSpacing), std::max(clientHeight(hwnd), kSpacing)};
  }
  // The origin of grid cell n of the first work area: rows across (LVS_ALIGNLEFT: columns down).
  POINT cell(int n) const {
    RECT a = area();
    const int across = std::max(1, static_cast<int>(a.right - a.left) / kSpacing);
    const int down = std::max(1, static_cast<int>(a.bottom - a.top) / kSpacing);
    if (style() & LVS_ALIGNLEFT) return POINT{a.left + (n / down) * kSpacing, a.top + (n % down) * kSpacing};
    return POINT{a.left + (n % across) * kSpacing, a.top + (n / across) * kSpacing};
  }
  POINT snapped(POINT p) const {
    RECT a = area();
    auto snap = [](int v, int origin) {
      int d = v - origin;
      int k = (d >= 0 ? d + kSpacing / 2 : d - kSpacing / 2) / kSpacing;
      return origin + k * kSpacing;
    };
    return POINT{snap(p.x, a.left), snap(p.y, a.top)};
  }
  // Every item to its cell in order (LVS_AUTOARRANGE keeps the view so).
  void arrange() {
    for (int i = 0; i < count(); ++i) {
      items[i].pos = cell(i);
      items[i].placed = true;
    }
  }
  // New items take the next cell no placed item occupies. The cells before the one an item took
  // are all taken, so the search for the next item goes on from there.
  void placeNew() {
    if (style() & LVS_AUTOARRANGE) {
      arrange();
      return;
    }
    std::set<std::pair<LONG, LONG>> taken;
    bool unplaced = false;
    for (const auto& o : items) {
      if (o.placed)
        taken.emplace(o.pos.x, o.pos.y);
      else
        unplaced = true;
    }
    if (!unplaced) return;
    int n = 0;
    for (auto& it : items) {
      if (it.placed) continue;
      POINT c = cell(n);
      while (taken.count({c.x, c.y})) c = cell(++n);
      it.pos = c;
      it.placed = true;
      taken.emplace(c.x, c.y);
    }
  }
  // Views other than the icon views place their new items only when a position is needed (the
  // view turned to icons, a position asked for): a report of thousands of rows has no cells.
  bool placementPending = false;
  void placeInserted() {
    if (iconView())
      placeNew();
    else
      placementPending = true;
  }
  void ensurePlaced() {
    if (!placementPending) return;
    placementPending = false;
    placeNew();
  }
  LRESULT setPosition(int i, POINT p) {
    if (!valid(i) || !iconView()) return FALSE;
    if (exStyle & LVS_EX_SNAPTOGRID) p = snapped(p);
    items[i].pos = p;
    items[i].placed = true;
    if (style() & LVS_AUTOARRANGE) arrange();
    InvalidateRect(hwnd, nullptr, FALSE);
    return TRUE;
  }

  int count() const { return static_cast<int>(items.size()); }
  bool valid(int i) const { return i >= 0 && i < count(); }
  // The icon views have no header.
  int headerHeight() const { return (iconView() || (style() & LVS_NOCOLUMNHEADER)) ? 0 : kListViewHeaderHeight; }
  int perPage() const { return std::max(1, (clientHeight(hwnd) - headerHeight()) / kListViewRowHeight); }

  NMLISTVIEW header(int i, int sub = 0) const {
    NMLISTVIEW nm{};
    nm.iItem = i;
    nm.iSubItem = sub;
    if (valid(i)) nm.lParam = items[static_cast<std::size_t>(i)].param;
    return nm;
  }

  // Applies a state change with its notifications; false when the parent vetoed it.
  bool setState(int i, UINT state, UINT mask) {
    if (!valid(i)) return false;
    UINT old = items[static_cast<std::size_t>(i)].state;
    UINT now = (old & ~mask) | (state & mask);
    if (now == old) return true;
    // Only one item has the focus; a single-selection list has one selected item.
    if ((now & LVIS_FOCUSED) && !(old & LVIS_FOCUSED))
      for (int k = 0; k < count(); ++k)
        if (k != i && (items[static_cast<std::size_t>(k)].state & LVIS_FOCUSED)) setState(k, 0, LVIS_FOCUSED);
    if ((style() & LVS_SINGLESEL) && (now & LVIS_SELECTED) && !(old & LVIS_SELECTED))
      for (int k = 0; k < count(); ++k)
        if (k != i && (items[static_cast<std::size_t>(k)].state & LVIS_SELECTED)) setState(k, 0, LVIS_SELECTED);
    if (!valid(i)) return false;
    old = items[static_cast<std::size_t>(i)].state;
    now = (old & ~mask) | (state & mask);
    NMLISTVIEW nm = header(i);
    nm.uNewState = now;
    nm.uOldState = old;
    nm.uChanged = LVIF_STATE;
    if (notify(hwnd, nm.hdr, LVN_ITEMCHANGING)) return false;
    if (!valid(i)) return false;
    items[static_cast<std::size_t>(i)].state = now;
    InvalidateRect(hwnd, nullptr, FALSE);
    nm = header(i);
    nm.uNewState = now;
    nm.uOldState = old;
    nm.uChanged = LVIF_STATE;
    notify(hwnd, nm.hdr, LVN_ITEMCHANGED);
    return true;
  }

  void setText(Item& it, int sub, LPCWSTR s) {
    if (sub < 0) return;
    if (static_cast<std::size_t>(sub) >= it.texts.size()) it.texts.resize(static_cast<std::size_t>(sub) + 1);
    if (sub == 0) it.callbackText = s == LPSTR_TEXTCALLBACKW;
    it.texts[static_cast<std::size_t>(sub)] = (s && s != LPSTR_TEXTCALLBACKW) ? std::u16string(text::view(s)) : u"";
  }
  const std::u16string& textOf(int i, int sub) const {
    static const std::u16string empty;
    const Item& it = items[static_cast<std::size_t>(i)];
    return static_cast<std::size_t>(sub) < it.texts.size() ? it.texts[static_cast<std::size_t>(sub)] : empty;
  }

  LRESULT insertItem(const LVITEMW* lv) {
    if (!lv || lv->iSubItem != 0 || lv->iItem < 0) return -1;
    Item it;
    if (lv->mask & LVIF_TEXT) setText(it, 0, lv->pszText);
    if (lv->mask & LVIF_IMAGE) it.image = lv->iImage;
    if (lv->mask & LVIF_PARAM) it.param = lv->lParam;
    if (lv->mask & LVIF_INDENT) it.indent = lv->iIndent;
    if (lv->mask & LVIF_STATE) it.state = lv->state & lv->stateMask & ~static_cast<UINT>(LVIS_FOCUSED | LVIS_SELECTED);
    if ((exStyle & LVS_EX_CHECKBOXES) && !(it.state & LVIS_STATEIMAGEMASK)) it.state |= INDEXTOSTATEIMAGEMASK(1);
    int at = std::min(lv->iItem, count());
    if (style() & (LVS_SORTASCENDING | LVS_SORTDESCENDING)) {
      bool down = (style() & LVS_SORTDESCENDING) != 0;
      at = 0;
      while (at < count()) {
        int c = text::compareNoCase(textOf(at, 0), it.texts[0]);
        if (down ? c < 0 : c > 0) break;
        ++at;
      }
    }
    items.insert(items.begin() + at, std::move(it));
    if (selectionMark >= at) ++selectionMark;
    placeInserted();
    InvalidateRect(hwnd, nullptr, FALSE);
    NMLISTVIEW nm = header(at);
    notify(hwnd, nm.hdr, LVN_INSERTITEM);
    // Selection and focus given at insertion are state changes like any other.
    if ((lv->mask & LVIF_STATE) && (lv->stateMask & lv->state & (LVIS_FOCUSED | LVIS_SELECTED)))
      setState(at, lv->state, lv->stateMask & (LVIS_FOCUSED | LVIS_SELECTED));
    return at;
  }

  BOOL setItem(const LVITEMW* lv) {
    if (!lv || !valid(lv->iItem) || lv->iSubItem < 0) return FALSE;
    Item& it = items[static_cast<std::size_t>(lv->iItem)];
    if (lv->mask & LVIF_TEXT) setText(it, lv->iSubItem, lv->pszText);
    if (lv->iSubItem == 0) {
      if (lv->mask & LVIF_IMAGE) it.image = lv->iImage;
      if (lv->mask & LVIF_PARAM) it.param = lv->lParam;
      if (lv->mask & LVIF_INDENT) it.indent = lv->iIndent;
    }
    InvalidateRect(hwnd, nullptr, FALSE);
    if (lv->iSubItem == 0 && (lv->mask & LVIF_STATE)) return setState(lv->iItem, lv->state, lv->stateMask) ? TRUE : FALSE;
    return TRUE;
  }

  BOOL getItem(LVITEMW* lv) const {
    if (!lv || !valid(lv->iItem)) return FALSE;
    const Item& it = items[static_cast<std::size_t>(lv->iItem)];
    if (lv->mask & LVIF_TEXT) copyOut(textOf(lv->iItem, lv->iSubItem), lv->pszText, lv->cchTextMax);
    if (lv->mask & LVIF_IMAGE) lv->iImage = it.image;
    if (lv->mask & LVIF_PARAM) lv->lParam = it.param;
    if (lv->mask & LVIF_INDENT) lv->iIndent = it.indent;
    if (lv->mask & LVIF_STATE) lv->state = it.state & lv->stateMask;
    return TRUE;
  }

  BOOL deleteItem(int i) {
    if (!valid(i)) return FALSE;
    NMLISTVIEW nm = header(i);
    notify(hwnd, nm.hdr, LVN_DELETEITEM);
    if (!valid(i)) return FALSE;
    items.erase(items.begin() + i);
    if (selectionMark == i) selectionMark = -1;
    else if (selectionMark > i) --selectionMark;
    if (top >= count()) top = std::max(0, count() - 1);
    if (style() & LVS_AUTOARRANGE) arrange();
    InvalidateRect(hwnd, nullptr, TRUE);
    return TRUE;
  }

  BOOL deleteAll() {
    if (items.empty()) return TRUE;
    NMLISTVIEW nm = header(-1);
    // A nonzero answer asks for no LVN_DELETEITEM per item.
    bool quiet = notify(hwnd, nm.hdr, LVN_DELETEALLITEMS) != 0;
    if (!quiet)
      for (int i = 0; i < count(); ++i) {
        NMLISTVIEW one = header(i);
        notify(hwnd, one.hdr, LVN_DELETEITEM);
      }
    items.clear();
    selectionMark = -1;
    top = 0;
    InvalidateRect(hwnd, nullptr, TRUE);
    return TRUE;
  }

  int nextItem(int start, UINT flags) const {
    UINT want = 0;
    if (flags & LVNI_FOCUSED) want |= LVIS_FOCUSED;
    if (flags & LVNI_SELECTED) want |= LVIS_SELECTED;
    if (flags & LVNI_CUT) want |= LVIS_CUT;
    if (flags & LVNI_DROPHILITED) want |= LVIS_DROPHILITED;
    auto matches = [&](int i) { return (items[static_cast<std::size_t>(i)].state & want) == want; };
    if (flags & (LVNI_ABOVE | LVNI_TOLEFT)) {
      for (int i = start - 1; i >= 0; --i)
        if (matches(i)) return i;
      return -1;
    }
    for (int i = start < 0 ? 0 : start + 1; i < count(); ++i)
      if (matches(i)) return i;
    return -1;
  }

  int findItem(int start, const LVFINDINFOW* fi) const {
    if (!fi || count() == 0) return -1;
    std::u16string_view needle = text::view(fi->psz);
    auto matches = [&](int i) {
      if (fi->flags & LVFI_PARAM) return items[static_cast<std::size_t>(i)].param == fi->lParam;
      if (fi->flags & LVFI_PARTIAL) return startsWithNoCase(textOf(i, 0), needle);
      if (fi->flags & LVFI_STRING) return text::equalNoCase(textOf(i, 0), needle);
      return false;
    };
    int from = start < -1 || start >= count() ? -1 : start;
    for (int i = from + 1; i < count(); ++i)
      if (matches(i)) return i;
    if (fi->flags & LVFI_WRAP)
      for (int i = 0; i <= from; ++i)
        if (matches(i)) return i;
    return -1;
  }

  int textWidth(std::u16string_view s) const { return static_cast<int>(s.size()) * kCharWidth + kTextPadding; }

  BOOL setColumnWidth(int c, int cx) {
    if (c < 0 || c >= static_cast<int>(columns.size())) return FALSE;
    if (cx == LVSCW_AUTOSIZE || cx == LVSCW_AUTOSIZE_USEHEADER) {
      int w = cx == LVSCW_AUTOSIZE_USEHEADER ? textWidth(columns[static_cast<std::size_t>(c)].text) : 0;
      for (int i = 0; i < count(); ++i) w = std::max(w, textWidth(textOf(i, c)));
      cx = w;
    }
    columns[static_cast<std::size_t>(c)].cx = std::max(0, cx);
    InvalidateRect(hwnd, nullptr, TRUE);
    return TRUE;
  }

  void setColumn(Column& col, const LVCOLUMNW& lc) {
    if (lc.mask & LVCF_FMT) col.fmt = lc.fmt;
    if (lc.mask & LVCF_WIDTH) col.cx = lc.cx;
    if (lc.mask & LVCF_TEXT) col.text = text::view(lc.pszText);
    if (lc.mask & LVCF_IMAGE) col.image = lc.iImage;
    if (lc.mask & LVCF_ORDER) col.order = lc.iOrder;
  }

  LRESULT insertColumn(int at, const LVCOLUMNW* lc) {
    if (!lc || at < 0) return -1;
    at = std::min(at, static_cast<int>(columns.size()));
    Column col;
    col.order = at;
    setColumn(col, *lc);
    columns.insert(columns.begin() + at, col);
    // A sub-item's text belongs to its column and moves with it.
    if (at > 0)
      for (Item& it : items)
        if (static_cast<std::size_t>(at) < it.texts.size()) it.texts.insert(it.texts.begin() + at, std::u16string());
    InvalidateRect(hwnd, nullptr, TRUE);
    return at;
  }

  // Icon views: an item's box is one grid cell from its position, the icon in its top
  // kIconPart pixels and the label below.
  static constexpr int kIconPart = 36;
  RECT iconRect(int i, int code) const {
    const POINT p = items[static_cast<std::size_t>(i)].pos;
    RECT r{p.x, p.y, p.x + kSpacing, p.y + kSpacing};
    if (code == LVIR_ICON) r.bottom = p.y + kIconPart;
    if (code == LVIR_LABEL) r.top = p.y + kIconPart;
    return r;
  }
  // The item at a point of an icon view (the one drawn last, on top, when boxes overlap) and the
  // part of it hit, or -1.
  int iconAt(POINT pt, UINT* part) const {
    for (int i = count() - 1; i >= 0; --i) {
      const RECT r = iconRect(i, LVIR_BOUNDS);
      if (pt.x < r.left || pt.x >= r.right || pt.y < r.top || pt.y >= r.bottom) continue;
      if (part) *part = pt.y < r.top + kIconPart ? LVHT_ONITEMICON : LVHT_ONITEMLABEL;
      return i;
    }
    if (part) *part = LVHT_NOWHERE;
    return -1;
  }

  int rowAt(int y) const {
    int y0 = y - headerHeight();
    if (y0 < 0) return -1;
    int i = top + y0 / kListViewRowHeight;
    return valid(i) ? i : -1;
  }
  int columnAt(int x) const {
    int left = 0;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (x >= left && x < left + columns[c].cx) return static_cast<int>(c);
      left += columns[c].cx;
    }
    return -1;
  }

  void ensureVisible(int i) {
    if (!valid(i)) return;
    if (i < top) top = i;
    else if (i >= top + perPage()) top = i - perPage() + 1;
  }

  void toggleCheck(int i) {
    UINT image = (items[static_cast<std::size_t>(i)].state & LVIS_STATEIMAGEMASK) >> 12;
    setState(i, INDEXTOSTATEIMAGEMASK(image == 2 ? 1 : 2), LVIS_STATEIMAGEMASK);
  }

  // The user's press on row `i` (-1: empty space): selection and focus as a click sets them.
  void pressRow(int i, WPARAM keys) {
    if (GetFocus() != hwnd) SetFocus(hwnd);
    if (i < 0) {
      if (!(keys & kMkControl))
        for (int k = 0; k < count(); ++k)
          if (items[static_cast<std::size_t>(k)].state & LVIS_SELECTED) setState(k, 0, LVIS_SELECTED);
      return;
    }
    if (keys & kMkControl) {
      setState(i, (items[static_cast<std::size_t>(i)].state ^ LVIS_SELECTED) | LVIS_FOCUSED,
               LVIS_SELECTED | LVIS_FOCUSED);
    } else {
      for (int k = 0; k < count(); ++k)
        if (k != i && (items[static_cast<std::size_t>(k)].state & LVIS_SELECTED)) setState(k, 0, LVIS_SELECTED);
      if (valid(i)) setState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    selectionMark = i;
    ensureVisible(i);
  }

  void sendActivate(UINT code, int i, LPARAM lParam, WPARAM keys) {
    NMITEMACTIVATE nm{};
    nm.iItem = i;
    nm.iSubItem = columnAt(static_cast<short>(LOWORD(lParam)));
    if (nm.iSubItem < 0) nm.iSubItem = 0;
    nm.ptAction = POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (valid(i)) nm.lParam = items[static_cast<std::size_t>(i)].param;
    nm.uKeyFlags = ((keys & kMkControl) ? kLvkfControl : 0) | ((keys & kMkShift) ? kLvkfShift : 0);
    notify(hwnd, nm.hdr, code);
  }

  LRESULT mouse(UINT msg, WPARAM wParam, LPARAM lParam) {
    int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    if (y < headerHeight()) {
      if (msg == WM_LBUTTONDOWN) {
        int c = columnAt(x);
        if (c >= 0 && !(style() & LVS_NOSORTHEADER)) {
          NMLISTVIEW nm = header(-1, c);
          notify(hwnd, nm.hdr, LVN_COLUMNCLICK);
        }
      }
      return 0;
    }
    if (iconView()) ensurePlaced();
    int row = iconView() ? iconAt(POINT{x, y}, nullptr) : rowAt(y);
    switch (msg) {
      case WM_LBUTTONDOWN:
        pressedRow = row;
        if (row >= 0 && (exStyle & LVS_EX_CHECKBOXES) && x < kListViewCheckWidth) {
          if (GetFocus() != hwnd) SetFocus(hwnd);
          toggleCheck(row);
          pressedRow = -2;
          return 0;
        }
        pressRow(row, wParam);
        return 0;
      case WM_LBUTTONUP:
        if (pressedRow == -2) return 0;
        pressedRow = -2;
        sendActivate(NM_CLICK, row, lParam, wParam);
        return 0;
      case WM_LBUTTONDBLCLK:
        pressRow(row, wParam);
        sendActivate(NM_DBLCLK, row, lParam, wParam);
        if (row >= 0) sendActivate(LVN_ITEMACTIVATE, row, lParam, wParam);
        pressedRow = -2;
        return 0;
      case WM_RBUTTONDOWN:
        if (row >= 0 && !(items[static_cast<std::size_t>(row)].state & LVIS_SELECTED)) pressRow(row, 0);
        return 0;
      case WM_RBUTTONUP: sendActivate(NM_RCLICK, row, lParam, wParam); return 0;
      default: return 0;
    }
  }

  void keyDown(WPARAM vk) {
    int focus = nextItem(-1, LVNI_FOCUSED);
    if (vk == VK_SPACE && (exStyle & LVS_EX_CHECKBOXES) && focus >= 0) {
      toggleCheck(focus);
    } else if (vk == VK_DOWN || vk == VK_UP) {
      int to = focus < 0 ? 0 : focus + (vk == VK_DOWN ? 1 : -1);
      if (valid(to)) pressRow(to, 0);
    }
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_DESTROY: deleteAll(); return 0;
      case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
      case LVM_GETITEMCOUNT: return count();
      case LVM_INSERTITEMW: return insertItem(reinterpret_cast<const LVITEMW*>(lParam));
      case LVM_SETITEMW: return setItem(reinterpret_cast<const LVITEMW*>(lParam));
      case LVM_GETITEMW: return getItem(reinterpret_cast<LVITEMW*>(lParam));
      case LVM_SETITEMTEXTW: {
        auto* lv = reinterpret_cast<const LVITEMW*>(lParam);
        int i = static_cast<int>(wParam);
        if (!lv || !valid(i)) return FALSE;
        setText(items[static_cast<std::size_t>(i)], lv->iSubItem, lv->pszText);
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
      }
      case LVM_GETITEMTEXTW: {
        auto* lv = reinterpret_cast<LVITEMW*>(lParam);
        int i = static_cast<int>(wParam);
        if (!lv || !valid(i)) return 0;
        return copyOut(textOf(i, lv->iSubItem), lv->pszText, lv->cchTextMax);
      }
      case LVM_SETITEMSTATE: {
        auto* lv = reinterpret_cast<const LVITEMW*>(lParam);
        if (!lv) return FALSE;
        int i = static_cast<int>(wParam);
        if (i == -1) {
          for (int k = 0; k < count(); ++k) setState(k, lv->state, lv->stateMask);
          return TRUE;
        }
        if (!valid(i)) return FALSE;
        return setState(i, lv->state, lv->stateMask) ? TRUE : FALSE;
      }
      case LVM_GETITEMSTATE: {
        int i = static_cast<int>(wParam);
        return valid(i) ? static_cast<LRESULT>(items[static_cast<std::size_t>(i)].state & static_cast<UINT>(lParam)) : 0;
      }
      case LVM_DELETEITEM: return deleteItem(static_cast<int>(wParam));
      case LVM_DELETEALLITEMS: return deleteAll();
      case LVM_GETNEXTITEM: return nextItem(static_cast<int>(wParam), LOWORD(lParam));
      case LVM_GETITEMPOSITION: {
        auto* p = reinterpret_cast<POINT*>(lParam);
        if (!p || !valid(static_cast<int>(wParam))) return FALSE;
        ensurePlaced();
        *p = items[wParam].pos;
        return TRUE;
      }
      case LVM_SETITEMPOSITION:
        return setPosition(static_cast<int>(wParam), POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
      case LVM_SETITEMPOSITION32: {
        auto* p = reinterpret_cast<const POINT*>(lParam);
        return p ? setPosition(static_cast<int>(wParam), *p) : FALSE;
      }
      case LVM_GETITEMSPACING: return MAKELONG(kSpacing, kSpacing);
      case LVM_ARRANGE:
        if (!iconView()) return FALSE;
        arrange();
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
      case LVM_SETWORKAREAS: {
        auto* r = reinterpret_cast<const RECT*>(lParam);
        if (wParam > LV_MAX_WORKAREAS || (wParam && !r)) return FALSE;
        workAreas.assign(r, r + wParam);
        if (style() & LVS_AUTOARRANGE) arrange();
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
      }
      case LVM_GETWORKAREAS: {
        auto* r = reinterpret_cast<RECT*>(lParam);
        if (!r) return FALSE;
        const std::size_t n = std::min<std::size_t>(wParam, workAreas.size());
        std::copy_n(workAreas.begin(), n, r);
        return TRUE;
      }
      case LVM_GETNUMBEROFWORKAREAS:
        if (lParam) *reinterpret_cast<UINT*>(lParam) = static_cast<UINT>(workAreas.size());
        return TRUE;
      case LVM_FINDITEMW: return findItem(static_cast<int>(wParam), reinterpret_cast<const LVFINDINFOW*>(lParam));
      case LVM_SORTITEMS: {
        auto compare = reinterpret_cast<PFNLVCOMPARE>(lParam);
        if (!compare) return FALSE;
        std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
          return compare(a.param, b.param, static_cast<LPARAM>(wParam)) < 0;
        });
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
      }
      case LVM_ENSUREVISIBLE:
        if (!valid(static_cast<int>(wParam))) return FALSE;
        ensureVisible(static_cast<int>(wParam));
        return TRUE;
      case LVM_GETTOPINDEX: return top;
      case LVM_GETCOUNTPERPAGE: return perPage();
      case LVM_GETSELECTEDCOUNT:
        return std::count_if(items.begin(), items.end(), [](const Item& it) { return (it.state & LVIS_SELECTED) != 0; });
      case LVM_GETSELECTIONMARK: return selectionMark;
      case LVM_SETSELECTIONMARK: {
        int old = selectionMark;
        selectionMark = static_cast<int>(lParam);
        return old;
      }
      case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        DWORD old = exStyle;
        DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFF;
        exStyle = (exStyle & ~mask) | (static_cast<DWORD>(lParam) & mask);
        if ((exStyle & LVS_EX_CHECKBOXES) && !(old & LVS_EX_CHECKBOXES))
          for (Item& it : items)
            if (!(it.state & LVIS_STATEIMAGEMASK)) it.state |= INDEXTOSTATEIMAGEMASK(1);
        if (!(exStyle & LVS_EX_CHECKBOXES) && (old & LVS_EX_CHECKBOXES))
          for (Item& it : items) it.state &= ~static_cast<UINT>(LVIS_STATEIMAGEMASK);
        InvalidateRect(hwnd, nullptr, TRUE);
        return static_cast<LRESULT>(old);
      }
      case LVM_GETEXTENDEDLISTVIEWSTYLE: return static_cast<LRESULT>(exStyle);
      case LVM_SETIMAGELIST: {
        if (wParam > LVSIL_STATE) return 0;
        HIMAGELIST old = imageLists[wParam];
        imageLists[wParam] = reinterpret_cast<HIMAGELIST>(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
      }
      case LVM_GETIMAGELIST: return wParam <= LVSIL_STATE ? reinterpret_cast<LRESULT>(imageLists[wParam]) : 0;
      case LVM_INSERTCOLUMNW: return insertColumn(static_cast<int>(wParam), reinterpret_cast<const LVCOLUMNW*>(lParam));
      case LVM_SETCOLUMNW: {
        auto* lc = reinterpret_cast<const LVCOLUMNW*>(lParam);
        if (!lc || wParam >= columns.size()) return FALSE;
        setColumn(columns[wParam], *lc);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
      }
      case LVM_GETCOLUMNW: {
        auto* lc = reinterpret_cast<LVCOLUMNW*>(lParam);
        if (!lc || wParam >= columns.size()) return FALSE;
        const Column& c = columns[wParam];
        if (lc->mask & LVCF_FMT) lc->fmt = c.fmt;
        if (lc->mask & LVCF_WIDTH) lc->cx = c.cx;
        if (lc->mask & LVCF_TEXT) copyOut(c.text, lc->pszText, lc->cchTextMax);
        if (lc->mask & LVCF_SUBITEM) lc->iSubItem = static_cast<int>(wParam);
        if (lc->mask & LVCF_IMAGE) lc->iImage = c.image;
        if (lc->mask & LVCF_ORDER) lc->iOrder = c.order;
        return TRUE;
      }
      case LVM_DELETECOLUMN: {
        if (wParam >= columns.size()) return FALSE;
        columns.erase(columns.begin() + static_cast<std::ptrdiff_t>(wParam));
        for (Item& it : items)
          if (wParam > 0 && wParam < it.texts.size()) it.texts.erase(it.texts.begin() + static_cast<std::ptrdiff_t>(wParam));
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
      }
      case LVM_SETCOLUMNWIDTH: return setColumnWidth(static_cast<int>(wParam), static_cast<short>(LOWORD(lParam)));
      case LVM_GETCOLUMNWIDTH: return wParam < columns.size() ? columns[wParam].cx : 0;
      case LVM_GETHEADER: return 0;
      case LVM_GETITEMRECT: {
        auto* r = reinterpret_cast<RECT*>(lParam);
        int i = static_cast<int>(wParam);
        if (!r || !valid(i)) return FALSE;
        int code = r->left;
        if (iconView()) {
          ensurePlaced();
          *r = iconRect(i, code);
          return TRUE;
        }
        int y = headerHeight() + (i - top) * kListViewRowHeight;
        int width = 0;
        for (const Column& c : columns) width += c.cx;
        int labelLeft = (exStyle & LVS_EX_CHECKBOXES) ? kListViewCheckWidth : 0;
        *r = RECT{0, y, std::max(width, labelLeft), y + kListViewRowHeight};
        if (code == LVIR_ICON) r->right = labelLeft;
        if (code == LVIR_LABEL) r->left = labelLeft;
        return TRUE;
      }
      case LVM_HITTEST: {
        auto* ht = reinterpret_cast<LVHITTESTINFO*>(lParam);
        if (!ht) return -1;
        if (iconView()) {
          ensurePlaced();
          ht->iItem = iconAt(ht->pt, &ht->flags);
          ht->iSubItem = 0;
          return ht->iItem;
        }
        int row = ht->pt.y >= headerHeight() ? rowAt(ht->pt.y) : -1;
        ht->iItem = row;
        ht->iSubItem = 0;
        if (row < 0) ht->flags = LVHT_NOWHERE;
        else ht->flags = ((exStyle & LVS_EX_CHECKBOXES) && ht->pt.x < kListViewCheckWidth) ? LVHT_ONITEMSTATEICON
                                                                                          : LVHT_ONITEMLABEL;
        return row;
      }
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDOWN:
      case WM_RBUTTONUP: return mouse(msg, wParam, lParam);
      case WM_KEYDOWN: keyDown(wParam); return 0;
      case WM_SETFOCUS: {
        NMHDR hdr{};
        notify(hwnd, hdr, NM_SETFOCUS);
        return 0;
      }
      case WM_KILLFOCUS: {
        NMHDR hdr{};
        notify(hwnd, hdr, NM_KILLFOCUS);
        return 0;
      }
      case WM_PAINT:
        paint(hwnd, 0, [&](HDC hdc) {
          if (iconView()) return;  // icon views (the desktop's) draw no rows
          classic::Report report;
          for (const Column& c : columns) {
            report.headers.push_back(c.text);
            report.widths.push_back(c.cx);
          }
          // Only the rows that can show are handed over: a paint of a report of thousands of rows
          // (one is painted after each row added) costs a screenful, not the whole list.
          const int first = std::max(top, 0);
          const int fit = std::max(0, clientHeight(hwnd) - headerHeight()) / kListViewRowHeight + 2;
          for (int i = first; i < count() && i < first + fit; ++i) {
            const Item& it = items[static_cast<std::size_t>(i)];
            report.cells.push_back(it.callbackText ? std::vector<std::u16string>{} : it.texts);
            report.selected.push_back((it.state & LVIS_SELECTED) != 0);
          }
          report.top = 0;
          report.headerHeight = headerHeight();
          report.rowHeight = kListViewRowHeight;
          classic::listView(hdc, hwnd, report);
        });
        return 0;
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK listViewProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<ListView>(h, m, w, l); }

}  // namespace platform::controls::detail
