// kipo-host boot: the host's start after a power loss (every process gone at once, the shell
// started, the start-up entries of the registry run in Windows' order).
// Before anything starts, the renames and deletions MoveFileExW left for the next start are done.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/file.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/registry.h"
#include "platform/win32/sync.h"
#include "platform/win32/system.h"
#include "platform/win32/window.h"
#include "tools/hostapps/explorer/shell_protocol.h"
#include "tools/kipo-host/command.h"
#include "tools/kipo-host/host_control.h"

namespace kipohost {
namespace {

namespace text = platform::text;

constexpr char16_t kExplorer[] = u"C:\\WINDOWS\\explorer.exe";
constexpr char16_t kTrayClass[] = u"Shell_TrayWnd";
constexpr char16_t kRunOnce[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char16_t kRun[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char16_t kSessionManager[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char16_t kPendingRenames[] = u"PendingFileRenameOperations";
constexpr double kShellStartSeconds = 20;

struct StartupEntry {
  std::u16string name;
  std::u16string commandLine;
};

// The key's string values in enumeration (creation) order; REG_EXPAND_SZ values expanded.
std::vector<StartupEntry> startupEntries(HKEY root, const char16_t* path) {
  std::vector<StartupEntry> out;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[16384];
    DWORD nameLen = 16384, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    std::vector<BYTE> data(size + sizeof(WCHAR));
    DWORD got = size;
    if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &got) != ERROR_SUCCESS) continue;
    std::u16string value(reinterpret_cast<const char16_t*>(data.data()), got / sizeof(WCHAR));
    while (!value.empty() && value.back() == 0) value.pop_back();
    if (type == REG_EXPAND_SZ) {
      std::vector<WCHAR> expanded(ExpandEnvironmentStringsW(value.c_str(), nullptr, 0) + 1);
      ExpandEnvironmentStringsW(value.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
      value = expanded.data();
    }
    out.push_back({std::u16string(name, nameLen), value});
  }
  RegCloseKey(key);
  return out;
}

bool deleteValue(HKEY root, const char16_t* path, const std::u16string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
  bool ok = RegDeleteValueW(key, name.c_str()) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

// Has the shell start a command line (so it inherits the shell's environment); the process id,
// or 0.
DWORD startThroughShell(HWND tray, const std::u16string& line) {
  COPYDATASTRUCT data{hostapps::shell::kRunCommandLine, static_cast<DWORD>((line.size() + 1) * sizeof(char16_t)),
                      const_cast<char16_t*>(line.c_str())};
  DWORD_PTR pid = 0;
  if (!SendMessageTimeoutW(tray, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 30000, &pid)) return 0;
  return static_cast<DWORD>(pid);
}

// The Win32 path of a "\\??\\" name as MoveFileExW records it; empty when it is not one.
std::u16string win32Path(std::u16string_view nt) {
  constexpr std::u16string_view prefix = u"\\??\\";
  if (nt.substr(0, prefix.size()) != prefix) return {};
  return std::u16string(nt.substr(prefix.size()));
}

// Carries out PendingFileRenameOperations in recorded order, as Windows does at its start before
// any program runs: pairs of source and target, an empty target deleting the source (a file, or
// an empty folder), a target with "!" replacing an existing file. A failed step is reported and
// the rest still run; the value is then removed, so nothing is tried twice.
void runPendingRenames() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  DWORD type = 0, size = 0;
  std::u16string list;
  if (RegQueryValueExW(key, kPendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    list.resize(size / sizeof(char16_t));
    if (RegQueryValueExW(key, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(list.data()), &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
      list.clear();
    list.resize(std::min<std::size_t>(list.size(), size / sizeof(char16_t)));
  } else {
    RegCloseKey(key);
    return;
  }
  std::vector<std::u16string> strings;
  for (std::size_t at = 0; at < list.size();) {
    std::size_t end = list.find(u'\0', at);
    if (end == std::u16string::npos) end = list.size();
    strings.emplace_back(list, at, end - at);
    at = end + 1;
  }
  // The list closes with an empty string; a deletion's target is one too, so only pairs count.
  for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
    const std::u16string from = win32Path(strings[i]);
    const bool replace = !strings[i + 1].empty() && strings[i + 1][0] == u'!';
    const std::u16string to = win32Path(std::u16string_view(strings[i + 1]).substr(replace ? 1 : 0));
    if (from.empty() || (to.empty() && !strings[i + 1].empty())) {
      std::fprintf(stderr, "kipo-host: pending rename: unreadable entry \"%s\"\n", text::toUtf8(strings[i]).c_str());
      continue;
    }
    BOOL ok;
    if (to.empty()) {
      const DWORD attributes = GetFileAttributesW(from.c_str());
      ok = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(from.c_str())
                                                                                          : DeleteFileW(from.c_str());
    } else {
      ok = MoveFileExW(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0);
    }
    const DWORD error = ok ? 0 : GetLastError();
    if (to.empty())
      std::printf("pending delete %s", text::toUtf8(from).c_str());
    else
      std::printf("pending rename %s -> %s", text::toUtf8(from).c_str(), text::toUtf8(to).c_str());
    std::printf("%s\n", ok ? "" : (": " + errorText(error)).c_str());
  }
  if (RegDeleteValueW(key, kPendingRenames) != ERROR_SUCCESS)
    std::fprintf(stderr, "kipo-host: cannot remove %s\n", text::toUtf8(kPendingRenames).c_str());
  RegCloseKey(key);
  std::fflush(stdout);
}

void waitForProcess(DWORD pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!h) return;  // ended already
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
}

const char* rootName(HKEY root) { return root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU"; }

// Runs one key's entries. RunOnce values are deleted before their program starts (a "!" name
// after it has finished); `wait` runs them one after the other.
void runEntries(HWND tray, HKEY root, const char16_t* path, bool once, bool wait) {
  for (const auto& e : startupEntries(root, path)) {
    bool deleteAfter = once && !e.name.empty() && e.name[0] == u'!';
    if (once && !deleteAfter && !deleteValue(root, path, e.name)) {
      std::fprintf(stderr, "kipo-host: cannot delete %s RunOnce value %s; not run\n", rootName(root),
                   text::toUtf8(e.name).c_str());
      continue;
    }
    DWORD pid = startThroughShell(tray, e.commandLine);
    std::printf("%s %s %s: %s", rootName(root), once ? "RunOnce" : "Run", text::toUtf8(e.name).c_str(),
                text::toUtf8(e.commandLine).c_str());
    std::printf(pid ? " (pid %lu)\n" : " (did not start)\n", static_cast<unsigned long>(pid));
    std::fflush(stdout);
    if (pid && wait) waitForProcess(pid);
    if (deleteAfter) deleteValue(root, path, e.name);
  }
}

int boot(const std::vector<std::string>& args) {
  if (!args.empty()) return usageError("boot takes no arguments");
  int ended = killHostProcesses();
  std::printf("power lost: %d processes ended\n", ended);
  runPendingRenames();
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::u16string line = u"C:\\WINDOWS\\explorer.exe";
  if (!CreateProcessW(kExplorer, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
    return failure("cannot start explorer.exe: " + errorText(GetLastError()) + " (kipo-host install?)");
  CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
  HWND tray = waitForWindow(kTrayClass, nullptr, kShellStartSeconds);
  if (!tray) return failure("explorer.exe did not make its taskbar window");
  std::printf("explorer.exe started (pid %lu)\n", static_cast<unsigned long>(pi.dwProcessId));
  std::fflush(stdout);
  // Windows' order: the machine's RunOnce (one after the other), the machine's and the user's
  // Run, then the user's RunOnce.
  runEntries(tray, HKEY_LOCAL_MACHINE, kRunOnce, true, true);
  runEntries(tray, HKEY_LOCAL_MACHINE, kRun, false, false);
  runEntries(tray, HKEY_CURRENT_USER, kRun, false, false);
  runEntries(tray, HKEY_CURRENT_USER, kRunOnce, true, false);
  endAsHostProcess(0);
}

RegisterCommand bootCommand({"boot",
                             "boot                            restart after a power loss: end every process, do the pending renames, start explorer.exe, run RunOnce/Run",
                             true, boot});

}  // namespace
}  // namespace kipohost
