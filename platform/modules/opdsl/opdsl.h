// The secure-drive controller library "OPDSL.dll": the seven functions it exports, as the
// program calls them. All texts are 8-bit in the system's ANSI code page; every function answers
// 0 for success or one of the result codes below. Functions that start an operation (login,
// logout, resize) return at once and report its end by posting WM_USER+1 (wParam: the message
// identifier the caller gave, lParam: MAKELPARAM(code, high word)) to the window registered
// through ordinal 1: high word 0 means the code is an error; code 100 with a non-zero high word
// means the operation finished and the device information is ready. The end of a resize is also
// announced by WM_USER+32 (device information changed) and WM_USER+3 (the resize's result).
//
// The functions are exported by name, except the first two, which are exported by ordinal only;
// a caller binds them with LoadLibraryW("OPDSL.dll") and GetProcAddress (by name, or by
// MAKEINTRESOURCEA(ordinal)) using the pointer types below.
#pragma once

#include "platform/base/types.h"

// Ordinal 1 (window): registers the window that receives the library's notifications (null
// unregisters). Posts the first report (device information ready) to it at once.
using OTiDll_RegisterWindowFn = int (*)(HWND window);
// Ordinal 2 (buffer, size): fills the buffer (size bytes, the caller zeroes it) with the
// device-information text: "<otidevice0>...</otidevice0>" per plugged drive of the maker, each
// holding otivid, otipid, otisn, otiallcapa (MB), otisecurity (MB), otilun2 (MB), otipwhint (the
// stored hint field as written by the last password change or format) and otidrive (the letter).
using OTiDll_GetDeviceInfoFn = int (*)(char* buffer, int size);
// (window, serial number, out state): state 1 the secure area is open, 0 closed, 2 no secure area.
using OTiDll_IsLoginFn = int (*)(HWND window, const char* serialNumber, int* state);
// (window, serial number, encoded device password, mode (2), message identifier (80)).
using OTiDll_LoginFn = int (*)(HWND window, const char* serialNumber, const char* password, int mode, int messageId);
// (window, serial number, mode (1), message identifier (80)).
using OTiDll_LogoutFn = int (*)(HWND window, const char* serialNumber, int mode, int messageId);
// (window, serial number, old encoded device password, new encoded device password, hint field).
using OTiDll_ChangePWFn = int (*)(HWND window, const char* serialNumber, const char* oldPassword,
                                  const char* newPassword, const char* hint);
// (window, format request "<otidevice0><otiSN>..</otiSN><otiPW>..</otiPW><otiHint>..</otiHint>
// <otiSecuSize>MB</otiSecuSize><otiLun2Size>MB</otiLun2Size><otiCopyFile0>..</otiCopyFile0>
// <otiCopyFile1>..</otiCopyFile1><otiMsgID>n</otiMsgID></otidevice0>"). Secure size 0 removes the
// secure area. Both areas are formatted (emptied); the letter then shows the public area.
using OTiDll_ResizeFn = int (*)(HWND window, const char* formatRequest);

inline constexpr char kOpdslModuleName[] = "OPDSL.dll";
inline constexpr char16_t kOpdslModuleNameW[] = u"OPDSL.dll";
inline constexpr WORD kOpdslRegisterWindowOrdinal = 1;
inline constexpr WORD kOpdslGetDeviceInfoOrdinal = 2;
inline constexpr char kOpdslIsLogin[] = "OTiDll_IsLogin";
inline constexpr char kOpdslLogin[] = "OTiDll_Login";
inline constexpr char kOpdslLogout[] = "OTiDll_Logout";
inline constexpr char kOpdslChangePW[] = "OTiDll_ChangePW";
inline constexpr char kOpdslResize[] = "OTiDll_Resize";

// Messages the library posts to the registered window.
inline constexpr UINT kOpdslNotifyMessage = 0x0401;      // WM_USER+1: end of login, logout, resize; errors
inline constexpr UINT kOpdslResultMessage = 0x0403;      // WM_USER+3: result of a resize
inline constexpr UINT kOpdslInfoReadyMessage = 0x0420;   // WM_USER+32: device information changed
// The message identifier used for reports not tied to a call (the first report after ordinal 1).
inline constexpr int kOpdslDefaultMessageId = 80;

// Result codes.
inline constexpr int kOpdslOk = 0;
inline constexpr int kOpdslNoDevice = 2;
inline constexpr int kOpdslWriteProtected = 6;
inline constexpr int kOpdslInvalidParameters = 47;
inline constexpr int kOpdslReportReady = 100;        // in a notification, with a non-zero high word
inline constexpr int kOpdslWrongPassword = 263;
inline constexpr int kOpdslLockedUntilReplug = 264;  // third wrong password since the drive was plugged
inline constexpr int kOpdslNoSecureArea = 265;

// The device password a drive of this maker carries when `kipo-host plug` is not given one
// (3 capital letters or digits). The program's fixed device password has this value.
inline constexpr char16_t kOpdslFactoryDevicePassword[] = u"K7P";
