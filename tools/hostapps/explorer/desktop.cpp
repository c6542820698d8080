// Explorer's desktop icons (see desktop.h).
#include "tools/hostapps/explorer/desktop.h"

#include <algorithm>
#include <optional>
#include <set>

#include "platform/base/text.h"
#include "platform/host/host.h"
#include "platform/win32/change_notify.h"
#include "platform/win32/controls/commctrl.h"
#include "platform/win32/file.h"
#include "platform/win32/message.h"
#include "platform/win32/registry.h"
#include "platform/win32/shell.h"
#include "platform/win32/window.h"

namespace hostapps::explorer {

namespace {

namespace text = platform::text;

constexpr char16_t kAdvanced[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr char16_t kDesktopBag[] = u"Software\\Microsoft\\Windows\\Shell\\Bags\\1\\Desktop";
constexpr LONG kAssocChanged = 0x08000000;  // SHCNE_ASSOCCHANGED
constexpr DWORD kFwfAutoArrange = 0x00000001;
constexpr DWORD kFwfSnapToGrid = 0x00080000;
constexpr DWORD kWatchFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES;

// The virtual items in the order XP's desktop lists them.
constexpr int kVirtualItems[] = {CSIDL_PERSONAL, CSIDL_DRIVES, CSIDL_NETWORK, CSIDL_BITBUCKET, CSIDL_INTERNET};

// The shell's own shortcut types hide their extension whatever the host's registry says of
// their classes (XP registers them with NeverShowExt).
constexpr const char16_t* kShortcutTypes[] = {u".lnk", u".pif", u".url"};

struct NoCase {
  bool operator()(const std::u16string& a, const std::u16string& b) const { return text::compareNoCase(a, b) < 0; }
};

std::optional<DWORD> userNumber(const char16_t* subKey, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, value = 0, size = sizeof value;
  LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
  return value;
}

bool classKeyExists(const std::u16string& name) {
  HKEY key = nullptr;
  if (name.empty() || RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

bool classHasValue(const std::u16string& name, const char16_t* value) {
  HKEY key = nullptr;
  if (name.empty() || RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  bool has = RegQueryValueExW(key, value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return has;
}

// The class an extension is registered to (its key's default value), or empty.
std::u16string classOfExtension(const std::u16string& ext) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ext.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  char16_t buf[260] = {};
  DWORD type = 0, size = sizeof buf - sizeof(char16_t);
  LONG rc = RegQueryValueExW(key, u"", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return {};
  return std::u16string(buf, text::length(buf));
}

// The name XP shows for a desktop entry: a folder's own name; a file's without its extension when
// its type never shows it, or when "HideFileExt" is set and the type is a registered one that
// does not ask to always show it.
std::u16string shownName(const std::u16string& file, bool folder, bool hideKnown) {
  const std::size_t dot = file.rfind(u'.');
  if (folder || dot == std::u16string::npos || dot == 0) return file;
  const std::u16string ext = file.substr(dot), stem = file.substr(0, dot);
  const std::u16string cls = classOfExtension(ext);
  for (const char16_t* s : kShortcutTypes)
    if (text::equalNoCase(ext, s)) return stem;
  if (classHasValue(ext, u"NeverShowExt") || classHasValue(cls, u"NeverShowExt")) return stem;
  if (!hideKnown || !classKeyExists(ext)) return file;
  if (classHasValue(ext, u"AlwaysShowExt") || classHasValue(cls, u"AlwaysShowExt")) return file;
  return stem;
}

std::u16string folderPath(int csidl) {
  char16_t buf[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
  return std::u16string(buf, text::length(buf));
}

// Name and parsing name of a special folder as the desktop folder gives them.
std::optional<std::pair<std::u16string, std::u16string>> virtualItem(IShellFolder* desktop, int csidl) {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(SHGetFolderLocation(nullptr, csidl, nullptr, 0, &pidl)) || !pidl) return std::nullopt;
  auto name = [&](SHGDNF flags) -> std::u16string {
    STRRET ret{};
    char16_t buf[MAX_PATH] = {};
    if (FAILED(desktop->GetDisplayNameOf(pidl, flags, &ret)) || FAILED(StrRetToBufW(&ret, pidl, buf, MAX_PATH)))
      return {};
    return std::u16string(buf, text::length(buf));
  };
  std::u16string shown = name(SHGDN_NORMAL), parsing = name(SHGDN_FORPARSING);
  ILFree(pidl);
  if (shown.empty() || parsing.empty()) return std::nullopt;
  return std::make_pair(shown, parsing);
}

POINT itemPosition(HWND list, int i) {
  POINT p{};
  SendMessageW(list, LVM_GETITEMPOSITION, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&p));
  return p;
}

}  // namespace

Desktop::Desktop(HWND list, RECT workArea) : list_(list) {
  // The desktop's view settings, where XP keeps them.
  const DWORD flags = userNumber(kDesktopBag, u"FFlags").value_or(0);
  if (flags & kFwfAutoArrange) SetWindowLongW(list_, GWL_STYLE, GetWindowLongW(list_, GWL_STYLE) | LVS_AUTOARRANGE);
  if (flags & kFwfSnapToGrid) SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_SNAPTOGRID, LVS_EX_SNAPTOGRID);
  SendMessageW(list_, LVM_SETWORKAREAS, 1, reinterpret_cast<LPARAM>(&workArea));
  // Only what programs tell the shell from now on concerns this desktop.
  platform::host::Host& host = platform::host::Host::current();
  auto lock = host.db().lock();
  auto q = host.db().query("SELECT COALESCE(MAX(id), 0) FROM shell_changes");
  if (q.step()) lastChange_ = q.int64At(0);
}

Desktop::~Desktop() { closeWatches(); }

void Desktop::closeWatches() {
  for (HANDLE h : watches_) FindCloseChangeNotification(h);
  watches_.clear();
}

void Desktop::watchFolders() {
  closeWatches();
  for (const auto& f : folders_) {
    HANDLE h = FindFirstChangeNotificationW(f.c_str(), FALSE, kWatchFilter);
    if (h != INVALID_HANDLE_VALUE) watches_.push_back(h);
  }
}

std::vector<Desktop::Entry> Desktop::entries() const {
  std::vector<Entry> out;
  IShellFolder* desktop = nullptr;
  if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop) {
    for (int csidl : kVirtualItems)
      if (auto item = virtualItem(desktop, csidl)) out.push_back({item->second, item->first});
    desktop->Release();
  }
  const bool showHidden = userNumber(kAdvanced, u"Hidden").value_or(2) == 1;
  const bool showSuperHidden = userNumber(kAdvanced, u"ShowSuperHidden").value_or(0) == 1;
  const bool hideKnown = userNumber(kAdvanced, u"HideFileExt").value_or(1) != 0;
  std::vector<Entry> folders, files;
  for (const auto& dir : folders_) {
    WIN32_FIND_DATAW fd{};
    HANDLE find = FindFirstFileW((dir + u"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      std::u16string name(fd.cFileName, text::length(fd.cFileName));
      if (name == u"." || name == u"..") continue;
      const DWORD a = fd.dwFileAttributes;
      const bool superHidden = (a & FILE_ATTRIBUTE_HIDDEN) && (a & FILE_ATTRIBUTE_SYSTEM);
      if ((a & FILE_ATTRIBUTE_HIDDEN) && (!showHidden || (superHidden && !showSuperHidden))) continue;
      const bool folder = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
      (folder ? folders : files).push_back({dir + u"\\" + name, shownName(name, folder, hideKnown)});
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  auto byName = [](const Entry& a, const Entry& b) { return text::compareNoCase(a.name, b.name) < 0; };
  std::stable_sort(folders.begin(), folders.end(), byName);
  std::stable_sort(files.begin(), files.end(), byName);
  out.insert(out.end(), folders.begin(), folders.end());
  out.insert(out.end(), files.begin(), files.end());
  return out;
}

void Desktop::refresh() {
  // The folders first, watched before they are read, so a change while reading is not missed.
  std::vector<std::u16string> now;
  for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY})
    if (std::u16string p = folderPath(csidl); !p.empty()) now.push_back(p);
  bool same = now.size() == folders_.size() && watches_.size() == folders_.size();
  for (std::size_t i = 0; same && i < now.size(); ++i) same = text::equalNoCase(now[i], folders_[i]);
  if (!same) {
    folders_ = now;
    watchFolders();
  }

  const std::vector<Entry> wanted = entries();
  std::map<std::u16string, const Entry*, NoCase> byKey;
  for (const auto& e : wanted) byKey.emplace(e.key, &e);

  std::set<std::u16string, NoCase> present;
  const int count = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
  for (int i = count - 1; i >= 0; --i) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = i;
    SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    auto k = keys_.find(item.lParam);
    auto w = k == keys_.end() ? byKey.end() : byKey.find(k->second);
    if (w == byKey.end()) {
      if (k != keys_.end()) {
        lastPlace_[k->second] = itemPosition(list_, i);
        keys_.erase(k);
      }
      SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(i), 0);
      continue;
    }
    present.insert(w->first);
    char16_t shown[MAX_PATH + 1] = {};
    LVITEMW t{};
    t.pszText = shown;
    t.cchTextMax = MAX_PATH + 1;
    SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&t));
    if (w->second->name != std::u16string_view(shown)) {
      t.pszText = const_cast<char16_t*>(w->second->name.c_str());
      SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&t));
    }
  }

  for (const auto& e : wanted) {
    if (present.count(e.key)) continue;
    const LPARAM param = nextParam_++;
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char16_t*>(e.name.c_str());
    item.lParam = param;
    const int at = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) continue;
    keys_[param] = e.key;
    // Back to where it stood before it went, unless another icon stands there now.
    auto was = lastPlace_.find(e.key);
    if (was == lastPlace_.end()) continue;
    const POINT p = was->second;
    lastPlace_.erase(was);
    bool taken = false;
    const int n = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n && !taken; ++i) {
      POINT q = itemPosition(list_, i);
      taken = i != at && q.x == p.x && q.y == p.y;
    }
    if (!taken) SendMessageW(list_, LVM_SETITEMPOSITION32, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&p));
  }
}

void Desktop::changed(HANDLE watch) {
  FindNextChangeNotification(watch);
  refresh();
}

bool Desktop::concernsDesktop(const std::u16string& item) const {
  for (const auto& f : folders_) {
    if (text::equalNoCase(item, f)) return true;
    if (item.size() > f.size() + 1 && item[f.size()] == u'\\' &&
        text::equalNoCase(std::u16string_view(item).substr(0, f.size()), f) &&
        item.find(u'\\', f.size() + 1) == std::u16string::npos)
      return true;
  }
  return false;
}

void Desktop::checkShellChanges() {
  bool concerned = false;
  {
    platform::host::Host& host = platform::host::Host::current();
    auto lock = host.db().lock();
    auto q = host.db().query("SELECT id, event, item1, item2 FROM shell_changes WHERE id > ?1 ORDER BY id");
    q.bind(1, lastChange_);
    while (q.step()) {
      lastChange_ = q.int64At(0);
      const LONG event = static_cast<LONG>(q.int64At(1));
      if (event & kAssocChanged) concerned = true;
      if (concernsDesktop(text::fromUtf8(q.textAt(2))) || concernsDesktop(text::fromUtf8(q.textAt(3))))
        concerned = true;
    }
  }
  if (concerned) refresh();
}

}  // namespace hostapps::explorer
