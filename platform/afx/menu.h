// CMenu: the framework's wrapper of a menu handle, and the update-UI pass over a popup's items
// (CCmdUI for each command item before the popup shows).
#pragma once

#include "platform/afx/cmdtarget.h"
#include "platform/afx/cstring.h"
#include "platform/afx/object.h"
#include "platform/win32/menu.h"

class CWnd;

class CMenu : public CObject {
  DECLARE_DYNCREATE(CMenu)

 public:
  CMenu() = default;
  // A menu this object owns (created, loaded or attached) is destroyed with it.
  ~CMenu() override;
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  HMENU m_hMenu = nullptr;

  BOOL CreateMenu();
  BOOL CreatePopupMenu();
  // From the resource chain (AfxFindResourceHandle).
  BOOL LoadMenu(LPCWSTR lpszResourceName);
  BOOL LoadMenu(UINT nIDResource);
  BOOL LoadMenuIndirect(const void* lpMenuTemplate);
  BOOL DestroyMenu();
  BOOL Attach(HMENU hMenu);
  HMENU Detach();
  HMENU GetSafeHmenu() const { return m_hMenu; }
  operator HMENU() const { return m_hMenu; }

  // The attached CMenu of hMenu, else a temporary one of this thread (it never destroys the menu;
  // it lives while the menu does). Null for a null handle.
  static CMenu* PASCAL FromHandle(HMENU hMenu);

  BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr);
  BOOL InsertMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr);
  BOOL ModifyMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr);
  BOOL DeleteMenu(UINT nPosition, UINT nFlags);
  BOOL RemoveMenu(UINT nPosition, UINT nFlags);
  UINT CheckMenuItem(UINT nIDCheckItem, UINT nCheck);
  BOOL CheckMenuRadioItem(UINT nIDFirst, UINT nIDLast, UINT nIDItem, UINT nFlags);
  UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable);
  BOOL SetDefaultItem(UINT uItem, BOOL fByPos = FALSE);
  UINT GetDefaultItem(UINT gmdiFlags, BOOL fByPos = FALSE);
  UINT GetMenuItemCount() const;
  UINT GetMenuItemID(int nPos) const;
  UINT GetMenuState(UINT nID, UINT nFlags) const;
  int GetMenuString(UINT nIDItem, LPWSTR lpString, int nMaxCount, UINT nFlags) const;
  int GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const;
  BOOL GetMenuItemInfo(UINT uItem, LPMENUITEMINFOW lpMenuItemInfo, BOOL fByPos = FALSE);
  BOOL SetMenuItemInfo(UINT uItem, LPCMENUITEMINFOW lpMenuItemInfo, BOOL fByPos = FALSE);
  CMenu* GetSubMenu(int nPos) const;
  BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect = nullptr);
  BOOL TrackPopupMenuEx(UINT fuFlags, int x, int y, CWnd* pWnd, LPTPMPARAMS lptpm);

 private:
  bool temporary_ = false;  // made by FromHandle: never destroys the menu
};

namespace platform::afx {

// Runs the update-UI handlers of `target`'s route for each command item of `popup` (its submenus'
// own items are left alone): Enable/SetCheck/SetRadio/SetText change the item. With
// autoEnable, an item whose command nobody handles is grayed (as the frame's m_bAutoMenuEnable).
void updateMenuItems(CCmdTarget* target, HMENU popup, bool autoEnable);

}  // namespace platform::afx
