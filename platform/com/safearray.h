// SAFEARRAY: an array descriptor with bounds, element size and a lock count, owning its elements
// (BSTRs freed, interfaces released, VARIANTs cleared when the array is destroyed).
// Dimension 1 is the leftmost one given to SafeArrayCreate and index vectors follow that order;
// the descriptor keeps its bounds in reverse, and dimension 1 varies fastest in memory.
#pragma once

#include "platform/com/variant.h"

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
using LPSAFEARRAYBOUND = SAFEARRAYBOUND*;

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_RECORD 0x0020
#define FADF_HAVEIID 0x0040
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800

// A zero-filled array of vt elements; null for an element type arrays cannot hold, no
// dimensions, or a size that does not fit in memory.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
// DISP_E_ARRAYISLOCKED while locked or accessed; a null array is fine.
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayLock(SAFEARRAY* array);
// E_UNEXPECTED when not locked.
HRESULT SafeArrayUnlock(SAFEARRAY* array);
// Locks the array and gives its data; balanced by SafeArrayUnaccessData.
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
UINT SafeArrayGetDim(SAFEARRAY* array);
UINT SafeArrayGetElemsize(SAFEARRAY* array);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
// Bounds of dimension dim (1-based); DISP_E_BADINDEX for a dimension the array does not have.
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
// Copies one element out (a BSTR duplicated, an interface AddRef'd, a VARIANT copied) or in
// (value: the BSTR or interface pointer itself for those types, else a pointer to the value).
// DISP_E_BADINDEX outside the bounds.
HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices, void** element);
HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);
// Changes the bounds of the rightmost dimension, keeping the elements that remain in range.
HRESULT SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* bound);
