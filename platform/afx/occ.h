// The framework's ActiveX control container: event sink maps, in which a window names the
// handlers of its controls' events, and the calls behind CWnd::CreateControl,
// CWnd::GetControlUnknown and dialogs whose templates hold controls by class id.
//
// Each control lives in a control site of its container window: the site is the control's
// client site and in-place site, answers the ambient properties (user mode, locale), and
// receives the control's events through IDispatch::Invoke, which it hands to the container's
// event sink map. A map entry is checked when the program is compiled: the VTS_ list must name
// the handler's parameter types, in order (BOOL and LONG are told apart by it), and the
// arguments are converted for the handler without C varargs:
//   BEGIN_EVENTSINK_MAP(CLoginPanel, CDialog)
//     ON_EVENT(CLoginPanel, IDC_BROWSER, 250, OnBeforeNavigate2,
//              VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
//   END_EVENTSINK_MAP()
// with void OnBeforeNavigate2(LPDISPATCH, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*, BOOL*).
// A BOOL* argument is the event's VARIANT_BOOL by reference: what the handler leaves in it goes
// back to the control.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/afx/cmdtarget.h"
#include "platform/com/bstr.h"
#include "platform/com/dispatch.h"

class CWnd;

namespace platform::afx::sink {
// One handler call: converts the arguments and calls; S_OK when called, DISP_E_BADPARAMCOUNT
// or DISP_E_TYPEMISMATCH (and no call) when the event's arguments do not fit. `handled` is the
// handler's BOOL answer (TRUE for a void handler).
using Thunk = HRESULT (*)(CCmdTarget* target, DISPPARAMS* params, BOOL& handled);
}  // namespace platform::afx::sink

struct AFX_EVENTSINKMAP_ENTRY {
  UINT nCtrlID;
  DISPID dispid;
  platform::afx::sink::Thunk pfn;
};

struct AFX_EVENTSINKMAP {
  const AFX_EVENTSINKMAP* (*pfnGetBaseMap)();
  const AFX_EVENTSINKMAP_ENTRY* lpEntries;
};

// Parameter types of an event, one character each (the VARTYPE, 0x40 added for by reference).
#define VTS_NONE ""
#define VTS_I2 "\x02"
#define VTS_I4 "\x03"
#define VTS_R4 "\x04"
#define VTS_R8 "\x05"
#define VTS_BSTR "\x08"
#define VTS_DISPATCH "\x09"
#define VTS_BOOL "\x0B"
#define VTS_VARIANT "\x0C"
#define VTS_UNKNOWN "\x0D"
#define VTS_PI2 "\x42"
#define VTS_PI4 "\x43"
#define VTS_PBSTR "\x48"
#define VTS_PDISPATCH "\x49"
#define VTS_PBOOL "\x4B"
#define VTS_PVARIANT "\x4C"

namespace platform::afx::sink {

// How one handler parameter type is taken from an event argument of a VTS_ code. Only the
// pairs below exist, so an ON_EVENT whose list does not fit its handler does not compile.
template <class T, char code>
struct Arg {
  static_assert(code != code, "ON_EVENT: the VTS_ code does not fit the handler's parameter type");
};

constexpr char byRef(VARTYPE vt) { return static_cast<char>(vt | 0x40); }

template <VARTYPE vt, class T, T VARIANT::*member>
struct ByValue {
  T v{};
  bool load(VARIANTARG& a) {
    if (a.vt == vt) {
      v = a.*member;
      return true;
    }
    if (a.vt == (vt | VT_BYREF) && a.byref) {
      v = *static_cast<T*>(a.byref);
      return true;
    }
    VARIANT t;
    VariantInit(&t);
    if (FAILED(VariantChangeType(&t, &a, 0, vt))) return false;
    v = t.*member;
    return true;
  }
  T value() { return v; }
  void store() {}
};

template <>
struct Arg<SHORT, VT_I2> : ByValue<VT_I2, SHORT, &VARIANT::iVal> {};
template <>
struct Arg<LONG, VT_I4> : ByValue<VT_I4, LONG, &VARIANT::lVal> {};
template <>
struct Arg<FLOAT, VT_R4> : ByValue<VT_R4, FLOAT, &VARIANT::fltVal> {};
template <>
struct Arg<DOUBLE, VT_R8> : ByValue<VT_R8, DOUBLE, &VARIANT::dblVal> {};
template <>
struct Arg<VARIANT_BOOL, VT_BOOL> : ByValue<VT_BOOL, VARIANT_BOOL, &VARIANT::boolVal> {};

// BOOL for VTS_BOOL: TRUE or FALSE.
template <>
struct Arg<BOOL, VT_BOOL> {
  BOOL v = FALSE;
  bool load(VARIANTARG& a) {
    ByValue<VT_BOOL, VARIANT_BOOL, &VARIANT::boolVal> b;
    if (!b.load(a)) return false;
    v = b.v != VARIANT_FALSE;
    return true;
  }
  BOOL value() { return v; }
  void store() {}
};

template <>
struct Arg<IDispatch*, VT_DISPATCH> {
  IDispatch* v = nullptr;
  bool load(VARIANTARG& a) {
    if (a.vt == VT_DISPATCH) v = a.pdispVal;
    else if (a.vt == (VT_DISPATCH | VT_BYREF) && a.ppdispVal) v = *a.ppdispVal;
    else if (a.vt != VT_EMPTY) return false;
    return true;
  }
  IDispatch* value() { return v; }
  void store() {}
};

template <>
struct Arg<IUnknown*, VT_UNKNOWN> {
  IUnknown* v = nullptr;
  bool load(VARIANTARG& a) {
    if (a.vt == VT_UNKNOWN || a.vt == VT_DISPATCH) v = a.punkVal;
    else if (a.vt != VT_EMPTY) return false;
    return true;
  }
  IUnknown* value() { return v; }
  void store() {}
};

// Text: the argument as a BSTR, kept for the call.
struct TextArg {
  VARIANT t{};
  bool load(VARIANTARG& a) {
    VariantInit(&t);
    return SUCCEEDED(VariantChangeType(&t, &a, 0, VT_BSTR));
  }
  void store() {}
  TextArg() = default;
  TextArg(const TextArg&) = delete;
  TextArg& operator=(const TextArg&) = delete;
  ~TextArg() { VariantClear(&t); }
};
template <>
struct Arg<LPCWSTR, VT_BSTR> : TextArg {
  LPCWSTR value() { return t.bstrVal ? t.bstrVal : u""; }
};
template <>
struct Arg<BSTR, VT_BSTR> : TextArg {
  BSTR value() { return t.bstrVal; }
};

// A VARIANT by reference: the caller's when it passed one, else the argument itself.
struct VariantArg {
  VARIANT* v = nullptr;
  bool load(VARIANTARG& a) {
    v = (a.vt == (VT_VARIANT | VT_BYREF)) ? a.pvarVal : &a;
    return v != nullptr;
  }
  void store() {}
};
template <>
struct Arg<VARIANT*, byRef(VT_VARIANT)> : VariantArg {
  VARIANT* value() { return v; }
};
template <>
struct Arg<VARIANT, VT_VARIANT> : VariantArg {
  const VARIANT& value() { return *v; }
};

// BOOL* for VTS_PBOOL: a flag the handler may set, written back to the event's VARIANT_BOOL.
template <>
struct Arg<BOOL*, byRef(VT_BOOL)> {
  VARIANT_BOOL* target = nullptr;
  BOOL v = FALSE;
  bool load(VARIANTARG& a) {
    if (a.vt == (VT_BOOL | VT_BYREF)) target = a.pboolVal;
    else if (a.vt == (VT_VARIANT | VT_BYREF) && a.pvarVal && a.pvarVal->vt == VT_BOOL) target = &a.pvarVal->boolVal;
    if (!target) return false;
    v = *target != VARIANT_FALSE;
    return true;
  }
  BOOL* value() { return &v; }
  void store() { *target = v ? VARIANT_TRUE : VARIANT_FALSE; }
};

template <class T, VARTYPE vt, T* VARIANT::*member>
struct ByReference {
  T* v = nullptr;
  bool load(VARIANTARG& a) {
    if (a.vt == (vt | VT_BYREF)) v = a.*member;
    return v != nullptr;
  }
  T* value() { return v; }
  void store() {}
};
template <>
struct Arg<VARIANT_BOOL*, byRef(VT_BOOL)> : ByReference<VARIANT_BOOL, VT_BOOL, &VARIANT::pboolVal> {};
template <>
struct Arg<LONG*, byRef(VT_I4)> : ByReference<LONG, VT_I4, &VARIANT::plVal> {};
template <>
struct Arg<BSTR*, byRef(VT_BSTR)> : ByReference<BSTR, VT_BSTR, &VARIANT::pbstrVal> {};

template <class T>
using Plain = std::remove_cv_t<std::remove_reference_t<T>>;

constexpr std::size_t vtsLength(const char* vts) {
  std::size_t n = 0;
  while (vts[n]) ++n;
  return n;
}

template <class F>
struct Handler;
template <class R, class C, class... A>
struct Handler<R (C::*)(A...)> {
  using Class = C;
  static_assert(std::is_void_v<R> || std::is_same_v<R, BOOL>, "an event handler returns void or BOOL");

  // L: a literal type whose call gives the VTS_ list.
  template <auto F, class L, std::size_t... I>
  static HRESULT call(C* self, DISPPARAMS* p, BOOL& handled, std::index_sequence<I...>) {
    handled = FALSE;
    if (!p || p->cArgs != sizeof...(A) || p->cNamedArgs != 0 || (sizeof...(A) && !p->rgvarg))
      return DISP_E_BADPARAMCOUNT;
    std::tuple<Arg<Plain<A>, L{}()[I]>...> args;
    // Arguments arrive last first.
    const bool ok = (std::get<I>(args).load(p->rgvarg[p->cArgs - 1 - I]) && ... && true);
    if (!ok) return DISP_E_TYPEMISMATCH;
    if constexpr (std::is_void_v<R>) {
      (self->*F)(std::get<I>(args).value()...);
      handled = TRUE;
    } else {
      handled = (self->*F)(std::get<I>(args).value()...);
    }
    (std::get<I>(args).store(), ...);
    return S_OK;
  }

  static constexpr std::size_t arity = sizeof...(A);
};

template <auto F, class L>
HRESULT invoke(CCmdTarget* target, DISPPARAMS* params, BOOL& handled) {
  using H = Handler<decltype(F)>;
  static_assert(vtsLength(L{}()) == H::arity, "ON_EVENT: the VTS_ list and the handler have different lengths");
  return H::template call<F, L>(static_cast<typename H::Class*>(target), params, handled,
                                std::make_index_sequence<H::arity>{});
}

// The entry's thunk for handler F and the VTS_ list that L gives.
template <auto F, class L>
constexpr Thunk thunkFor(L) {
  return &invoke<F, L>;
}

}  // namespace platform::afx::sink

#define DECLARE_EVENTSINK_MAP()                                 \
 public:                                                        \
  const AFX_EVENTSINKMAP* GetEventSinkMap() const override;     \
                                                                \
 protected:                                                     \
  static const AFX_EVENTSINKMAP* PASCAL GetThisEventSinkMap();

#define BEGIN_EVENTSINK_MAP(theClass, baseClass)                                          \
  const AFX_EVENTSINKMAP* theClass::GetEventSinkMap() const { return GetThisEventSinkMap(); } \
  const AFX_EVENTSINKMAP* PASCAL theClass::GetThisEventSinkMap() {                        \
    using TheBaseClass = baseClass;                                                       \
    static_assert(std::is_base_of_v<TheBaseClass, theClass>, "event sink map base");      \
    static const AFX_EVENTSINKMAP_ENTRY _eventEntries[] = {

#define END_EVENTSINK_MAP()                                                                 \
  {0, 0, nullptr}};                                                                         \
  static const AFX_EVENTSINKMAP eventMap = {&TheBaseClass::GetThisEventSinkMap, &_eventEntries[0]}; \
  return &eventMap;                                                                         \
  }

#define ON_EVENT(theClass, id, dispid, pfnHandler, vtsParams) \
  {static_cast<UINT>(id), static_cast<DISPID>(dispid),        \
   ::platform::afx::sink::thunkFor<&theClass::pfnHandler>([]() constexpr { return vtsParams; })},

namespace platform::afx {

// Runs the handler that container's event sink map has for (control id, dispid); S_OK when one
// ran, DISP_E_MEMBERNOTFOUND when there is none, or the thunk's refusal.
HRESULT dispatchEvent(CWnd* container, UINT controlId, DISPID dispid, DISPPARAMS* params);

// A control made in a site of the container window: created by class id (COM must be usable on
// the thread and the container enabled by AfxEnableControlContainer), loaded from `state` (bytes
// of its saved stream) or started new, placed in the container at `rect` (client coordinates)
// with control id `id` and the WS_VISIBLE/WS_DISABLED/WS_TABSTOP/WS_GROUP bits of `style`, its
// events advised to the site. The control's window, or null with the failure in `hr`.
HWND createControlInSite(HWND container, REFCLSID clsid, const RECT& rect, UINT id, DWORD style,
                         const BYTE* state, std::size_t stateSize, bool hasState, HRESULT& hr);
// The IUnknown of the control whose window this is (no reference added), else null.
IUnknown* controlUnknownOf(HWND control);
// Closes and lets go of every control sited in the window (when it is destroyed).
void destroyControlSites(HWND container);

}  // namespace platform::afx
