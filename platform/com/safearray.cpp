// SAFEARRAY storage. A descriptor is one block: 16 bytes of prefix whose last 4 hold the element
// type (FADF_HAVEVARTYPE), then the descriptor with one bound per dimension. The data is a
// separate zero-filled block, so SafeArrayRedim can move it.
#include "platform/com/safearray.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com/dispatch.h"

namespace {

constexpr std::size_t kPrefix = 16;

// Size of one element of type vt, or 0 when an array cannot hold that type.
ULONG elementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(void*);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

USHORT featuresFor(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN:
      return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_DISPATCH:
      return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_VARIANT:
      return FADF_HAVEVARTYPE | FADF_VARIANT;
    default:
      return FADF_HAVEVARTYPE;
  }
}

std::size_t descriptorSize(UINT dims) { return offsetof(SAFEARRAY, rgsabound) + dims * sizeof(SAFEARRAYBOUND); }

unsigned char* blockOf(SAFEARRAY* a) { return reinterpret_cast<unsigned char*>(a) - kPrefix; }

VARTYPE storedType(SAFEARRAY* a) {
  DWORD vt;
  std::memcpy(&vt, reinterpret_cast<unsigned char*>(a) - sizeof(vt), sizeof(vt));
  return static_cast<VARTYPE>(vt);
}

// Element count, or false when it overflows.
bool elementCount(const SAFEARRAY* a, std::size_t& count) {
  count = 1;
  for (USHORT i = 0; i < a->cDims; ++i) {
    const ULONG n = a->rgsabound[i].cElements;
    if (n != 0 && count > std::numeric_limits<std::size_t>::max() / a->cbElements / n) return false;
    count *= n;
  }
  return true;
}

// Frees what the elements [first, first + count) own and zeroes them.
void releaseElements(SAFEARRAY* a, std::size_t first, std::size_t count) {
  auto* base = static_cast<unsigned char*>(a->pvData) + first * a->cbElements;
  for (std::size_t i = 0; i < count; ++i) {
    void* element = base + i * a->cbElements;
    if (a->fFeatures & FADF_BSTR) {
      BSTR s;
      std::memcpy(&s, element, sizeof(s));
      SysFreeString(s);
    } else if (a->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      IUnknown* p;
      std::memcpy(&p, element, sizeof(p));
      if (p) p->Release();
    } else if (a->fFeatures & FADF_VARIANT) {
      VariantClear(static_cast<VARIANT*>(element));
    }
  }
  std::memset(base, 0, count * a->cbElements);
}

// Byte offset of the element at indices (dimension 1 first), or false outside the bounds.
bool offsetOf(SAFEARRAY* a, const LONG* indices, std::size_t& offset) {
  std::size_t position = 0;
  std::size_t stride = 1;
  for (USHORT dim = 0; dim < a->cDims; ++dim) {
    // Dimension dim+1 is stored at the reverse position.
    const SAFEARRAYBOUND& b = a->rgsabound[a->cDims - 1 - dim];
    const long long relative = static_cast<long long>(indices[dim]) - b.lLbound;
    if (relative < 0 || relative >= static_cast<long long>(b.cElements)) return false;
    position += static_cast<std::size_t>(relative) * stride;
    stride *= b.cElements;
  }
  offset = position * a->cbElements;
  return true;
}

// Copies one element into empty storage at dest.
HRESULT copyElement(SAFEARRAY* a, const void* source, void* dest) {
  if (a->fFeatures & FADF_BSTR) {
    BSTR s;
    std::memcpy(&s, source, sizeof(s));
    BSTR copy = s ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s)) : nullptr;
    if (s && !copy) return E_OUTOFMEMORY;
    std::memcpy(dest, &copy, sizeof(copy));
  } else if (a->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* p;
    std::memcpy(&p, source, sizeof(p));
    if (p) p->AddRef();
    std::memcpy(dest, &p, sizeof(p));
  } else if (a->fFeatures & FADF_VARIANT) {
    VariantInit(static_cast<VARIANT*>(dest));
    return VariantCopy(static_cast<VARIANT*>(dest), static_cast<const VARIANT*>(source));
  } else {
    std::memcpy(dest, source, a->cbElements);
  }
  return S_OK;
}

SAFEARRAY* allocDescriptor(VARTYPE vt, UINT dims) {
  auto* block = static_cast<unsigned char*>(std::calloc(1, kPrefix + descriptorSize(dims)));
  if (!block) return nullptr;
  const DWORD stored = vt;
  std::memcpy(block + kPrefix - sizeof(stored), &stored, sizeof(stored));
  auto* a = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
  a->cDims = static_cast<USHORT>(dims);
  a->fFeatures = featuresFor(vt);
  a->cbElements = elementSize(vt);
  return a;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
  if (dims == 0 || dims > 0xFFFF || !bounds || elementSize(vt) == 0) return nullptr;
  SAFEARRAY* a = allocDescriptor(vt, dims);
  if (!a) return nullptr;
  for (UINT i = 0; i < dims; ++i) a->rgsabound[dims - 1 - i] = bounds[i];
  std::size_t count;
  if (!elementCount(a, count)) {
    std::free(blockOf(a));
    return nullptr;
  }
  a->pvData = std::calloc(count ? count : 1, a->cbElements);
  if (!a->pvData) {
    std::free(blockOf(a));
    return nullptr;
  }
  return a;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
  SAFEARRAYBOUND bound{elements, lowerBound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* a) {
  if (!a) return S_OK;
  if (a->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  std::size_t count;
  if (a->pvData && elementCount(a, count)) releaseElements(a, 0, count);
  std::free(a->pvData);
  std::free(blockOf(a));
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* a) {
  if (!a) return E_INVALIDARG;
  if (a->cLocks >= 0xFFFF) return E_UNEXPECTED;
  ++a->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* a) {
  if (!a) return E_INVALIDARG;
  if (a->cLocks == 0) return E_UNEXPECTED;
  --a->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* a, void** data) {
  if (!a || !data) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(a);
  *data = SUCCEEDED(hr) ? a->pvData : nullptr;
  return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* a) { return SafeArrayUnlock(a); }

UINT SafeArrayGetDim(SAFEARRAY* a) { return a ? a->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* a) { return a ? a->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* a, VARTYPE* vt) {
  if (!a || !vt) return E_INVALIDARG;
  *vt = storedType(a);
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* a, UINT dim, LONG* bound) {
  if (!a || !bound) return E_INVALIDARG;
  if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
  *bound = a->rgsabound[a->cDims - dim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* a, UINT dim, LONG* bound) {
  if (!a || !bound) return E_INVALIDARG;
  if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = a->rgsabound[a->cDims - dim];
  *bound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* a, LONG* indices, void** element) {
  if (!a || !indices || !element) return E_INVALIDARG;
  std::size_t offset;
  if (!offsetOf(a, indices, offset)) return DISP_E_BADINDEX;
  *element = static_cast<unsigned char*>(a->pvData) + offset;
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* a, LONG* indices, void* value) {
  if (!a || !indices || !value) return E_INVALIDARG;
  std::size_t offset;
  if (!offsetOf(a, indices, offset)) return DISP_E_BADINDEX;
  return copyElement(a, static_cast<unsigned char*>(a->pvData) + offset, value);
}

HRESULT SafeArrayPutElement(SAFEARRAY* a, LONG* indices, void* value) {
  if (!a || !indices) return E_INVALIDARG;
  std::size_t offset;
  if (!offsetOf(a, indices, offset)) return DISP_E_BADINDEX;
  // BSTR and interface elements are given as the pointer itself; a null one is allowed.
  const bool pointerValued = a->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH);
  if (!pointerValued && !value) return E_INVALIDARG;
  const std::size_t index = offset / a->cbElements;
  // Build the new element aside, so a failed copy leaves the old one in place.
  alignas(VARIANT) unsigned char fresh[sizeof(VARIANT)];
  HRESULT hr = copyElement(a, pointerValued ? static_cast<const void*>(&value) : value, fresh);
  if (FAILED(hr)) return hr;
  releaseElements(a, index, 1);
  std::memcpy(static_cast<unsigned char*>(a->pvData) + offset, fresh, a->cbElements);
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* a, SAFEARRAY** copy) {
  if (!copy) return E_INVALIDARG;
  *copy = nullptr;
  if (!a) return S_OK;
  SAFEARRAY* c = allocDescriptor(storedType(a), a->cDims);
  if (!c) return E_OUTOFMEMORY;
  c->fFeatures = a->fFeatures;
  c->cbElements = a->cbElements;
  std::memcpy(c->rgsabound, a->rgsabound, a->cDims * sizeof(SAFEARRAYBOUND));
  std::size_t count = 0;
  elementCount(a, count);
  c->pvData = std::calloc(count ? count : 1, c->cbElements);
  if (!c->pvData) {
    std::free(blockOf(c));
    return E_OUTOFMEMORY;
  }
  for (std::size_t i = 0; i < count; ++i) {
    HRESULT hr = copyElement(a, static_cast<unsigned char*>(a->pvData) + i * a->cbElements,
                             static_cast<unsigned char*>(c->pvData) + i * c->cbElements);
    if (FAILED(hr)) {
      SafeArrayDestroy(c);
      return hr;
    }
  }
  *copy = c;
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* a, SAFEARRAYBOUND* bound) {
  if (!a || !bound) return E_INVALIDARG;
  if (a->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  // The rightmost dimension varies slowest, so its elements form one contiguous run per value.
  std::size_t oldCount;
  elementCount(a, oldCount);
  std::size_t per = 1;
  for (USHORT i = 1; i < a->cDims; ++i) per *= a->rgsabound[i].cElements;
  if (bound->cElements != 0 &&
      per > std::numeric_limits<std::size_t>::max() / a->cbElements / bound->cElements) {
    return E_OUTOFMEMORY;
  }
  const std::size_t newCount = per * bound->cElements;
  if (newCount < oldCount) releaseElements(a, newCount, oldCount - newCount);
  void* data = std::realloc(a->pvData, (newCount ? newCount : 1) * a->cbElements);
  if (!data) return E_OUTOFMEMORY;
  if (newCount > oldCount) {
    std::memset(static_cast<unsigned char*>(data) + oldCount * a->cbElements, 0,
                (newCount - oldCount) * a->cbElements);
  }
  a->pvData = data;
  a->rgsabound[0] = *bound;
  return S_OK;
}
