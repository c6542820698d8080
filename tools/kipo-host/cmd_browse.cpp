// kipo-host browse: the installed browser stand-in visits a page, leaving the history, typed
// address and cookie a browser leaves.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/win32/error.h"
#include "platform/win32/process.h"
#include "platform/win32/sync.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

namespace text = platform::text;

constexpr char16_t kBrowser[] = u"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";

int browse(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("browse URL");
  std::u16string line = u"\"" + std::u16string(kBrowser) + u"\" --visit \"" + text::fromUtf8(args[0]) + u"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(kBrowser, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return failure("cannot start the browser (is the host installed?): error " + std::to_string(GetLastError()));
  if (pi.hThread) CloseHandle(pi.hThread);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  if (code != 0) return failure("the browser did not visit " + args[0] + ": error " + std::to_string(code));
  return 0;
}

RegisterCommand browseCommand({"browse",
                               "browse URL                       the browser visits a page (history, typed address, cookie)",
                               true, browse});

}  // namespace
}  // namespace kipohost
