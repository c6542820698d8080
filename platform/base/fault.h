// Fault injection: a test (in its own process) or `kipo-host fault` (for every process of the
// host) makes a named call fail with an error code, or delay, or kill the calling process, for a
// subject prefix (a path, key or drive), on the Nth call, for N calls, or always.
// Stand-in calls ask check() at their start; with no fault set anywhere it costs one atomic read.
#pragma once

#include <string_view>

#include "platform/base/types.h"

namespace platform::fault {

// The error the call named `call` (e.g. "CreateFileW", "RegSetValueExW") must fail with for
// `subject`, or 0 to go on. A delay fault sleeps here and returns 0; a kill fault ends the
// process here.
DWORD check(std::string_view call, std::u16string_view subject = {});

}  // namespace platform::fault
