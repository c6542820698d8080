// kipo-host shell-changes: what programs of the host told the shell with SHChangeNotify.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/shell.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace text = platform::text;

// One line per notification, oldest first: event in hex, the two items, the process id.
int shellChanges(const std::vector<std::string>& args) {
  if (args.size() == 1 && args[0] == "--clear") {
    platform::shell::clearChangeNotifications();
    return 0;
  }
  if (!args.empty()) return usageError("shell-changes [--clear]");
  for (const auto& n : platform::shell::changeNotifications())
    std::printf("0x%08X\t%s\t%s\t%lld\n", static_cast<unsigned>(n.event), text::toUtf8(n.item1).c_str(),
                text::toUtf8(n.item2).c_str(), static_cast<long long>(n.processId));
  return 0;
}

RegisterCommand shellChangesCommand({"shell-changes",
                                     "shell-changes [--clear]         SHChangeNotify calls: event, items, process",
                                     true, shellChanges});

}  // namespace
}  // namespace kipohost
