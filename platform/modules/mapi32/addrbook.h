// The address book of a session: a root container whose hierarchy holds, for each contacts
// folder an Outlook address book provider ("CONTABP" of a "CONTAB" service) was configured with
// (its properties 0x6620 to 0x6626), one container flagged AB_RECIPIENTS; and the search path,
// kept in the profile (PR_AB_SEARCH_PATH in the profile's own section), so a copy of the profile
// carries it.
#pragma once

#include <string>

#include "platform/modules/mapi32/mapidefs.h"

namespace mapi {

HRESULT newAddressBook(const std::u16string& profile, LPADRBOOK* out);

}  // namespace mapi
