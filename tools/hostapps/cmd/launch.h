// How the host's cmd.exe starts what is not one of its own commands: programs through
// CreateProcessW (waited for, their exit code returned), folders and documents through the
// shell's "open".
#pragma once

#include <string>

#include "platform/base/types.h"

namespace hostapps::cmd {

// Starts `program` with the Windows command line `commandLine` in the current directory and
// waits for it. Returns 0 with its exit code in `exitCode`, or the Win32 error of the start.
// The stand-in cannot tell console programs from windowed ones, so every program is waited
// for, as cmd waits for console programs and for any program run from a batch file.
DWORD runProgram(const std::u16string& program, const std::u16string& commandLine, DWORD& exitCode);

// Opens a folder or a document with the shell's "open" verb, shown normally. Returns 0, or the
// Win32 error the shell reported.
DWORD openWithShell(const std::u16string& path, const std::u16string& parameters);

}  // namespace hostapps::cmd
