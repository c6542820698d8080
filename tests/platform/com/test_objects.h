// A tiny automation object for the COM tests: an IDispatch with a default property "Value"
// (VT_I4), a method "Add"(a, b) and a method "Fail" that raises an exception, whose reference
// count and lifetime the tests can watch.
#pragma once

#include <atomic>
#include <string>

#include "platform/base/text.h"
#include "platform/com/com.h"

namespace comtest {

// {6A1C3B9E-52D4-4F0A-9C1E-7B2D8E4F6A01}
DEFINE_GUID(IID_ICounter, 0x6A1C3B9E, 0x52D4, 0x4F0A, 0x9C, 0x1E, 0x7B, 0x2D, 0x8E, 0x4F, 0x6A, 0x01);

constexpr DISPID kDispAdd = 1;
constexpr DISPID kDispFail = 2;

class Counter final : public IDispatch {
 public:
  explicit Counter(bool* destroyed = nullptr) : destroyed_(destroyed) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ICounter) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) {
      if (destroyed_) *destroyed_ = true;
      delete this;
    }
    return left;
  }
  ULONG refs() const { return refs_; }
  LONG value = 0;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      const std::u16string_view name = platform::text::view(names[i]);
      if (platform::text::equalNoCase(name, u"Value")) ids[i] = DISPID_VALUE;
      else if (platform::text::equalNoCase(name, u"Add")) ids[i] = kDispAdd;
      else if (platform::text::equalNoCase(name, u"Fail")) ids[i] = kDispFail;
      else {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
      }
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override {
    switch (id) {
      case DISPID_VALUE:
        if (flags & DISPATCH_PROPERTYGET) {
          if (!result) return E_INVALIDARG;
          VariantInit(result);
          result->vt = VT_I4;
          result->lVal = value;
          return S_OK;
        }
        if (flags & DISPATCH_PROPERTYPUT) {
          if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            return DISP_E_PARAMNOTFOUND;
          }
          VARIANT v;
          HRESULT hr = DispGetParam(params, DISPID_PROPERTYPUT, VT_I4, &v, argError);
          if (FAILED(hr)) return hr;
          value = v.lVal;
          return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
      case kDispAdd: {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
        VARIANT a, b;
        HRESULT hr = DispGetParam(params, 0, VT_I4, &a, argError);
        if (FAILED(hr)) return hr;
        hr = DispGetParam(params, 1, VT_I4, &b, argError);
        if (FAILED(hr)) return hr;
        if (result) {
          VariantInit(result);
          result->vt = VT_I4;
          result->lVal = a.lVal + b.lVal;
        }
        return S_OK;
      }
      case kDispFail:
        if (exception) {
          *exception = EXCEPINFO{};
          exception->scode = E_ACCESSDENIED;
          exception->bstrDescription = SysAllocString(u"refused");
        }
        return DISP_E_EXCEPTION;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  std::atomic<ULONG> refs_{1};
  bool* destroyed_;
};

}  // namespace comtest
