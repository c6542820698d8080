// Fennock's iPod exports over the iPod maker's local service, by late binding: a manager object
// and a settings object, created on first use and kept for the life of the process, called by
// dispatch id with 32-bit integer arguments. The first argument of every call is 4.
#include <initializer_list>
#include <vector>

#include "fennock/fennock_internal.h"
#include "platform/com/dispatch.h"
#include "platform/com/runtime.h"
#include "platform/win32/locale.h"

namespace {

constexpr const char16_t* kManagerProgId = u"IPodService.iPodManager.1";
// The service's settings interface.
const IID kSettingsInterface = {0x3BE5A207, 0x40F6, 0x4F25, {0xBF, 0x37, 0x27, 0xB8, 0x98, 0x66, 0x0B, 0x67}};
constexpr LONG kSessionKind = 4;
constexpr int kNoIPod = -1;

enum : DISPID {
  kOpenSession = 6,
  kCloseSession = 7,
  kFirstIPod = 15,
  kIsMounted = 19,
  kMount = 17,
  kUnmount = 18,
  kDiskUse = 2,
  kSetDiskUse = 4,
};

// Cached for the life of the process and never released, as the setup program expects.
IDispatch* g_manager = nullptr;
IDispatch* g_settings = nullptr;

IDispatch* createObject(REFIID wanted) {
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(kManagerProgId, &clsid))) return nullptr;
  IUnknown* unknown = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, reinterpret_cast<void**>(&unknown))) ||
      !unknown)
    return nullptr;
  IDispatch* object = nullptr;
  if (FAILED(unknown->QueryInterface(wanted, reinterpret_cast<void**>(&object)))) object = nullptr;
  unknown->Release();
  return object;
}

// Tried again on every call while an object is missing (the service may be installed meanwhile).
void createObjects() {
  if (!g_manager) g_manager = createObject(IID_IDispatch);
  if (g_manager && !g_settings) g_settings = createObject(kSettingsInterface);
}

// One call: the arguments in reverse order as the dispatch convention wants, a property put's
// value under DISPID_PROPERTYPUT; the result as a 32-bit integer, 0 when there is none or it does
// not convert. With no object nothing is called.
LONG invoke(IDispatch* object, DISPID id, WORD kind, std::initializer_list<LONG> arguments) {
  if (!object) return 0;
  std::vector<VARIANT> reversed(arguments.size());
  std::size_t i = arguments.size();
  for (LONG a : arguments) {
    VARIANT& v = reversed[--i];
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = a;
  }
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  VariantInit(&result);
  UINT argError = 0;
  if (FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, &result, nullptr, &argError))) return 0;
  VARIANT converted;
  VariantInit(&converted);
  LONG value = 0;
  if (SUCCEEDED(VariantChangeType(&converted, &result, 0, VT_I4))) value = converted.lVal;
  VariantClear(&converted);
  VariantClear(&result);
  return value;
}

// The start of every export: the session call, then the first iPod's index; false without a service.
bool begin(LONG& device) {
  createObjects();
  if (!g_manager) return false;
  invoke(g_manager, kOpenSession, DISPATCH_METHOD, {kSessionKind});
  device = invoke(g_manager, kFirstIPod, DISPATCH_METHOD, {kSessionKind});
  return true;
}

void end() { invoke(g_manager, kCloseSession, DISPATCH_METHOD, {kSessionKind}); }

}  // namespace

int Fennock_iPodFindFirstIpod(HWND, ULONG_PTR, const char*) {
  LONG device = 0;
  if (!begin(device)) return kFennockNoIPodService;
  return static_cast<int>(device);
}

int Fennock_iPodIsMounted(HWND, ULONG_PTR, const char*) {
  LONG device = 0;
  if (!begin(device)) return kFennockNoIPodService;
  if (device < 1) return 0;
  return invoke(g_manager, kIsMounted, DISPATCH_METHOD, {kSessionKind, device}) != 0 ? 1 : 0;
}

int Fennock_iPodMount(HWND, ULONG_PTR mountFlag, const char*) {
  LONG device = 0;
  if (!begin(device)) return kFennockNoIPodService;
  if (device < 1) return kNoIPod;
  const bool mounted = invoke(g_manager, kIsMounted, DISPATCH_METHOD, {kSessionKind, device}) != 0;
  int changed = 0;
  if (mountFlag && !mounted) {
    invoke(g_manager, kMount, DISPATCH_METHOD, {kSessionKind, device});
    changed = 1;
  } else if (!mountFlag && mounted) {
    invoke(g_manager, kUnmount, DISPATCH_METHOD, {kSessionKind, device});
    changed = 1;
  }
  end();
  return changed;
}

// Without the settings object the setting can be neither read nor written: the "no iPod" answer,
// never a success (and not the missing service's -999: the manager answered).
int Fennock_iPodGetDiskUse(HWND, ULONG_PTR, const char*) {
  LONG device = 0;
  if (!begin(device)) return kFennockNoIPodService;
  int result = kNoIPod;
  if (device >= 1 && g_settings)
    result = static_cast<int>(invoke(g_settings, kDiskUse, DISPATCH_PROPERTYGET, {kSessionKind, device}));
  end();
  return result;
}

int Fennock_iPodEnableDiskUse(HWND, ULONG_PTR value, const char*) {
  LONG device = 0;
  if (!begin(device)) return kFennockNoIPodService;
  int result = kNoIPod;
  if (device >= 1 && g_settings) {
    invoke(g_settings, kSetDiskUse, DISPATCH_PROPERTYPUT, {kSessionKind, device, static_cast<LONG>(value)});
    result = 1;
  }
  end();
  return result;
}
