// Fennock.dll, the installer utility library the setup program loads and calls by export name:
// starting programs, creating and deleting files, the text of the last system error, finding a
// device in the device tree, finding and choosing drives, and an iPod's disk mode.
//
// Calling form on this platform: every export is
//   int Fennock_<Name>(HWND window, ULONG_PTR word, const char* text);
// with the platform's C calling convention (the caller cleans up; there is no stdcall here). The
// second argument is pointer-sized: a number for the exports that take one by value, otherwise a
// pointer (to a 32-bit int, or to a character buffer), as each export says. Texts are 8-bit in
// the ANSI code page. Exports are found by name with GetProcAddress (ordinals 1 to 15 work too).
#pragma once

#include "platform/base/types.h"

using FennockExport = int (*)(HWND window, ULONG_PTR word, const char* text);

// The caller's buffer of Fennock_FormatLastErrorMessage holds at least this many bytes; a longer
// message is cut to fit, with its terminating zero.
inline constexpr int kFennockErrorTextBytes = 1024;
// Paths of Fennock_LaunchApp are at most this many characters (a longer one gives -1).
inline constexpr int kFennockLaunchPathChars = 259;
// The result of the iPod exports when the iPod service is not installed or cannot start.
inline constexpr int kFennockNoIPodService = -999;

// The drive-choice dialog's template and control ids.
#include "fennock/resource.h"
