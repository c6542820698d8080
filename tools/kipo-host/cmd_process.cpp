// kipo-host run, ps, windows, post, send, wait-window: starting programs in a host and looking at
// or messaging its processes and windows from outside, through the same Win32 calls a program of
// the host uses.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/process_table.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/process.h"
#include "platform/win32/sync.h"
#include "platform/win32/system.h"
#include "platform/win32/vdmdbg.h"
#include "platform/win32/window.h"
#include "tools/kipo-host/command.h"
#include "tools/kipo-host/host_control.h"

namespace kipohost {
namespace {

namespace text = platform::text;

// Message names the tool takes for MSG (any other message is given by number).
struct MessageName {
  const char* name;
  UINT value;
};
const MessageName kMessages[] = {
    {"WM_NULL", WM_NULL},
    {"WM_CLOSE", WM_CLOSE},
    {"WM_QUIT", WM_QUIT},
    {"WM_DESTROY", WM_DESTROY},
    {"WM_SETTEXT", WM_SETTEXT},
    {"WM_GETTEXTLENGTH", WM_GETTEXTLENGTH},
    {"WM_QUERYENDSESSION", WM_QUERYENDSESSION},
    {"WM_ENDSESSION", WM_ENDSESSION},
    {"WM_SETTINGCHANGE", WM_SETTINGCHANGE},
    {"WM_WININICHANGE", WM_WININICHANGE},
    {"WM_COMMAND", WM_COMMAND},
    {"WM_SYSCOMMAND", WM_SYSCOMMAND},
    {"WM_TIMER", WM_TIMER},
    {"WM_KEYDOWN", WM_KEYDOWN},
    {"WM_KEYUP", WM_KEYUP},
    {"WM_CHAR", WM_CHAR},
    {"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
    {"WM_LBUTTONUP", WM_LBUTTONUP},
    {"WM_DEVICECHANGE", WM_DEVICECHANGE},
    {"WM_POWERBROADCAST", WM_POWERBROADCAST},
    {"WM_ACTIVATEAPP", WM_ACTIVATEAPP},
    {"WM_SHOWWINDOW", WM_SHOWWINDOW},
    {"BM_CLICK", BM_CLICK},
    {"BM_SETCHECK", BM_SETCHECK},
    {"BM_GETCHECK", BM_GETCHECK},
    {"WM_USER", WM_USER},
    {"WM_APP", WM_APP},
};

// A WPARAM or LPARAM: negative, or any 64-bit pattern.
bool parseSigned(const std::string& s, long long& out) {
  std::uint64_t u = 0;
  if (!s.empty() && s[0] == '-') {
    if (!parseUnsigned(s.substr(1), std::uint64_t{1} << 63, u)) return false;
    out = static_cast<long long>(0 - u);
    return true;
  }
  if (!parseUnsigned(s, UINT64_MAX, u)) return false;
  out = static_cast<long long>(u);
  return true;
}

// "WM_CLOSE", "WM_USER+5", "0x10", "16", or a name registered with RegisterWindowMessageW
// ("reg:NAME").
bool parseMessage(const std::string& s, UINT& out) {
  if (s.rfind("reg:", 0) == 0) {
    out = RegisterWindowMessageW(text::fromUtf8(s.substr(4)).c_str());
    return out != 0;
  }
  std::string name = s, offset;
  std::size_t plus = s.find('+');
  if (plus != std::string::npos) name = s.substr(0, plus), offset = s.substr(plus + 1);
  std::uint64_t n = 0;
  for (const auto& m : kMessages) {
    if (name != m.name) continue;
    if (!offset.empty() && !parseUnsigned(offset, 0xFFFFFFFFu, n)) return false;
    out = m.value + static_cast<UINT>(n);
    return true;
  }
  if (!parseUnsigned(s, 0xFFFFFFFFu, n)) return false;
  out = static_cast<UINT>(n);
  return true;
}

bool parseWindow(const std::string& s, HWND& out) {
  std::uint64_t n = 0;
  if (!parseUnsigned(s, 0xFFFFFFFFu, n)) return false;
  out = reinterpret_cast<HWND>(static_cast<UINT_PTR>(n));
  return true;
}

std::string windowClass(HWND w) {
  WCHAR buf[256] = {};
  int n = GetClassNameW(w, buf, 256);
  return text::toUtf8(std::u16string_view(buf, n > 0 ? n : 0));
}

std::string windowText(HWND w) {
  WCHAR buf[1024] = {};
  int n = GetWindowTextW(w, buf, 1024);
  return text::toUtf8(std::u16string_view(buf, n > 0 ? n : 0));
}

// ---- run ----

int run(const std::vector<std::string>& args) {
  const char* usage = "run \"WINDOWS COMMAND LINE\" [--wait] [--env NAME=VALUE]...";
  std::string line;
  bool wait = false;
  std::vector<std::pair<std::u16string, std::u16string>> variables;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--wait") {
      wait = true;
    } else if (a == "--env") {
      // NAME=VALUE: the variable joins the environment block the program is started with.
      std::size_t equals = i + 1 < args.size() ? args[i + 1].find('=') : std::string::npos;
      if (equals == std::string::npos || equals == 0) return usageError("--env takes NAME=VALUE");
      variables.emplace_back(text::fromUtf8(args[i + 1].substr(0, equals)), text::fromUtf8(args[i + 1].substr(equals + 1)));
      ++i;
    } else if (line.empty()) {
      line = a;
    } else {
      return usageError(usage);
    }
  }
  if (line.empty()) return usageError("run needs a command line");
  // The child is given this process's block, which now holds the variables too.
  for (const auto& [name, value] : variables)
    if (!SetEnvironmentVariableW(name.c_str(), value.c_str()))
      return failure("cannot set " + text::toUtf8(name) + ": " + errorText(GetLastError()));
  std::u16string wide = text::fromUtf8(line);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // A program left running must not hold the tool's output open.
  DWORD flags = wait ? 0 : DETACHED_PROCESS;
  if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &si, &pi))
    return failure("cannot start " + line + ": " + errorText(GetLastError()));
  std::printf("%lu\n", static_cast<unsigned long>(pi.dwProcessId));
  std::fflush(stdout);
  if (pi.hThread) CloseHandle(pi.hThread);
  if (!wait) {
    CloseHandle(pi.hProcess);
    endAsHostProcess(0);
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  std::printf("exit code %lu (0x%08lX)\n", static_cast<unsigned long>(code), static_cast<unsigned long>(code));
  endAsHostProcess(static_cast<int>(code));
}

// ---- ps ----

// --add-16bit-task NTVDM_PID FILE [MODULE]: a 16-bit task inside a living NTVDM.EXE process, as
// VDMDBG reports it; prints the task handle.
int addSixteenBitTask(const std::vector<std::string>& args) {
  const char* usage = "ps --add-16bit-task NTVDM_PID FILE [MODULE]";
  std::uint64_t pid = 0;
  if (args.size() < 3 || args.size() > 4 || !parseUnsigned(args[1], 0xFFFFFFFFu, pid)) return usageError(usage);
  platform::vdm::SixteenBitTask task;
  switch (platform::vdm::addSixteenBitTask(static_cast<DWORD>(pid), text::fromUtf8(args[2]),
                                           args.size() == 4 ? text::fromUtf8(args[3]) : std::u16string(), task)) {
    case platform::vdm::AddResult::Added:
      std::printf("0x%04X\n", static_cast<unsigned>(task.task));
      return 0;
    case platform::vdm::AddResult::NoSuchProcess:
      return failure("no living process " + args[1]);
    case platform::vdm::AddResult::NotVdmProcess:
      return failure("process " + args[1] + " is not NTVDM.EXE");
    case platform::vdm::AddResult::BadName:
      break;
  }
  return usageError("bad task name (file up to 255 characters, module up to 8)");
}

int ps(const std::vector<std::string>& args) {
  if (!args.empty() && args[0] == "--add-16bit-task") return addSixteenBitTask(args);
  if (!args.empty()) return usageError("ps [--add-16bit-task NTVDM_PID FILE [MODULE]]");
  std::printf("%-8s %-8s %-16s %-12s %s\n", "PID", "PARENT", "IMAGE", "USER", "COMMAND LINE");
  for (const auto& p : platform::host::livingProcesses()) {
    std::printf("%-8lu %-8lu %-16s %-12s %s\n", static_cast<unsigned long>(p.pid),
                static_cast<unsigned long>(p.parentPid), text::toUtf8(p.imageName).c_str(),
                text::toUtf8(p.user).c_str(), text::toUtf8(p.commandLine).c_str());
    if (!platform::vdm::isVdmImage(p.imageName)) continue;
    for (const auto& t : platform::vdm::sixteenBitTasks(p.pid))
      std::printf("  task 0x%04X %-8s %s\n", static_cast<unsigned>(t.task), text::toUtf8(t.moduleName).c_str(),
                  text::toUtf8(t.fileName).c_str());
  }
  return 0;
}

// ---- windows ----

void printTree(HWND w, int depth) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  std::string image;
  if (auto row = platform::host::findLivingProcess(pid)) image = text::toUtf8(row->imageName);
  std::printf("%*s0x%08lX \"%s\" \"%s\" pid %lu %s %s\n", depth * 2, "",
              static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(w)), windowClass(w).c_str(),
              windowText(w).c_str(), static_cast<unsigned long>(pid), image.c_str(),
              IsWindowVisible(w) ? "visible" : "hidden");
  for (HWND c = FindWindowExW(w, nullptr, nullptr, nullptr); c; c = FindWindowExW(w, c, nullptr, nullptr))
    printTree(c, depth + 1);
}

int windows(const std::vector<std::string>& args) {
  if (!args.empty()) return usageError("windows takes no arguments");
  for (HWND w : topLevelWindows()) printTree(w, 0);
  return 0;
}

// ---- post, send ----

int postOrSend(const std::vector<std::string>& args, bool send) {
  const char* usage = send ? "send HWND MSG WPARAM LPARAM [--timeout MS]" : "post HWND MSG WPARAM LPARAM";
  std::vector<std::string> plain;
  std::uint64_t timeout = 10000;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (send && args[i] == "--timeout" && i + 1 < args.size()) {
      if (!parseUnsigned(args[++i], 0xFFFFFFFFu, timeout)) return usageError(usage);
    } else {
      plain.push_back(args[i]);
    }
  }
  if (plain.size() != 4) return usageError(usage);
  HWND w = nullptr;
  UINT msg = 0;
  long long wp = 0, lp = 0;
  if (!parseWindow(plain[0], w)) return usageError("bad window handle " + plain[0]);
  if (!parseMessage(plain[1], msg)) return usageError("bad message " + plain[1]);
  if (!parseSigned(plain[2], wp)) return usageError("bad WPARAM " + plain[2]);
  // "text:..." passes a pointer to that text (WM_SETTEXT, WM_SETTINGCHANGE "Environment").
  std::u16string lpText;
  if (plain[3].rfind("text:", 0) == 0) {
    lpText = text::fromUtf8(plain[3].substr(5));
    lp = reinterpret_cast<LPARAM>(lpText.c_str());
  } else if (!parseSigned(plain[3], lp)) {
    return usageError("bad LPARAM " + plain[3]);
  }
  if (!send) {
    if (!PostMessageW(w, msg, static_cast<WPARAM>(wp), static_cast<LPARAM>(lp)))
      return failure("PostMessageW failed: " + errorText(GetLastError()));
    return 0;
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(w, msg, static_cast<WPARAM>(wp), static_cast<LPARAM>(lp), SMTO_NORMAL,
                           static_cast<UINT>(timeout), &result))
    return failure("SendMessageTimeoutW failed: " + errorText(GetLastError()));
  std::printf("%lld\n", static_cast<long long>(static_cast<LRESULT>(result)));
  return 0;
}

int post(const std::vector<std::string>& args) { return postOrSend(args, false); }
int sendCommand(const std::vector<std::string>& args) { return postOrSend(args, true); }

// ---- wait-window ----

int waitWindow(const std::vector<std::string>& args) {
  std::string cls, title;
  double seconds = -1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return usageError("option " + args[i] + " needs a value");
    if (args[i] == "--class") {
      cls = args[++i];
    } else if (args[i] == "--title") {
      title = args[++i];
    } else if (args[i] == "--timeout") {
      char* end = nullptr;
      seconds = std::strtod(args[++i].c_str(), &end);
      if (!end || *end || seconds < 0) return usageError("--timeout takes seconds");
    } else {
      return usageError("wait-window --class C [--title T] --timeout S");
    }
  }
  if (cls.empty() || seconds < 0) return usageError("wait-window --class C [--title T] --timeout S");
  std::u16string c = text::fromUtf8(cls), t = text::fromUtf8(title);
  HWND w = waitForWindow(c.c_str(), title.empty() ? nullptr : t.c_str(), seconds);
  if (!w) return failure("no window of class " + cls + " within " + args.back() + " s");
  std::printf("0x%08lX\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(w)));
  return 0;
}

RegisterCommand runCommand({"run",
                            "run \"WINDOWS COMMAND LINE\" [--wait] [--env NAME=VALUE]...   start a program (prints its id; --wait: and its exit\n"
                            "      code; --env: a variable of its environment)",
                            true, run});
RegisterCommand psCommand({"ps",
                            "ps [--add-16bit-task NTVDM_PID FILE [MODULE]]   the host's processes (or add a 16-bit task)",
                            true, ps});
RegisterCommand windowsCommand({"windows", "windows                         the host's windows as a tree", true, windows});
RegisterCommand postCommand({"post",
                             "post HWND MSG WPARAM LPARAM     post a message (MSG: number or WM_ name; LPARAM text:...)",
                             true, post});
RegisterCommand sendCommandEntry({"send",
                                  "send HWND MSG WPARAM LPARAM [--timeout MS]   send a message and print the answer",
                                  true, sendCommand});
RegisterCommand waitWindowCommand({"wait-window",
                                   "wait-window --class C [--title T] --timeout S   wait for a top-level window",
                                   true, waitWindow});

}  // namespace
}  // namespace kipohost
