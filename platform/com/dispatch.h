// IDispatch: late-bound calls by dispatch id with arguments in a DISPPARAMS (in reverse order,
// named arguments first), as automation clients and servers of the product use it.
#pragma once

#include "platform/com/unknown.h"
#include "platform/com/variant.h"

struct ITypeInfo;  // Type information is not provided: GetTypeInfoCount answers 0.

#define DISPID_VALUE 0
#define DISPID_UNKNOWN (-1)
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)
#define DISPID_EVALUATE (-5)
#define DISPID_CONSTRUCTOR (-6)
#define DISPID_DESTRUCTOR (-7)
#define DISPID_COLLECT (-8)

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};
using LPEXCEPINFO = EXCEPINFO*;

struct IDispatch : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                                  DISPID* ids) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                           VARIANT* result, EXCEPINFO* exception, UINT* argError) = 0;

 protected:
  ~IDispatch() = default;
};
using LPDISPATCH = IDispatch*;

KIPO_COM_INTERFACE(IDispatch, IID_IDispatch)

// Argument `position` (0 = first in the call's order) of params, named by that number or taken
// from the positional ones, converted to vt into result (which the caller then owns).
// DISP_E_PARAMNOTFOUND when absent; DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW, with *argError set
// to the argument's index in rgvarg, when it does not convert.
HRESULT DispGetParam(DISPPARAMS* params, UINT position, VARTYPE vt, VARIANT* result, UINT* argError);
