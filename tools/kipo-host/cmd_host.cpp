// kipo-host create, info, set, env: making a host, showing or changing its facts (checked before
// they are stored; a new screen size announced to the windows), and the Windows environment its
// programs start with.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/create.h"
#include "platform/host/environment.h"
#include "platform/host/host.h"
#include "platform/win32/gdi.h"
#include "platform/win32/message.h"
#include "platform/win32/time.h"
#include "platform/win32/window.h"
#include "tools/kipo-host/command.h"
#include "tools/kipo-host/host_control.h"

namespace kipohost {
namespace {

using platform::host::Host;

bool allOf(const std::string& v, const char* allowed) {
  return !v.empty() && v.find_first_not_of(allowed) == std::string::npos;
}

// Why a fact's value cannot be used, or empty when it can.
std::string factProblem(const std::string& name, const std::string& v) {
  namespace fact = platform::host::fact;
  const char* digits = "0123456789";
  if (name == fact::ComputerName && (v.empty() || v.size() > 15 || v.find_first_of(" \\/:*?\"<>|,.") != std::string::npos))
    return "a computer name has 1 to 15 characters, without spaces or \\/:*?\"<>|,.";
  if (name == fact::UserName && (v.empty() || v.size() > 20 || v.find_first_of("\"/\\[]:;|=,+*?<>") != std::string::npos))
    return "a user name has 1 to 20 characters, without \"/\\[]:;|=,+*?<>";
  if (name == fact::UserIsAdmin && v != "0" && v != "1") return "user_is_admin is 0 or 1";
  if (name == fact::TestHost && v != "0" && v != "1") return "test_host is 0 or 1";
  if ((name == fact::UserLocale || name == fact::SystemLocale) && (v.size() != 4 || !allOf(v, "0123456789abcdefABCDEF")))
    return name + " is a locale id in 4 hexadecimal digits, such as 0409";
  if ((name == fact::ScreenWidth || name == fact::ScreenHeight || name == fact::MemoryBytes ||
       name == fact::WindowsBuild) && !allOf(v, digits))
    return name + " is a whole number";
  if (name == fact::TimeScale && !(std::strtod(v.c_str(), nullptr) > 0 && allOf(v, "0123456789.")))
    return "time_scale is a number above 0";
  if (name == fact::TaskbarPosition && v != "bottom" && v != "top" && v != "left" && v != "right")
    return "taskbar_position is bottom, top, left or right";
  if (name == fact::TimeZone && !platform::time::knownZone(v))
    return "no time zone " + v + " (UTC, or a name such as Europe/Paris)";
  return {};
}

// A new screen size reaches every top-level window (hidden ones too), as a mode change does on
// Windows: WM_DISPLAYCHANGE with the bits per pixel and the new size. A hung window is skipped.
void announceDisplayChange() {
  HDC screen = GetDC(nullptr);
  const int bits = screen ? GetDeviceCaps(screen, BITSPIXEL) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  const LPARAM size = MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  for (HWND w : topLevelWindows())
    SendMessageTimeoutW(w, WM_DISPLAYCHANGE, static_cast<WPARAM>(bits), size, SMTO_ABORTIFHUNG, 5000, nullptr);
}

// "--computer-name X" and "--computer_name X" both name the fact computer_name.
bool parseFactOptions(const std::vector<std::string>& args, std::size_t from,
                      std::map<std::string, std::string>& facts, std::string& problem) {
  for (std::size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0 || i + 1 >= args.size()) {
      problem = "expected --FACT VALUE, got " + a;
      return false;
    }
    std::string name = a.substr(2);
    for (auto& ch : name)
      if (ch == '-') ch = '_';
    if (!platform::host::defaultFacts().count(name)) {
      problem = "unknown host fact " + name;
      return false;
    }
    std::string value = args[++i];
    problem = factProblem(name, value);
    if (!problem.empty()) return false;
    facts[name] = value;
  }
  return true;
}

int create(const std::vector<std::string>& args) {
  if (args.empty()) return usageError("create needs a folder");
  platform::host::HostOptions options;
  std::string problem;
  if (!parseFactOptions(args, 1, options.facts, problem)) return usageError(problem);
  platform::host::createHost(args[0], options);
  std::printf("created host %s\n", Host::current().folder().c_str());
  return 0;
}

int info(const std::vector<std::string>& args) {
  if (!args.empty()) return usageError("info takes no arguments");
  Host& host = Host::current();
  std::printf("host folder: %s\n", host.folder().c_str());
  for (const auto& [name, value] : platform::host::defaultFacts())
    std::printf("%s: %s\n", name.c_str(), host.fact(name).c_str());
  return 0;
}

int set(const std::vector<std::string>& args) {
  std::map<std::string, std::string> facts;
  std::string problem;
  if (args.empty()) return usageError("set needs --FACT VALUE");
  if (!parseFactOptions(args, 0, facts, problem)) return usageError(problem);
  Host& host = Host::current();
  namespace fact = platform::host::fact;
  const std::string oldWidth = host.fact(fact::ScreenWidth), oldHeight = host.fact(fact::ScreenHeight);
  for (const auto& [name, value] : facts) host.setFact(name, value);
  const std::string width = host.fact(fact::ScreenWidth), height = host.fact(fact::ScreenHeight);
  if (width != oldWidth || height != oldHeight) announceDisplayChange();
  return 0;
}

// The Windows environment a program of the host starts with (or inherits from its parent).
int env(const std::vector<std::string>& args) {
  if (args.size() > 1) return usageError("env [NAME]");
  if (args.size() == 1) {
    auto value = platform::host::getEnvironmentVariable(platform::text::fromUtf8(args[0]));
    if (!value) return failure("no variable " + args[0]);
    std::printf("%s\n", platform::text::toUtf8(*value).c_str());
    return 0;
  }
  std::u16string block = platform::host::environmentBlock();
  for (std::size_t i = 0; i < block.size() && block[i] != 0;) {
    std::size_t end = block.find(u'\0', i);
    std::printf("%s\n", platform::text::toUtf8(std::u16string_view(block).substr(i, end - i)).c_str());
    i = end + 1;
  }
  return 0;
}

RegisterCommand createCommand({"create",
                               "create DIR [--FACT VALUE ...]   make a new host (facts as in `info`)",
                               false, create});
RegisterCommand infoCommand({"info", "info                            show the host's facts", true, info});
RegisterCommand envCommand({"env", "env [NAME]                      show the Windows environment a program starts with", true, env});
RegisterCommand setCommand({"set", "set --FACT VALUE ...             change host facts (a new screen size: WM_DISPLAYCHANGE to every window)", true, set});

}  // namespace
}  // namespace kipohost
