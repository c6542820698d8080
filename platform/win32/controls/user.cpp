// The user's actions on controls, made of the mouse and keyboard messages a person's action
// produces, so the controls notify their parents as they do for a person. Points are found with
// the controls' own geometry messages (LB_GETITEMRECT, LVM_GETITEMRECT, TVM_GETITEMRECT,
// TCM_GETITEMRECT); items out of view are scrolled into view first, as a person scrolls.
#include <algorithm>
#include <cstring>

#include "platform/win32/controls/control_base.h"
#include "platform/win32/controls/controls.h"

namespace platform::controls {

namespace {

constexpr WPARAM kMkLButton = 0x0001;

enum class Kind { Other, Button, Edit, Static, ListBox, ComboBox, ListView, TreeView, Tab };

Kind kindOf(HWND hwnd) {
  WCHAR name[64];
  if (!GetClassNameW(hwnd, name, 64)) return Kind::Other;
  std::u16string_view n = text::view(name);
  struct Entry {
    const char16_t* name;
    Kind kind;
  };
  static const Entry kKinds[] = {{WC_BUTTONW, Kind::Button},     {WC_EDITW, Kind::Edit},
                                 {WC_STATICW, Kind::Static},     {WC_LISTBOXW, Kind::ListBox},
                                 {WC_COMBOBOXW, Kind::ComboBox}, {WC_LISTVIEWW, Kind::ListView},
                                 {WC_TREEVIEWW, Kind::TreeView}, {WC_TABCONTROLW, Kind::Tab}};
  for (const Entry& e : kKinds)
    if (text::equalNoCase(n, e.name)) return e.kind;
  return Kind::Other;
}

}  // namespace

bool userReachable(HWND hwnd) {
  if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) return false;
  for (HWND w = hwnd; w; w = (GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD) ? GetParent(w) : nullptr)
    if (!IsWindowEnabled(w)) return false;
  return true;
}

namespace {

LPARAM point(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

void press(HWND hwnd, int x, int y) {
  SendMessageW(hwnd, WM_LBUTTONDOWN, kMkLButton, point(x, y));
  SendMessageW(hwnd, WM_LBUTTONUP, 0, point(x, y));
}

void doublePress(HWND hwnd, int x, int y) {
  press(hwnd, x, y);
  SendMessageW(hwnd, WM_LBUTTONDBLCLK, kMkLButton, point(x, y));
  SendMessageW(hwnd, WM_LBUTTONUP, 0, point(x, y));
}

RECT mid(const RECT& r) { return RECT{(r.left + r.right) / 2, (r.top + r.bottom) / 2, 0, 0}; }

// Brings row `index` of a list box into view; its rectangle, or false.
bool listBoxRow(HWND lb, int index, RECT* r) {
  auto count = static_cast<int>(SendMessageW(lb, LB_GETCOUNT, 0, 0));
  if (index < 0 || index >= count) return false;
  auto top = static_cast<int>(SendMessageW(lb, LB_GETTOPINDEX, 0, 0));
  auto height = static_cast<int>(SendMessageW(lb, LB_GETITEMHEIGHT, 0, 0));
  int rows = std::max(1, detail::clientHeight(lb) / std::max(1, height));
  if (index < top || index >= top + rows) SendMessageW(lb, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  return SendMessageW(lb, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(r)) != LB_ERR;
}

bool listViewRow(HWND lv, int index, int code, RECT* r) {
  if (!SendMessageW(lv, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE)) return false;
  r->left = code;
  return SendMessageW(lv, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(r)) != 0;
}

// The point of a row a click selects without touching a check box.
bool rowPoint(HWND hwnd, Kind kind, int index, POINT* p) {
  RECT r{};
  if (kind == Kind::ListBox) {
    if (!listBoxRow(hwnd, index, &r)) return false;
    *p = POINT{std::max<LONG>(kCheckListBoxCheckWidth + 2, (r.left + r.right) / 2), (r.top + r.bottom) / 2};
    return true;
  }
  if (kind == Kind::ListView) {
    if (!listViewRow(hwnd, index, LVIR_LABEL, &r)) return false;
    *p = POINT{r.left + 2, (r.top + r.bottom) / 2};
    return true;
  }
  return false;
}

HTREEITEM treeNext(HWND tree, UINT code, HTREEITEM item) {
  return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

bool treeLabel(HWND tree, HTREEITEM item, RECT* r) {
  std::memcpy(r, &item, sizeof(item));
  return SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(r)) != 0;
}

// Expands the collapsed ancestors of `item` by clicking their buttons, top down.
bool openAncestors(HWND tree, HTREEITEM item) {
  HTREEITEM parent = treeNext(tree, TVGN_PARENT, item);
  if (!parent) return true;
  if (!openAncestors(tree, parent)) return false;
  if (SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(parent), TVIS_EXPANDED)) return true;
  return userToggleTreeItem(tree, parent) &&
         SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(parent), TVIS_EXPANDED);
}

}  // namespace

bool userClickAt(HWND control, int x, int y) {
  if (!userReachable(control)) return false;
  press(control, x, y);
  return true;
}

bool userDoubleClickAt(HWND control, int x, int y) {
  if (!userReachable(control)) return false;
  doublePress(control, x, y);
  return true;
}

bool userClick(HWND control) {
  return userClickAt(control, detail::clientWidth(control) / 2, detail::clientHeight(control) / 2);
}

bool userType(HWND control, std::u16string_view text) {
  if (!userReachable(control)) return false;
  if (GetFocus() != control) SetFocus(control);
  for (char16_t c : text) SendMessageW(control, WM_CHAR, c, 1);
  return true;
}

bool userKey(HWND control, UINT virtualKey) {
  if (!userReachable(control)) return false;
  SendMessageW(control, WM_KEYDOWN, virtualKey, 1);
  switch (virtualKey) {
    case VK_SPACE:
    case VK_RETURN:
    case VK_BACK:
    case VK_TAB:
    case VK_ESCAPE: SendMessageW(control, WM_CHAR, virtualKey, 1); break;
    default: break;
  }
  SendMessageW(control, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
  return true;
}

bool userCheck(HWND button, int state) {
  if (!userReachable(button) || kindOf(button) != Kind::Button) return false;
  for (int i = 0; i < 3 && SendMessageW(button, BM_GETCHECK, 0, 0) != state; ++i) userClick(button);
  return SendMessageW(button, BM_GETCHECK, 0, 0) == state;
}

bool userSelect(HWND control, int index) {
  if (!userReachable(control)) return false;
  Kind kind = kindOf(control);
  POINT p{};
  switch (kind) {
    case Kind::ListBox:
    case Kind::ListView:
      if (!rowPoint(control, kind, index, &p)) return false;
      press(control, p.x, p.y);
      return true;
    case Kind::ComboBox: {
      if (index < 0 || index >= SendMessageW(control, CB_GETCOUNT, 0, 0)) return false;
      if (!SendMessageW(control, CB_GETDROPPEDSTATE, 0, 0)) userClick(control);
      auto itemHeight = static_cast<int>(SendMessageW(control, CB_GETITEMHEIGHT, 0, 0));
      int y = detail::clientHeight(control) + index * itemHeight + itemHeight / 2 + 1;
      press(control, detail::clientWidth(control) / 2, y);
      return true;
    }
    case Kind::Tab: {
      RECT r{};
      if (!SendMessageW(control, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r))) return false;
      RECT c = mid(r);
      press(control, c.left, c.top);
      return true;
    }
    default: return false;
  }
}

bool userSelectTreeItem(HWND tree, HTREEITEM item) {
  if (!userReachable(tree) || kindOf(tree) != Kind::TreeView) return false;
  if (!openAncestors(tree, item)) return false;
  SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  RECT r{};
  if (!treeLabel(tree, item, &r)) return false;
  press(tree, r.left + 2, (r.top + r.bottom) / 2);
  return true;
}

bool userToggleTreeItem(HWND tree, HTREEITEM item) {
  if (!userReachable(tree) || kindOf(tree) != Kind::TreeView) return false;
  if (!openAncestors(tree, item)) return false;
  SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  RECT r{};
  if (!treeLabel(tree, item, &r)) return false;
  int imageWidth = SendMessageW(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0) ? 16 : 0;
  TVHITTESTINFO ht{};
  ht.pt = POINT{r.left - imageWidth - kTreeIndent / 2, (r.top + r.bottom) / 2};
  SendMessageW(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&ht));
  if (ht.hItem != item || !(ht.flags & TVHT_ONITEMBUTTON)) return false;  // no button to click
  press(tree, ht.pt.x, ht.pt.y);
  return true;
}

bool userToggleItemCheck(HWND control, int index) {
  if (!userReachable(control)) return false;
  RECT r{};
  switch (kindOf(control)) {
    case Kind::ListView:
      if (!(SendMessageW(control, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES)) return false;
      if (!listViewRow(control, index, LVIR_BOUNDS, &r)) return false;
      press(control, kListViewCheckWidth / 2, (r.top + r.bottom) / 2);
      return true;
    case Kind::ListBox:
      if (!listBoxRow(control, index, &r)) return false;
      press(control, r.left + 2, (r.top + r.bottom) / 2);
      return true;
    default: return false;
  }
}

bool userClickColumn(HWND listView, int column) {
  if (!userReachable(listView) || kindOf(listView) != Kind::ListView) return false;
  if (GetWindowLongPtrW(listView, GWL_STYLE) & LVS_NOCOLUMNHEADER) return false;
  int left = 0;
  for (int c = 0; c < column; ++c) left += static_cast<int>(SendMessageW(listView, LVM_GETCOLUMNWIDTH, c, 0));
  auto width = static_cast<int>(SendMessageW(listView, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
  if (column < 0 || width <= 0) return false;
  press(listView, left + width / 2, kListViewHeaderHeight / 2);
  return true;
}

bool userDoubleClickItem(HWND control, int index) {
  if (!userReachable(control)) return false;
  Kind kind = kindOf(control);
  POINT p{};
  if (!rowPoint(control, kind, index, &p)) return false;
  doublePress(control, p.x, p.y);
  return true;
}

}  // namespace platform::controls
