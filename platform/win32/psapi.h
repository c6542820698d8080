// The process status calls of "PSAPI.DLL" (EnumProcesses, EnumProcessModules,
// GetModuleBaseNameA/W, GetModuleFileNameExA/W) under the name product code expects from its own
// system header. They are declared with the other process calls in process.h.
#pragma once

#include "platform/base/types.h"
#include "platform/win32/process.h"
