// Helpers the process, boot and shutdown commands of kipo-host share: the host's top-level
// windows, waiting for a window, and ending host processes from outside as a power loss or the
// end of a session does.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/types.h"

namespace kipohost {

// "Access is denied. (5)": the system text of a Win32 error with its number.
std::string errorText(DWORD code);

// The host's top-level windows (every process), in EnumWindows order.
std::vector<HWND> topLevelWindows();

// Polls for a top-level window of that class (and title, when given) for up to `seconds`.
HWND waitForWindow(const char16_t* windowClass, const char16_t* title, double seconds);

// Ends the tool as a program of the host ends (ExitProcess, standard streams flushed): a command
// that started programs has become a host process, and its code is recorded like theirs.
[[noreturn]] void endAsHostProcess(int code);

// Ends every living host process at once with SIGKILL, except this tool and the processes it
// descends from (whoever asked for the power loss stays), and waits until they are gone.
// `alsoEnd` (process id and start time) adds processes that own windows of the host without
// being in its process table (started from outside, not through the host). Returns how many
// were ended.
int killHostProcesses(const std::vector<std::pair<DWORD, std::uint64_t>>& alsoEnd = {});

}  // namespace kipohost
