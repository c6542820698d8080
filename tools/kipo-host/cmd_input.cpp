// kipo-host input and help-requests: the synthesized input programs of the host made (and the
// show-desktop state it left), a key pressed as a person would, and the HTML Help requests.
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/htmlhelp.h"
#include "platform/win32/input.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace text = platform::text;

// A virtual key by number (decimal or 0x hex), a letter or digit, or one of a few names.
int virtualKey(const std::string& name) {
  static const std::pair<const char*, int> names[] = {{"lwin", 0x5B}, {"rwin", 0x5C}, {"shift", 0x10},
                                                      {"ctrl", 0x11}, {"alt", 0x12},  {"enter", 0x0D},
                                                      {"escape", 0x1B}, {"tab", 0x09}, {"space", 0x20}};
  for (auto [n, vk] : names)
    if (name == n) return vk;
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
    return std::toupper(static_cast<unsigned char>(name[0]));
  char* end = nullptr;
  long v = std::strtol(name.c_str(), &end, 0);
  return (end && *end == 0 && v > 0 && v < 255) ? static_cast<int>(v) : 0;
}

int list() {
  for (const auto& e : platform::input::recordedInput()) {
    if (e.keyboard)
      std::printf("key\t0x%02X\t0x%04X\t%lld\n", e.vk, static_cast<unsigned>(e.flags), static_cast<long long>(e.processId));
    else
      std::printf("mouse\t0x%04X\t%ld,%ld\t%ld,%ld\t%lld\n", static_cast<unsigned>(e.flags), static_cast<long>(e.dx),
                  static_cast<long>(e.dy), static_cast<long>(e.cursor.x), static_cast<long>(e.cursor.y),
                  static_cast<long long>(e.processId));
  }
  std::printf("desktop shown\t%s\n", platform::input::desktopShown() ? "yes" : "no");
  return 0;
}

int input(const std::vector<std::string>& args) {
  if (args.empty()) return list();
  if (args.size() == 1 && args[0] == "--clear") {
    platform::input::clearRecordedInput();
    return 0;
  }
  if (args[0] == "press" && args.size() >= 2) {
    // Keys held in order, released in reverse: "press lwin d" is the show-desktop key.
    std::vector<int> keys;
    for (std::size_t i = 1; i < args.size(); ++i) {
      int vk = virtualKey(args[i]);
      if (!vk) return usageError("unknown key: " + args[i]);
      keys.push_back(vk);
    }
    for (int vk : keys) keybd_event(static_cast<BYTE>(vk), 0, 0, 0);
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) keybd_event(static_cast<BYTE>(*it), 0, KEYEVENTF_KEYUP, 0);
    return 0;
  }
  return usageError("input [--clear] | input press KEY...");
}

int helpRequests(const std::vector<std::string>& args) {
  if (args.size() == 1 && args[0] == "--clear") {
    platform::htmlhelp::clearRequests();
    return 0;
  }
  if (!args.empty()) return usageError("help-requests [--clear]");
  for (const auto& r : platform::htmlhelp::requests())
    std::printf("%s\t%s\t0x%X\t%s\t%lld\n", text::toUtf8(r.file).c_str(), text::toUtf8(r.topic).c_str(), r.command,
                r.shown ? "shown" : "failed", static_cast<long long>(r.processId));
  return 0;
}

RegisterCommand inputCommand({"input",
                              "input [--clear]                 synthesized keyboard and mouse input of the host's\n"
                              "                                programs, and whether the desktop is shown\n"
                              "input press KEY...              press keys together and release them (lwin, rwin,\n"
                              "                                shift, ctrl, alt, enter, escape, tab, space, a letter,\n"
                              "                                or a virtual-key number); \"press lwin d\" shows the desktop",
                              true, input});

RegisterCommand helpRequestsCommand({"help-requests",
                                     "help-requests [--clear]         HtmlHelp calls: file, topic, command, result, process",
                                     true, helpRequests});

}  // namespace
}  // namespace kipohost
