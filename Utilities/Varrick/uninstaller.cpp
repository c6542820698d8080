// Varrick's steps (see uninstaller.h). All calls are the 8-bit forms: names and texts are in the
// host's ANSI code page.
#include "Utilities/Varrick/uninstaller.h"

#include <cstdlib>
#include <cstring>

#include "Utilities/Varrick/resource.h"
#include "Utilities/common/console_program.h"

namespace {

constexpr char kCaption[] = "Kipo";
constexpr char kMainFrameClass[] = "KipoMainFrameClass";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kProductKey[] = "Software\\Brackwater";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kipo";
constexpr char kSnapinsKey[] = "Software\\Brackwater\\Kipo\\localPrefs\\Snapins";

// The registry path buffer of the key walk, in bytes with its NUL.
constexpr std::size_t kKeyPathBytes = 520;
// Subkey names as the walk reads them, in bytes with the NUL.
constexpr DWORD kKeyNameBytes = 260;
// Message buffers: the longest message (103) has 128 characters, one more than a 128-byte buffer
// holds, so they are larger than that.
constexpr int kMessageBytes = 256;

bool japaneseUser() {
  char language[16] = {};
  if (!GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, language, sizeof language)) return false;
  return std::strtol(language, nullptr, 10) == 411;
}

void showMessage(UINT english, UINT japanese) {
  char text[kMessageBytes] = {};
  LoadStringA(GetModuleHandleA(nullptr), japaneseUser() ? japanese : english, text, kMessageBytes);
  MessageBoxA(nullptr, text, kCaption, MB_OK);
}

// Joins a folder and a name with one backslash, as the walk's paths are built.
std::string joinPath(const std::string& folder, const char* name) {
  if (!folder.empty() && folder.back() == '\\') return folder + name;
  return folder + "\\" + name;
}

bool isDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// The "personalized" value of one snap-in's key reads "true" (any case).
bool snapinPersonalized(HKEY snapins, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(snapins, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char value[16] = {};
  DWORD type = 0, size = sizeof value - 1;
  LONG rc = RegQueryValueExA(key, "personalized", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  value[size < sizeof value ? size : sizeof value - 1] = 0;
  return lstrcmpiA(value, "true") == 0;
}

}  // namespace

bool deleteFolderTree(const std::string& folder) {
  WIN32_FIND_DATAA entry{};
  HANDLE search = FindFirstFileA(joinPath(folder, "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  // A subfolder that cannot go entirely (the program folder holds the running uninstaller) does
  // not stop the walk: the entries after it are deleted all the same, and the call reports false.
  bool complete = true;
  do {
    if (isDotEntry(entry.cFileName)) continue;
    std::string path = joinPath(folder, entry.cFileName);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!deleteFolderTree(path)) complete = false;
    } else {
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
  } while (FindNextFileA(search, &entry));
  const DWORD reason = GetLastError();
  FindClose(search);
  if (reason != ERROR_NO_MORE_FILES || !complete) return false;
  return RemoveDirectoryA(folder.c_str()) != FALSE;
}

void removeAutostartValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, "Kipo");
  RegCloseKey(key);
}

bool deleteRegistryKeyTree(HKEY root, const std::string& subKey) {
  if (subKey.size() >= kKeyPathBytes) return false;
  if (RegDeleteKeyA(root, subKey.c_str()) == ERROR_SUCCESS) return true;
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key);
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  if (rc != ERROR_SUCCESS) return false;
  std::string path = subKey;
  if (path.empty() || path.back() != '\\') path += '\\';
  const std::size_t base = path.size();
  for (;;) {
    char name[kKeyNameBytes] = {};
    DWORD length = kKeyNameBytes;
    if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    path.resize(base);
    path.append(name, length);
    // A path longer than the walk's buffer ends the walk rather than running past it.
    if (path.size() >= kKeyPathBytes || !deleteRegistryKeyTree(root, path)) break;
  }
  RegCloseKey(key);
  return RegDeleteKeyA(root, subKey.c_str()) == ERROR_SUCCESS;
}

bool scheduleRunOnceCleanup(const std::string& dataFolder) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const struct {
    const char* name;
    std::string command;
  } commands[] = {
      {"Kipo1", "cmd /c del /q \"" + dataFolder + "Kipo\\Varrick.exe\""},
      {"Kipo2", "cmd /c rmdir /q \"" + dataFolder + "Kipo\\\""},
      {"Kipo3", "cmd /c rmdir /q \"" + dataFolder + "\""},
  };
  bool written = true;
  for (const auto& c : commands) {
    written = RegSetValueExA(key, c.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(c.command.c_str()),
                             static_cast<DWORD>(c.command.size() + 1)) == ERROR_SUCCESS;
    if (!written) break;
  }
  RegCloseKey(key);
  return written;
}

bool isHostStillPersonalized() {
  // The login file: <AppData>\<computer name>.login, where the main program keeps it.
  char appData[MAX_PATH + 1] = {};
  DWORD n = GetEnvironmentVariableA("AppData", appData, sizeof appData);
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD computerLength = sizeof computer;
  if (n > 0 && n < sizeof appData && GetComputerNameA(computer, &computerLength)) {
    std::string loginFile = std::string(appData) + "\\" + computer + ".login";
    if (GetFileAttributesA(loginFile.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  }
  HKEY snapins = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSnapinsKey, 0, KEY_READ, &snapins) != ERROR_SUCCESS) return false;
  bool personalized = false;
  for (DWORD i = 0; !personalized; ++i) {
    char name[kKeyNameBytes] = {};
    DWORD length = kKeyNameBytes;
    if (RegEnumKeyExA(snapins, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    personalized = snapinPersonalized(snapins, name);
  }
  RegCloseKey(snapins);
  return personalized;
}

int uninstallMain() {
  FreeConsole();
  if (FindWindowA(kMainFrameClass, nullptr)) {
    showMessage(IDS_KIPO_RUNNING, IDS_KIPO_RUNNING_JPN);
    return 1;
  }
  // Removing the product's records now would leave the host's own settings unrecoverable.
  if (isHostStillPersonalized()) {
    showMessage(IDS_STILL_LOGGED_IN, IDS_STILL_LOGGED_IN_JPN);
    return 1;
  }
  char appData[MAX_PATH] = {};
  // Without the application-data folder the data folder would resolve against the current
  // drive's root: the folder and its RunOnce clean-up are skipped rather than aimed elsewhere.
  const bool haveFolder = getAppDataFolder(appData) && appData[0];
  const std::string dataFolder = std::string(appData) + "\\Brackwater\\";
  if (haveFolder) deleteFolderTree(dataFolder);
  removeAutostartValue();
  deleteRegistryKeyTree(HKEY_CURRENT_USER, kProductKey);
  deleteRegistryKeyTree(HKEY_LOCAL_MACHINE, kUninstallKey);
  if (haveFolder) scheduleRunOnceCleanup(dataFolder);
  showMessage(IDS_UNINSTALLED, IDS_UNINSTALLED_JPN);
  return 0;
}
