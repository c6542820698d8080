// The MAPI stand-in's fault points (the calls the product makes that write, and the listing of a
// folder's contents) and the names of
// MAPI's result codes, so that `kipo-host fault add NAME --error MAPI_E_...` can set them.
#pragma once

#include <cstdint>
#include <string_view>

namespace mapi {

// Joins the stand-in's call names to the table of fault points (done once, when first called or
// when the module loads).
void joinFaultPoints();
// The HRESULT a "MAPI_E_..." or "MAPI_W_..." name stands for.
bool hresultByName(std::string_view name, std::uint32_t& out);

}  // namespace mapi
