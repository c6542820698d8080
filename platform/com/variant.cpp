// VARIANT lifetime (init, clear, copy) and the DATE calendar. Conversions are in
// variant_convert.cpp.
#include "platform/com/variant.h"

#include <cmath>
#include <cstring>

#include "platform/com/dispatch.h"
#include "platform/com/safearray.h"
#include "platform/com/variant_detail.h"

namespace platform::com::detail {

namespace {

bool validScalar(VARTYPE base) {
  return (base >= VT_I2 && base <= VT_DECIMAL) || (base >= VT_I1 && base <= VT_UINT);
}

}  // namespace

bool validVariantType(VARTYPE vt) {
  if (vt & VT_RESERVED) return false;
  const VARTYPE base = vt & VT_TYPEMASK;
  const bool byref = vt & VT_BYREF;
  const bool array = vt & VT_ARRAY;
  if (vt & ~(VT_TYPEMASK | VT_BYREF | VT_ARRAY)) return false;
  if (array) return validScalar(base) && base != VT_DECIMAL;
  if (byref) return validScalar(base);
  return base == VT_EMPTY || base == VT_NULL || (validScalar(base) && base != VT_VARIANT);
}

HRESULT derefView(const VARIANT& source, VARIANT& view) {
  VariantInit(&view);
  if (!source.byref) return E_INVALIDARG;
  const VARTYPE vt = source.vt & ~VT_BYREF;
  if (vt == VT_VARIANT) {
    if (source.pvarVal->vt & VT_BYREF) return E_INVALIDARG;
    view = *source.pvarVal;
    return S_OK;
  }
  view.vt = vt;
  if (vt & VT_ARRAY) {
    view.parray = *source.pparray;
    return S_OK;
  }
  switch (vt) {
    case VT_I1: view.cVal = *source.pcVal; break;
    case VT_UI1: view.bVal = *source.pbVal; break;
    case VT_I2: view.iVal = *source.piVal; break;
    case VT_UI2: view.uiVal = *source.puiVal; break;
    case VT_BOOL: view.boolVal = *source.pboolVal; break;
    case VT_I4: view.lVal = *source.plVal; break;
    case VT_UI4: view.ulVal = *source.pulVal; break;
    case VT_INT: view.intVal = *source.pintVal; break;
    case VT_UINT: view.uintVal = *source.puintVal; break;
    case VT_ERROR: view.scode = *source.pscode; break;
    case VT_R4: view.fltVal = *source.pfltVal; break;
    case VT_I8: view.llVal = *source.pllVal; break;
    case VT_UI8: view.ullVal = *source.pullVal; break;
    case VT_R8: view.dblVal = *source.pdblVal; break;
    case VT_DATE: view.date = *source.pdate; break;
    case VT_CY: view.cyVal = *source.pcyVal; break;
    case VT_BSTR: view.bstrVal = *source.pbstrVal; break;
    case VT_UNKNOWN: view.punkVal = *source.ppunkVal; break;
    case VT_DISPATCH: view.pdispVal = *source.ppdispVal; break;
    default: return DISP_E_BADVARTYPE;
  }
  return S_OK;
}

}  // namespace platform::com::detail

namespace detail = platform::com::detail;

void VariantInit(VARIANTARG* v) {
  if (!v) return;
  std::memset(v, 0, sizeof(*v));
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
  if (!v) return E_INVALIDARG;
  if (!detail::validVariantType(v->vt)) return DISP_E_BADVARTYPE;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(v->parray);
      if (FAILED(hr)) return hr;
    } else if (v->vt == VT_BSTR) {
      SysFreeString(v->bstrVal);
    } else if ((v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) && v->punkVal) {
      v->punkVal->Release();
    }
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source) {
  if (!dest || !source) return E_INVALIDARG;
  if (dest == source) return S_OK;
  if (!detail::validVariantType(source->vt)) return DISP_E_BADVARTYPE;
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  VARIANT copy = *source;
  if (!(source->vt & VT_BYREF)) {
    if (source->vt & VT_ARRAY) {
      hr = SafeArrayCopy(source->parray, &copy.parray);
      if (FAILED(hr)) return hr;
    } else if (source->vt == VT_BSTR && source->bstrVal) {
      copy.bstrVal =
          SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source->bstrVal), SysStringByteLen(source->bstrVal));
      if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal) {
      source->punkVal->AddRef();
    }
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* source) {
  if (!dest || !source) return E_INVALIDARG;
  if (!(source->vt & VT_BYREF)) return VariantCopy(dest, source);
  if (!detail::validVariantType(source->vt)) return DISP_E_BADVARTYPE;
  VARIANT view;
  HRESULT hr = detail::derefView(*source, view);
  if (FAILED(hr)) return hr;
  // dest may be source: copy aside first, then replace.
  VARIANT copy;
  VariantInit(&copy);
  hr = VariantCopy(&copy, &view);
  if (FAILED(hr)) return hr;
  if (dest == source) {
    VariantInit(dest);
  } else if (FAILED(hr = VariantClear(dest))) {
    VariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

// ---- DATE ---------------------------------------------------------------------------------------

namespace {

// Days between 1899-12-30 and 1970-01-01.
constexpr long long kDateEpochOffset = 25569;
constexpr double kMinDate = -657434.0;  // 0100-01-01
constexpr double kMaxDate = 2958466.0;  // 10000-01-01, excluded

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

unsigned daysInMonth(long long y, unsigned m) {
  static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : days[m - 1];
}

}  // namespace

INT SystemTimeToVariantTime(LPSYSTEMTIME t, DOUBLE* date) {
  if (!t || !date) return FALSE;
  if (t->wYear < 100 || t->wYear > 9999 || t->wMonth < 1 || t->wMonth > 12 || t->wDay < 1 ||
      t->wDay > daysInMonth(t->wYear, t->wMonth) || t->wHour > 23 || t->wMinute > 59 || t->wSecond > 59) {
    return FALSE;
  }
  const long long days = daysFromCivil(t->wYear, t->wMonth, t->wDay) + kDateEpochOffset;
  const double fraction = (t->wHour * 3600.0 + t->wMinute * 60.0 + t->wSecond) / 86400.0;
  // Before 1899-12-30 the whole part counts days back and the fraction still runs forward.
  *date = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
  return TRUE;
}

INT VariantTimeToSystemTime(DOUBLE date, LPSYSTEMTIME t) {
  if (!t || !(date >= kMinDate && date < kMaxDate)) return FALSE;
  long long days = static_cast<long long>(std::trunc(date));
  long long seconds = std::llround(std::fabs(date - static_cast<double>(days)) * 86400.0);
  if (seconds >= 86400) {
    ++days;
    seconds -= 86400;
  }
  long long y;
  unsigned m, d;
  civilFromDays(days - kDateEpochOffset, y, m, d);
  if (y > 9999) return FALSE;
  t->wYear = static_cast<WORD>(y);
  t->wMonth = static_cast<WORD>(m);
  t->wDay = static_cast<WORD>(d);
  // 1970-01-01 was a Thursday.
  const long long unixDays = days - kDateEpochOffset;
  t->wDayOfWeek = static_cast<WORD>(((unixDays % 7) + 11) % 7);
  t->wHour = static_cast<WORD>(seconds / 3600);
  t->wMinute = static_cast<WORD>(seconds / 60 % 60);
  t->wSecond = static_cast<WORD>(seconds % 60);
  t->wMilliseconds = 0;
  return TRUE;
}
