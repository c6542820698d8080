// kipo-host screen: the host's screen as the windows of its programs drew it, written as a PNG
// picture for a person to look at.
#include <string>
#include <vector>

#include "platform/win32/gdi.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

int screen(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return usageError("screen FILE.png");
  std::string problem;
  if (!platform::gdi::writeScreenPng(args[0], problem)) return failure(problem);
  return 0;
}

RegisterCommand screenCommand({"screen", "screen FILE.png                 writes the host's screen image as a PNG picture",
                               true, screen});

}  // namespace
}  // namespace kipohost
