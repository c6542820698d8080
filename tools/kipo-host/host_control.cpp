// Shared helpers of kipo-host's process, boot and shutdown commands (see host_control.h).
#include "tools/kipo-host/host_control.h"

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "platform/base/text.h"
#include "platform/host/process_table.h"
#include "platform/win32/process.h"
#include "platform/win32/system.h"
#include "platform/win32/window.h"

namespace kipohost {

std::string errorText(DWORD code) {
  const char16_t* m = platform::win32::systemMessage(code);
  std::string s = m ? platform::text::toUtf8(m) : "error";
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s + " (" + std::to_string(code) + ")";
}

namespace {

BOOL CALLBACK collect(HWND w, LPARAM out) {
  reinterpret_cast<std::vector<HWND>*>(out)->push_back(w);
  return TRUE;
}

pid_t parentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  // The command name may hold blanks and parentheses: fields start after its last ')'.
  std::size_t close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(line.substr(close + 2));
  char state = 0;
  pid_t parent = 0;
  rest >> state >> parent;
  return parent;
}

}  // namespace

void endAsHostProcess(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  ExitProcess(static_cast<UINT>(code));
}

std::vector<HWND> topLevelWindows() {
  std::vector<HWND> out;
  EnumWindows(collect, reinterpret_cast<LPARAM>(&out));
  return out;
}

HWND waitForWindow(const char16_t* windowClass, const char16_t* title, double seconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (HWND w = FindWindowW(windowClass, title)) return w;
    if (std::chrono::steady_clock::now() >= until) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int killHostProcesses(const std::vector<std::pair<DWORD, std::uint64_t>>& alsoEnd) {
  std::set<DWORD> spared;
  for (pid_t p = ::getpid(); p > 1; p = parentOf(p)) spared.insert(static_cast<DWORD>(p));
  std::vector<platform::host::ProcessRow> victims;
  for (const auto& row : platform::host::livingProcesses())
    if (spared.insert(row.pid).second) victims.push_back(row);
  for (const auto& [pid, start] : alsoEnd) {
    if (!spared.insert(pid).second || !platform::host::processAlive(pid, start)) continue;
    platform::host::ProcessRow row;
    row.pid = pid;
    row.start = start;
    victims.push_back(row);
  }
  // All at once, as power goes: no process gets to run between the first kill and the last.
  for (const auto& row : victims)
    if (platform::host::processAlive(row.pid, row.start)) ::kill(static_cast<pid_t>(row.pid), SIGKILL);
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (const auto& row : victims)
    while (platform::host::processAlive(row.pid, row.start) && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return static_cast<int>(victims.size());
}

}  // namespace kipohost
