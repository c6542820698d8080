// Desktop icon positions, read and set through Explorer's own list view: every record the list
// view reads or fills lives in one of two blocks allocated in Explorer's process.
#include "snapins/desktop_icons.h"

#include <cstring>
#include <vector>

#include "app/file_util.h"
#include "app/log.h"
#include "app/registry.h"
#include "app/window_finder.h"
#include "app/windows_helpers.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char16_t* kAdvancedSubkey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char16_t* kHideFileExtValue = u"HideFileExt";
constexpr const char16_t* kListViewClass = u"SysListView32";
constexpr const char16_t* kDesktopClass = u"ProgMan";
constexpr const char16_t* kWorkerClass = u"WorkerW";
constexpr const char16_t* kDefViewClass = u"SHELLDLL_DefView";
constexpr const char16_t* kNetworkNeighborhood = u"Network Neighborhood";
constexpr const char16_t* kOutlook = u"Microsoft Outlook";

constexpr const char16_t* kLogNoListView = u"Desktop Icon Saver failed to find desktop list view window.";
constexpr const char16_t* kLogWrongClass = u"Incorrect desktop listview windowclass: %s windowname: %s";
constexpr const char16_t* kLogAllocFailed = u"{DIPS Client} Memory allocation failed: %lx.";
constexpr const char16_t* kLogWriteFailed = u"{DIPS Client} Memory write failed: %lx.";
constexpr const char16_t* kLogReadFailed = u"{DIPS Client} Memory read failed: %lx.";
constexpr const char16_t* kLogNoKey = u"{DIPS Client} Failed to open DIPS registry key.";
constexpr const char16_t* kLogTooMany = u"{DIPS Client} Number of desktop items out of range: %ld.";
constexpr const char16_t* kLogRestoreFailed = u"{DIPS Client} Failed to set desktop icon positions.";

// Each block: a list-view record or a position in the first, an icon text of at most 260
// characters (with its terminator) in the second.
constexpr SIZE_T kBlockSize = 520;
constexpr int kTextLimit = 260;
constexpr int kOffscreenMargin = 64;
constexpr int kSecondAreaWidth = 100;
constexpr DWORD kMaxValueName = 1024;

CString classOf(HWND window) {
  WCHAR name[256] = {};
  int n = GetClassNameW(window, name, 256);
  return CString(name, n > 0 ? n : 0);
}

CString titleOf(HWND window) {
  WCHAR text[256] = {};
  int n = GetWindowTextW(window, text, 256);
  return CString(text, n > 0 ? n : 0);
}

bool isListView(HWND window) { return window && classOf(window).CompareNoCase(kListViewClass) == 0; }

HWND topChild(HWND window) { return window ? GetWindow(window, GW_CHILD) : nullptr; }

// The first list view among the window's descendants whose parent's parent is `grandparent`.
struct ChildSearch {
  HWND grandparent;
  HWND found = nullptr;
};

BOOL CALLBACK acceptListView(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<ChildSearch*>(param);
  if (isListView(window) && GetParent(GetParent(window)) == search->grandparent) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK findDefView(HWND window, LPARAM param) {
  if (classOf(window).CompareNoCase(kDefViewClass) == 0) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK acceptChildListView(HWND window, LPARAM param) {
  if (isListView(window)) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

// The texts of the icons that never move: the shell's names of its virtual folders and two names
// of older systems.
std::vector<CString> specialIconTexts() {
  std::vector<CString> texts;
  for (int csidl : {CSIDL_DRIVES, CSIDL_NETWORK, CSIDL_PERSONAL, CSIDL_BITBUCKET, CSIDL_INTERNET}) {
    CString path, name;
    getSpecialFolder(csidl, path, name);
    if (!name.IsEmpty()) texts.push_back(name);
  }
  texts.emplace_back(kNetworkNeighborhood);
  texts.emplace_back(kOutlook);
  return texts;
}

bool isIn(const CString& text, const std::vector<CString>& texts) {
  for (const CString& t : texts)
    if (text == t) return true;
  return false;
}

// Explorer's process and the two blocks committed in it, released when done.
class RemoteBlocks {
 public:
  explicit RemoteBlocks(HWND listView) {
    DWORD pid = 0;
    GetWindowThreadProcessId(listView, &pid);
    m_process = pid ? OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid) : nullptr;
    if (m_process) {
      m_record = static_cast<BYTE*>(VirtualAllocEx(m_process, nullptr, kBlockSize, MEM_COMMIT, PAGE_READWRITE));
      m_text = static_cast<BYTE*>(VirtualAllocEx(m_process, nullptr, kBlockSize, MEM_COMMIT, PAGE_READWRITE));
    }
    if (!ready()) writeLog(kLogAllocFailed, GetLastError());
  }
  ~RemoteBlocks() {
    if (m_text) VirtualFreeEx(m_process, m_text, 0, MEM_RELEASE);
    if (m_record) VirtualFreeEx(m_process, m_record, 0, MEM_RELEASE);
    if (m_process) CloseHandle(m_process);
  }
  RemoteBlocks(const RemoteBlocks&) = delete;
  RemoteBlocks& operator=(const RemoteBlocks&) = delete;

  bool ready() const { return m_process && m_record && m_text; }
  BYTE* record() const { return m_record; }
  BYTE* text() const { return m_text; }
  LPARAM recordParam() const { return reinterpret_cast<LPARAM>(m_record); }

  bool write(BYTE* at, const void* data, SIZE_T size) {
    SIZE_T done = 0;
    if (size <= kBlockSize && WriteProcessMemory(m_process, at, data, size, &done) && done == size) return true;
    writeLog(kLogWriteFailed, GetLastError());
    return false;
  }
  bool read(const BYTE* at, void* data, SIZE_T size) {
    SIZE_T done = 0;
    if (size <= kBlockSize && ReadProcessMemory(m_process, at, data, size, &done) && done == size) return true;
    writeLog(kLogReadFailed, GetLastError());
    return false;
  }

 private:
  HANDLE m_process = nullptr;
  BYTE* m_record = nullptr;
  BYTE* m_text = nullptr;
};

// Finds the icon of this text and puts it at (x, y), each cut to 16 bits as the message packs
// them. False when the icon is not there or a block could not be written.
enum class Move { Done, NotFound, Failed };

Move moveIcon(HWND listView, RemoteBlocks& blocks, const CString& text, int x, int y) {
  std::u16string chars(text.view().substr(0, kTextLimit - 1));
  chars.push_back(u'\0');
  if (!blocks.write(blocks.text(), chars.data(), chars.size() * sizeof(char16_t))) return Move::Failed;
  LVFINDINFOW find{};
  find.flags = LVFI_STRING;
  find.psz = reinterpret_cast<LPCWSTR>(blocks.text());
  if (!blocks.write(blocks.record(), &find, sizeof find)) return Move::Failed;
  LRESULT index = SendMessageW(listView, LVM_FINDITEMW, static_cast<WPARAM>(-1), blocks.recordParam());
  if (index < 0) return Move::NotFound;
  SendMessageW(listView, LVM_SETITEMPOSITION, static_cast<WPARAM>(index),
               MAKELPARAM(static_cast<WORD>(x & 0xFFFF), static_cast<WORD>(y & 0xFFFF)));
  SendMessageW(listView, LVM_GETITEMPOSITION, static_cast<WPARAM>(index), blocks.recordParam());
  return Move::Done;
}

// The text of item i, as the list view gives it into the second block.
bool readIconText(HWND listView, RemoteBlocks& blocks, int i, CString& text) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = i;
  item.iSubItem = 0;
  item.pszText = reinterpret_cast<LPWSTR>(blocks.text());
  item.cchTextMax = kTextLimit;
  char16_t empty = 0;
  if (!blocks.write(blocks.text(), &empty, sizeof empty)) return false;
  if (!blocks.write(blocks.record(), &item, sizeof item)) return false;
  SendMessageW(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), blocks.recordParam());
  char16_t buffer[kTextLimit] = {};
  if (!blocks.read(blocks.text(), buffer, sizeof buffer)) return false;
  std::size_t n = 0;
  while (n < static_cast<std::size_t>(kTextLimit) && buffer[n]) ++n;
  text = CString(std::u16string_view(buffer, n));
  return true;
}

}  // namespace

// ---- Desktop settings --------------------------------------------------------------------------------

DesktopSettingRegKey::DesktopSettingRegKey(const CString& subkey, const CString& valueName)
    : m_subkey(subkey), m_valueName(valueName) {
  if (RegOpenKeyExW(HKEY_CURRENT_USER, m_subkey, 0, KEY_QUERY_VALUE, &m_key) != ERROR_SUCCESS) {
    m_key = nullptr;
    return;
  }
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(m_key, m_valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof value) {
    m_firstValue = m_currentValue = static_cast<LONG>(value);
  }
}

DesktopSettingRegKey::~DesktopSettingRegKey() {
  restoreFirstValue();
  if (m_key) RegCloseKey(m_key);
}

void DesktopSettingRegKey::restoreFirstValue() {
  if (m_currentValue == m_firstValue) return;
  if (m_firstValue == -1) {
    // There was no value: the user's default comes back by removing ours, not by writing -1.
    SHDeleteValueW(HKEY_CURRENT_USER, m_subkey, m_valueName);
    m_currentValue = -1;
    refreshDesktop();
  } else {
    setValue(static_cast<DWORD>(m_firstValue), true);
  }
}

bool DesktopSettingRegKey::setValue(DWORD value, bool force) {
  if (!force && static_cast<LONG>(value) == m_firstValue) return true;
  if (SHSetValueW(HKEY_CURRENT_USER, m_subkey, m_valueName, REG_DWORD, &value, sizeof value) != ERROR_SUCCESS)
    return false;
  m_currentValue = static_cast<LONG>(value);
  refreshDesktop();
  return true;
}

namespace {

constexpr const char16_t* kParkKey = u"Software\\Brackwater\\Kipo\\localPrefs";
constexpr DWORD kParkedNone = 0xFFFFFFFF;

bool readParked(DWORD& value) {
  DWORD type = 0, size = sizeof value;
  return SHGetValueW(HKEY_CURRENT_USER, kParkKey, kHideFileExtValue, &type, &value, &size) == ERROR_SUCCESS &&
         type == REG_DWORD && size == sizeof value;
}

}  // namespace

HideExtDesktopSettingRegKey::HideExtDesktopSettingRegKey()
    : DesktopSettingRegKey(CString(kAdvancedSubkey), CString(kHideFileExtValue)) {
  DWORD parked = 0;
  if (readParked(parked)) {
    // Left by a program killed while it had the value changed: that one is the host's own.
    setFirstValue(parked == kParkedNone ? -1 : static_cast<LONG>(parked));
  } else if (firstValue() != 0) {
    const DWORD value = firstValue() == -1 ? kParkedNone : static_cast<DWORD>(firstValue());
    SHSetValueW(HKEY_CURRENT_USER, kParkKey, kHideFileExtValue, REG_DWORD, &value, sizeof value);
  }
  setValue(0, false);
}

HideExtDesktopSettingRegKey::~HideExtDesktopSettingRegKey() {
  restoreFirstValue();
  SHDeleteValueW(HKEY_CURRENT_USER, kParkKey, kHideFileExtValue);
}

bool restoreParkedHideFileExt() {
  DWORD parked = 0;
  if (!readParked(parked)) return false;
  LONG result = parked == kParkedNone
                    ? SHDeleteValueW(HKEY_CURRENT_USER, kAdvancedSubkey, kHideFileExtValue)
                    : SHSetValueW(HKEY_CURRENT_USER, kAdvancedSubkey, kHideFileExtValue, REG_DWORD, &parked, sizeof parked);
  if (result == ERROR_FILE_NOT_FOUND && parked == kParkedNone) result = ERROR_SUCCESS;
  SHDeleteValueW(HKEY_CURRENT_USER, kParkKey, kHideFileExtValue);
  refreshDesktop();
  return result == ERROR_SUCCESS;
}

// ---- Finding the list view -----------------------------------------------------------------------------

bool findDesktopListView(CDesktopIconStore& store) {
  if (store.listView) {
    if (isListView(store.listView)) return true;
    writeLog(kLogWrongClass, classOf(store.listView), titleOf(store.listView));
    store.listView = nullptr;
  }
  HWND desktop = FindWindowW(kDesktopClass, nullptr);
  HWND found = nullptr;
  if (HWND child = topChild(desktop)) {
    found = topChild(child);
  } else {
    std::vector<HWND> workers;
    CWindowFinder().findWindows(CString(kWorkerClass), CString(), workers);
    for (HWND worker : workers) {
      if (GetParent(worker)) continue;
      HWND candidate = topChild(topChild(worker));
      if (isListView(candidate)) {
        found = candidate;
        break;
      }
    }
  }
  if (!isListView(found) && desktop) {
    ChildSearch search{desktop};
    EnumChildWindows(desktop, acceptListView, reinterpret_cast<LPARAM>(&search));
    found = search.found;
    if (!found) {
      HWND view = nullptr;
      EnumChildWindows(desktop, findDefView, reinterpret_cast<LPARAM>(&view));
      if (view) EnumChildWindows(view, acceptChildListView, reinterpret_cast<LPARAM>(&found));
    }
  }
  store.listView = isListView(found) ? found : nullptr;
  if (!store.listView) writeLog(kLogNoListView);
  return store.listView != nullptr;
}

bool isSpecialDesktopIcon(const CString& text) { return isIn(text, specialIconTexts()); }

bool hasSavedIconPositions() { return CRegistry(CString(kDesktopIconPositionsKey)).getValueCount() > 0; }

// ---- Save and restore ------------------------------------------------------------------------------

bool saveDesktopIconPositions(CDesktopIconStore& store) {
  if (!findDesktopListView(store)) return false;
  HWND listView = store.listView;
  HideExtDesktopSettingRegKey showExtensions;
  RemoteBlocks blocks(listView);
  if (!blocks.ready()) return false;

  int width = 0, height = 0;
  if (!getScreenResolution(width, height)) return false;
  // A second work area just right of the screen: icons parked there are off the visible desktop
  // and Explorer does not pull them back into the first.
  RECT areas[2] = {{0, 0, width, height}, {width + 1, 0, width + kSecondAreaWidth, height}};
  if (!blocks.write(blocks.record(), areas, sizeof areas)) return false;
  SendMessageW(listView, LVM_SETWORKAREAS, 2, blocks.recordParam());

  const int count = static_cast<int>(SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
  CRegistry old{CString(kDesktopIconPositionsKey)};
  old.deleteKey();
  CRegistry dips(CString(kDesktopIconPositionsKey), true, true);
  const std::vector<CString> special = specialIconTexts();
  bool result = dips.isOpen();
  for (int i = 0; i < count; ++i) {
    CString text;
    if (!readIconText(listView, blocks, i, text)) return false;
    if (!blocks.write(blocks.record(), "\0\0\0\0\0\0\0\0", 8)) return false;
    SendMessageW(listView, LVM_GETITEMPOSITION, static_cast<WPARAM>(i), blocks.recordParam());
    BYTE position[8] = {};
    if (!blocks.read(blocks.record(), position, sizeof position)) return false;
    if (!dips.setBinary(text, position, sizeof position)) result = false;
    if (isIn(text, special)) continue;
    Move moved = moveIcon(listView, blocks, text, width + kOffscreenMargin, 0);
    if (moved == Move::Failed) return false;
    if (moved != Move::Done) result = false;
  }
  return result;
}

bool restoreDesktopIconPositions(CDesktopIconStore& store) {
  if (!findDesktopListView(store)) return false;
  HWND listView = store.listView;
  HideExtDesktopSettingRegKey showExtensions;
  RemoteBlocks blocks(listView);
  if (!blocks.ready()) return false;
  SendMessageW(listView, LVM_SETWORKAREAS, 0, 0);

  HKEY key = nullptr;
  if (RegOpenKeyExW(CRegistry::rootKeyFromName(CString(kDesktopIconPositionsKey)),
                    CRegistry::subkeyFromName(CString(kDesktopIconPositionsKey)), 0, KEY_QUERY_VALUE,
                    &key) != ERROR_SUCCESS) {
    writeLog(kLogNoKey);
    return false;
  }
  const LONG style = GetWindowLongW(listView, GWL_STYLE);
  const LRESULT exStyle = SendMessageW(listView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  if (style & LVS_AUTOARRANGE) SetWindowLongW(listView, GWL_STYLE, style & ~LVS_AUTOARRANGE);
  if (exStyle & LVS_EX_SNAPTOGRID) SendMessageW(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_SNAPTOGRID, 0);

  bool result = true;
  for (DWORD index = 0;; ++index) {
    WCHAR name[kMaxValueName + 1] = {};
    DWORD nameLength = kMaxValueName + 1;
    BYTE data[8] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    LONG rc = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (index > static_cast<DWORD>(kMaxDesktopIconIndex)) {
      writeLog(kLogTooMany, static_cast<LONG>(index));
      result = false;
      break;
    }
    if (rc != ERROR_SUCCESS || type != REG_BINARY || size != sizeof data) continue;
    LONG x = 0, y = 0;
    std::memcpy(&x, data, 4);
    std::memcpy(&y, data + 4, 4);
    if (moveIcon(listView, blocks, CString(std::u16string_view(name, nameLength)), x, y) == Move::Failed) {
      result = false;
      break;
    }
  }

  if (style & LVS_AUTOARRANGE) SetWindowLongW(listView, GWL_STYLE, style);
  if (exStyle & LVS_EX_SNAPTOGRID) SendMessageW(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_SNAPTOGRID, exStyle);
  RegCloseKey(key);
  if (!result) writeLog(kLogRestoreFailed);
  return result;
}
