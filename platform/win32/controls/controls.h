// The control classes as a facility: registering them in the process, the fixed geometry they
// use for hit testing, and the entry points a UI driver calls to act as a user would. Every
// user action is made of the messages a mouse or keyboard would produce (button presses, key
// strokes, characters), sent to the control, so the control sends its notifications exactly as
// it does for a person; an action on a disabled or hidden control (or one inside a disabled or
// hidden window) is refused.
//
// Nothing is drawn yet: a control validates itself on WM_PAINT after sending the parent its
// WM_CTLCOLOR* message (and, for owner-draw controls, WM_DRAWITEM with a null hDC), as Windows
// does before drawing.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/types.h"
#include "platform/win32/controls/commctrl.h"

namespace platform::controls {

// Registers "Button", "Edit", "Static", "ListBox", "ComboBox" and the common control classes in
// the calling process (global classes, CS_GLOBALCLASS); later calls do nothing. Needs a current
// host (class atoms are the host's).
void registerCommonClasses();

// What an animation control of this process has open, and whether it plays; false for a window
// that is not one.
struct AnimationInfo {
  bool open = false;
  bool fromResource = false;
  HINSTANCE module = nullptr;
  UINT resourceId = 0;     // the resource's number, or 0 for a named one
  std::u16string name;     // the resource's name or the file's path
  bool playing = false;
  int repeat = 0;
  UINT from = 0;
  UINT to = 0;
};
bool animationInfo(HWND animation, AnimationInfo* out);

// ---- Fixed geometry (until fonts have metrics): every row-based control lays out rows of these
// heights from the top of its client area, so a point names an item the same way everywhere ----

inline constexpr int kListBoxItemHeight = 13;    // list box and combo box rows
inline constexpr int kListViewHeaderHeight = 17; // the report view's column header
inline constexpr int kListViewRowHeight = 17;
inline constexpr int kListViewCheckWidth = 16;   // the state image (check box) at a row's left
inline constexpr int kTreeRowHeight = 16;
inline constexpr int kTreeIndent = 19;           // per level; the expand button is the first 16 px
inline constexpr int kTabHeight = 20;            // one row of tabs on top
inline constexpr int kTabCharWidth = 6;          // a tab is 12 + 6 px per character of its text
inline constexpr int kCheckListBoxCheckWidth = 13;

// ---- User actions (false: the control is disabled, hidden or the item does not exist) ----

// Whether a person can reach the window: it exists, it and its ancestors up to the top-level
// window are visible and enabled.
bool userReachable(HWND control);

// A left click in the middle of the control (button, static, ...).
bool userClick(HWND control);
// A left click at a point of the control's client area.
bool userClickAt(HWND control, int x, int y);
bool userDoubleClickAt(HWND control, int x, int y);
// Focus, then one WM_CHAR per character ('\b' is a backspace).
bool userType(HWND control, std::u16string_view text);
// A key pressed and released (WM_KEYDOWN, and WM_CHAR for a character key, then WM_KEYUP).
bool userKey(HWND control, UINT virtualKey);
// Clicks a button until its check state is `state` (BST_CHECKED, BST_UNCHECKED, BST_INDETERMINATE).
bool userCheck(HWND button, int state);
// Picks an item as a mouse would: list box row, combo box entry (drops the list, clicks the entry),
// list view row, tab. Scrolls the item into view first, as a person would.
bool userSelect(HWND control, int index);
// Clicks a tree view item (scrolled into view; its ancestors must be expanded by the user first,
// which this does by clicking their buttons).
bool userSelectTreeItem(HWND tree, HTREEITEM item);
// Clicks a tree item's expand button.
bool userToggleTreeItem(HWND tree, HTREEITEM item);
// Clicks the check box of a list view row (LVS_EX_CHECKBOXES) or of a check list box row.
bool userToggleItemCheck(HWND control, int index);
// Clicks a list view column header.
bool userClickColumn(HWND listView, int column);
// Double-clicks a row of a list box or list view.
bool userDoubleClickItem(HWND control, int index);

}  // namespace platform::controls
