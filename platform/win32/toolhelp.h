// The process snapshot calls under the name product code expects from its own system header:
// CreateToolhelp32Snapshot, Process32First/Next (A and W), Module32First/Next, PROCESSENTRY32(W),
// MODULEENTRY32(W) and the TH32CS_* flags. They are declared with the other process calls in
// process.h (one implementation over the host's process table); this header only gathers them.
#pragma once

#include "platform/base/types.h"
#include "platform/win32/handle.h"
#include "platform/win32/process.h"
