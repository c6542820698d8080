// The profile-choice dialog a logon with MAPI_LOGON_UI and no profile name shows: a list of the
// host's profiles (the default one selected), OK and Cancel. A real modal dialog (class "#32770"),
// so the UI driver and `kipo-host ui` answer it as a user would.
#pragma once

#include <string>

#include "platform/modules/mapi32/mapidefs.h"

namespace mapi {

inline constexpr WORD kProfileListId = 1001;

// The chosen profile; MAPI_E_USER_CANCEL when the dialog is cancelled; MAPI_E_LOGON_FAILED when
// the host has no profile to choose.
HRESULT chooseProfile(HWND parent, std::u16string& chosen);

}  // namespace mapi
