// VARIANT: the tagged value of automation, its type numbers, and the calls that clear, copy and
// convert it. A VARIANT owns what it holds (a BSTR, an interface reference, a SAFEARRAY) unless
// VT_BYREF is set, in which case it only points at storage owned elsewhere.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/comtypes.h"
#include "platform/com/hresult.h"

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_ILLEGAL = 0xFFFF,
  VT_TYPEMASK = 0x0FFF,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    LONGLONG* pllVal;
    FLOAT* pfltVal;
    DOUBLE* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    CY* pcyVal;
    DATE* pdate;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    PVOID byref;
    CHAR* pcVal;
    USHORT* puiVal;
    ULONG* pulVal;
    ULONGLONG* pullVal;
    INT* pintVal;
    UINT* puintVal;
  };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;

#define V_VT(v) ((v)->vt)
#define V_ISBYREF(v) (V_VT(v) & VT_BYREF)
#define V_ISARRAY(v) (V_VT(v) & VT_ARRAY)
#define V_I1(v) ((v)->cVal)
#define V_I2(v) ((v)->iVal)
#define V_I4(v) ((v)->lVal)
#define V_I8(v) ((v)->llVal)
#define V_UI1(v) ((v)->bVal)
#define V_UI2(v) ((v)->uiVal)
#define V_UI4(v) ((v)->ulVal)
#define V_UI8(v) ((v)->ullVal)
#define V_INT(v) ((v)->intVal)
#define V_UINT(v) ((v)->uintVal)
#define V_R4(v) ((v)->fltVal)
#define V_R8(v) ((v)->dblVal)
#define V_CY(v) ((v)->cyVal)
#define V_DATE(v) ((v)->date)
#define V_BSTR(v) ((v)->bstrVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_ERROR(v) ((v)->scode)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_ARRAY(v) ((v)->parray)
#define V_BYREF(v) ((v)->byref)
#define V_VARIANTREF(v) ((v)->pvarVal)

// Flags of VariantChangeType(Ex).
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_CALENDAR_HIJRI 0x08
#define VARIANT_LOCALBOOL 0x10

// Sets VT_EMPTY without looking at what was there.
void VariantInit(VARIANTARG* v);
// Frees what v owns and sets VT_EMPTY. DISP_E_BADVARTYPE for an unknown type and
// DISP_E_ARRAYISLOCKED for a locked array, v unchanged in both cases.
HRESULT VariantClear(VARIANTARG* v);
// Clears dest, then makes it an independent copy of source (BSTRs duplicated with their byte
// length, interfaces AddRef'd, arrays copied); a VT_BYREF source is copied as the reference.
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source);
// As VariantCopy, but a VT_BYREF source is copied as the value it points at.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* source);
// Converts source to type vt into dest (which may be source). Formatting and parsing of text
// follow the English (United States) conventions whatever lcid says. Failure leaves dest as it was:
// DISP_E_TYPEMISMATCH (no conversion, or text that is not a value of the type), DISP_E_OVERFLOW
// (out of range), DISP_E_BADVARTYPE (unknown type).
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* source, LCID lcid, USHORT flags, VARTYPE vt);

// DATE (days since 30 December 1899; the fraction is the time of day) and SYSTEMTIME. FALSE for a
// date outside the years 100 to 9999.
INT SystemTimeToVariantTime(LPSYSTEMTIME time, DOUBLE* date);
INT VariantTimeToSystemTime(DOUBLE date, LPSYSTEMTIME time);
