// The notification-area icon and its popup menu (see tray_icon.h).
#include "app/tray_icon.h"

#include <algorithm>

#include "app/lingrove.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/base/text.h"
#include "platform/win32/win32.h"

namespace {

constexpr UINT kBalloonTimeoutMs = 10000;

CTrayIcon* g_current = nullptr;
// The last left-button event was a double click: the button-up that follows it is no click.
bool g_doubleClickSeen = false;

// Copies `text` into a fixed field, cut to leave room for the terminator.
template <std::size_t N>
void copyField(WCHAR (&field)[N], const CString& text) {
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(text.GetLength()), N - 1);
  std::copy_n(text.GetString(), count, field);
  field[count] = 0;
}

// The resource module menus and icons come from: the language library, else the chain's head.
HINSTANCE resourceModule() {
  HMODULE language = languageResourceModule();
  return language != nullptr ? language : AfxGetResourceHandle();
}

}  // namespace

CTrayIcon::CTrayIcon() {
  g_current = this;
  setTrayMenuSwitch([](bool enabled) {
    CTrayIcon* icon = CTrayIcon::current();
    return icon != nullptr ? icon->setMenuEnabled(enabled) : false;
  });
}

CTrayIcon::~CTrayIcon() {
  killClickTimer();
  remove();
  m_menu.DestroyMenu();
  if (g_current == this) {
    g_current = nullptr;
    setTrayMenuSwitch({});
  }
}

CTrayIcon* CTrayIcon::current() { return g_current; }

bool CTrayIcon::create(CWnd* owner, UINT callbackMessage, const CString& tip, HICON icon, UINT id) {
  if (LOBYTE(LOWORD(GetVersion())) < 4) return false;
  if (owner == nullptr || !IsWindow(owner->GetSafeHwnd())) return false;
  m_data = NOTIFYICONDATAW{};
  m_data.cbSize = sizeof(NOTIFYICONDATAW);
  m_data.hWnd = owner->GetSafeHwnd();
  m_data.uID = id;
  m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  m_data.uCallbackMessage = callbackMessage;
  m_data.hIcon = icon;
  copyField(m_data.szTip, tip);
  menuId = id;
  hidden = false;
  present = Shell_NotifyIconW(NIM_ADD, &m_data) != FALSE;
  return present;
}

bool CTrayIcon::notify(DWORD message, UINT flags) {
  m_data.uFlags = flags;
  return Shell_NotifyIconW(message, &m_data) != FALSE;
}

void CTrayIcon::remove() {
  if (!present) return;
  if (!hidden) notify(NIM_DELETE, 0);
  present = false;
  hidden = false;
}

void CTrayIcon::hide() {
  if (!present || hidden) return;
  notify(NIM_DELETE, 0);
  hidden = true;
}

void CTrayIcon::show() {
  if (!present || !hidden) return;
  notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  hidden = false;
}

bool CTrayIcon::setIcon(HICON icon) {
  if (!present) return false;
  m_data.hIcon = icon;
  return hidden || notify(NIM_MODIFY, NIF_ICON);
}

bool CTrayIcon::setIconById(UINT iconId) {
  HICON icon = LoadIconW(resourceModule(), MAKEINTRESOURCEW(iconId));
  if (icon == nullptr) icon = LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(iconId));
  return setIcon(icon);
}

bool CTrayIcon::setTip(const CString& tip) {
  if (!present) return false;
  copyField(m_data.szTip, tip);
  return hidden || notify(NIM_MODIFY, NIF_TIP);
}

bool CTrayIcon::setTipById(UINT stringId) { return setTip(loadResString(stringId)); }

bool CTrayIcon::setMenu(UINT id) {
  menuId = id;
  if (!present) return false;
  return hidden || notify(NIM_MODIFY, NIF_MESSAGE | NIF_ICON | NIF_TIP);
}

bool CTrayIcon::showBalloon(const CString& text) {
  if (!present || hidden) return false;
  copyField(m_data.szInfo, text);
  copyField(m_data.szInfoTitle, CString(kProductName));
  m_data.uTimeout = kBalloonTimeoutMs;
  m_data.dwInfoFlags = NIIF_INFO;
  return notify(NIM_MODIFY, NIF_INFO);
}

bool CTrayIcon::setMenuEnabled(bool enabled) {
  const bool previous = menuEnabled;
  menuEnabled = enabled;
  return previous;
}

void CTrayIcon::setCommandEnabled(UINT commandId, bool enabled) {
  if (enabled) {
    m_disabledCommands.erase(commandId);
  } else {
    m_disabledCommands.insert(commandId);
  }
}

bool CTrayIcon::onNotify(UINT id, UINT mouseMessage) {
  if (id != m_data.uID) return false;
  switch (mouseMessage) {
    case WM_RBUTTONUP:
      clickTime = 0;
      killClickTimer();
      showMenu();
      break;
    case WM_LBUTTONUP:
      if (g_doubleClickSeen) {
        g_doubleClickSeen = false;
        break;
      }
      if (clickTime == 0) {
        clickTime = std::max<DWORD>(GetTickCount(), 1);
        if (clickTimer == 0) clickTimer = SetTimer(nullptr, 0, kClickTimerMs, &CTrayIcon::onClickTimer);
      }
      break;
    case WM_LBUTTONDBLCLK:
      g_doubleClickSeen = true;
      clickTime = 0;
      killClickTimer();
      if (menuEnabled && hooks.onDoubleClick) hooks.onDoubleClick(id, mouseMessage);
      break;
    default:
      break;
  }
  return true;
}

void CALLBACK CTrayIcon::onClickTimer(HWND, UINT, UINT_PTR id, DWORD) {
  CTrayIcon* icon = current();
  if (icon == nullptr || icon->clickTimer != id) {
    KillTimer(nullptr, id);
    return;
  }
  icon->clickTimerTick();
}

void CTrayIcon::clickTimerTick() {
  if (clickTime != 0 && GetTickCount() - clickTime <= GetDoubleClickTime()) return;
  const bool pending = clickTime != 0;
  clickTime = 0;
  killClickTimer();
  if (pending) showMenu();
}

void CTrayIcon::killClickTimer() {
  if (clickTimer == 0) return;
  KillTimer(nullptr, clickTimer);
  clickTimer = 0;
}

void CTrayIcon::showMenu() {
  if (menuShowing || !menuEnabled) return;
  menuShowing = true;
  HWND owner = m_data.hWnd;
  m_menu.DestroyMenu();
  HMENU loaded = LoadMenuW(resourceModule(), MAKEINTRESOURCEW(menuId));
  if (loaded == nullptr) loaded = LoadMenuW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(menuId));
  if (loaded != nullptr) m_menu.Attach(loaded);
  CMenu* popup = loaded != nullptr ? m_menu.GetSubMenu(0) : nullptr;
  if (popup == nullptr) {
    writeLog(u"{Tray Icon}: Menu %u could not be loaded.", menuId);
  } else {
    if (menuId == IDR_TRAY_LOGGED_OUT) {
      CString text;
      if (popup->GetMenuString(ID_POPUP_NEW_DEVICE, text, MF_BYCOMMAND) > 0) {
        text.Replace(u"%s", hooks.deviceName ? hooks.deviceName() : CString());
        popup->ModifyMenu(ID_POPUP_NEW_DEVICE, MF_BYCOMMAND | MF_STRING, ID_POPUP_NEW_DEVICE, text);
      }
    }
    if (!(hooks.updateItemAllowed && hooks.updateItemAllowed())) popup->RemoveMenu(ID_POPUP_CHECK_UPDATE, MF_BYCOMMAND);
    for (UINT command : m_disabledCommands) popup->EnableMenuItem(command, MF_BYCOMMAND | MF_GRAYED);
    popup->SetDefaultItem(defaultItem, TRUE);
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(owner);
    TrackPopupMenu(popup->GetSafeHmenu(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner, nullptr);
    SetForegroundWindow(owner);
    PostMessageW(owner, WM_USER, 0, 0);
  }
  m_menu.DestroyMenu();
  menuShowing = false;
}
