// kipo-host ipod: the iPods connected to the host and the iPod service's state for each (disk
// mode, disk use), whether the service is installed, and the calls it answered.
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/drives.h"
#include "platform/host/ipod.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace host = platform::host;
namespace text = platform::text;

constexpr const char* kUsage =
    "ipod [show | install | uninstall | connect SERIAL E: FOLDER [--disk-use N] | disconnect SERIAL |\n"
    "      mount SERIAL | unmount SERIAL | set SERIAL --disk-use N | calls [--clear]]";

int show() {
  std::printf("service %s\n", host::iPodServiceInstalled() ? "installed" : "not installed");
  for (const auto& r : host::connectedIPods())
    std::printf("%d %s %c: %s disk-mode=%s disk-use=%lu\n", r.index, text::toUtf8(r.serial).c_str(),
                static_cast<char>(r.letter), r.folder.string().c_str(), r.mounted ? "on" : "off",
                static_cast<unsigned long>(r.diskUse));
  return 0;
}

bool diskUseOption(const std::vector<std::string>& args, std::size_t from, DWORD& value) {
  for (std::size_t i = from; i < args.size(); ++i) {
    std::uint64_t v = 0;
    if (args[i] != "--disk-use" || i + 1 >= args.size() || !parseUnsigned(args[i + 1], 0xFFFFFFFFu, v)) return false;
    value = static_cast<DWORD>(v);
    ++i;
  }
  return true;
}

int ipod(const std::vector<std::string>& args) {
  const std::string verb = args.empty() ? "show" : args[0];
  try {
    if (verb == "show" && args.size() <= 1) return show();
    if ((verb == "install" || verb == "uninstall") && args.size() == 1) {
      host::setIPodServiceInstalled(verb == "install");
      return 0;
    }
    if (verb == "connect" && args.size() >= 4) {
      std::u16string letter = host::canonicalDriveName(text::fromUtf8(args[2]));
      DWORD diskUse = 0;
      if (letter.size() != 2 || !diskUseOption(args, 4, diskUse)) return usageError(kUsage);
      host::connectIPod(text::fromUtf8(args[1]), letter[0], args[3], diskUse);
      return 0;
    }
    if (verb == "disconnect" && args.size() == 2) {
      return host::disconnectIPod(text::fromUtf8(args[1])) ? 0 : failure("no iPod " + args[1] + " is connected");
    }
    if ((verb == "mount" || verb == "unmount") && args.size() == 2) {
      return host::setIPodMounted(text::fromUtf8(args[1]), verb == "mount")
                 ? 0
                 : failure("iPod " + args[1] + " is not connected or is " + verb + "ed already");
    }
    if (verb == "set" && args.size() == 4) {
      DWORD diskUse = 0;
      if (!diskUseOption(args, 2, diskUse)) return usageError(kUsage);
      return host::setIPodDiskUse(text::fromUtf8(args[1]), diskUse) ? 0 : failure("no iPod " + args[1] + " is connected");
    }
    if (verb == "calls" && args.size() <= 2) {
      if (args.size() == 2) {
        if (args[1] != "--clear") return usageError(kUsage);
        host::clearIPodServiceCalls();
        return 0;
      }
      for (const auto& c : host::iPodServiceCalls()) std::printf("%s\n", c.c_str());
      return 0;
    }
  } catch (const std::exception& e) {
    return failure(e.what());
  }
  return usageError(kUsage);
}

RegisterCommand ipodCommand({"ipod",
                             "ipod [show|install|uninstall|connect SERIAL E: FOLDER [--disk-use N]|disconnect SERIAL|\n"
                             "      mount SERIAL|unmount SERIAL|set SERIAL --disk-use N|calls [--clear]]\n"
                             "                                  the iPods, the iPod service and the calls it answered",
                             true, ipod});

}  // namespace
}  // namespace kipohost
