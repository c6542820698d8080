// Starting programs, folders and documents for the host's cmd.exe (see launch.h).
#include "tools/hostapps/cmd/launch.h"

#include <vector>

#include "platform/win32/error.h"
#include "platform/win32/process.h"
#include "platform/win32/shell_execute.h"
#include "platform/win32/sync.h"
#include "platform/win32/window.h"

namespace hostapps::cmd {

DWORD runProgram(const std::u16string& program, const std::u16string& commandLine, DWORD& exitCode) {
  std::vector<WCHAR> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return GetLastError();
  WaitForSingleObject(pi.hProcess, INFINITE);
  exitCode = 0;
  GetExitCodeProcess(pi.hProcess, &exitCode);
  CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);
  return 0;
}

DWORD openWithShell(const std::u16string& path, const std::u16string& parameters) {
  HINSTANCE r = ShellExecuteW(nullptr, u"open", path.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                              nullptr, SW_SHOWNORMAL);
  auto code = reinterpret_cast<INT_PTR>(r);
  if (code > 32) return 0;
  DWORD e = GetLastError();
  return e ? e : static_cast<DWORD>(code);
}

}  // namespace hostapps::cmd
