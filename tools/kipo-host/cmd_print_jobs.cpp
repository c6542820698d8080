// kipo-host print-jobs: what programs of the host asked to print (a browser control's document
// printed through its command target), oldest first.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/host/ole_controls.h"
#include "tools/kipo-host/command.h"

namespace kipohost {
namespace {

// One line per job: number, process id, how the caller asked (0 default, 1 prompt, 2 no prompt),
// the printed page's address.
int printJobs(const std::vector<std::string>& args) {
  if (!args.empty()) return usageError("print-jobs takes no arguments");
  for (const auto& job : platform::host::printJobs())
    std::printf("%lld\t%u\t%u\t%s\n", static_cast<long long>(job.id), static_cast<unsigned>(job.pid),
                static_cast<unsigned>(job.option), platform::text::toUtf8(job.document).c_str());
  return 0;
}

RegisterCommand printJobsCommand({"print-jobs",
                                  "print-jobs                      print requests: number, process, option, page",
                                  true, printJobs});

}  // namespace
}  // namespace kipohost
