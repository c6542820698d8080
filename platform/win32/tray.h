// The notification area ("tray"): Shell_NotifyIconW keeps each icon as host state in host.db, so
// every process of the host (the desktop stand-in, kipo-host ui) lists the same icons. A click on
// an icon sends its window the icon's callback message, wParam the icon's id and lParam the mouse
// message, as the Windows taskbar does (version 0 behaviour: no keyboard or balloon
// notifications). Icons whose process has ended are ignored and pruned, as Windows drops them
// when the owner is gone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/types.h"

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIM_SETFOCUS 0x00000003
#define NIM_SETVERSION 0x00000004

#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004
#define NIF_STATE 0x00000008
#define NIF_INFO 0x00000010
#define NIF_GUID 0x00000020

#define NIS_HIDDEN 0x00000001
#define NIS_SHAREDICON 0x00000002

#define NIIF_NONE 0x00000000
#define NIIF_INFO 0x00000001
#define NIIF_WARNING 0x00000002
#define NIIF_ERROR 0x00000003
#define NIIF_USER 0x00000004
#define NIIF_ICON_MASK 0x0000000F
#define NIIF_NOSOUND 0x00000010

struct NOTIFYICONDATAW {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  WCHAR szTip[128];
  DWORD dwState;
  DWORD dwStateMask;
  WCHAR szInfo[256];
  union {
    UINT uTimeout;
    UINT uVersion;
  };
  WCHAR szInfoTitle[64];
  DWORD dwInfoFlags;
  GUID guidItem;
};
using PNOTIFYICONDATAW = NOTIFYICONDATAW*;

// NIM_ADD fails for an icon (window, id) that exists, NIM_MODIFY and NIM_DELETE for one that does
// not; every message fails for a window that does not exist or a size below the first version's
// (the fields past cbSize are not read). Texts are cut to their fields' sizes.
BOOL Shell_NotifyIconW(DWORD dwMessage, PNOTIFYICONDATAW lpData);

namespace platform::tray {

// One icon as the host keeps it.
struct Icon {
  std::uint32_t window = 0;
  UINT id = 0;
  DWORD pid = 0;
  UINT callbackMessage = 0;  // 0: none set (clicks send nothing)
  std::uint64_t icon = 0;    // the HICON value, as the owner gave it
  std::u16string tip;
  DWORD state = 0;           // NIS_*
  std::u16string info;       // the last balloon's text (empty: none shown)
  std::u16string infoTitle;
  DWORD infoFlags = 0;
};

// The living icons of the host in the order they were added.
std::vector<Icon> icons();

enum class Click { Left, Right, Double };

// What a person's click on the icon sends: the callback message with WM_LBUTTONDOWN and
// WM_LBUTTONUP (Right: WM_RBUTTONDOWN and WM_RBUTTONUP; Double: down, up, WM_LBUTTONDBLCLK, up),
// posted to the icon's window in whichever process owns it. False when the icon is gone or
// hidden.
bool click(const Icon& icon, Click how);

}  // namespace platform::tray
