// DispGetParam: the server-side helper that fetches and coerces one argument of an Invoke.
#include "platform/com/dispatch.h"

HRESULT DispGetParam(DISPPARAMS* params, UINT position, VARTYPE vt, VARIANT* result, UINT* argError) {
  if (!params || !result) return E_INVALIDARG;
  // Named arguments come first in rgvarg; positional ones follow in reverse order.
  UINT index = params->cArgs;
  for (UINT i = 0; i < params->cNamedArgs; ++i) {
    if (params->rgdispidNamedArgs && params->rgdispidNamedArgs[i] == static_cast<DISPID>(position)) {
      index = i;
      break;
    }
  }
  if (index == params->cArgs) {
    const UINT positional = params->cArgs - params->cNamedArgs;
    if (position >= positional) return DISP_E_PARAMNOTFOUND;
    index = params->cArgs - 1 - position;
  }
  VariantInit(result);
  HRESULT hr = VariantChangeType(result, &params->rgvarg[index], 0, vt);
  if (FAILED(hr)) {
    if (argError && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)) *argError = index;
    VariantInit(result);
  }
  return hr;
}
