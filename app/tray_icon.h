// CTrayIcon: the program's icon in the notification area with its popup menu. The icon tells a
// single click (menu, after the system double-click time) from a double click (handed to the
// application's handler) itself, since the shell sends both as plain button messages. The menu
// comes from the language library; its commands go to the owner window as WM_COMMAND.
#pragma once

#include <functional>
#include <set>

#include "platform/afx/afxwin.h"
#include "platform/afx/menu.h"
#include "platform/win32/tray.h"

class CTrayIcon {
 public:
  // What the popup menu and a double click need from the application.
  struct Hooks {
    // A double click while the menu is enabled: (icon id, mouse message), for the active view.
    std::function<void(UINT id, UINT mouseMessage)> onDoubleClick;
    // The device's display name put into item 32774 of menu 356.
    std::function<CString()> deviceName;
    // Whether the check-for-update item stays: secure-drive support on, or the customization's
    // software update switch set.
    std::function<bool()> updateItemAllowed;
  };

  static constexpr UINT kClickTimerMs = 50;

  // Becomes the process's current icon (the click timer reaches it through that) and the tray
  // menu switch of message boxes (setTrayMenuSwitch, app/messages.h).
  CTrayIcon();
  // Removes the icon; stops being the current icon.
  ~CTrayIcon();
  CTrayIcon(const CTrayIcon&) = delete;
  CTrayIcon& operator=(const CTrayIcon&) = delete;

  // Adds the icon (NIM_ADD) for `owner` with the callback message, tip (cut to 127 characters),
  // icon and id; the menu id becomes `id`. False (not present) below Windows 4 or without an
  // owner window.
  bool create(CWnd* owner, UINT callbackMessage, const CString& tip, HICON icon, UINT id);
  // NIM_DELETE when present.
  void remove();
  // Takes the icon out of the area, and puts it back, while it stays present.
  void hide();
  void show();
  // NIM_MODIFY when present; false otherwise or when the shell refused.
  bool setIcon(HICON icon);
  // The icon resource `iconId` (language library, then the program).
  bool setIconById(UINT iconId);
  bool setTip(const CString& tip);
  bool setTipById(UINT stringId);
  // The menu shown from now on; the record is sent again when present.
  bool setMenu(UINT menuId);
  // An information balloon titled with the product name, 10 seconds.
  bool showBalloon(const CString& text);

  // The tray callback of the owner window (wParam id, lParam mouse message): false when `id` is
  // not this icon's, else handled and true.
  bool onNotify(UINT id, UINT mouseMessage);

  // Shows the popup menu at the cursor (ignored while one is open or the menu is disabled).
  void showMenu();
  // Greys (or enables again) a command in every menu this icon shows.
  void setCommandEnabled(UINT commandId, bool enabled);
  // The menu flag, as message boxes switch it off while they are up; returns the previous value.
  bool setMenuEnabled(bool enabled);

  bool isPresent() const { return present; }
  bool isHidden() const { return hidden; }
  bool isMenuShowing() const { return menuShowing; }
  UINT getMenuId() const { return menuId; }
  UINT getId() const { return m_data.uID; }
  bool isClickPending() const { return clickTime != 0; }

  // The icon the click timer serves; null when none.
  static CTrayIcon* current();

  Hooks hooks;
  UINT defaultItem = 0;

 private:
  static void CALLBACK onClickTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
  void clickTimerTick();
  void killClickTimer();
  bool notify(DWORD message, UINT flags);

  DWORD clickTime = 0;
  UINT_PTR clickTimer = 0;
  bool present = false;
  bool hidden = false;
  NOTIFYICONDATAW m_data{};
  UINT menuId = 0;
  CMenu m_menu;
  bool menuShowing = false;
  bool menuEnabled = true;
  std::set<UINT> m_disabledCommands;
};
