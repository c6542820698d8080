// Small services over the Windows interfaces that many parts of the program share: Windows
// version tests, shell and desktop helpers, the taskbar's state, user and token helpers, a timed
// message box, the list of the user's processes, Base64, and the removal at start-up of the
// earlier product this program replaces. Free functions without shared state; each reports
// failure by its result and throws nothing. (Versions of files: module_version.h; shortcuts:
// shortcut.h; window search: window_finder.h; screen captures: screen_capture.h.)
#pragma once

#include <cstddef>
#include <vector>

#include "app/log.h"
#include "platform/afx/coll.h"
#include "platform/afx/dc.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"

// ---- Windows versions (from the run-time's major and minor numbers) ----

bool isWindowsXP();           // 5.1 and later 5.x
bool isWindows2000();         // 5.0
bool isBeforeWindows2000();   // major below 5

// ---- Shell and desktop ----

// The shell desktop's refresh command (WM_COMMAND 28931), after flushing the special-folder cache
// and making the desktop window active. Nothing happens without a desktop window.
inline constexpr WPARAM kDesktopRefreshCommand = 28931;
void refreshDesktop();
// SHChangeNotify(SHCNE_UPDATEDIR) for the folder.
void notifyShellFolderChanged(const CString& path);
// The shell's "open" verb, shown normally (minimized with shellOpen's flag); true when the shell
// answers above 32.
bool openWithShell(const CString& path);
bool shellOpen(const CString& path, bool minimized);
// The system folder joined with "shell32.dll".
CString getShell32Path();
// The edge the taskbar is docked at (ABE_*), and its state bits.
UINT getTaskbarEdge();
bool isTaskbarAlwaysOnTop();
bool isTaskbarAutoHide();
// Presses and releases the Windows key with D: Windows down, D down, D up, Windows up. The shell
// shows the desktop; the same press again brings the windows back.
void showDesktop();
// The path part of the shell's special-folder lookup for a CSIDL (getSpecialFolder); empty for a
// virtual folder.
CString getSpecialFolderPath(int csidl);
// Replaces every occurrence of `find` in the window's text; false without a window.
bool replaceWindowText(HWND window, const CString& find, const CString& replacement);

// The horizontal and vertical resolution of the screen's device context; false without one.
bool getScreenResolution(int& width, int& height);

// ---- Bitmaps for screen captures ----

// Makes `bitmap` a new bitmap compatible with the device context, of that size (a bitmap it held
// is deleted first); false when none can be made.
bool createCompatibleBitmap(CBitmap& bitmap, CDC& dc, int width, int height);
// A device-independent bitmap header for the bitmap in a zeroed block: the 40-byte
// BITMAPINFOHEADER (width, height, planes, bits per pixel rounded up to 1, 4, 8, 16, 24 or 32,
// no compression, image size ((bits x width + 31) rounded down to a multiple of 32) / 8 x height,
// and 2^bits colours below 24 bits) followed by room for that colour table. Empty when the bitmap
// cannot be read.
std::vector<BYTE> makeBitmapInfoHeader(CBitmap& bitmap);
// The window procedure of the message box's icon window: each paint draws the icon kept in the
// window's user data (GWLP_USERDATA) at (0, 0).
LRESULT CALLBACK messageIconWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- User and token ----

// On Windows before 5 always true. Otherwise whether the thread's token (the process token when
// the thread has none) holds the built-in Administrators group; any failure gives false.
bool isUserAdministrator();
// Logs the user on (no domain, interactive, default provider) and impersonates the logged-on
// user; `token` receives the logon token, or 0 on failure (the caller closes it after
// RevertToSelf).
bool impersonateUser(const CString& userName, const CString& password, HANDLE& token);
// The English names of the system default locale's language and country.
CString getSystemLanguageName();
CString getSystemCountryName();

// ---- Messages ----

// A newly allocated UTF-8 copy of the text with its NUL (free it with the run-time's free) and its
// length in bytes including the NUL; null (and 0) when it cannot be allocated.
char* toUtf8(const CString& text, std::size_t& length);

// A system-modal Yes/No question with the question icon, the product name as caption and English
// buttons; the text formatted printf-style (at most 4,096 characters). True on Yes.
bool askYesNoQuestion(const CString& text);
template <class... A>
bool askYesNo(LPCWSTR format, const A&... args) {
  return askYesNoQuestion(formatMessageText(format, args...));
}

// A message box that answers 0 by itself after `timeoutMs`. A thread timer posts a WM_QUIT that
// carries this call's own mark; the box's modal loop ends on it; afterwards the queued messages
// are pumped: the marked WM_QUIT means the time ran out (the remembered active window is
// activated again, its enabled state restored, and the answer is 0), any other WM_QUIT taken from
// the queue is posted again for the caller's loop, everything else is dispatched. The box is a
// real modal "#32770" box (MessageBoxW), since only a modal loop can time out.
int timedMessageBox(UINT timeoutMs, HWND owner, const CString& text, const CString& caption, UINT flags);

// ---- Processes ----

// Appends the lower-cased image file names (the file name only) of the host's processes; on
// Windows of the NT family only those whose token user is the current user. False when no
// snapshot can be taken.
bool listUserProcessNames(CStringArray& names);

// ---- Base64 (RFC 4648 alphabet, "=" padding, no line breaks) ----

CString base64Encode(const BYTE* data, std::size_t size);
inline CString base64Encode(const std::vector<BYTE>& bytes) { return base64Encode(bytes.data(), bytes.size()); }
// Drops every character outside the alphabet and "=", then decodes groups of four. A "=" in the
// third or fourth place ends that group's output; a short last group decodes as if it were
// padded: two characters give one byte, three give two, a single character gives nothing.
std::vector<BYTE> base64Decode(const CString& text);

// ---- The earlier product ----

// What the application removes at start-up: "Marrowvale", "Ferrowind", "CustomizerMainFrameClass".
struct EarlierProduct {
  CString vendor;
  CString product;
  CString windowClass;
};

// Runs all five steps and is true only when all succeeded:
// 1. Registry: the values and keys of "HKEY_CURRENT_USER\Software\<vendor>\<product>" that the
//    product's own key "HKEY_CURRENT_USER\Software\Brackwater\Kipo" lacks are copied into it
//    (nothing there is replaced or removed: the key holds the host values parked at login); when
//    that copy succeeded the old key is deleted. A missing old key is success.
// 2. Windows: every top-level window of `windowClass` other than this program's main frame is
//    asked to close; its process gets 10,000 ms to end, then it is ended.
// 3. The folder `vendor` in the user's application-data folder is deleted (through the shell).
// 4. The autostart value `product` under the user's "...\Windows\CurrentVersion\Run" key is
//    deleted (a missing one is success).
// 5. "<product>.exe" in the device folder is deleted when it exists.
bool removeEarlierProduct(const EarlierProduct& earlier);
// Step 1 alone, between any two keys given by full path: copies into `destination` (created when
// missing) the values and subkeys of `source` it lacks, recursively. True when everything missing
// was copied.
bool copyMissingRegistryTree(const CString& source, const CString& destination);
