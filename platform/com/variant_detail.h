// Helpers shared by the VARIANT sources; not part of the platform's interface.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/variant.h"

namespace platform::com::detail {

// Whether vt may be held by a VARIANT.
bool validVariantType(VARTYPE vt);
// A non-owning VARIANT holding the value a VT_BYREF variant points at (for VT_BYREF|VT_VARIANT,
// the pointed-at VARIANT itself). E_INVALIDARG for a null reference or a reference to a reference.
HRESULT derefView(const VARIANT& source, VARIANT& view);
// English date text of a DATE: "M/D/YYYY", "h:mm:ss AM", or both; false outside the DATE range.
bool formatDate(DATE date, std::u16string& text);
// Parses the English date and time forms formatDate writes (and ISO "YYYY-MM-DD[ hh:mm[:ss]]").
bool parseDate(std::u16string_view text, DATE& date);

}  // namespace platform::com::detail
