// Folder lookup: every answer is computed from the registry, the shell and the drive at the time
// of the call, so nothing here goes stale when the drive or the host changes.
#include "app/folder_lookup.h"

#include "app/customizer_exception.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "platform/win32/shell.h"

namespace {

constexpr const char16_t* kUserShellFoldersKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const char16_t* kShellFoldersKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char16_t* kMachineInstallKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brackwater\\Kipo\\install";
constexpr const char16_t* kUserInstallKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\install";
constexpr const char16_t* kInstallPathValue = u"installPath";
constexpr const char16_t* kDeviceSerialValue = u"deviceSerialNumber";
constexpr const char16_t* kCompanyFolder = u"Brackwater";
constexpr const char16_t* kBackupFolder = u"Backup2";
constexpr const char16_t* kSynchronizedComputersFolder = u"Synchronized Computers";

constexpr const char16_t* kLogDesktopPath = u"{CFolderLookup}: Failed to get desktop path";
constexpr const char16_t* kLogDesktopName = u"{CFolderLookup}: Failed to get desktop name";
constexpr const char16_t* kLogCommonDesktopPath = u"{CFolderLookup}: Failed to get common desktop path";
constexpr const char16_t* kLogMyDocsPath = u"{CFolderLookup}: Failed to get MyDocs path";
constexpr const char16_t* kLogMyDocsName = u"{CFolderLookup}: Failed to get MyDocs name";
constexpr const char16_t* kLogFavoritesPath = u"{CFolderLookup}: Failed to get Favorites path";
constexpr const char16_t* kLogRecentPath = u"{CFolderLookup}: Failed to get Recent Path path";
constexpr const char16_t* kLogCookiesPath = u"{CFolderLookup}: Failed to get Cookies path";
constexpr const char16_t* kLogCookiesName = u"{CFolderLookup}: Failed to get Cookies name";
constexpr const char16_t* kLogHistoryPath = u"{CFolderLookup}: Failed to get History path";
constexpr const char16_t* kLogHistoryName = u"{CFolderLookup}: Failed to get History name";

std::function<CString()>& devicePathSource() {
  static std::function<CString()> source;
  return source;
}

// The path (or the display name) of a shell folder; empty and the log line when the shell has none.
CString shellFolderPart(int csidl, bool wantName, const char16_t* failureLine) {
  CString path;
  CString name;
  getSpecialFolder(csidl, path, name);
  CString result = wantName ? name : path;
  if (result.IsEmpty()) writeLog(failureLine);
  return result;
}

CString formatText(LPCWSTR format, const CString& a, const CString& b) {
  CString text;
  text.Format(format, a, b);
  return text;
}

}  // namespace

void CFolderLookup::setDevicePathSource(std::function<CString()> source) { devicePathSource() = std::move(source); }

void CFolderLookup::installSpecialFolderSource() {
  setSpecialFolderSource([](SpecialFolder folder) {
    SpecialFolderInfo info;
    switch (folder) {
      case SpecialFolder::Desktop:
        info.path = getDesktopPath();
        info.name = getDesktopName();
        break;
      case SpecialFolder::Favorites:
        info.path = getFavoritesPath();
        info.name = getFavoritesName();
        break;
      case SpecialFolder::MyDocuments:
        info.path = getMyDocumentsPath();
        info.name = getMyDocumentsName();
        break;
      case SpecialFolder::Cookies:
        info.path = getCookiesPath();
        info.name = getCookiesName();
        break;
      case SpecialFolder::History:
        info.path = getHistoryPath();
        info.name = getHistoryName();
        break;
    }
    return info;
  });
}

CString CFolderLookup::getShellFolder(const CString& valueName) {
  CString value;
  {
    CRegistry user(CString(kUserShellFoldersKey), true, true);
    if (user.getString(valueName.GetString(), value) && !value.IsEmpty()) return expandEnvironmentStrings(value);
  }
  value.Empty();
  CRegistry shell(CString(kShellFoldersKey), true, true);
  shell.getString(valueName.GetString(), value);
  return value;
}

CString CFolderLookup::getCompanyAppDataPath() { return joinPath(getShellFolder(CString(u"AppData")), CString(kCompanyFolder)); }

CString CFolderLookup::getProductAppDataPath() { return joinPath(getCompanyAppDataPath(), CString(kProductName)); }

CString CFolderLookup::getBackupPath() { return joinPath(getCompanyAppDataPath(), CString(kBackupFolder)); }

CString CFolderLookup::getDeviceSerialText() {
  CString root = getPathRoot(getDevicePath());
  DWORD serial = root.IsEmpty() ? 0 : getVolumeSerialNumber(root + u'\\');
  if (serial == 0) {
    CRegistry install{CString(kUserInstallKey)};
    if (!install.getDword(kDeviceSerialValue, serial)) serial = 0;
  }
  CString text;
  text.Format(u"%08x", serial);
  return text;
}

CString CFolderLookup::getDeviceBackupPath() {
  return formatText(u"%s\\%s", getBackupPath(), getDeviceSerialText());
}

CString CFolderLookup::getDeviceSpecificPath() {
  return formatText(u"%s\\DeviceSpecific\\%s", getCompanyAppDataPath(), getDeviceSerialText());
}

CString CFolderLookup::getPersonalizePath() { return joinPath(getDeviceSpecificPath(), CString(u"Personalize")); }

CString CFolderLookup::getSynchronizePath() { return joinPath(getDeviceSpecificPath(), CString(u"Synchronize")); }

CString CFolderLookup::getDesktopPath() { return shellFolderPart(CSIDL_DESKTOPDIRECTORY, false, kLogDesktopPath); }
CString CFolderLookup::getDesktopName() { return shellFolderPart(CSIDL_DESKTOPDIRECTORY, true, kLogDesktopName); }
CString CFolderLookup::getCommonDesktopPath() {
  return shellFolderPart(CSIDL_COMMON_DESKTOPDIRECTORY, false, kLogCommonDesktopPath);
}
CString CFolderLookup::getMyDocumentsPath() { return shellFolderPart(CSIDL_PERSONAL, false, kLogMyDocsPath); }
CString CFolderLookup::getMyDocumentsName() { return shellFolderPart(CSIDL_PERSONAL, true, kLogMyDocsName); }
CString CFolderLookup::getFavoritesPath() { return shellFolderPart(CSIDL_FAVORITES, false, kLogFavoritesPath); }
// The folder keeps this name in the profile paths whatever the host's language calls it.
CString CFolderLookup::getFavoritesName() { return CString(u"Favorites"); }
CString CFolderLookup::getRecentPath() { return shellFolderPart(CSIDL_RECENT, false, kLogRecentPath); }
CString CFolderLookup::getCookiesPath() { return shellFolderPart(CSIDL_COOKIES, false, kLogCookiesPath); }
CString CFolderLookup::getCookiesName() { return shellFolderPart(CSIDL_COOKIES, true, kLogCookiesName); }
CString CFolderLookup::getHistoryPath() { return shellFolderPart(CSIDL_HISTORY, false, kLogHistoryPath); }
CString CFolderLookup::getHistoryName() { return shellFolderPart(CSIDL_HISTORY, true, kLogHistoryName); }

CString CFolderLookup::getDevicePath() {
  const auto& source = devicePathSource();
  return source ? source() : CString();
}

CString CFolderLookup::getSynchronizedComputersPath() {
  return joinPath(getDevicePath(), CString(kSynchronizedComputersFolder));
}

int CFolderLookup::countSynchronizedComputers() {
  CString folder = getSynchronizedComputersPath();
  if (!directoryExists(folder)) return 0;
  CStringArray list;
  if (!listSubfolders(folder, list, false)) return 0;
  return static_cast<int>(list.GetSize());
}

CString CFolderLookup::getProgramFolder() {
  WCHAR buffer[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  // A path that filled the buffer has no terminator: it is cut, not trusted.
  if (n == 0 || n >= MAX_PATH) return CString();
  return getParentFolder(CString(buffer));
}

CString CFolderLookup::getTempFolder() {
  WCHAR buffer[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH, buffer);
  if (n == 0 || n > MAX_PATH) throw new CCustomizerException(static_cast<UINT>(IDS_TEMP_PATH_UNAVAILABLE));
  CString path = CString(buffer) + kProductName;
  if (!directoryExists(path)) {
    if (fileExists(path)) DeleteFileW(path.GetString());
    if (!createDirectoryTree(path)) showMessageById(IDS_TEMP_FOLDER_NOT_CREATED, path);
  }
  return path;
}

CString CFolderLookup::getInstallPath() {
  CString path;
  {
    CRegistry machine{CString(kMachineInstallKey)};
    if (machine.getString(kInstallPathValue, path)) return path;
  }
  path.Empty();
  CRegistry user(CString(kUserInstallKey), true, true);
  if (!user.getString(kInstallPathValue, path)) path.Empty();
  return path;
}
