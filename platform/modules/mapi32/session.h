// MAPI sessions over a profile, and the store, folder, message and attachment objects they open.
#pragma once

#include <string>

#include "platform/modules/mapi32/mapidefs.h"

namespace mapi {

// A session on the named profile (which must exist): MAPI_E_LOGON_FAILED otherwise.
HRESULT newSession(const std::u16string& profile, LPMAPISESSION* out);

}  // namespace mapi
