// kipo-host atom: registers a window message name on the host and prints its number, as
// RegisterWindowMessageW gives it to every process of the host.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

int atom(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty()) return usageError("atom needs one NAME");
  std::u16string name = platform::text::fromUtf8(args[0]);
  UINT number = RegisterWindowMessageW(name.c_str());
  if (!number) return failure("cannot register " + args[0] + " (error " + std::to_string(GetLastError()) + ")");
  std::printf("0x%04X\n", number);
  return 0;
}

RegisterCommand atomCommand({"atom", "atom NAME                        register a window message name, print its number",
                             true, atom});

}  // namespace
}  // namespace kipohost
