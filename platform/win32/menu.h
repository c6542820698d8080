// Menus: menu objects of the process (menu bars and popups) built in code or loaded from a menu
// template resource, the item calls, a window's menu bar, and TrackPopupMenu.
//
// While TrackPopupMenu runs, the popup is a window of class "#32768" (owned by the window given)
// with a modal loop of its own. So that a UI driver in this process or another one (kipo-host ui)
// can see and pick its items, each item of the popup and of its submenus, depth first, is mirrored
// as a visible child window of class "MenuItem": its control id is the item's command id (0 for a
// submenu's own item), its text the item's text, disabled when the item is grayed or disabled, and
// it answers BM_GETCHECK with the item's check state. A click on a "MenuItem" window (mouse button
// released on it) picks the item; Escape or WM_CANCELMODE to the "#32768" window dismisses the menu.
// Separators have no mirror window.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/base/types.h"

#ifndef MF_INSERT
#define MF_INSERT 0x00000000L
#define MF_CHANGE 0x00000080L
#define MF_APPEND 0x00000100L
#define MF_DELETE 0x00000200L
#define MF_REMOVE 0x00001000L
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MF_SEPARATOR 0x00000800L
#define MF_ENABLED 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_UNCHECKED 0x00000000L
#define MF_CHECKED 0x00000008L
#define MF_USECHECKBITMAPS 0x00000200L
#define MF_STRING 0x00000000L
#define MF_BITMAP 0x00000004L
#define MF_OWNERDRAW 0x00000100L
#define MF_POPUP 0x00000010L
#define MF_MENUBARBREAK 0x00000020L
#define MF_MENUBREAK 0x00000040L
#define MF_UNHILITE 0x00000000L
#define MF_HILITE 0x00000080L
#define MF_DEFAULT 0x00001000L
#define MF_RIGHTJUSTIFY 0x00004000L
#define MF_END 0x00000080L
#endif

#define MFT_STRING MF_STRING
#define MFT_BITMAP MF_BITMAP
#define MFT_MENUBARBREAK MF_MENUBARBREAK
#define MFT_MENUBREAK MF_MENUBREAK
#define MFT_OWNERDRAW MF_OWNERDRAW
#define MFT_RADIOCHECK 0x00000200L
#define MFT_SEPARATOR MF_SEPARATOR
#define MFT_RIGHTORDER 0x00002000L
#define MFT_RIGHTJUSTIFY MF_RIGHTJUSTIFY
#define MFS_GRAYED 0x00000003L
#define MFS_DISABLED MFS_GRAYED
#define MFS_CHECKED MF_CHECKED
#define MFS_HILITE MF_HILITE
#define MFS_ENABLED MF_ENABLED
#define MFS_UNCHECKED MF_UNCHECKED
#define MFS_UNHILITE MF_UNHILITE
#define MFS_DEFAULT MF_DEFAULT

#define MIIM_STATE 0x00000001
#define MIIM_ID 0x00000002
#define MIIM_SUBMENU 0x00000004
#define MIIM_CHECKMARKS 0x00000008
#define MIIM_TYPE 0x00000010
#define MIIM_DATA 0x00000020
#define MIIM_STRING 0x00000040
#define MIIM_BITMAP 0x00000080
#define MIIM_FTYPE 0x00000100

#define TPM_LEFTBUTTON 0x0000L
#define TPM_RIGHTBUTTON 0x0002L
#define TPM_LEFTALIGN 0x0000L
#define TPM_CENTERALIGN 0x0004L
#define TPM_RIGHTALIGN 0x0008L
#define TPM_TOPALIGN 0x0000L
#define TPM_VCENTERALIGN 0x0010L
#define TPM_BOTTOMALIGN 0x0020L
#define TPM_HORIZONTAL 0x0000L
#define TPM_VERTICAL 0x0040L
#define TPM_NONOTIFY 0x0080L
#define TPM_RETURNCMD 0x0100L
#define TPM_RECURSE 0x0001L

// The menu window's message answering its HMENU (in its own process).
#define MN_GETHMENU 0x01E1

struct MENUITEMINFOW {
  UINT cbSize;
  UINT fMask;
  UINT fType;
  UINT fState;
  UINT wID;
  HMENU hSubMenu;
  HBITMAP hbmpChecked;
  HBITMAP hbmpUnchecked;
  ULONG_PTR dwItemData;
  LPWSTR dwTypeData;
  UINT cch;
  HBITMAP hbmpItem;
};
using LPMENUITEMINFOW = MENUITEMINFOW*;
using LPCMENUITEMINFOW = const MENUITEMINFOW*;

struct TPMPARAMS {
  UINT cbSize;
  RECT rcExclude;
};
using LPTPMPARAMS = TPMPARAMS*;

// ---- Menu objects ----

HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys the menu and its submenus. FALSE with ERROR_INVALID_MENU_HANDLE for a bad handle.
BOOL DestroyMenu(HMENU hMenu);
BOOL IsMenu(HMENU hMenu);
// A menu from an RT_MENU resource of hInstance (null: the program); null with the last error set
// when there is none or the template is malformed.
HMENU LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName);
// A menu from a menu template in memory (the layout kiporc writes; at most 64 KiB read).
HMENU LoadMenuIndirectW(const void* lpMenuTemplate);

// ---- Items (uFlags MF_BYPOSITION, else by command id, searched in submenus too) ----

// uIDNewItem is the submenu's HMENU for MF_POPUP. lpNewItem is text for MF_STRING.
BOOL AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem);
BOOL InsertMenuW(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem);
BOOL InsertMenuItemW(HMENU hMenu, UINT item, BOOL fByPosition, LPCMENUITEMINFOW lpmi);
BOOL ModifyMenuW(HMENU hMnu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem);
// Removes the item; a submenu is destroyed by DeleteMenu and kept by RemoveMenu.
BOOL DeleteMenu(HMENU hMenu, UINT uPosition, UINT uFlags);
BOOL RemoveMenu(HMENU hMenu, UINT uPosition, UINT uFlags);
// The previous state (MF_CHECKED or MF_UNCHECKED); -1 when there is no such item.
DWORD CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck);
// Checks idCheck and unchecks the rest of first..last, with the radio mark.
BOOL CheckMenuRadioItem(HMENU hmenu, UINT first, UINT last, UINT check, UINT flags);
// The previous state (MF_ENABLED, MF_GRAYED, MF_DISABLED); -1 when there is no such item.
BOOL EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable);
// uItem (-1: none) becomes the default (bold) item, the only one.
BOOL SetMenuDefaultItem(HMENU hMenu, UINT uItem, UINT fByPos);
// -1 when there is none.
UINT GetMenuDefaultItem(HMENU hMenu, UINT fByPos, UINT gmdiFlags);
int GetMenuItemCount(HMENU hMenu);
// The command id; -1 (0xFFFFFFFF) for a submenu item or a position out of range.
UINT GetMenuItemID(HMENU hMenu, int nPos);
// The MF_* flags of the item (a submenu's: item count in the high byte); -1 when there is none.
UINT GetMenuState(HMENU hMenu, UINT uId, UINT uFlags);
// Copies the text (at most cchMax-1 characters and a NUL); its length; 0 when there is none.
int GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax, UINT flags);
BOOL GetMenuItemInfoW(HMENU hmenu, UINT item, BOOL fByPosition, LPMENUITEMINFOW lpmii);
BOOL SetMenuItemInfoW(HMENU hmenu, UINT item, BOOL fByPositon, LPCMENUITEMINFOW lpmii);
HMENU GetSubMenu(HMENU hMenu, int nPos);

// ---- A window's menu bar ----

HMENU GetMenu(HWND hWnd);
// FALSE for a child window.
BOOL SetMenu(HWND hWnd, HMENU hMenu);
BOOL DrawMenuBar(HWND hWnd);

// ---- Popup menus ----

// Shows hMenu at (x, y) owned by hWnd and runs its loop until an item is picked or the menu is
// dismissed. The owner gets WM_ENTERMENULOOP, WM_INITMENU and WM_INITMENUPOPUP (not with
// TPM_NONOTIFY), and at the end WM_UNINITMENUPOPUP and WM_EXITMENULOOP. With TPM_RETURNCMD the
// command picked (0: none) is returned; otherwise WM_COMMAND is posted to hWnd and the answer is
// TRUE when an item was picked. FALSE when hMenu or hWnd is not valid, or a menu is open already
// on this thread (without TPM_RECURSE).
BOOL TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hwnd, LPTPMPARAMS lptpm);
BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd, const RECT* prcRect);
// Dismisses the menu this thread tracks.
BOOL EndMenu();

namespace platform::menu {

// An item as a driver lists it.
struct ItemView {
  UINT id = 0;         // 0 for a submenu's own item
  std::u16string text;
  bool enabled = true;
  bool checked = false;
  bool isDefault = false;
  int depth = 0;       // 0: the popup's own items, 1: their submenus' ...
};

// The items of the menu a "#32768" window of this process shows (depth first, no separators).
std::vector<ItemView> itemsOfWindow(HWND menuWindow);
// Picks the item with `commandId` of the menu a "#32768" window shows, as a click on it would.
// Empty when done; otherwise why it was refused (no such item, grayed or disabled).
std::string pickInWindow(HWND menuWindow, UINT commandId);
// Picks `commandId` from the menu bar of `window` as a person does: WM_INITMENU and
// WM_INITMENUPOPUP for the submenus on the way (the program may update the items then), then,
// when the item is enabled, WM_COMMAND posted. Empty when done; otherwise why it was refused.
std::string pickFromMenuBar(HWND window, UINT commandId);
// Closes a popup menu with no command picked.
void dismissWindow(HWND menuWindow);

// A menu from `size` bytes of menu template (every item read within them); null with
// ERROR_INVALID_PARAMETER when it is malformed or does not end inside them.
HMENU loadTemplate(const BYTE* bytes, std::size_t size);

}  // namespace platform::menu
