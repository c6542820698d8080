// The 16-bit task enumeration of the built-in module "VDMDBG.DLL" (VDMEnumTaskWOWEx), over a host
// table of the 16-bit tasks that run inside a virtual DOS machine process ("NTVDM.EXE"). No
// 16-bit code runs here: the table is filled from outside (`kipo-host ps --add-16bit-task`, or
// addSixteenBitTask), so that programs that walk the tasks of such a process can be tried.
// A task lives as long as its NTVDM.EXE process: rows of ended processes are never reported and
// are pruned.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/types.h"

// Module names of 16-bit tasks are at most 8 characters, file names at most 255.
#define MAX_MODULE_NAME 9
#define MAX_PATH16 255

using PSZ = char*;

// Called once per task; returning TRUE stops the enumeration.
using TASKENUMPROCEX = BOOL (*)(DWORD dwThreadId, WORD hMod16, WORD hTask16, PSZ pszModName, PSZ pszFileName,
                                LPARAM lpUserDefined);

// Calls fp for each 16-bit task of the NTVDM.EXE process dwProcessId, oldest first, with the
// names in the ANSI code page; returns the number of tasks enumerated (0 for a process that does
// not live, is not a virtual DOS machine, or has no tasks; ERROR_INVALID_PARAMETER for a null fp).
INT VDMEnumTaskWOWEx(DWORD dwProcessId, TASKENUMPROCEX fp, LPARAM lparam);

namespace platform::vdm {

struct SixteenBitTask {
  DWORD hostPid = 0;     // the NTVDM.EXE process
  WORD task = 0;         // hTask16
  WORD module = 0;       // hMod16
  DWORD threadId = 0;    // the WOW thread that runs it
  std::u16string moduleName;  // "WINWORD" (at most 8 characters)
  std::u16string fileName;    // "C:\WINWORD\WINWORD.EXE"
};

enum class AddResult { Added, NoSuchProcess, NotVdmProcess, BadName };

// Adds a task to a living NTVDM.EXE process of the current host; fills `task` with what was
// stored (task and module handles are new even numbers, unique within the host process). The
// module name defaults to the file name's base without extension, upper case, cut to 8.
AddResult addSixteenBitTask(DWORD hostPid, std::u16string_view fileName, std::u16string_view moduleName,
                            SixteenBitTask& task);

// The tasks of one living NTVDM.EXE process, oldest first.
std::vector<SixteenBitTask> sixteenBitTasks(DWORD hostPid);

// Whether an image name is that of the virtual DOS machine (case-insensitive).
bool isVdmImage(std::u16string_view imageName);

}  // namespace platform::vdm
