// The shared Windows helpers; see windows_helpers.h.
#include "app/windows_helpers.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "app/window_finder.h"
#include "platform/afx/app.h"
#include "platform/afx/wnd.h"
#include "platform/win32/gdi.h"
#include "platform/win32/win32.h"
#include "platform/win32/input.h"
#include "platform/win32/toolhelp.h"

namespace {

constexpr const char16_t* kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
constexpr const char16_t* kRunKey = u"HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char16_t* kDesktopClass = u"Progman";
constexpr DWORD kCloseWaitMs = 10000;
constexpr int kLocaleTextLimit = 1024;
constexpr int kMaxNameLength = 1024;
constexpr WORD kKeyD = 0x44;

bool windowsVersion(DWORD& major, DWORD& minor) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(&info)) return false;
  major = info.dwMajorVersion;
  minor = info.dwMinorVersion;
  return true;
}

UINT_PTR taskbarState() {
  APPBARDATA data{};
  data.cbSize = sizeof data;
  return SHAppBarMessage(ABM_GETSTATE, &data);
}

CString localeText(LCTYPE type) {
  WCHAR buffer[kLocaleTextLimit] = {};
  if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, type, buffer, kLocaleTextLimit) <= 0) return CString();
  return CString(buffer);
}

// ---- the timed box ----

// The mark of each timed box's WM_QUIT, by the thread timer that posts it. A WM_QUIT carries only
// its exit code through a modal loop, so the mark is the code: a value no program exits with.
thread_local std::map<UINT_PTR, WPARAM> t_timedQuitMarks;
thread_local DWORD t_nextMark = 0;
constexpr WPARAM kQuitMarkBase = 0x4B540000;

void CALLBACK postTimedQuit(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  auto it = t_timedQuitMarks.find(id);
  if (it == t_timedQuitMarks.end()) return;
  PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, it->second, 0);
  t_timedQuitMarks.erase(it);
}

// ---- processes ----

// Whether the process runs as the current user (its token user's account name, case-blind).
bool ownedByCurrentUser(DWORD processId, const CString& userName) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (!process) return false;
  bool mine = false;
  HANDLE token = nullptr;
  if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
    DWORD size = 8;
    std::vector<BYTE> buffer(size);
    BOOL ok = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      buffer.assign(size, 0);
      ok = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    }
    if (ok) {
      TOKEN_USER user;
      std::memcpy(&user, buffer.data(), sizeof user);
      WCHAR name[kMaxNameLength] = {};
      WCHAR domain[kMaxNameLength] = {};
      DWORD nameLength = kMaxNameLength, domainLength = kMaxNameLength;
      SID_NAME_USE use{};
      if (LookupAccountSidW(nullptr, user.User.Sid, name, &nameLength, domain, &domainLength, &use))
        mine = userName.CompareNoCase(name) == 0;
    }
    CloseHandle(token);
  }
  CloseHandle(process);
  return mine;
}

// ---- Base64 ----

constexpr char16_t kBase64Alphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c - u'A';
  if (c >= u'a' && c <= u'z') return c - u'a' + 26;
  if (c >= u'0' && c <= u'9') return c - u'0' + 52;
  if (c == u'+') return 62;
  if (c == u'/') return 63;
  return -1;
}

// ---- the earlier product ----

HKEY openKey(const CString& path, REGSAM access) {
  HKEY root = CRegistry::rootKeyFromName(path);
  if (!root) return nullptr;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, CRegistry::subkeyFromName(path).GetString(), 0, access, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

struct KeyCloser {
  void operator()(HKEY k) const {
    if (k) RegCloseKey(k);
  }
};
using KeyHandle = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// Copies what `to` lacks from `from`, recursively; true when all of it was copied.
bool copyMissing(HKEY from, HKEY to) {
  bool ok = true;
  std::vector<WCHAR> valueName(16384);
  for (DWORD i = 0;; ++i) {
    WCHAR* name = valueName.data();
    DWORD nameLength = 16384, type = 0, size = 0;
    LONG rc = RegEnumValueW(from, i, name, &nameLength, nullptr, &type, nullptr, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) {
      ok = false;
      break;
    }
    if (RegQueryValueExW(to, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) continue;
    std::vector<BYTE> data(size ? size : 1);
    DWORD got = size;
    if (RegQueryValueExW(from, name, nullptr, &type, data.data(), &got) != ERROR_SUCCESS ||
        RegSetValueExW(to, name, 0, type, data.data(), got) != ERROR_SUCCESS)
      ok = false;
  }
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD nameLength = 256;
    LONG rc = RegEnumKeyExW(from, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) {
      ok = false;
      break;
    }
    HKEY rawFrom = nullptr, rawTo = nullptr;
    if (RegOpenKeyExW(from, name, 0, KEY_READ, &rawFrom) != ERROR_SUCCESS) {
      ok = false;
      continue;
    }
    KeyHandle subFrom(rawFrom);
    if (RegCreateKeyExW(to, name, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &rawTo, nullptr) != ERROR_SUCCESS) {
      ok = false;
      continue;
    }
    KeyHandle subTo(rawTo);
    if (!copyMissing(subFrom.get(), subTo.get())) ok = false;
  }
  return ok;
}

bool removeEarlierRegistry(const EarlierProduct& earlier) {
  CString oldPath;
  oldPath.Format(u"HKEY_CURRENT_USER\\Software\\%s\\%s", earlier.vendor, earlier.product);
  {
    KeyHandle probe(openKey(oldPath, KEY_READ));
    if (!probe) return true;
  }
  if (!copyMissingRegistryTree(oldPath, CString(kProductKey))) {
    writeLog(u"{removeEarlierProduct}: Failed to copy the registry key %s.", oldPath);
    return false;
  }
  CRegistry old(oldPath);
  return old.deleteKey();
}

// Asks the window to close; its process gets the time-out to end and is then ended.
bool closeWindowProcess(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  PostMessageW(window, WM_CLOSE, 0, 0);
  // A window of this very program is only asked: waiting for our own end would never succeed, and
  // ending it would end us.
  if (processId == 0 || processId == GetCurrentProcessId()) return true;
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
  if (!process) return !IsWindow(window);
  bool ended = WaitForSingleObject(process, kCloseWaitMs) == WAIT_OBJECT_0;
  if (!ended) ended = TerminateProcess(process, 0) != FALSE;
  CloseHandle(process);
  return ended;
}

bool closeEarlierWindows(const EarlierProduct& earlier) {
  if (earlier.windowClass.IsEmpty()) return true;
  std::vector<HWND> windows;
  CWindowFinder finder;
  if (!finder.findWindows(earlier.windowClass, CString(), windows)) return true;
  CWnd* main = AfxGetMainWnd();
  const HWND own = main ? main->GetSafeHwnd() : nullptr;
  bool ok = true;
  for (HWND w : windows) {
    if (w == own) continue;
    if (!closeWindowProcess(w)) ok = false;
  }
  return ok;
}

bool removeEarlierFolder(const EarlierProduct& earlier) {
  CString appData = CFolderLookup::getShellFolder(CString(u"AppData"));
  if (appData.IsEmpty() || earlier.vendor.IsEmpty()) return true;
  CShellInterface shell;
  return shell.deleteFolder(joinPath(appData, earlier.vendor), false);
}

bool removeEarlierAutostart(const EarlierProduct& earlier) {
  CRegistry run{CString(kRunKey)};
  return run.deleteValue(earlier.product.GetString());
}

bool removeEarlierProgramFile(const EarlierProduct& earlier) {
  CString device = CFolderLookup::getDevicePath();
  if (device.IsEmpty()) return true;
  CString file = joinPath(device, earlier.product + u".exe");
  if (!fileExists(file)) return true;
  return deleteFileOp(file);
}

}  // namespace

// ---- Windows versions ----

bool isWindowsXP() {
  DWORD major = 0, minor = 0;
  return windowsVersion(major, minor) && major == 5 && minor > 0;
}

bool isWindows2000() {
  DWORD major = 0, minor = 0;
  return windowsVersion(major, minor) && major == 5 && minor == 0;
}

bool isBeforeWindows2000() {
  DWORD major = 0, minor = 0;
  return windowsVersion(major, minor) && major < 5;
}

// ---- Shell and desktop ----

void refreshDesktop() {
  SHFlushSFCache();
  HWND desktop = FindWindowW(kDesktopClass, nullptr);
  if (!desktop) return;
  SetActiveWindow(desktop);
  SendMessageW(desktop, WM_COMMAND, kDesktopRefreshCommand, 0);
}

void notifyShellFolderChanged(const CString& path) {
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, path.GetString(), nullptr);
}

bool shellOpen(const CString& path, bool minimized) {
  HINSTANCE result = ShellExecuteW(nullptr, u"open", path.GetString(), nullptr, nullptr,
                                   minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool openWithShell(const CString& path) { return shellOpen(path, false); }

CString getShell32Path() {
  WCHAR folder[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return CString();
  return joinPath(CString(folder), CString(u"shell32.dll"));
}

UINT getTaskbarEdge() {
  APPBARDATA data{};
  data.cbSize = sizeof data;
  if (!SHAppBarMessage(ABM_GETTASKBARPOS, &data)) return ABE_BOTTOM;
  return data.uEdge;
}

bool isTaskbarAlwaysOnTop() { return (taskbarState() & ABS_ALWAYSONTOP) != 0; }
bool isTaskbarAutoHide() { return (taskbarState() & ABS_AUTOHIDE) != 0; }

void showDesktop() {
  keybd_event(VK_LWIN, 0, 0, 0);
  keybd_event(static_cast<BYTE>(kKeyD), 0, 0, 0);
  keybd_event(static_cast<BYTE>(kKeyD), 0, KEYEVENTF_KEYUP, 0);
  keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
}

CString getSpecialFolderPath(int csidl) {
  CString path, name;
  getSpecialFolder(csidl, path, name);
  return path;
}

bool replaceWindowText(HWND window, const CString& find, const CString& replacement) {
  if (!window) return false;
  const int length = GetWindowTextLengthW(window);
  std::vector<WCHAR> buffer(static_cast<std::size_t>(length) + 1, 0);
  GetWindowTextW(window, buffer.data(), length + 1);
  CString text(buffer.data());
  if (!find.IsEmpty()) text.Replace(find.GetString(), replacement.GetString());
  SetWindowTextW(window, text.GetString());
  return true;
}

bool getScreenResolution(int& width, int& height) {
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  width = GetDeviceCaps(screen, HORZRES);
  height = GetDeviceCaps(screen, VERTRES);
  ReleaseDC(nullptr, screen);
  return true;
}

// ---- Bitmaps for screen captures ----

bool createCompatibleBitmap(CBitmap& bitmap, CDC& dc, int width, int height) {
  bitmap.DeleteObject();
  HBITMAP made = CreateCompatibleBitmap(dc.GetSafeHdc(), width, height);
  if (!made) return false;
  return bitmap.Attach(made) != FALSE;
}

std::vector<BYTE> makeBitmapInfoHeader(CBitmap& bitmap) {
  BITMAP bm{};
  if (!bitmap.GetSafeHandle() || !bitmap.GetBitmap(&bm)) return {};
  const int rawBits = bm.bmPlanes * bm.bmBitsPixel;
  WORD bits = 32;
  for (WORD b : {1, 4, 8, 16, 24, 32})
    if (rawBits <= b) {
      bits = b;
      break;
    }
  const std::size_t colours = bits < 24 ? (std::size_t{1} << bits) : 0;
  std::vector<BYTE> block(sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD), 0);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = bm.bmWidth;
  header.biHeight = bm.bmHeight;
  header.biPlanes = static_cast<WORD>(bm.bmPlanes);
  header.biBitCount = bits;
  header.biCompression = BI_RGB;
  header.biSizeImage =
      static_cast<DWORD>((static_cast<std::int64_t>(bits) * bm.bmWidth + 31) / 32 * 4 * bm.bmHeight);
  header.biClrUsed = static_cast<DWORD>(colours);
  std::memcpy(block.data(), &header, sizeof header);
  return block;
}

LRESULT CALLBACK messageIconWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(window, &ps);
  if (auto icon = reinterpret_cast<HICON>(GetWindowLongPtrW(window, GWLP_USERDATA)); icon && dc)
    DrawIcon(dc, 0, 0, icon);
  EndPaint(window, &ps);
  return 0;
}

// ---- User and token ----

bool isUserAdministrator() {
  DWORD major = 0, minor = 0;
  if (windowsVersion(major, minor) && major < 5) return true;
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    if (GetLastError() != ERROR_NO_TOKEN) return false;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  }
  bool admin = false;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenGroups, nullptr, 0, &size) && GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
      size >= sizeof(DWORD)) {
    std::vector<BYTE> buffer(size);
    PSID administrators = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (GetTokenInformation(token, TokenGroups, buffer.data(), size, &size) &&
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &administrators)) {
      const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
      for (DWORD i = 0; i < groups->GroupCount && !admin; ++i)
        admin = EqualSid(groups->Groups[i].Sid, administrators) != FALSE;
      FreeSid(administrators);
    }
  }
  CloseHandle(token);
  return admin;
}

bool impersonateUser(const CString& userName, const CString& password, HANDLE& token) {
  token = nullptr;
  HANDLE logon = nullptr;
  if (!LogonUserW(userName.GetString(), nullptr, password.GetString(), LOGON32_LOGON_INTERACTIVE,
                  LOGON32_PROVIDER_DEFAULT, &logon))
    return false;
  if (!ImpersonateLoggedOnUser(logon)) {
    CloseHandle(logon);
    return false;
  }
  token = logon;
  return true;
}

CString getSystemLanguageName() { return localeText(LOCALE_SENGLANGUAGE); }
CString getSystemCountryName() { return localeText(LOCALE_SENGCOUNTRY); }

// ---- Messages ----

char* toUtf8(const CString& text, std::size_t& length) {
  length = 0;
  const std::string utf8 = platform::text::toUtf8(std::u16string_view(text.GetString(), text.GetLength()));
  auto* copy = static_cast<char*>(std::malloc(utf8.size() + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, utf8.c_str(), utf8.size() + 1);
  length = utf8.size() + 1;
  return copy;
}

bool askYesNoQuestion(const CString& text) {
  return showMessageBox(nullptr, text, programCaption(), MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL,
                        MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL)) == IDYES;
}

int timedMessageBox(UINT timeoutMs, HWND owner, const CString& text, const CString& caption, UINT flags) {
  HWND active = GetActiveWindow();
  const bool activeWasEnabled = active && IsWindowEnabled(active);
  const WPARAM mark = kQuitMarkBase | (t_nextMark++ & 0xFFFF);
  const UINT_PTR timer = SetTimer(nullptr, 0, timeoutMs, postTimedQuit);
  if (timer) t_timedQuitMarks[timer] = mark;
  int answer = MessageBoxW(owner, text.GetString(), caption.GetString(), flags);
  if (timer) {
    KillTimer(nullptr, timer);
    t_timedQuitMarks.erase(timer);
  }
  bool otherQuit = false;
  WPARAM otherQuitCode = 0;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (msg.wParam == mark) {
        if (active && IsWindow(active)) {
          SetActiveWindow(active);
          EnableWindow(active, activeWasEnabled ? TRUE : FALSE);
        }
        answer = 0;
      } else {
        otherQuit = true;
        otherQuitCode = msg.wParam;
      }
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (otherQuit) PostQuitMessage(static_cast<int>(otherQuitCode));
  return answer;
}

// ---- Processes ----

bool listUserProcessNames(CStringArray& names) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  DWORD major = 0, minor = 0;
  const bool ntFamily = windowsVersion(major, minor) && major >= 5;
  CString userName;
  if (ntFamily) {
    WCHAR buffer[kMaxNameLength] = {};
    DWORD size = kMaxNameLength;
    if (GetUserNameW(buffer, &size)) userName = buffer;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (ntFamily && !ownedByCurrentUser(entry.th32ProcessID, userName)) continue;
    CString name(entry.szExeFile);
    name.MakeLower();
    if (name.GetLength() > 1 && (name[1] == u':' || name[0] == u'\\')) name = getFileName(name);
    names.Add(name);
  }
  CloseHandle(snapshot);
  return true;
}

// ---- Base64 ----

CString base64Encode(const BYTE* data, std::size_t size) {
  std::u16string out;
  out.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) {
    const std::size_t n = std::min<std::size_t>(3, size - i);
    const DWORD group = (static_cast<DWORD>(data[i]) << 16) | (n > 1 ? static_cast<DWORD>(data[i + 1]) << 8 : 0) |
                        (n > 2 ? static_cast<DWORD>(data[i + 2]) : 0);
    out += kBase64Alphabet[(group >> 18) & 63];
    out += kBase64Alphabet[(group >> 12) & 63];
    out += n > 1 ? kBase64Alphabet[(group >> 6) & 63] : u'=';
    out += n > 2 ? kBase64Alphabet[group & 63] : u'=';
  }
  return CString(std::move(out));
}

std::vector<BYTE> base64Decode(const CString& text) {
  std::u16string kept;
  for (int i = 0; i < text.GetLength(); ++i)
    if (base64Value(text[i]) >= 0 || text[i] == u'=') kept += text[i];
  std::vector<BYTE> out;
  for (std::size_t i = 0; i < kept.size(); i += 4) {
    const std::u16string_view group = std::u16string_view(kept).substr(i, 4);
    // Characters that carry data: up to the first "=", at most four.
    std::size_t used = 0;
    DWORD bits = 0;
    while (used < group.size() && group[used] != u'=') {
      bits = (bits << 6) | static_cast<DWORD>(base64Value(group[used]));
      ++used;
    }
    // Two characters make a byte, three make two, four make three; one (or a "=" in the first or
    // second place) makes nothing.
    if (used < 2) continue;
    bits <<= 6 * (4 - used);
    out.push_back(static_cast<BYTE>(bits >> 16));
    if (used > 2) out.push_back(static_cast<BYTE>(bits >> 8));
    if (used > 3) out.push_back(static_cast<BYTE>(bits));
  }
  return out;
}

// ---- The earlier product ----

bool copyMissingRegistryTree(const CString& source, const CString& destination) {
  KeyHandle from(openKey(source, KEY_READ));
  if (!from) return false;
  HKEY root = CRegistry::rootKeyFromName(destination);
  if (!root) return false;
  HKEY rawTo = nullptr;
  if (RegCreateKeyExW(root, CRegistry::subkeyFromName(destination).GetString(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                      nullptr, &rawTo, nullptr) != ERROR_SUCCESS)
    return false;
  KeyHandle to(rawTo);
  return copyMissing(from.get(), to.get());
}

bool removeEarlierProduct(const EarlierProduct& earlier) {
  // Every step runs whatever the others gave.
  const bool registry = removeEarlierRegistry(earlier);
  const bool windows = closeEarlierWindows(earlier);
  const bool folder = removeEarlierFolder(earlier);
  const bool autostart = removeEarlierAutostart(earlier);
  const bool programFile = removeEarlierProgramFile(earlier);
  return registry && windows && folder && autostart && programFile;
}
