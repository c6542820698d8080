// Inside the stand-in's ActiveX controls: the plumbing every control shares (client site, in-place
// window, connection point for its events, loading from a stream, the host's record of it), so
// that each control only says what it shows. A control class derives from its automation
// interface and from ControlCore, and forwards its IUnknown and IDispatch name lookup here.
// Not for product code.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/com/controls.h"
#include "platform/host/ole_controls.h"

namespace platform::com {

class ControlCore : public IOleObject,
                    public IOleInPlaceObject,
                    public IProvideClassInfo2,
                    public IConnectionPointContainer,
                    public IConnectionPoint,
                    public IPersistStreamInit {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;
  // The core's interfaces; the control answers its own first.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, HWND parent, LPCRECT position) override;
  HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;

  // IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;

  // IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer, IConnectionPoint (the one events interface)
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;

  // IPersistStreamInit
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }

 protected:
  ControlCore() = default;
  virtual ~ControlCore();

  virtual const CLSID& classId() const = 0;
  virtual const IID& eventsId() const = 0;
  virtual const char16_t* windowClass() const = 0;
  // The automation interface (the object's identity).
  virtual IDispatch* automation() = 0;
  // A name of the saved state and its value.
  virtual void loadProperty(std::u16string_view name, std::u16string_view value) = 0;
  // The control's window was just made.
  virtual void onWindow() {}
  // The control's own window messages; true when handled (result set).
  virtual bool onMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
  // Automation members: name -> dispatch id, for GetIDsOfNames.
  virtual const std::map<std::u16string, DISPID>& members() const = 0;
  HRESULT idsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;

  // Calls every sink's Invoke with the arguments, in reverse order as DISPPARAMS holds them.
  void fire(DISPID id, std::vector<VARIANTARG>& reversedArgs);
  HWND window() const { return window_; }
  // Records the class id and what the control shows in the host's record of control windows.
  void publish(host::ControlState state);

 private:
  static LRESULT CALLBACK windowProc(HWND h, UINT msg, WPARAM w, LPARAM l);

  std::atomic<ULONG> refs_{1};
  IOleClientSite* site_ = nullptr;  // held while set
  HWND window_ = nullptr;
  std::map<DWORD, IDispatch*> sinks_;  // held
  DWORD nextCookie_ = 1;
};

// A control's automation interface over the core: the interface answers QueryInterface first,
// then the core's; no type information; member names from the control's table.
template <class Interface>
class ControlObject : public Interface, public ControlCore {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object && riid == iidOf<Interface>()) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    return ControlCore::QueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ControlCore::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return ControlCore::Release(); }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return idsOfNames(names, count, ids);
  }
};

// Puts a VARIANT's text (a BSTR, or anything that converts) into out; false when it does not.
bool variantText(const VARIANT* v, std::u16string& out);

}  // namespace platform::com
