// Corlith's steps (see relauncher.h).
#include "Utilities/Corlith/relauncher.h"

#include "Utilities/Corlith/process_list.h"

namespace {

constexpr char kMainProgram[] = "Kipo.exe";
constexpr DWORD kPollMs = 500;
constexpr int kMostPolls = 122;

std::string upperCase(const char* text) {
  std::string s(text);
  if (!s.empty()) CharUpperBuffA(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

}  // namespace

bool isImageRunning(const std::string& imageName) {
  CProcessList list;
  const DWORD available = list.availableModes();
  const DWORD wanted = CProcessList::kToolHelp | CProcessList::kSixteenBit;
  if ((available & wanted) == wanted) list.setMode(wanted);
  const std::string name = upperCase(imageName.c_str());
  CProcessRecord record;
  for (bool more = list.firstProcess(record); more; more = list.nextProcess(record))
    if (upperCase(record.imageName) == name) return true;
  return false;
}

int launcherMain(const std::vector<std::string>& args) {
  FreeConsole();
  if (args.size() < 3) return -1;
  for (int polls = 0; isImageRunning(kMainProgram);) {
    Sleep(kPollMs);
    // The last sleep is not followed by another look.
    if (++polls == kMostPolls) return -1;
  }
  ShellExecuteA(nullptr, "open", args[1].c_str(), "", args[2].c_str(), SW_SHOWNORMAL);
  return 0;
}
