// What the host's Explorer answers besides the messages Windows defines: a request to start a
// command line as the shell (the Run dialog's work, and how start-up entries run), so the
// program inherits Explorer's environment and has Explorer as its parent, as on Windows.
#pragma once

#include "platform/base/types.h"

namespace hostapps::shell {

// WM_COPYDATA to the "Shell_TrayWnd" window with this dwData and a UTF-16 command line (NUL
// ending optional) as data: Explorer starts it with CreateProcessW in its own current directory
// and replies with the new process's id, or 0 when it could not start it.
inline constexpr ULONG_PTR kRunCommandLine = 0x4E55524B;  // "KRUN"

}  // namespace hostapps::shell
