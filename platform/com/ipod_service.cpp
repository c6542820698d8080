// The iPod service stand-in: one object answers both the manager's and the settings interface's
// dispatch ids, over the host's iPod state.
#include "platform/com/ipod_service.h"

#include <atomic>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/com/runtime.h"
#include "platform/host/ipod.h"

const CLSID CLSID_IPodManagerStandIn = {0x0B4F16A4, 0x5C86, 0x4F1F, {0x9C, 0x0E, 0x2F, 0x3A, 0x4D, 0x8E, 0x6B, 0x71}};
const IID IID_IiPodSettings = {0x3BE5A207, 0x40F6, 0x4F25, {0xBF, 0x37, 0x27, 0xB8, 0x98, 0x66, 0x0B, 0x67}};

namespace platform::com {

namespace {

namespace host = platform::host;

// The positional arguments in call order, as 32-bit integers.
HRESULT integerArguments(DISPPARAMS* params, std::vector<LONG>& out, UINT* argError) {
  out.clear();
  if (!params) return S_OK;
  const UINT positional = params->cArgs - params->cNamedArgs;
  for (UINT i = 0; i < positional; ++i) {
    VARIANT v;
    HRESULT hr = DispGetParam(params, i, VT_I4, &v, argError);
    if (FAILED(hr)) return hr;
    out.push_back(v.lVal);
  }
  return S_OK;
}

class IPodManager final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_IiPodSettings) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT* argError) override {
    std::vector<LONG> args;
    if (HRESULT hr = integerArguments(params, args, argError); FAILED(hr)) return hr;
    LONG putValue = 0;
    if (flags & DISPATCH_PROPERTYPUT) {
      // The value comes as the named DISPID_PROPERTYPUT argument.
      if (!params || params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
          params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        return DISP_E_PARAMNOTFOUND;
      VARIANT v;
      VariantInit(&v);
      if (FAILED(VariantChangeType(&v, &params->rgvarg[0], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
      putValue = v.lVal;
    }
    std::string call = std::to_string(id) + (flags & DISPATCH_PROPERTYPUT ? " put" : flags & DISPATCH_PROPERTYGET ? " get" : " method");
    for (LONG a : args) call += " " + std::to_string(a);
    if (flags & DISPATCH_PROPERTYPUT) call += " = " + std::to_string(putValue);
    HRESULT hr = answer(id, flags, args, putValue, result);
    if (SUCCEEDED(hr)) host::recordIPodServiceCall(call);
    return hr;
  }

 private:
  static void setInteger(VARIANT* result, LONG value) {
    if (!result) return;
    VariantInit(result);
    result->vt = VT_I4;
    result->lVal = value;
  }

  HRESULT answer(DISPID id, WORD flags, const std::vector<LONG>& args, LONG putValue, VARIANT* result) {
    const bool method = flags & DISPATCH_METHOD;
    auto device = [&]() { return host::iPodAt(args.size() > 1 ? static_cast<int>(args[1]) : 0); };
    switch (id) {
      case 6:
      case 7:
        if (!method) return DISP_E_MEMBERNOTFOUND;
        return args.size() == 1 ? S_OK : DISP_E_BADPARAMCOUNT;
      case 15: {
        if (!method) return DISP_E_MEMBERNOTFOUND;
        if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
        setInteger(result, host::connectedIPods().empty() ? 0 : 1);
        return S_OK;
      }
      case 17:
      case 18:
      case 19: {
        if (!method) return DISP_E_MEMBERNOTFOUND;
        if (args.size() != 2) return DISP_E_BADPARAMCOUNT;
        auto ipod = device();
        if (!ipod) return DISP_E_BADINDEX;
        if (id == 19) {
          setInteger(result, ipod->mounted ? 1 : 0);
          return S_OK;
        }
        try {
          host::setIPodMounted(ipod->serial, id == 17);
        } catch (const std::exception&) {
          return E_FAIL;
        }
        return S_OK;
      }
      case 2:
      case 4: {
        const bool put = id == 4;
        if (!(flags & (put ? DISPATCH_PROPERTYPUT : DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
        if (args.size() != 2) return DISP_E_BADPARAMCOUNT;
        auto ipod = device();
        if (!ipod) return DISP_E_BADINDEX;
        if (put) return host::setIPodDiskUse(ipod->serial, static_cast<DWORD>(putValue)) ? S_OK : DISP_E_BADINDEX;
        setInteger(result, static_cast<LONG>(ipod->diskUse));
        return S_OK;
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  std::atomic<ULONG> refs_{1};
};

HRESULT createIPodManager(REFIID riid, void** object) {
  if (object) *object = nullptr;
  // The service runs only where it is installed.
  if (!host::iPodServiceInstalled()) return CO_E_SERVER_EXEC_FAILURE;
  auto* manager = new IPodManager;
  HRESULT hr = manager->QueryInterface(riid, object);
  manager->Release();
  return hr;
}

const RegisterClass iPodManagerClass{CLSID_IPodManagerStandIn, kIPodManagerProgId, &createIPodManager,
                                     CLSCTX_LOCAL_SERVER};

}  // namespace

}  // namespace platform::com
