// The login file, the parked host values and the recovery that puts a host back after the program
// died while a user was logged in; also the machine-wide environment write of start-up.
#include "snapins/host_recovery.h"

#include <charconv>

#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "app/shortcut.h"
#include "app/windows_helpers.h"
#include "platform/afx/file.h"
#include "platform/base/text.h"
#include "platform/com/active_desktop.h"
#include "platform/com/runtime.h"
#include "platform/win32/win32.h"
#include "snapins/desktop_icons.h"

namespace {

// ---- Names the product writes and reads -----------------------------------------------------------

constexpr const char16_t* kUserShellFoldersKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char16_t* kShellFoldersKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char16_t* kShellFolderNames[5] = {u"Cookies", u"Desktop", u"Favorites", u"History", u"Personal"};
constexpr const char16_t* kDesktopKey = u"HKEY_CURRENT_USER\\Control Panel\\Desktop";
constexpr const char16_t* kConvertedWallpaperValue = u"ConvertedWallpaper";
constexpr const char16_t* kDefaultProfileValue = u"DefaultProfile";
constexpr const char16_t* kProfilesKeyOld = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";
constexpr const char16_t* kProfilesKeyNt =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr const char16_t* kProductProfileMark = u"Kipo";
constexpr const char16_t* kDesktopCountLabel = u"Desktop number for current user is";
constexpr const char16_t* kDocumentCountLabel = u"Document number for current user is";
constexpr const char16_t* kLoginFileExtension = u".login";

constexpr const char16_t* kInternetSettings = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char16_t* kExtensibleCache = u"5.0\\Cache\\Extensible Cache";
constexpr const char16_t* kParkedExtensibleCache = u"5.0\\Cache\\Kipo Extensible Cache";
constexpr const char16_t* kUrlHistoryKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Url History";
constexpr const char16_t* kParkedUrlHistoryKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Kipo Url History";
constexpr const char16_t* kIeMainKey = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char16_t* kStartPageValue = u"Start Page";
constexpr const char16_t* kParkedStartPageValue = u"Kipo Start Page";
constexpr const char16_t* kTypedUrlsKey = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs";
constexpr const char16_t* kParkedTypedUrlsKey = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs_Kipo";
constexpr const char16_t* kLocalPrefsKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs";
// Set once the Internet cache keys were parked whole.
constexpr const char16_t* kCachesParkedValue = u"internetCachesParked";
constexpr const char16_t* kParkedMenuOrderKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\localPrefs\\FavoritesMenuOrder";
constexpr const char16_t* kMenuOrderKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Favorites";
constexpr const char16_t* kAdvancedKey = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char16_t* kLastThemeKey = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\LastTheme";
constexpr const char16_t* kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
constexpr const char16_t* kSnapinsKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\LocalPrefs\\Snapins";
constexpr const char16_t* kOutlookSnapinKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\LocalPrefs\\Snapins\\Outlook";
constexpr const char16_t* kSavedProfilesName = u"Profiles";
constexpr const char16_t* kEnvironmentKey =
    u"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char16_t* kHoldingFolderPrefix = u"Kipo Recovered Items ";
constexpr const char16_t* kSynchronizedComputers = u"Synchronized Computers";

constexpr const char16_t* kLogCreateFailed = u"Recover:saveComputer() - failed to create the login file";
constexpr const char16_t* kLogWriteFailed = u"Recover:saveComputer() - failed to write the login file";
constexpr const char16_t* kLogOpenFailed = u"Recover:restoreRegistry() - failed to open the login file";
constexpr const char16_t* kLogReadFailed = u"Recover:restoreRegistry() - failed to read the login file";
constexpr const char16_t* kLogBlockIncomplete =
    u"Recover:restoreRegistry() - the login file's list of %s did not read whole: nothing is removed from it";
constexpr const char16_t* kLogMoved = u"Recover: moved %s to %s";
constexpr const char16_t* kLogMoveFailed = u"Recover: failed to move %s to %s";
constexpr const char16_t* kLogShortcutDeleted = u"Recover: deleted the program's shortcut %s";
constexpr const char16_t* kLogShortcutNotDeleted = u"Recover: failed to delete the program's shortcut %s";
constexpr const char16_t* kLogHidden = u"Failed to get Windows Explorer hidden parameter from %s local registry.";
constexpr const char16_t* kLogNoActiveDesktop = u"Failed to create IActiveDesktop interface. IE 4.7 or greater required.";
constexpr const char16_t* kLogWallpaper = u"Failed to restore wallpaper.";
constexpr const char16_t* kLogApply = u"Failed to apply the desktop settings.";

// A login file larger than this is not one the program wrote.
constexpr ULONGLONG kLoginFileLimit = 64ull * 1024 * 1024;

CString internetSettingsRoot() {
  return CString(isBeforeWindows2000() ? u"HKEY_LOCAL_MACHINE\\" : u"HKEY_CURRENT_USER\\") + kInternetSettings;
}
CString extensibleCacheKey() { return joinPath(internetSettingsRoot(), kExtensibleCache); }
CString parkedExtensibleCacheKey() { return joinPath(internetSettingsRoot(), kParkedExtensibleCache); }

bool keyExists(const CString& path) { return CRegistry(path).isOpen(); }

// The login file records a missing value as an empty one. Such a value is taken away rather than
// written back empty: a recovery must not leave values (nor keys, such as the messaging profiles
// key of a host without mail) that the host did not have before the login. An empty shell folder,
// wallpaper or default profile means the same to Windows as none.
bool putBack(const CString& key, const char16_t* name, const CString& text, DWORD type) {
  if (!text.IsEmpty()) return CRegistry(key, true, true).setString(name, text, type);
  CRegistry existing(key, false, true);
  return !existing.isOpen() || !existing.valueExists(name) || existing.deleteValue(name);
}

// ---- The login file's text --------------------------------------------------------------------------

void appendLine(std::string& out, const CString& line) {
  out += platform::text::toUtf8(line.view());
  out += "\r\n";
}

void appendBlock(std::string& out, const char16_t* label, const LoginFileBlock& block) {
  CString line;
  line.Format(u"%s=%d", label, static_cast<int>(block.entries.size()));
  appendLine(out, line);
  for (const LoginFileEntry& e : block.entries) {
    line.Format(u"%s=%s=%I64d", e.path, e.visible ? u"Y" : u"N", e.creationTime);
    appendLine(out, line);
  }
}

// The lines of the file, each without its line end (CR LF, or a lone LF).
std::vector<CString> splitLines(std::string_view bytes) {
  std::vector<CString> lines;
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::u16string text = platform::text::fromUtf8(line);
    lines.emplace_back(std::u16string_view(text));
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

bool parseDecimal(const CString& text, LONGLONG& value) {
  std::string digits = platform::text::toUtf8(text.view());
  if (digits.empty()) return false;
  const char* end = digits.data() + digits.size();
  auto [ptr, ec] = std::from_chars(digits.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// "<path>=<Y|N>=<time>", split at the last two "=" so that a path may hold "=".
bool parseEntry(const CString& line, LoginFileEntry& entry) {
  int timeAt = line.ReverseFind(u'=');
  if (timeAt <= 0) return false;
  int flagAt = line.Left(timeAt).ReverseFind(u'=');
  if (flagAt <= 0) return false;
  CString flag = line.Mid(flagAt + 1, timeAt - flagAt - 1);
  if (flag != u"Y" && flag != u"N") return false;
  if (!parseDecimal(line.Mid(timeAt + 1), entry.creationTime)) return false;
  entry.path = line.Left(flagAt);
  entry.visible = flag == u"Y";
  return true;
}

bool isCountLine(const CString& line, const char16_t* label) {
  CString prefix = CString(label) + u"=";
  return line.Left(prefix.GetLength()) == prefix;
}

// The block whose count line is at `at`; `next` receives the index after it, or stays npos when
// the count did not read. A count that is not a plain decimal, or that runs past the file, makes
// the block incomplete.
LoginFileBlock parseBlock(const std::vector<CString>& lines, std::size_t at, std::size_t& next) {
  LoginFileBlock block;
  next = std::string_view::npos;
  if (at >= lines.size()) return block;
  const CString& header = lines[at];
  int eq = header.Find(u'=');
  LONGLONG count = -1;
  if (eq < 0 || !parseDecimal(header.Mid(eq + 1), count) || count < 0 ||
      static_cast<ULONGLONG>(count) > lines.size() - at - 1)
    return block;
  block.complete = true;
  for (LONGLONG i = 0; i < count; ++i) {
    LoginFileEntry entry;
    if (parseEntry(lines[at + 1 + static_cast<std::size_t>(i)], entry))
      block.entries.push_back(entry);
    else
      block.complete = false;
  }
  next = at + 1 + static_cast<std::size_t>(count);
  return block;
}

// ---- Files of the login -----------------------------------------------------------------------------

void listEntries(const CString& folder, LoginFileBlock& block) {
  block.entries.clear();
  block.complete = true;
  CStringArray list;
  if (folder.IsEmpty()) return;
  listFolder(folder, list, true);
  for (INT_PTR i = 0; i < list.GetSize(); ++i) {
    LoginFileEntry e;
    e.path = list[i];
    e.visible = !isHiddenFile(e.path);
    e.creationTime = getFileCreationTime(e.path);
    block.entries.push_back(e);
  }
}

// Writes the bytes into `file`, already created; false (logged) on any file error.
bool writeWholeFile(CFile& file, const std::string& bytes) {
  try {
    file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    file.Flush();
    file.Close();
    return true;
  } catch (CException* e) {
    e->Delete();
    file.Abort();
    writeLog(kLogWriteFailed);
    return false;
  }
}

enum class ReadResult { NotOpened, Failed, Read };

ReadResult readWholeFile(const CString& path, std::string& bytes) {
  CFile file;
  if (!file.Open(path, CFile::modeRead | CFile::shareExclusive)) return ReadResult::NotOpened;
  try {
    ULONGLONG length = file.GetLength();
    if (length > kLoginFileLimit) {
      file.Abort();
      return ReadResult::Failed;
    }
    bytes.resize(static_cast<std::size_t>(length));
    UINT got = length ? file.Read(bytes.data(), static_cast<UINT>(length)) : 0;
    file.Close();
    if (got != length) return ReadResult::Failed;
    return ReadResult::Read;
  } catch (CException* e) {
    e->Delete();
    file.Abort();
    return ReadResult::Failed;
  }
}

// ---- Sorting the entries at recovery ---------------------------------------------------------------

// Whether the shortcut points into a drive's "Synchronized Computers" folder: the drive's own when
// the program knows its drive, else that folder at the root of any drive.
bool isProductShortcut(const CString& path) {
  if (!isShortcutFile(path) || !fileExists(path)) return false;
  CString target = CShortcut(path).getTargetPath();
  if (target.IsEmpty()) return false;
  CString folder = CFolderLookup::getSynchronizedComputersPath();
  if (folder.IsEmpty()) {
    CString root = getPathRoot(target);
    if (root.GetLength() != 2) return false;
    folder = root + u"\\" + kSynchronizedComputers;
  }
  folder.TrimRight(u'\\');
  return equalsNoCase(target, folder) || startsWithNoCase(target, folder + u"\\");
}

// A name in `folder` that is not taken: the name itself, else "name (2)", "name (3)", ...
CString freeNameIn(const CString& folder, const CString& name) {
  CString candidate = joinPath(folder, name);
  for (int i = 2; pathExists(candidate) && i < 1000; ++i) {
    CString numbered;
    CString stem = name, ext;
    if (!directoryExists(joinPath(folder, name))) {
      int dot = name.ReverseFind(u'.');
      if (dot > 0) {
        stem = name.Left(dot);
        ext = name.Mid(dot);
      }
    }
    numbered.Format(u"%s (%d)%s", stem, i, ext);
    candidate = joinPath(folder, numbered);
  }
  return pathExists(candidate) ? CString() : candidate;
}

bool isHoldingFolder(const CString& path) {
  return startsWithNoCase(getFileName(path), kHoldingFolderPrefix) && directoryExists(path);
}

// An entry that is not the one recorded at login: the program's own shortcut is deleted, anything
// else is moved where the user finds it.
void setAside(const CString& path, const CString& holdingFolder) {
  if (isProductShortcut(path)) {
    writeLog(deleteFileOp(path) ? kLogShortcutDeleted : kLogShortcutNotDeleted, path);
    return;
  }
  CString target;
  if (createDirectoryTree(holdingFolder)) target = freeNameIn(holdingFolder, getFileName(path));
  if (!target.IsEmpty() && moveFileOp(path, target) && !pathExists(path)) {
    writeLog(kLogMoved, path, target);
  } else {
    writeLog(kLogMoveFailed, path, holdingFolder);
  }
}

bool samePath(const CString& a, const CString& b) { return equalsNoCase(a, b); }

// Entries are set aside only when the block read whole and there is a holding folder to take them.
void sortEntries(const CString& folder, const LoginFileBlock& block, const char16_t* label,
                 const CString& holdingFolder) {
  if (folder.IsEmpty()) return;
  if (!block.complete) writeLog(kLogBlockIncomplete, CString(label));
  const bool mayRemove = block.complete && !holdingFolder.IsEmpty();
  CStringArray list;
  listFolder(folder, list, true);
  for (INT_PTR i = 0; i < list.GetSize(); ++i) {
    const CString& path = list[i];
    if (isHoldingFolder(path)) continue;
    const LoginFileEntry* recorded = nullptr;
    for (const LoginFileEntry& e : block.entries)
      if (samePath(e.path, path)) recorded = &e;
    if (recorded) {
      const LONGLONG now = getFileCreationTime(path);
      // A time that could not be read, then or now, tells nothing: the entry stays.
      if (recorded->creationTime == 0 || now == 0 || recorded->creationTime == now) {
        setHiddenAttribute(path, !recorded->visible);
        continue;
      }
    }
    if (mayRemove) setAside(path, holdingFolder);
  }
}

// COM for this thread while recovery runs (start-up may not have initialised it yet).
struct ComScope {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ~ComScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
};

}  // namespace

// ---- The login file ----------------------------------------------------------------------------

void getLoginFilePath(CString& path) {
  WCHAR appData[MAX_PATH + 1] = {};
  DWORD n = GetEnvironmentVariableW(u"AppData", appData, MAX_PATH + 1);
  if (n > MAX_PATH) appData[0] = 0;
  WCHAR computer[16] = {};
  DWORD size = 16;
  if (!GetComputerNameW(computer, &size)) computer[0] = 0;
  path.Format(u"%s\\%s%s", appData, computer, kLoginFileExtension);
}

void getMessagingProfilesKey(CString& key) { key = isBeforeWindows2000() ? kProfilesKeyOld : kProfilesKeyNt; }

bool deleteLoginFile() {
  CString path;
  getLoginFilePath(path);
  if (!fileExists(path)) return true;
  return deleteFileOp(path);
}

std::string formatLoginFile(const LoginFileContents& contents) {
  std::string out;
  CString line;
  for (int i = 0; i < 5; ++i) {
    line.Format(u"%s\\%s=%s", kUserShellFoldersKey, kShellFolderNames[i], contents.userShellFolders[i].text);
    appendLine(out, line);
  }
  for (int i = 0; i < 5; ++i) {
    line.Format(u"%s\\%s=%s", kShellFoldersKey, kShellFolderNames[i], contents.shellFolders[i].text);
    appendLine(out, line);
  }
  line.Format(u"%s=%s", kDesktopKey, contents.convertedWallpaper.text);
  appendLine(out, line);
  CString profiles;
  getMessagingProfilesKey(profiles);
  line.Format(u"%s=%s", profiles, contents.defaultProfile.text);
  appendLine(out, line);
  appendBlock(out, kDesktopCountLabel, contents.desktop);
  appendBlock(out, kDocumentCountLabel, contents.documents);
  return out;
}

LoginFileContents parseLoginFile(std::string_view bytes) {
  LoginFileContents c;
  std::vector<CString> lines = splitLines(bytes);
  LoginFileValue* values[12];
  for (int i = 0; i < 5; ++i) {
    values[i] = &c.userShellFolders[i];
    values[5 + i] = &c.shellFolders[i];
  }
  values[10] = &c.convertedWallpaper;
  values[11] = &c.defaultProfile;
  for (std::size_t i = 0; i < 12 && i < lines.size(); ++i) {
    int eq = lines[i].Find(u'=');
    if (eq < 0) continue;
    values[i]->text = lines[i].Mid(eq + 1);
    values[i]->present = true;
  }
  std::size_t next = std::string_view::npos;
  c.desktop = parseBlock(lines, 12, next);
  // The documents' count line follows the desktop's entries; when the desktop's count did not
  // read, it is looked for by its label.
  if (next == std::string_view::npos) {
    for (std::size_t i = 13; i < lines.size() && next == std::string_view::npos; ++i)
      if (isCountLine(lines[i], kDocumentCountLabel)) next = i;
  }
  std::size_t end = 0;
  c.documents = parseBlock(lines, next, end);
  return c;
}

// ---- Login and logout ---------------------------------------------------------------------------

bool saveComputer() {
  CString path;
  getLoginFilePath(path);
  CFile file;
  if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive)) {
    writeLog(kLogCreateFailed);
    return false;
  }
  LoginFileContents c;
  {
    CRegistry user(CString(kUserShellFoldersKey), true, true);
    for (int i = 0; i < 5; ++i) user.getString(kShellFolderNames[i], c.userShellFolders[i].text);
    CRegistry shell(CString(kShellFoldersKey), true, true);
    for (int i = 0; i < 5; ++i) shell.getString(kShellFolderNames[i], c.shellFolders[i].text);
    CRegistry desktop{CString(kDesktopKey)};
    desktop.getString(kConvertedWallpaperValue, c.convertedWallpaper.text);
    CString profilesKey;
    getMessagingProfilesKey(profilesKey);
    CRegistry profiles(profilesKey);
    profiles.getString(kDefaultProfileValue, c.defaultProfile.text);
  }
  listEntries(CFolderLookup::getDesktopPath(), c.desktop);
  listEntries(CFolderLookup::getMyDocumentsPath(), c.documents);

  bool written = writeWholeFile(file, formatLoginFile(c));
  saveInternetCaches();
  saveStartPage();
  return written;
}

bool saveInternetCaches() {
  bool ok = true;
  CRegistry parked(parkedExtensibleCacheKey(), true, true);
  if (!parked.isOpen()) ok = false;
  CRegistry caches(extensibleCacheKey());
  CStringList names;
  if (caches.isOpen() && caches.getSubkeyNames(names, true)) {
    for (POSITION pos = names.GetHeadPosition(); pos;) {
      CString source = names.GetNext(pos);
      if (!CRegistry::copyTree(source, joinPath(parkedExtensibleCacheKey(), getFileName(source)))) ok = false;
    }
  }
  if (keyExists(kUrlHistoryKey) && !CRegistry::copyTree(kUrlHistoryKey, kParkedUrlHistoryKey)) ok = false;
  // Only copies that were made whole are the host's: a program killed while copying leaves
  // parked keys without this mark, and the recovery must not put them in place of the host's.
  if (ok) CRegistry(CString(kLocalPrefsKey), true, true).setBool(kCachesParkedValue, true);
  return ok;
}

bool saveStartPage() {
  CRegistry main(CString(kIeMainKey), true, true);
  CString page;
  main.getString(kStartPageValue, page);
  return main.setString(kParkedStartPageValue, page, REG_SZ);
}

void deleteProductRegistryTraces() {
  CRegistry(CString(kIeMainKey), false, true).deleteValue(kParkedStartPageValue);
  CRegistry(CString(kLocalPrefsKey), false, true).deleteValue(kCachesParkedValue);
  CRegistry caches(parkedExtensibleCacheKey());
  if (caches.isOpen()) caches.deleteKey();
  CRegistry history{CString(kParkedUrlHistoryKey)};
  if (history.isOpen()) history.deleteKey();
}

// ---- Recovery -----------------------------------------------------------------------------------

CString getRecoveryHoldingFolder(const CString& myDocuments) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  CString name;
  name.Format(u"%s%04d-%02d-%02d", kHoldingFolderPrefix, now.wYear, now.wMonth, now.wDay);
  return joinPath(myDocuments, name);
}

bool restoreRegistry(bool& fileOpened) {
  CString path;
  getLoginFilePath(path);
  std::string bytes;
  ReadResult read = readWholeFile(path, bytes);
  fileOpened = read != ReadResult::NotOpened;
  if (read == ReadResult::NotOpened) {
    writeLog(kLogOpenFailed);
    return false;
  }
  if (read == ReadResult::Failed) {
    writeLog(kLogReadFailed);
    return false;
  }
  LoginFileContents c = parseLoginFile(bytes);

  bool result = true;
  {
    for (int i = 0; i < 5; ++i)
      if (c.userShellFolders[i].present)
        result = putBack(CString(kUserShellFoldersKey), kShellFolderNames[i], c.userShellFolders[i].text, REG_EXPAND_SZ) &&
                 result;
    for (int i = 0; i < 5; ++i)
      if (c.shellFolders[i].present)
        result = putBack(CString(kShellFoldersKey), kShellFolderNames[i], c.shellFolders[i].text, REG_SZ) && result;
    if (c.convertedWallpaper.present)
      result = putBack(CString(kDesktopKey), kConvertedWallpaperValue, c.convertedWallpaper.text, REG_SZ) && result;
    CString profilesKey;
    getMessagingProfilesKey(profilesKey);
    if (c.defaultProfile.present)
      result = putBack(profilesKey, kDefaultProfileValue, c.defaultProfile.text, REG_SZ) && result;

    // The product's own messaging profiles go (their names carry its name, in its case).
    CRegistry profiles(profilesKey);
    CStringList names;
    if (profiles.isOpen() && profiles.getSubkeyNames(names, false)) {
      for (POSITION pos = names.GetHeadPosition(); pos;) {
        CString name = names.GetNext(pos);
        if (name.Find(kProductProfileMark) >= 0) CRegistry(joinPath(profilesKey, name)).deleteKey();
      }
    }
  }

  // The folders as the restored values name them; set-aside entries go to My Documents.
  const CString documents = CFolderLookup::getMyDocumentsPath();
  const CString holding = documents.IsEmpty() ? CString() : getRecoveryHoldingFolder(documents);
  sortEntries(CFolderLookup::getDesktopPath(), c.desktop, u"Desktop", holding);
  sortEntries(documents, c.documents, u"My Documents", holding);
  return result && c.desktop.complete && c.documents.complete;
}

bool unhideLocalSettings() {
  CString folder = CFolderLookup::getShellFolder(CString(u"Local Settings"));
  if (folder.IsEmpty() || !isHiddenFile(folder)) return true;
  return setHiddenAttribute(folder, false);
}

bool restoreDesktopWallpaper() {
  IActiveDesktop* desktop = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ActiveDesktop, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveDesktop,
                              reinterpret_cast<void**>(&desktop))) ||
      !desktop) {
    writeLog(kLogNoActiveDesktop);
  } else {
    COMPONENTSOPT options{};
    options.dwSize = sizeof options;
    options.fEnableComponents = TRUE;
    options.fActiveDesktop = TRUE;
    desktop->SetDesktopItemOptions(&options, 0);
    CString wallpaper;
    if (isWindowsXP()) {
      CRegistry theme{CString(kLastThemeKey)};
      theme.getString(u"Wallpaper", wallpaper);
      CString expanded = expandEnvironmentStrings(wallpaper);
      if (!expanded.IsEmpty()) wallpaper = expanded;
    }
    if (FAILED(desktop->SetWallpaper(wallpaper, 0))) writeLog(kLogWallpaper);
    if (FAILED(desktop->ApplyChanges(AD_APPLY_SAVE | AD_APPLY_HTMLGEN | AD_APPLY_REFRESH))) writeLog(kLogApply);
    desktop->Release();
  }
  CDesktopIconStore store;
  if (!findDesktopListView(store)) return false;
  bool ok = restoreDesktopIconPositions(store);
  InvalidateRect(store.listView, nullptr, TRUE);
  return ok;
}

bool restoreTypedUrls() {
  CRegistry parked{CString(kParkedTypedUrlsKey)};
  if (!parked.isOpen()) return true;
  CRegistry typed(CString(kTypedUrlsKey), true, true);
  typed.deleteKey();
  return parked.renameKey(CString(u"TypedURLs"));
}

bool restoreFavoritesSettings() {
  bool ok = true;
  if (keyExists(kParkedMenuOrderKey)) {
    if (CRegistry::copyTree(kParkedMenuOrderKey, kMenuOrderKey))
      CRegistry(CString(kParkedMenuOrderKey)).deleteKey();
    else
      ok = false;
  }
  CRegistry prefs(CString(kLocalPrefsKey), false, true);
  prefs.deleteValue(u"Favorites");
  DWORD hidden = 1;
  if (!prefs.getDword(u"hidden", hidden)) {
    // Nothing was parked (the program died before the file snap-in ran): the host's own
    // setting is still in place and is not overwritten with a default.
    writeLog(kLogHidden, g_applicationName);
    return ok;
  }
  return CRegistry(CString(kAdvancedKey)).setDword(u"hidden", hidden) && ok;
}

bool restoreInternetCaches() {
  bool ok = true;
  CRegistry prefs(CString(kLocalPrefsKey), false, true);
  bool whole = false;
  if (!prefs.isOpen() || !prefs.getBool(kCachesParkedValue, whole) || !whole) {
    // Copies cut short at login: the host's own keys are still in place; the pieces go.
    CRegistry cut(parkedExtensibleCacheKey(), false, true);
    if (cut.isOpen()) cut.deleteKey();
    CRegistry cutHistory(CString(kParkedUrlHistoryKey), false, true);
    if (cutHistory.isOpen()) cutHistory.deleteKey();
    return true;
  }
  CRegistry parked(parkedExtensibleCacheKey());
  if (parked.isOpen()) {
    CRegistry(extensibleCacheKey()).deleteKey();
    ok = parked.renameKey(CString(u"Extensible Cache")) && ok;
  }
  CRegistry history{CString(kParkedUrlHistoryKey)};
  if (history.isOpen()) {
    CRegistry current(CString(kUrlHistoryKey), true, true);
    current.deleteKey();
    ok = history.renameKey(CString(u"Url History")) && ok;
  }
  // Last: a recovery cut short before this point does the whole of it again.
  if (ok) prefs.deleteValue(kCachesParkedValue);
  return ok;
}

bool restoreStartPage() {
  CRegistry main(CString(kIeMainKey), true, true);
  CString page;
  // Without a parked copy (the program died before it parked one, or a logout already put it
  // back) the start page in place is the host's own and stays.
  if (!main.getString(kParkedStartPageValue, page)) return true;
  main.deleteValue(kParkedStartPageValue);
  return main.setString(kStartPageValue, page, REG_SZ);
}

bool restoreSignatures() {
  CString microsoft = joinPath(CFolderLookup::getShellFolder(CString(u"AppData")), u"Microsoft");
  CString parked = joinPath(microsoft, u"qx_Signatures");
  CString signatures = joinPath(microsoft, u"Signatures");
  // The signature snap-in records a host that had no signatures folder: the one the login made
  // is not the host's.
  CRegistry snapin(CString(kSnapinsKey) + u"\\OutlookSignature", false, true);
  bool hostHadNone = false;
  if (!snapin.isOpen() || !snapin.getBool(u"noHostSignatures", hostHadNone)) hostHadNone = false;
  if (snapin.isOpen()) snapin.deleteValue(u"noHostSignatures");
  if (!directoryExists(parked)) return !hostHadNone || !pathExists(signatures) || deleteFolder(signatures);
  if (pathExists(signatures)) deleteFolder(signatures);
  bool ok = moveFileOp(parked, signatures);
  if (pathExists(parked)) deleteFolder(parked);
  return ok;
}

// A logout cut off while the Outlook snap-in put the host's mail profiles back (each key is
// deleted before the saved one is copied in) leaves them missing or in part. While that snap-in
// still counts as personalized, its copy saved at login is this session's: each saved profile goes
// back whole; profiles the host has beyond them stay.
bool restoreSavedMailProfiles() {
  CRegistry snapin{CString(kOutlookSnapinKey)};
  bool personalized = false;
  if (!snapin.isOpen() || !snapin.getBool(u"personalized", personalized) || !personalized) return true;
  const CString saved = joinPath(CString(kOutlookSnapinKey), kSavedProfilesName);
  CRegistry savedKey(saved);
  CStringList names;
  if (!savedKey.isOpen() || !savedKey.getSubkeyNames(names, false)) return true;
  CString profilesKey;
  getMessagingProfilesKey(profilesKey);
  bool ok = true;
  for (POSITION pos = names.GetHeadPosition(); pos;) {
    const CString name = names.GetNext(pos);
    ok = CRegistry::copyTree(joinPath(saved, name), joinPath(profilesKey, name)) && ok;
  }
  return ok;
}

void markNotPersonalized() {
  CRegistry product(CString(kProductKey), false, true);
  if (product.isOpen()) product.setBool(u"Personalized", false);
  CRegistry snapins{CString(kSnapinsKey)};
  CStringList names;
  if (snapins.isOpen() && snapins.getSubkeyNames(names, true)) {
    for (POSITION pos = names.GetHeadPosition(); pos;) CRegistry(names.GetNext(pos)).setBool(u"personalized", false);
  }
}

void recoverComputer() {
  ComScope com;
  bool opened = false;
  restoreRegistry(opened);
  if (!opened) return;
  unhideLocalSettings();
  restoreParkedHideFileExt();
  restoreDesktopWallpaper();
  restoreTypedUrls();
  restoreFavoritesSettings();
  restoreInternetCaches();
  restoreStartPage();
  restoreSignatures();
  restoreSavedMailProfiles();
  markNotPersonalized();
  deleteLoginFile();
}

// ---- Environment ----------------------------------------------------------------------------------

bool broadcastEnvironmentChange(const CString& name, const CString& value) {
  bool written = CRegistry(CString(kEnvironmentKey), true, true).setString(name, value, REG_SZ);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(u"Environment"), SMTO_ABORTIFHUNG,
                      5000, &result);
  return written;
}
