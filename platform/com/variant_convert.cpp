// VariantChangeType: conversions between the automation types, with the rules of Windows in the
// English (United States) locale: numbers round half to even when they lose their fraction, a
// value outside the target's range is DISP_E_OVERFLOW, text that does not read as a value of the
// target type is DISP_E_TYPEMISMATCH, VARIANT_TRUE is -1, and an object converts through its
// default property (DISPID_VALUE).
#include <cfloat>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/base/text.h"
#include "platform/com/dispatch.h"
#include "platform/com/safearray.h"
#include "platform/com/variant_detail.h"

namespace detail = platform::com::detail;

namespace {

constexpr char16_t kTrue[] = u"True";
constexpr char16_t kFalse[] = u"False";

// ---- Numbers ------------------------------------------------------------------------------------

// A numeric value on its way between two types.
struct Number {
  enum Kind { Int, UInt, Real, Currency } kind = Int;
  long long i = 0;            // Int; Currency (scaled by 10,000)
  unsigned long long u = 0;   // UInt
  double d = 0;               // Real
};

Number fromInt(long long i) { return {Number::Int, i, 0, 0}; }
Number fromUInt(unsigned long long u) { return {Number::UInt, 0, u, 0}; }
Number fromReal(double d) { return {Number::Real, 0, 0, d}; }

double toDouble(const Number& n) {
  switch (n.kind) {
    case Number::Int: return static_cast<double>(n.i);
    case Number::UInt: return static_cast<double>(n.u);
    case Number::Real: return n.d;
    case Number::Currency: return static_cast<double>(n.i) / 10000.0;
  }
  return 0;
}

bool isZero(const Number& n) {
  switch (n.kind) {
    case Number::Int:
    case Number::Currency: return n.i == 0;
    case Number::UInt: return n.u == 0;
    case Number::Real: return n.d == 0;
  }
  return true;
}

// Whole value of n rounded half to even, within [lo, hi], as the two's-complement bits.
HRESULT toInteger(const Number& n, long long lo, unsigned long long hi, unsigned long long& bits) {
  switch (n.kind) {
    case Number::Int:
      if (n.i < lo || (n.i > 0 && static_cast<unsigned long long>(n.i) > hi)) return DISP_E_OVERFLOW;
      bits = static_cast<unsigned long long>(n.i);
      return S_OK;
    case Number::UInt:
      if (n.u > hi) return DISP_E_OVERFLOW;
      bits = n.u;
      return S_OK;
    case Number::Real: {
      if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
      const double r = std::nearbyint(n.d);  // the default rounding mode is half to even
      // hi + 1 is a power of two, exact as a double even where hi itself is not.
      if (r < static_cast<double>(lo) || r >= static_cast<double>(hi) + 1.0) return DISP_E_OVERFLOW;
      bits = r < 0 ? static_cast<unsigned long long>(static_cast<long long>(r)) : static_cast<unsigned long long>(r);
      return S_OK;
    }
    case Number::Currency: {
      long long whole = n.i / 10000;
      const long long rest = n.i % 10000;
      const long long absRest = rest < 0 ? -rest : rest;
      if (absRest > 5000 || (absRest == 5000 && whole % 2 != 0)) whole += n.i < 0 ? -1 : 1;
      return toInteger(fromInt(whole), lo, hi, bits);
    }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT toCurrency(const Number& n, long long& scaled) {
  constexpr long long kLimit = std::numeric_limits<long long>::max() / 10000;
  switch (n.kind) {
    case Number::Int:
      if (n.i > kLimit || n.i < -kLimit) return DISP_E_OVERFLOW;
      scaled = n.i * 10000;
      return S_OK;
    case Number::UInt:
      if (n.u > static_cast<unsigned long long>(kLimit)) return DISP_E_OVERFLOW;
      scaled = static_cast<long long>(n.u) * 10000;
      return S_OK;
    case Number::Real: {
      const double r = std::nearbyint(n.d * 10000.0);
      if (!std::isfinite(r) || r < -9223372036854775808.0 || r >= 9223372036854775808.0) return DISP_E_OVERFLOW;
      scaled = static_cast<long long>(r);
      return S_OK;
    }
    case Number::Currency:
      scaled = n.i;
      return S_OK;
  }
  return DISP_E_TYPEMISMATCH;
}

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string_view trimmed(std::u16string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads text as a number: optional sign, digits with ',' thousands separators, '.', an exponent,
// or "&H" hexadecimal and "&O" octal; spaces around it are ignored.
HRESULT parseNumber(std::u16string_view text, Number& out) {
  std::u16string_view s = trimmed(text);
  bool negative = false;
  if (!s.empty() && (s.front() == u'-' || s.front() == u'+')) {
    negative = s.front() == u'-';
    s.remove_prefix(1);
  }
  if (s.empty()) return DISP_E_TYPEMISMATCH;

  if (s.size() > 2 && s[0] == u'&' && (s[1] == u'H' || s[1] == u'h' || s[1] == u'O' || s[1] == u'o')) {
    const unsigned base = (s[1] == u'H' || s[1] == u'h') ? 16 : 8;
    unsigned long long value = 0;
    for (char16_t c : s.substr(2)) {
      unsigned digit;
      if (isDigit(c)) digit = c - u'0';
      else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
      else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
      else return DISP_E_TYPEMISMATCH;
      if (digit >= base) return DISP_E_TYPEMISMATCH;
      if (value > (std::numeric_limits<unsigned long long>::max() - digit) / base) return DISP_E_OVERFLOW;
      value = value * base + digit;
    }
    if (!negative) {
      out = value <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())
                ? fromInt(static_cast<long long>(value))
                : fromUInt(value);
    } else {
      out = value <= (1ULL << 63) ? fromInt(static_cast<long long>(0 - value)) : fromReal(-static_cast<double>(value));
    }
    return S_OK;
  }

  std::string ascii;  // the number without separators, for from_chars
  std::size_t pos = 0;
  bool digits = false;
  bool real = false;
  bool nonZeroWhole = false;
  while (pos < s.size() && (isDigit(s[pos]) || (s[pos] == u',' && digits))) {
    if (isDigit(s[pos])) {
      ascii += static_cast<char>(s[pos]);
      digits = true;
      nonZeroWhole = nonZeroWhole || s[pos] != u'0';
    }
    ++pos;
  }
  if (pos < s.size() && s[pos] == u'.') {
    real = true;
    ascii += '.';
    ++pos;
    while (pos < s.size() && isDigit(s[pos])) {
      ascii += static_cast<char>(s[pos++]);
      digits = true;
    }
  }
  if (!digits) return DISP_E_TYPEMISMATCH;
  bool hasExponent = false;
  bool positiveExponent = false;
  if (pos < s.size() && (s[pos] == u'e' || s[pos] == u'E')) {
    hasExponent = true;
    real = true;
    ascii += 'e';
    ++pos;
    if (pos < s.size() && (s[pos] == u'-' || s[pos] == u'+')) ascii += static_cast<char>(s[pos++]);
    positiveExponent = ascii.back() != '-';
    bool exponentDigits = false;
    while (pos < s.size() && isDigit(s[pos])) {
      ascii += static_cast<char>(s[pos++]);
      exponentDigits = true;
    }
    if (!exponentDigits) return DISP_E_TYPEMISMATCH;
  }
  if (pos != s.size()) return DISP_E_TYPEMISMATCH;

  if (!real) {
    unsigned long long magnitude;
    auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), magnitude);
    if (ec == std::errc()) {
      if (!negative) {
        out = magnitude <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())
                  ? fromInt(static_cast<long long>(magnitude))
                  : fromUInt(magnitude);
        return S_OK;
      }
      if (magnitude <= (1ULL << 63)) {
        out = fromInt(static_cast<long long>(0 - magnitude));
        return S_OK;
      }
    }
  }
  double value;
  auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large overflows; too small is zero.
    if (hasExponent ? positiveExponent : nonZeroWhole) return DISP_E_OVERFLOW;
    value = 0;
  } else if (ec != std::errc()) {
    return DISP_E_TYPEMISMATCH;
  }
  out = fromReal(negative ? -value : value);
  return S_OK;
}

// ---- Text ---------------------------------------------------------------------------------------

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Shortest general form with at most `digits` significant digits: "1.5", "1E+20", "1E-05".
std::u16string formatReal(double value, int digits) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, digits);
  std::string s(buffer, ec == std::errc() ? end : buffer);
  for (char& c : s) {
    if (c == 'e') c = 'E';
  }
  if (s == "-0") s = "0";
  return widen(s);
}

std::u16string formatCurrency(long long scaled) {
  const bool negative = scaled < 0;
  const unsigned long long magnitude = negative ? 0 - static_cast<unsigned long long>(scaled) : scaled;
  std::string s = std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) s += "." + fraction;
  return widen(negative ? "-" + s : s);
}

// Text of a scalar (not an object, array or reference).
HRESULT formatScalar(const VARIANT& v, USHORT flags, std::u16string& text) {
  switch (v.vt) {
    case VT_EMPTY: text.clear(); return S_OK;
    case VT_I1: text = widen(std::to_string(static_cast<int>(v.cVal))); return S_OK;
    case VT_I2: text = widen(std::to_string(v.iVal)); return S_OK;
    case VT_I4: text = widen(std::to_string(v.lVal)); return S_OK;
    case VT_INT: text = widen(std::to_string(v.intVal)); return S_OK;
    case VT_I8: text = widen(std::to_string(v.llVal)); return S_OK;
    case VT_UI1: text = widen(std::to_string(v.bVal)); return S_OK;
    case VT_UI2: text = widen(std::to_string(v.uiVal)); return S_OK;
    case VT_UI4: text = widen(std::to_string(v.ulVal)); return S_OK;
    case VT_UINT: text = widen(std::to_string(v.uintVal)); return S_OK;
    case VT_UI8: text = widen(std::to_string(v.ullVal)); return S_OK;
    case VT_R4: text = formatReal(v.fltVal, 7); return S_OK;
    case VT_R8: text = formatReal(v.dblVal, 15); return S_OK;
    case VT_CY: text = formatCurrency(v.cyVal.int64); return S_OK;
    case VT_DATE: return detail::formatDate(v.date, text) ? S_OK : DISP_E_OVERFLOW;
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
        text = v.boolVal ? kTrue : kFalse;
      } else {
        text = v.boolVal ? u"-1" : u"0";
      }
      return S_OK;
    default: return DISP_E_TYPEMISMATCH;
  }
}

// ---- Scalars ------------------------------------------------------------------------------------

bool isUnsignedInteger(VARTYPE vt) {
  return vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UINT || vt == VT_UI8;
}

// The numeric value of a scalar source, for a numeric, date or Boolean target.
HRESULT numberOf(const VARIANT& v, VARTYPE target, Number& n) {
  switch (v.vt) {
    case VT_EMPTY: n = fromInt(0); return S_OK;
    case VT_I1: n = fromInt(v.cVal); return S_OK;
    case VT_I2: n = fromInt(v.iVal); return S_OK;
    case VT_I4: n = fromInt(v.lVal); return S_OK;
    case VT_INT: n = fromInt(v.intVal); return S_OK;
    case VT_I8: n = fromInt(v.llVal); return S_OK;
    case VT_UI1: n = fromUInt(v.bVal); return S_OK;
    case VT_UI2: n = fromUInt(v.uiVal); return S_OK;
    case VT_UI4: n = fromUInt(v.ulVal); return S_OK;
    case VT_UINT: n = fromUInt(v.uintVal); return S_OK;
    case VT_UI8: n = fromUInt(v.ullVal); return S_OK;
    case VT_R4: n = fromReal(v.fltVal); return S_OK;
    case VT_R8: n = fromReal(v.dblVal); return S_OK;
    case VT_DATE: n = fromReal(v.date); return S_OK;
    case VT_CY: n = {Number::Currency, v.cyVal.int64, 0, 0}; return S_OK;
    case VT_BOOL: n = fromInt(v.boolVal); return S_OK;
    case VT_BSTR: {
      const std::u16string_view text = platform::text::view(v.bstrVal);
      if (target == VT_DATE) {
        DATE date;
        if (!detail::parseDate(text, date)) return DISP_E_TYPEMISMATCH;
        n = fromReal(date);
        return S_OK;
      }
      return parseNumber(text, n);
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

// Stores the integer bits in the field of an integer type, truncated to its width.
void storeInteger(VARIANT& out, VARTYPE vt, unsigned long long bits) {
  out.vt = vt;
  switch (vt) {
    case VT_I1: out.cVal = static_cast<CHAR>(bits); break;
    case VT_UI1: out.bVal = static_cast<BYTE>(bits); break;
    case VT_I2: out.iVal = static_cast<SHORT>(bits); break;
    case VT_UI2: out.uiVal = static_cast<USHORT>(bits); break;
    case VT_I4: out.lVal = static_cast<LONG>(bits); break;
    case VT_INT: out.intVal = static_cast<INT>(bits); break;
    case VT_UI4: out.ulVal = static_cast<ULONG>(bits); break;
    case VT_UINT: out.uintVal = static_cast<UINT>(bits); break;
    case VT_I8: out.llVal = static_cast<LONGLONG>(bits); break;
    case VT_UI8: out.ullVal = bits; break;
    default: break;
  }
}

bool integerRange(VARTYPE vt, long long& lo, unsigned long long& hi) {
  switch (vt) {
    case VT_I1: lo = -128; hi = 127; return true;
    case VT_UI1: lo = 0; hi = 0xFF; return true;
    case VT_I2: lo = -32768; hi = 32767; return true;
    case VT_UI2: lo = 0; hi = 0xFFFF; return true;
    case VT_I4:
    case VT_INT: lo = std::numeric_limits<LONG>::min(); hi = std::numeric_limits<LONG>::max(); return true;
    case VT_UI4:
    case VT_UINT: lo = 0; hi = 0xFFFFFFFFULL; return true;
    case VT_I8: lo = std::numeric_limits<long long>::min(); hi = std::numeric_limits<long long>::max(); return true;
    case VT_UI8: lo = 0; hi = std::numeric_limits<unsigned long long>::max(); return true;
    default: return false;
  }
}

HRESULT scalarTo(const VARIANT& v, VARTYPE vt, USHORT flags, VARIANT& out) {
  if (vt == VT_BSTR) {
    std::u16string text;
    HRESULT hr = formatScalar(v, flags, text);
    if (FAILED(hr)) return hr;
    out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!out.bstrVal) return E_OUTOFMEMORY;
    out.vt = VT_BSTR;
    return S_OK;
  }
  if (vt == VT_BOOL && v.vt == VT_BSTR) {
    const std::u16string_view text = trimmed(platform::text::view(v.bstrVal));
    if (platform::text::equalNoCase(text, kTrue) || platform::text::equalNoCase(text, kFalse)) {
      out.vt = VT_BOOL;
      out.boolVal = platform::text::equalNoCase(text, kTrue) ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  if (v.vt == VT_BOOL && isUnsignedInteger(vt)) {
    // True is all bits set in whatever unsigned width takes it, not an overflow.
    storeInteger(out, vt, v.boolVal ? ~0ULL : 0);
    return S_OK;
  }
  Number n;
  HRESULT hr = numberOf(v, vt, n);
  if (FAILED(hr)) return hr;
  long long lo;
  unsigned long long hi;
  if (integerRange(vt, lo, hi)) {
    unsigned long long bits;
    hr = toInteger(n, lo, hi, bits);
    if (SUCCEEDED(hr)) storeInteger(out, vt, bits);
    return hr;
  }
  switch (vt) {
    case VT_BOOL:
      out.vt = VT_BOOL;
      out.boolVal = isZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
      return S_OK;
    case VT_R8:
      out.vt = VT_R8;
      out.dblVal = toDouble(n);
      return S_OK;
    case VT_R4: {
      const double d = toDouble(n);
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
      out.vt = VT_R4;
      out.fltVal = static_cast<float>(d);
      return S_OK;
    }
    case VT_DATE: {
      const double d = toDouble(n);
      if (!(d >= -657434.0 && d < 2958466.0)) return DISP_E_OVERFLOW;
      out.vt = VT_DATE;
      out.date = d;
      return S_OK;
    }
    case VT_CY: {
      long long scaled;
      hr = toCurrency(n, scaled);
      if (FAILED(hr)) return hr;
      out.vt = VT_CY;
      out.cyVal.int64 = scaled;
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

// ---- Whole conversion -----------------------------------------------------------------------------

bool validTarget(VARTYPE vt) {
  if (vt & VT_BYREF) return false;
  if (vt & VT_ARRAY) return detail::validVariantType(vt);
  return detail::validVariantType(vt) && vt != VT_DECIMAL;
}

// Asks an object for its default value.
HRESULT defaultValue(IUnknown* object, LCID lcid, VARIANT& value) {
  if (!object) return DISP_E_TYPEMISMATCH;
  IDispatch* dispatch = nullptr;
  if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VariantInit(&value);
  HRESULT hr = dispatch->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  dispatch->Release();
  if (FAILED(hr)) {
    VariantClear(&value);
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT convert(const VARIANT& source, VARTYPE vt, USHORT flags, LCID lcid, VARIANT& out, int depth) {
  if (!detail::validVariantType(source.vt) || source.vt == VT_DECIMAL) return DISP_E_BADVARTYPE;
  if (!validTarget(vt)) return DISP_E_BADVARTYPE;
  if (source.vt & VT_BYREF) {
    VARIANT view;
    HRESULT hr = detail::derefView(source, view);
    if (FAILED(hr)) return hr;
    return convert(view, vt, flags, lcid, out, depth);
  }
  if (source.vt == vt) return VariantCopy(&out, &source);

  // Arrays convert only between a byte array and the bytes of a BSTR.
  if ((source.vt | vt) & VT_ARRAY) {
    if (source.vt == VT_BSTR && vt == (VT_ARRAY | VT_UI1)) {
      const UINT bytes = SysStringByteLen(source.bstrVal);
      SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, bytes);
      if (!array) return E_OUTOFMEMORY;
      if (bytes) std::memcpy(array->pvData, source.bstrVal, bytes);
      out.vt = vt;
      out.parray = array;
      return S_OK;
    }
    if (source.vt == (VT_ARRAY | VT_UI1) && vt == VT_BSTR && source.parray && source.parray->cDims == 1) {
      out.bstrVal = SysAllocStringByteLen(static_cast<LPCSTR>(source.parray->pvData),
                                          source.parray->rgsabound[0].cElements);
      if (!out.bstrVal) return E_OUTOFMEMORY;
      out.vt = VT_BSTR;
      return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
  }

  const bool sourceObject = source.vt == VT_UNKNOWN || source.vt == VT_DISPATCH;
  if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    if (source.vt == VT_EMPTY) {
      out.vt = vt;
      out.punkVal = nullptr;
      return S_OK;
    }
    if (!sourceObject) return DISP_E_TYPEMISMATCH;
    out.punkVal = nullptr;
    if (source.punkVal &&
        FAILED(source.punkVal->QueryInterface(vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch,
                                              reinterpret_cast<void**>(&out.punkVal)))) {
      return DISP_E_TYPEMISMATCH;
    }
    out.vt = vt;
    return S_OK;
  }
  if (sourceObject) {
    if ((flags & VARIANT_NOVALUEPROP) || depth > 0) return DISP_E_TYPEMISMATCH;
    VARIANT value;
    HRESULT hr = defaultValue(source.punkVal, lcid, value);
    if (FAILED(hr)) return hr;
    hr = convert(value, vt, flags, lcid, out, depth + 1);
    VariantClear(&value);
    return hr;
  }
  if (source.vt == VT_NULL || source.vt == VT_ERROR || vt == VT_EMPTY || vt == VT_NULL || vt == VT_ERROR) {
    return DISP_E_TYPEMISMATCH;
  }
  return scalarTo(source, vt, flags, out);
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* source, LCID lcid, USHORT flags, VARTYPE vt) {
  if (!dest || !source) return E_INVALIDARG;
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = convert(*source, vt, flags, lcid, result, 0);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  // Only now let go of what dest held: source may be dest.
  if (dest == source) {
    VARIANT old = *dest;
    *dest = result;
    VariantClear(&old);
  } else {
    hr = VariantClear(dest);
    if (FAILED(hr)) {
      VariantClear(&result);
      return hr;
    }
    *dest = result;
  }
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(dest, source, 0x0409, flags, vt);
}

// ---- Date text ------------------------------------------------------------------------------------

namespace platform::com::detail {

bool formatDate(DATE date, std::u16string& text) {
  SYSTEMTIME t;
  if (!VariantTimeToSystemTime(date, &t)) return false;
  const bool hasTime = t.wHour || t.wMinute || t.wSecond;
  const bool hasDay = !(t.wYear == 1899 && t.wMonth == 12 && t.wDay == 30);
  std::string s;
  if (hasDay) s = std::to_string(t.wMonth) + "/" + std::to_string(t.wDay) + "/" + std::to_string(t.wYear);
  if (hasTime || !hasDay) {
    if (!s.empty()) s += ' ';
    const int hour12 = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%d:%02d:%02d %s", hour12, t.wMinute, t.wSecond, t.wHour < 12 ? "AM" : "PM");
    s += buffer;
  }
  text = widen(s);
  return true;
}

namespace {

// Reads up to `max` digits; false when there are none.
bool readNumber(std::u16string_view s, std::size_t& pos, int max, int& value, int& count) {
  value = 0;
  count = 0;
  while (pos < s.size() && isDigit(s[pos]) && count < max) {
    value = value * 10 + (s[pos++] - u'0');
    ++count;
  }
  return count > 0;
}

bool readDatePart(std::u16string_view s, std::size_t& pos, SYSTEMTIME& t) {
  int a, b, c, na, nb, nc;
  if (!readNumber(s, pos, 4, a, na)) return false;
  if (pos >= s.size() || (s[pos] != u'/' && s[pos] != u'-')) return false;
  const char16_t separator = s[pos++];
  if (!readNumber(s, pos, 2, b, nb)) return false;
  if (pos >= s.size() || s[pos] != separator) return false;
  ++pos;
  if (!readNumber(s, pos, 4, c, nc)) return false;
  int year, month, day;
  if (na == 4) {  // ISO order
    year = a;
    month = b;
    day = c;
  } else {  // month/day/year
    month = a;
    day = b;
    year = c;
    if (nc <= 2) year += year < 30 ? 2000 : 1900;
  }
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  return true;
}

bool readTimePart(std::u16string_view s, std::size_t& pos, SYSTEMTIME& t) {
  int h, m, sec = 0, n;
  if (!readNumber(s, pos, 2, h, n)) return false;
  if (pos >= s.size() || s[pos] != u':') return false;
  ++pos;
  if (!readNumber(s, pos, 2, m, n)) return false;
  if (pos < s.size() && s[pos] == u':') {
    ++pos;
    if (!readNumber(s, pos, 2, sec, n)) return false;
  }
  while (pos < s.size() && isSpace(s[pos])) ++pos;
  if (pos + 2 <= s.size()) {
    const std::u16string_view mark = s.substr(pos, 2);
    const bool am = platform::text::equalNoCase(mark, u"AM");
    const bool pm = platform::text::equalNoCase(mark, u"PM");
    if (am || pm) {
      if (h < 1 || h > 12) return false;
      h = h % 12 + (pm ? 12 : 0);
      pos += 2;
    }
  }
  t.wHour = static_cast<WORD>(h);
  t.wMinute = static_cast<WORD>(m);
  t.wSecond = static_cast<WORD>(sec);
  return true;
}

}  // namespace

bool parseDate(std::u16string_view text, DATE& date) {
  const std::u16string_view s = trimmed(text);
  SYSTEMTIME t{};
  t.wYear = 1899;
  t.wMonth = 12;
  t.wDay = 30;
  std::size_t pos = 0;
  std::size_t probe = 0;
  SYSTEMTIME scratch{};
  const bool hasDay = readDatePart(s, probe, scratch);
  if (hasDay) {
    readDatePart(s, pos, t);
    if (pos < s.size() && (s[pos] == u'T' || isSpace(s[pos]))) {
      while (pos < s.size() && (s[pos] == u'T' || isSpace(s[pos]))) ++pos;
      if (!readTimePart(s, pos, t)) return false;
    }
  } else if (!readTimePart(s, pos, t)) {
    return false;
  }
  if (pos != s.size()) return false;
  return SystemTimeToVariantTime(&t, &date) != FALSE;
}

}  // namespace platform::com::detail
