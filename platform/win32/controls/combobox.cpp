// The "ComboBox" class: a list of strings with item data and a selection field, which is an edit
// field for CBS_DROPDOWN and CBS_SIMPLE and shows the selected item for CBS_DROPDOWNLIST. The
// list drops below the control (kListBoxItemHeight pixels per row from its bottom edge, all rows
// shown); a click on the control opens or closes it, a click on a row while it is open picks it.
// CBN_SELCHANGE, CBN_EDITCHANGE/CBN_EDITUPDATE go to the parent only for the user's actions; a
// pick sends CBN_SELENDOK, CBN_CLOSEUP, then CBN_SELCHANGE when the selection changed.
#include <algorithm>

#include "platform/win32/controls/classic.h"
#include "platform/win32/controls/control_base.h"
#include "platform/win32/controls/controls.h"
#include "platform/win32/controls/item_list.h"

namespace platform::controls::detail {

namespace {

constexpr UINT kDefaultLimit = 30000;

struct ComboBox : ControlState {
  ComboBox(HWND h, const CREATESTRUCTW& cs) : ControlState(h) {
    list.hasStrings = !(cs.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) || (cs.style & CBS_HASSTRINGS);
    if (cs.lpszName && !IS_INTRESOURCE(cs.lpszName) && !dropList(cs.style)) text = text::view(cs.lpszName);
  }

  ItemList list;
  int curSel = -1;
  std::u16string text;  // the selection field
  bool dropped = false;
  UINT limit = kDefaultLimit;
  int itemHeight = kListBoxItemHeight;

  static bool dropList(DWORD s) { return (s & 3) == CBS_DROPDOWNLIST; }
  bool dropList() const { return dropList(style()); }
  int count() const { return list.count(); }
  bool ownerDrawn() const { return (style() & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0; }

  void storeText() {
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    InvalidateRect(hwnd, nullptr, FALSE);
  }

  void select(int i) {
    curSel = i;
    if (i >= 0 && list.hasStrings) text = list.items[static_cast<std::size_t>(i)].text;
    else if (i < 0) text.clear();
    storeText();
  }

  void showDropDown(bool show) {
    if ((style() & 3) == CBS_SIMPLE || dropped == show) return;
    if (show) {
      notifyCommand(hwnd, CBN_DROPDOWN);
      dropped = true;
    } else {
      dropped = false;
      notifyCommand(hwnd, CBN_CLOSEUP);
    }
  }

  // The user picks row `i` of the open list (-1: clicked beside it).
  void pick(int i) {
    if (i < 0 || i >= count()) {
      notifyCommand(hwnd, CBN_SELENDCANCEL);
      showDropDown(false);
      return;
    }
    bool changed = i != curSel;
    select(i);
    notifyCommand(hwnd, CBN_SELENDOK);
    showDropDown(false);
    if (changed) notifyCommand(hwnd, CBN_SELCHANGE);
  }

  void userSelectStep(int i) {
    if (i < 0 || i >= count() || i == curSel) return;
    select(i);
    notifyCommand(hwnd, CBN_SELCHANGE);
  }

  void typeChar(WCHAR c) {
    if (dropList()) {
      // A typed character picks the next item starting with it.
      std::u16string one(1, c);
      int i = list.find(static_cast<WPARAM>(curSel), reinterpret_cast<LPARAM>(one.c_str()), false);
      if (i >= 0) userSelectStep(i);
      return;
    }
    std::u16string before = text;
    if (c == VK_BACK) {
      if (!text.empty()) text.pop_back();
    } else if (c >= 0x20) {
      if (text.size() >= limit) return;
      text.push_back(c);
    } else {
      return;
    }
    if (text == before) return;
    curSel = -1;
    storeText();
    notifyCommand(hwnd, CBN_EDITUPDATE);
    notifyCommand(hwnd, CBN_EDITCHANGE);
  }

  LRESULT add(int index, LPARAM value, bool sorted) {
    if (sorted && list.hasStrings) index = list.sortedPosition(text::view(reinterpret_cast<LPCWSTR>(value)));
    int at = list.insert(index, value);
    if (at < 0) return CB_ERR;
    if (curSel >= at) ++curSel;
    return at;
  }

  void measure(int itemId) {
    HWND p = parent();
    if (!p) return;
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_COMBOBOX;
    mis.CtlID = id();
    mis.itemID = static_cast<UINT>(itemId);
    mis.itemWidth = static_cast<UINT>(clientWidth(hwnd));
    mis.itemHeight = static_cast<UINT>(itemHeight);
    SendMessageW(p, WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
    if (itemId >= 0) itemHeight = std::max(1, static_cast<int>(mis.itemHeight));
  }

  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_NCCREATE: {
        LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
        storeText();
        return r;
      }
      case WM_CREATE:
        if (style() & CBS_OWNERDRAWFIXED) {
          measure(-1);
          measure(0);
        }
        return 0;
      case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
      case CB_ADDSTRING: return add(-1, lParam, (style() & CBS_SORT) != 0);
      case CB_INSERTSTRING: return add(static_cast<int>(wParam), lParam, false);
      case CB_DELETESTRING: {
        if (!list.valid(wParam)) return CB_ERR;
        int i = static_cast<int>(wParam);
        list.items.erase(list.items.begin() + i);
        if (curSel == i) select(-1);
        else if (curSel > i) --curSel;
        return count();
      }
      case CB_RESETCONTENT:
        // Empties the selection field too.
        list.items.clear();
        select(-1);
        return CB_OKAY;
      case CB_GETCOUNT: return count();
      case CB_GETLBTEXT: return list.getText(wParam, lParam);
      case CB_GETLBTEXTLEN: return list.textLength(wParam);
      case CB_GETITEMDATA: return list.valid(wParam) ? static_cast<LRESULT>(list.items[wParam].data) : CB_ERR;
      case CB_SETITEMDATA:
        if (!list.valid(wParam)) return CB_ERR;
        list.items[wParam].data = static_cast<ULONG_PTR>(lParam);
        return TRUE;
      case CB_SETCURSEL: {
        int i = static_cast<int>(wParam);
        if (i != -1 && !list.valid(wParam)) return CB_ERR;
        select(i);
        return i == -1 ? CB_ERR : i;
      }
      case CB_GETCURSEL: return curSel;
      case CB_FINDSTRING: return list.find(wParam, lParam, false);
      case CB_FINDSTRINGEXACT: return list.find(wParam, lParam, true);
      case CB_SELECTSTRING: {
        int i = list.find(wParam, lParam, false);
        if (i < 0) return CB_ERR;
        select(i);
        return i;
      }
      case CB_LIMITTEXT: limit = wParam ? static_cast<UINT>(wParam) : 0x7FFFFFFE; return TRUE;
      case CB_SHOWDROPDOWN: showDropDown(wParam != 0); return TRUE;
      case CB_GETDROPPEDSTATE: return dropped ? TRUE : FALSE;
      case CB_GETITEMHEIGHT: return itemHeight;
      case CB_GETEDITSEL: {
        auto n = static_cast<DWORD>(text.size());
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = 0;
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = n;
        return MAKELRESULT(0, std::min<DWORD>(n, 0xFFFF));
      }
      case CB_SETEDITSEL: return dropList() ? CB_ERR : TRUE;
      case WM_SETTEXT: {
        if (dropList()) {
          // The selection field shows items only: the text picks the item it names.
          int i = list.find(static_cast<WPARAM>(-1), lParam, true);
          if (i < 0) return CB_ERR;
          select(i);
          return TRUE;
        }
        text = textOf(lParam);
        curSel = list.find(static_cast<WPARAM>(-1), lParam, true);
        storeText();
        return TRUE;
      }
      case WM_CHAR: typeChar(static_cast<WCHAR>(wParam)); return 0;
      case WM_KEYDOWN:
        if (wParam == VK_DOWN) userSelectStep(curSel + 1);
        else if (wParam == VK_UP) userSelectStep(curSel < 0 ? 0 : curSel - 1);
        else if (wParam == VK_F4) showDropDown(!dropped);
        else if (wParam == VK_RETURN && dropped) pick(curSel);
        else if (wParam == VK_ESCAPE && dropped) pick(-1);
        return 0;
      case WM_LBUTTONDOWN: {
        if (GetFocus() != hwnd) SetFocus(hwnd);
        int y = static_cast<short>(HIWORD(lParam));
        int h = clientHeight(hwnd);
        if (!dropped) {
          if (y >= 0 && y <= h) showDropDown(true);
          return 0;
        }
        pick(y > h ? (y - h) / itemHeight : -1);
        return 0;
      }
      case WM_KILLFOCUS:
        if (dropped) showDropDown(false);
        notifyCommand(hwnd, CBN_KILLFOCUS);
        return 0;
      case WM_SETFOCUS: notifyCommand(hwnd, CBN_SETFOCUS); return 0;
      case WM_PAINT: {
        const RECT field = classic::comboField(hwnd);
        paint(hwnd, dropList() ? WM_CTLCOLORLISTBOX : WM_CTLCOLOREDIT, [&](HDC hdc) {
          if (!ownerDrawn()) {
            classic::comboBox(hdc, hwnd, text);
            return;
          }
          RECT rc{0, 0, clientWidth(hwnd), clientHeight(hwnd)};
          ULONG_PTR data = curSel >= 0 ? list.items[static_cast<std::size_t>(curSel)].data : 0;
          sendDrawItem(hwnd, ODT_COMBOBOX, static_cast<UINT>(curSel), ODA_DRAWENTIRE, ODS_COMBOBOXEDIT, rc, data,
                       hdc);
        }, ownerDrawn() ? nullptr : &field);
        return 0;
      }
      default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
  }
};

}  // namespace

LRESULT CALLBACK comboBoxProc(HWND h, UINT m, WPARAM w, LPARAM l) { return procFor<ComboBox>(h, m, w, l); }

}  // namespace platform::controls::detail
