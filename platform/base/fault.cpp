// Placeholder until the fault settings land: no fault is ever set.
#include "platform/base/fault.h"

namespace platform::fault {

DWORD check(std::string_view, std::u16string_view) { return 0; }

}  // namespace platform::fault
