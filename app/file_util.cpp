// Path and file utilities: see file_util.h. Texts are UTF-16 CStrings with the backslash as
// separator; the file status calls are the runtime's (_wstat, _waccess), the rest Win32.
#include "app/file_util.h"

#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "lang/ids.h"
#include "platform/base/wcrt.h"
#include "platform/win32/win32.h"
#include "platform/win32/controls_msg.h"
#include "platform/win32/process.h"
#include "platform/win32/security.h"
#include "platform/win32/shell.h"
#include "platform/win32/sync.h"

namespace {

// Log texts, exactly as the program writes them.
constexpr const char16_t* kLogSystemFile = u"Setting file \"%s' to system file";
constexpr const char16_t* kLogFreeSpaceMissing = u"Failed to calculate free disk space: %s (Function not available).";
constexpr const char16_t* kLogTotalSpaceMissing = u"Failed to calculate total disk space: %s (Function not available).";
constexpr const char16_t* kLogFreeSpaceFailed = u"Failed to calculate free disk space: %s.";
constexpr const char16_t* kLogTotalSpaceFailed = u"Failed to calculate total disk space: %s.";
constexpr const char16_t* kLogConflictName =
    u"{FILE UTIL}: Failed to create new conflict file name for file %s.\nThere are too many copies already.";
constexpr const char16_t* kLogProcessHandle =
    u"{FileUtil}: Failed to get process handle when attempting to close process: %d.";
constexpr const char16_t* kLogRevert = u"{revertToSelf}: Failed to revert to self after logging in as administrative user.";
constexpr const char16_t* kLogCloseToken = u"{revertToSelf}: Failed close admin user token handle.";

bool isLetter(WCHAR c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool statOf(const CString& path, struct _stat& st) {
  return !path.IsEmpty() && _wstat(path.GetString(), &st) == 0;
}

// Whether `path` lies in `folder`: the folder stands at its start (case-blind) and is followed by
// the end of the path or a backslash, or itself ends with one (a folder at "D:\").
bool startsWithFolder(const CString& path, const CString& folder) {
  const int n = folder.GetLength();
  if (n == 0 || path.GetLength() < n || path.Left(n).CompareNoCase(folder) != 0) return false;
  return path.GetLength() == n || path[n] == u'\\' || folder[n - 1] == u'\\';
}

DWORD g_clusterSize = 0;
SpecialFolderSource g_specialFolderSource;
CString g_deviceDisplayName;

// Seconds since 1970 of a FILETIME with the part below one second dropped; false when the time
// is outside what the system converts.
bool toUnixSeconds(const FILETIME& ft, LONGLONG& seconds) {
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft, &st)) return false;
  ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  seconds = static_cast<LONGLONG>(ticks / 10000000ULL) - 11644473600LL;
  return true;
}

LONG nowSeconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  LONGLONG s = 0;
  toUnixSeconds(ft, s);
  return static_cast<LONG>(s);
}

bool changeAttribute(const CString& path, DWORD bit, bool on) {
  DWORD attrs = GetFileAttributesW(path.GetString());
  if (attrs == INVALID_FILE_ATTRIBUTES) return false;
  DWORD wanted = on ? (attrs | bit) : (attrs & ~bit);
  wanted &= ~FILE_ATTRIBUTE_DIRECTORY;
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesW(path.GetString(), wanted) != FALSE;
}

struct FolderWord {
  SpecialFolder folder;
  UINT word;
};
// The order in which the folders are tried, for host paths and for profile paths alike.
constexpr FolderWord kFolderOrder[] = {
    {SpecialFolder::Desktop, IDS_FOLDER_WORD_DESKTOP},       {SpecialFolder::Favorites, IDS_FOLDER_WORD_FAVORITES},
    {SpecialFolder::MyDocuments, IDS_FOLDER_WORD_MY_DOCUMENTS}, {SpecialFolder::Cookies, IDS_FOLDER_WORD_COOKIES},
    {SpecialFolder::History, IDS_FOLDER_WORD_HISTORY},
};

int csidlOf(SpecialFolder folder) {
  switch (folder) {
    case SpecialFolder::Desktop: return CSIDL_DESKTOPDIRECTORY;
    case SpecialFolder::Favorites: return CSIDL_FAVORITES;
    case SpecialFolder::MyDocuments: return CSIDL_PERSONAL;
    case SpecialFolder::Cookies: return CSIDL_COOKIES;
    case SpecialFolder::History: return CSIDL_HISTORY;
  }
  return CSIDL_DESKTOPDIRECTORY;
}

}  // namespace

// ---- Path texts ---------------------------------------------------------------------------------

CString joinPathWith(const CString& a, const CString& b, WCHAR separator) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  const bool aEnds = a[a.GetLength() - 1] == separator, bBegins = b[0] == separator;
  if (aEnds && bBegins) return a + b.Mid(1);
  if (aEnds || bBegins) return a + b;
  return a + separator + b;
}

CString joinPath(const CString& a, const CString& b) { return joinPathWith(a, b, u'\\'); }
CString joinUrlPath(const CString& a, const CString& b) { return joinPathWith(a, b, u'/'); }

CString getParentFolder(const CString& path) {
  if (isRootPath(path)) return path;
  int pos = path.ReverseFind(u'\\');
  if (pos < 0) return CString();
  CString parent = path.Left(pos);
  if (parent.Find(u'\\') < 0) parent += u'\\';
  return parent;
}

CString getFileName(const CString& path) { return path.Mid(path.ReverseFind(u'\\') + 1); }
CString fileNameOf(const CString& path) { return getFileName(path); }

CString removeExtension(const CString& path) {
  int pos = path.ReverseFind(u'.');
  return pos < 0 ? path : path.Left(pos);
}

CString getFileExtension(const CString& path) {
  int pos = path.ReverseFind(u'.');
  return pos < 0 ? path : path.Mid(pos);
}

bool hasExtension(const CString& path, const CString& ext) { return getFileExtension(path).CompareNoCase(ext) == 0; }
bool isShortcutFile(const CString& path) { return hasExtension(path, u".lnk"); }
bool isProgramFile(const CString& path) {
  return hasExtension(path, u".exe") || hasExtension(path, u".bat") || hasExtension(path, u".com");
}

bool isUncPath(const CString& path) { return path.GetLength() >= 2 && path[0] == u'\\' && path[1] == u'\\'; }

bool isAbsolutePath(const CString& path) {
  if (path.GetLength() < 3) return false;
  return isUncPath(path) || (isLetter(path[0]) && path[1] == u':' && path[2] == u'\\');
}

bool isRootPath(const CString& path) { return path.GetLength() == 3 && isAbsolutePath(path) && !isUncPath(path); }

bool isDriveRoot(const CString& path) {
  const int n = path.GetLength();
  return (n == 2 || (n == 3 && path[2] == u'\\')) && isLetter(path[0]) && path[1] == u':';
}

CString getPathRoot(const CString& path) {
  if (path.GetLength() < 2) return CString();
  if (path[1] == u':') return path.Left(2);
  if (isUncPath(path)) {
    int pos = path.Find(u'\\', 2);
    return pos < 0 ? path : path.Left(pos);
  }
  return CString();
}

CString getUncServer(const CString& path) {
  if (path.GetLength() < 3 || !isUncPath(path)) return CString();
  return getPathRoot(path);
}

CString toForwardSlashes(const CString& path) {
  CString out = path;
  out.Replace(u'\\', u'/');
  return out;
}

bool hasWildcards(const CString& text) { return text.FindOneOf(u"*?") >= 0; }

CString getPathRemainder(const CString& path, const CString& prefix) {
  if (prefix.GetLength() > path.GetLength()) return CString();
  int common = 0;
  while (common < prefix.GetLength() && path[common] == prefix[common]) ++common;
  if (common >= path.GetLength()) return CString();
  return path.Mid(common + 1);
}

bool haveSameParentFolder(const CString& a, const CString& b) {
  return getParentFolder(a).CompareNoCase(getParentFolder(b)) == 0;
}

CString getRelativePath(const CString& path, const CString& base) {
  if (!isAbsolutePath(path) || !isAbsolutePath(base)) return CString();
  CString folder = base;
  if (folder[folder.GetLength() - 1] == u'\\') folder = folder.Left(folder.GetLength() - 1);
  const int n = folder.GetLength();
  if (path.GetLength() <= n || path.Left(n) != folder || path[n] != u'\\') return CString();
  return path.Mid(n + 1);
}

CString getShortPath(const CString& path) {
  CString out;
  DWORD n = GetShortPathNameW(path.GetString(), out.GetBuffer(MAX_PATH), MAX_PATH);
  out.ReleaseBuffer(n > 0 && n < MAX_PATH ? static_cast<int>(n) : 0);
  return out;
}

CString compactPathForWindow(HWND window, const CString& path) {
  RECT rc{};
  GetClientRect(window, &rc);
  CString out = path;
  LPWSTR buffer = out.GetBuffer(path.GetLength() + 4);
  // The shell measures in the window's font; a null context stands for it.
  PathCompactPathW(nullptr, buffer, static_cast<UINT>(rc.right - rc.left));
  out.ReleaseBuffer();
  return out;
}

CString expandEnvironmentStrings(const CString& text) {
  DWORD needed = ExpandEnvironmentStringsW(text.GetString(), nullptr, 0);
  if (needed == 0) return text;
  CString out;
  DWORD n = ExpandEnvironmentStringsW(text.GetString(), out.GetBuffer(static_cast<int>(needed)), needed);
  out.ReleaseBuffer(n > 0 && n <= needed ? static_cast<int>(n) - 1 : 0);
  return out;
}

void splitByChar(const CString& text, CStringArray& list, WCHAR separator) {
  int start = 0;
  for (int pos = text.Find(separator); pos >= 0; pos = text.Find(separator, start)) {
    list.Add(text.Mid(start, pos - start));
    start = pos + 1;
  }
}

void tokenize(const CString& text, CStringArray& list, const CString& delimiters, bool lower) {
  list.RemoveAll();
  CString delims = delimiters;
  int pos = 0;
  const int n = text.GetLength();
  for (;;) {
    while (pos < n && delims.Find(text[pos]) >= 0) ++pos;
    if (pos >= n) break;
    int end = pos;
    while (end < n && delims.Find(text[end]) < 0) ++end;
    CString piece = text.Mid(pos, end - pos);
    if (lower) piece.MakeLower();
    list.Add(piece);
    pos = end + 1;
    delims = u";";
  }
}

void splitSemicolonList(const CString& text, CStringArray& list) { tokenize(text, list, u";", true); }

// ---- Texts and comparisons ----------------------------------------------------------------------

bool equalsNoCase(const CString& a, const CString& b) { return a.CompareNoCase(b) == 0; }

int findNoCase(const CString& text, const CString& part) {
  if (text.IsEmpty() || part.IsEmpty() || part.GetLength() > text.GetLength()) return -1;
  CString t = text, p = part;
  t.MakeUpper();
  p.MakeUpper();
  return t.Find(p.GetString());
}

bool startsWithNoCase(const CString& text, const CString& part) { return findNoCase(text, part) == 0; }

bool charsEqualNoCase(WCHAR a, WCHAR b) {
  auto fold = [](WCHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c - u'A' + u'a') : c; };
  return a == b || fold(a) == fold(b);
}

bool isInStringList(const CString& text, const CStringArray& list) {
  for (INT_PTR i = 0; i < list.GetSize(); ++i)
    if (list[i] == text) return true;
  return false;
}

bool listBoxContains(const CString& text, HWND listBox) {
  LRESULT count = SendMessageW(listBox, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT len = SendMessageW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (len < 0) continue;
    CString entry;
    SendMessageW(listBox, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry.GetBuffer(static_cast<int>(len))));
    entry.ReleaseBuffer();
    if (entry.CompareNoCase(text) == 0) return true;
  }
  return false;
}

// ---- File tests and attributes --------------------------------------------------------------------

bool fileExists(const CString& path) {
  struct _stat st;
  return statOf(path, st) && !(st.st_mode & _S_IFDIR);
}

bool pathExists(const CString& path) {
  struct _stat st;
  return statOf(path, st);
}

bool directoryExists(const CString& path) {
  struct _stat st;
  if (statOf(path, st)) return (st.st_mode & _S_IFDIR) != 0;
  if (!isUncPath(path)) return false;
  // The runtime's status call fails on a share root; the system's attributes do not.
  DWORD attrs = GetFileAttributesW(path.GetString());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool isReadOnlyFile(const CString& path) { return _waccess(path.GetString(), 2) != 0; }

bool isHiddenFile(const CString& path) {
  DWORD attrs = GetFileAttributesW(path.GetString());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_HIDDEN);
}

bool setHiddenAttribute(const CString& path, bool on) { return changeAttribute(path, FILE_ATTRIBUTE_HIDDEN, on); }

bool setSystemAttribute(const CString& path, bool on) {
  if (on) writeLog(kLogSystemFile, path);
  return changeAttribute(path, FILE_ATTRIBUTE_SYSTEM, on);
}

bool clearReadOnly(const CString& path) { return changeAttribute(path, FILE_ATTRIBUTE_READONLY, false); }

LONG getFileModificationTime(const CString& path) {
  struct _stat st;
  return statOf(path, st) ? static_cast<LONG>(st.st_mtime) : 0;
}

LONG getFileCreationTime(const CString& path) {
  struct _stat st;
  return statOf(path, st) ? static_cast<LONG>(st.st_ctime) : 0;
}

bool isModifiedWithinDays(const CString& path, DWORD days) {
  LONG modified = getFileModificationTime(path);
  if (modified == 0) return false;
  if (days == 0xFFFFFFFF) return true;
  return static_cast<LONGLONG>(nowSeconds()) - modified <= static_cast<LONGLONG>(days) * 86400;
}

int compareFileTimes(const CString& a, const CString& b) {
  LONG ta = getFileModificationTime(a), tb = getFileModificationTime(b);
  return ta > tb ? 1 : ta < tb ? -1 : 0;
}

bool differsByMoreThan(LONG t1, LONG t2, LONG tolerance) {
  LONGLONG diff = static_cast<LONGLONG>(t1) - t2;
  if (diff < 0) diff = -diff;
  return diff > tolerance;
}

bool fileTimesDiffer(const FILETIME& ft1, const FILETIME& ft2, DWORD toleranceSeconds) {
  LONGLONG s1 = 0, s2 = 0;
  if (!toUnixSeconds(ft1, s1) || !toUnixSeconds(ft2, s2)) return true;
  LONGLONG span = s1 > s2 ? s1 - s2 : s2 - s1;
  return span > static_cast<LONGLONG>(toleranceSeconds);
}

bool isFileTimeLater(const FILETIME& ft1, const FILETIME& ft2) {
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft1, &st) || !FileTimeToSystemTime(&ft2, &st)) return false;
  return CompareFileTime(&ft1, &ft2) > 0;
}

bool isZeroFileTime(const FILETIME& ft) { return ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0; }

ULONGLONG getFileSize(const CString& path, bool onDrive) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.IsEmpty() || !GetFileAttributesExW(path.GetString(), GetFileExInfoStandard, &data)) return 0;
  ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (onDrive && g_clusterSize) size = (size / g_clusterSize + 1) * g_clusterSize;
  return size;
}

ULONGLONG getFolderSize(const CString& folder, bool recursive) {
  if (!isAbsolutePath(folder)) return 0;
  ULONGLONG total = 0;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(joinPath(folder, u"*.*").GetString(), &data);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    CString name = data.cFileName;
    if (name == u"." || name == u"..") continue;
    CString path = joinPath(folder, name);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (recursive) total += getFolderSize(path, true);
    } else {
      total += getFileSize(path, true);
    }
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return total;
}

void setDriveClusterSize(DWORD bytes) { g_clusterSize = bytes; }
DWORD getDriveClusterSize() { return g_clusterSize; }

// ---- Volumes and disk space -----------------------------------------------------------------------

bool isRemovableDrive(const CString& root) { return GetDriveTypeW(root.GetString()) == DRIVE_REMOVABLE; }

bool isCandidateDeviceDrive(const CString& root) {
  UINT type = GetDriveTypeW(root.GetString());
  if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_CDROM) return false;
  WCHAR system[MAX_PATH] = {};
  if (GetSystemDirectoryW(system, MAX_PATH) > 0 && !root.IsEmpty() && towupper(system[0]) == towupper(root[0]))
    return false;
  return type == DRIVE_REMOVABLE || type == DRIVE_FIXED;
}

namespace {

using DiskFreeSpaceEx = BOOL (*)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// Free bytes (`total` false) or total bytes of the volume of `path`.
ULONGLONG diskSpace(const CString& path, bool& ok, bool total) {
  ok = false;
  HMODULE kernel = GetModuleHandleW(u"kernel32.dll");
  auto call = kernel ? reinterpret_cast<DiskFreeSpaceEx>(GetProcAddress(kernel, "GetDiskFreeSpaceExW")) : nullptr;
  if (!call) {
    writeLog(total ? kLogTotalSpaceMissing : kLogFreeSpaceMissing, path);
    return 0;
  }
  ULARGE_INTEGER available{}, totalBytes{}, freeBytes{};
  if (!call(path.GetString(), &available, &totalBytes, &freeBytes)) {
    writeLog(total ? kLogTotalSpaceFailed : kLogFreeSpaceFailed, path);
    return total ? totalBytes.QuadPart : freeBytes.QuadPart;
  }
  ok = true;
  return total ? totalBytes.QuadPart : freeBytes.QuadPart;
}

}  // namespace

ULONGLONG getDiskFreeSpace(const CString& path, bool& ok) { return diskSpace(path, ok, false); }
ULONGLONG getDiskTotalSpace(const CString& path, bool& ok) { return diskSpace(path, ok, true); }

bool isDiskSpaceLow(const CString& path, ULONGLONG divisor, bool& known) {
  bool freeOk = false, totalOk = false;
  ULONGLONG freeBytes = getDiskFreeSpace(path, freeOk);
  ULONGLONG totalBytes = getDiskTotalSpace(path, totalOk);
  known = freeOk && totalOk;
  if (!known || divisor == 0) return false;
  return freeBytes < totalBytes / divisor;
}

bool isDriveReady(const CString& drive) {
  bool ok = false;
  getDiskFreeSpace(drive + u'\\', ok);
  return ok;
}

DWORD getClusterSize(const CString& path) {
  CString root = getPathRoot(path);
  if (!root.IsEmpty() && root[root.GetLength() - 1] != u'\\') root += u'\\';
  DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceW(root.GetString(), &sectors, &bytes, &freeClusters, &clusters)) return 0;
  return sectors * bytes;
}

DWORD getVolumeSerialNumber(const CString& root) {
  DWORD serial = 0;
  if (!GetVolumeInformationW(root.GetString(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) return 0;
  return serial;
}

CString formatFileSize(LONGLONG bytes) {
  CString out;
  const bool negative = bytes < 0;
  const ULONGLONG magnitude = negative ? 0 - static_cast<ULONGLONG>(bytes) : static_cast<ULONGLONG>(bytes);
  if (magnitude == 0) return CString(u"0 KB");
  if (magnitude <= 1024) return CString(negative ? u"-1 KB" : u"1 KB");
  if (magnitude < 102400) {
    out.Format(negative ? u"-%d KB" : u"%d KB", static_cast<int>(magnitude / 1024));
    return out;
  }
  WCHAR buffer[64] = {};
  StrFormatByteSizeW(static_cast<LONGLONG>(magnitude), buffer, 64);
  out = buffer;
  return negative ? CString(u"-") + out : out;
}

// ---- Special folders -------------------------------------------------------------------------------

void setSpecialFolderSource(SpecialFolderSource source) { g_specialFolderSource = std::move(source); }

SpecialFolderInfo specialFolderInfo(SpecialFolder folder) {
  if (g_specialFolderSource) return g_specialFolderSource(folder);
  SpecialFolderInfo info;
  getSpecialFolder(csidlOf(folder), info.path, info.name);
  return info;
}

void getSpecialFolder(int csidl, CString& path, CString& name) {
  path.Empty();
  name.Empty();
  LPITEMIDLIST lists[2] = {};
  int held = 0;
  LPITEMIDLIST item = nullptr;
  if (SUCCEEDED(SHGetFolderLocation(nullptr, csidl, nullptr, 0, &item)) && item) {
    lists[held++] = item;
    IShellFolder* parent = nullptr;
    LPCITEMIDLIST last = nullptr;
    if (SUCCEEDED(SHBindToParent(item, IID_IShellFolder, reinterpret_cast<void**>(&parent), &last)) && parent) {
      STRRET display{};
      if (SUCCEEDED(parent->GetDisplayNameOf(last, SHGDN_NORMAL, &display))) {
        WCHAR buffer[MAX_PATH] = {};
        if (SUCCEEDED(StrRetToBufW(&display, last, buffer, MAX_PATH))) {
          name = buffer;
          WCHAR folder[MAX_PATH] = {};
          if (SHGetPathFromIDListW(item, folder)) path = folder;
        }
      }
      parent->Release();
    }
  }
  // The item lists were the shell's: they go back through its allocator.
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
    for (int i = 0; i < held; ++i) allocator->Free(lists[i]);
    allocator->Release();
  }
}

CString findSpecialFolderOfPath(const CString& path) {
  for (const FolderWord& f : kFolderOrder) {
    SpecialFolderInfo info = specialFolderInfo(f.folder);
    if (!info.path.IsEmpty() && startsWithFolder(path, info.path)) return info.name;
  }
  return CString();
}

bool startsWithSpecialFolderName(const CString& text) {
  for (const FolderWord& f : kFolderOrder)
    if (startsWithFolder(text, loadResString(f.word))) return true;
  return false;
}

CString hostPathToProfilePath(const CString& path, bool useWords) {
  CString lower = path;
  lower.MakeLower();
  for (const FolderWord& f : kFolderOrder) {
    if (!useWords && f.folder == SpecialFolder::Favorites) continue;
    SpecialFolderInfo info = specialFolderInfo(f.folder);
    if (info.path.IsEmpty()) continue;
    CString folder = info.path;
    folder.MakeLower();
    if (!startsWithFolder(lower, folder)) continue;
    CString name = useWords && f.folder != SpecialFolder::Favorites ? loadResString(f.word) : info.name;
    return joinPath(name, lower.Mid(folder.GetLength()));
  }
  return path;
}

CString profilePathToHostPath(const CString& text) {
  for (const FolderWord& f : kFolderOrder) {
    CString word = loadResString(f.word);
    if (!startsWithFolder(text, word)) continue;
    SpecialFolderInfo info = specialFolderInfo(f.folder);
    return joinPath(info.path, text.Mid(word.GetLength()));
  }
  return text;
}

// ---- Other -------------------------------------------------------------------------------------------

bool replaceTextInWindow(HWND window, const CString& from, const CString& to) {
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return false;
  CString text;
  GetWindowTextW(window, text.GetBuffer(length), length + 1);
  text.ReleaseBuffer();
  if (text.Replace(from.GetString(), to.GetString()) == 0) return false;
  SetWindowTextW(window, text.GetString());
  return true;
}

namespace {

void replacePlaceholdersIn(HWND window) {
  replaceTextInWindow(window, u"%an%", g_applicationName);
  replaceTextInWindow(window, u"%dn%", g_deviceName);
  replaceTextInWindow(window, u"%ou%", g_makerWebAddress);
  replaceTextInWindow(window, u"%su%", g_supportWebAddress);
  replaceTextInWindow(window, u"%se%", g_supportEmailAddress);
}

}  // namespace

void replaceUiPlaceholders(HWND window) {
  if (!window) return;
  replacePlaceholdersIn(window);
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) replacePlaceholdersIn(child);
}

CString makeConflictFileName(const CString& name, const CString& folder) {
  CString candidate = name;
  int tries = 0;
  do {
    candidate = u'_' + candidate;
    ++tries;
  } while (fileExists(joinPath(folder, candidate)) && tries < 5);
  if (tries == 5) {
    writeLog(kLogConflictName, joinPath(folder, name));
    return CString();
  }
  return candidate;
}

bool writeStringToFile(const CString& text, CFile& file) {
  try {
    DWORD bytes = static_cast<DWORD>(text.GetLength()) * 2;
    file.Write(&bytes, sizeof bytes);
    if (bytes) file.Write(text.GetString(), bytes);
    return true;
  } catch (CException* e) {
    e->Delete();
    return false;
  }
}

bool readStringFromFile(CString& text, CFile& file) {
  try {
    DWORD bytes = 0;
    if (file.Read(&bytes, sizeof bytes) != sizeof bytes) return false;
    // The count comes from a file: never past what the file still holds.
    if (bytes % 2 || bytes > file.GetLength() - file.GetPosition()) return false;
    CString value;
    if (bytes) {
      LPWSTR buffer = value.GetBufferSetLength(static_cast<int>(bytes / 2));
      if (file.Read(buffer, bytes) != bytes) return false;
      value.ReleaseBuffer(static_cast<int>(bytes / 2));
    }
    text = value;
    return true;
  } catch (CException* e) {
    e->Delete();
    return false;
  }
}

bool readExpectedString(const CString& expected, CFile& file) {
  const UINT bytes = static_cast<UINT>(expected.GetLength()) * 2;
  try {
    CString got;
    UINT read = bytes ? file.Read(got.GetBufferSetLength(expected.GetLength()), bytes) : 0;
    got.ReleaseBuffer(static_cast<int>(read / 2));
    if (read == bytes && got == expected) return true;
    seekBack(file, read);
  } catch (CException* e) {
    e->Delete();
  }
  return false;
}

bool seekBack(CFile& file, LONGLONG bytes) {
  try {
    file.Seek(-bytes, CFile::current);
    return true;
  } catch (CException* e) {
    e->Delete();
    return false;
  }
}

HWND findWindow(const CString& className, const CString& title) {
  return FindWindowW(className.IsEmpty() ? nullptr : className.GetString(), title.GetString());
}

int getTaskbarHeight() {
  HWND taskbar = FindWindowW(u"Shell_TrayWnd", u"");
  RECT rc{};
  if (!taskbar || !GetWindowRect(taskbar, &rc)) return 0;
  return rc.bottom - rc.top;
}

bool closeProcessOfWindow(HWND window, DWORD timeoutMs) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == 0) return true;
  SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, nullptr);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!process) {
    DWORD error = GetLastError();
    if (error != 0) writeLog(kLogProcessHandle, static_cast<int>(error));
    return error == ERROR_INVALID_PARAMETER;  // no such process any more: it has ended
  }
  bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
  CloseHandle(process);
  if (ended) return true;
  HANDLE killable = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
  if (!killable) return false;
  ended = WaitForSingleObject(killable, timeoutMs) == WAIT_OBJECT_0;
  if (!ended) ended = TerminateProcess(killable, 0) && WaitForSingleObject(killable, timeoutMs) == WAIT_OBJECT_0;
  CloseHandle(killable);
  return ended;
}

bool revertToSelf(HANDLE& token) {
  if (!RevertToSelf()) {
    writeLog(kLogRevert);
    return false;
  }
  if (token && !CloseHandle(token)) {
    writeLog(kLogCloseToken);
    return false;
  }
  token = nullptr;
  return true;
}

void setDeviceDisplayName(const CString& name) { g_deviceDisplayName = name; }

bool fillDeviceNameInDlgItem(HWND dialog, int itemId) {
  if (!dialog) return false;
  HWND item = GetDlgItem(dialog, itemId);
  if (!item) return false;
  replaceTextInWindow(item, u"%s", g_deviceDisplayName.IsEmpty() ? g_deviceName : g_deviceDisplayName);
  return true;
}
