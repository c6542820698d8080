// Tolvane's steps (see watcher.h), through the 8-bit forms of the calls.
#include "Utilities/Tolvane/watcher.h"

#include <cstdlib>

#include "Utilities/common/console_program.h"
#include "platform/win32/win32.h"

namespace {

constexpr char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kRecoverValue[] = "KipoRecover";

}  // namespace

bool setRecoverRunOnce(const std::string& hostFolder, bool flag) {
  HKEY key = nullptr;
  LONG rc = flag ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                   nullptr, &key, nullptr)
                 : RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_SET_VALUE, &key);
  if (rc != ERROR_SUCCESS) return false;
  if (flag) {
    std::string command = "cmd /c \"" + hostFolder + "\"";
    rc = RegSetValueExA(key, kRecoverValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                        static_cast<DWORD>(command.size() + 1));
  } else {
    rc = RegDeleteValueA(key, kRecoverValue);
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool startRecovery(const std::string& folder) {
  HINSTANCE result = ShellExecuteA(nullptr, "open", "Kipo.exe", " -recover", folder.c_str(), SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

int watcherMain(const std::vector<std::string>& args) {
  FreeConsole();
  if (args.size() < 2) return 1;
  char appData[MAX_PATH] = {};
  // Without the application-data folder the host folder would resolve against the current
  // drive's root: the RunOnce value and the start are skipped rather than aimed elsewhere.
  const bool haveFolder = getAppDataFolder(appData) && appData[0];
  const std::string hostFolder = std::string(appData) + "\\Brackwater\\Kipo\\";
  if (haveFolder) setRecoverRunOnce(hostFolder, true);
  const DWORD pid = static_cast<DWORD>(std::strtoul(args[1].c_str(), nullptr, 10));
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  // A process that is already gone (or a wrong id) gives no handle, and the recovery starts now.
  if (process) WaitForSingleObject(process, INFINITE);
  if (haveFolder) {
    startRecovery(hostFolder);
    setRecoverRunOnce(hostFolder, false);
  }
  if (process) CloseHandle(process);
  return 0;
}
