// The control container: control sites (client site, in-place site, ambient properties), the
// sink that takes a control's events to its container's event sink map, and the CWnd calls
// over them. Sites belong to the thread that made their container window, as the window does.
#include "platform/afx/occ.h"

#include <atomic>
#include <map>
#include <vector>

#include "platform/afx/ole.h"
#include "platform/afx/wnd.h"
#include "platform/base/text.h"
#include "platform/com/controls.h"
#include "platform/com/runtime.h"
#include "platform/win32/error.h"
#include "platform/win32/locale.h"

namespace platform::afx {
namespace {

using com::Ptr;

class ControlSite;

// Takes the control's events (IDispatch::Invoke) to the site while the site is there.
class EventSink final : public com::SingleInterface<IDispatch> {
 public:
  explicit EventSink(ControlSite* site) : site_(site) {}
  void detach() { site_ = nullptr; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override;

 private:
  ControlSite* site_;
};

class ControlSite final : public IOleClientSite, public IOleInPlaceSite, public IDispatch {
 public:
  ControlSite(HWND container, UINT id) : container_(container), id_(id) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    void* p = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) p = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleInPlaceSite) p = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IDispatch) p = static_cast<IDispatch*>(this);
    *object = p;
    if (!p) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = container_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) override {
    if (!position) return E_INVALIDARG;
    if (Ptr<IOleInPlaceObject> inPlace; control_ && SUCCEEDED(control_.as(inPlace)))
      inPlace->SetObjectRects(position, position);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }

  // IDispatch: the ambient properties.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (!result) return E_POINTER;
    VariantInit(result);
    switch (id) {
      case DISPID_AMBIENT_USERMODE:
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_TRUE;  // the program runs; nobody designs its dialogs here
        return S_OK;
      case DISPID_AMBIENT_UIDEAD:
      case DISPID_AMBIENT_SHOWGRABHANDLES:
      case DISPID_AMBIENT_SHOWHATCHING:
      case DISPID_AMBIENT_DISPLAYASDEFAULT:
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_FALSE;
        return S_OK;
      case DISPID_AMBIENT_LOCALEID:
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(GetUserDefaultLCID());
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  // Makes the control and puts it in place; the control's window or null.
  HWND create(REFCLSID clsid, const RECT& rect, DWORD style, const BYTE* state, std::size_t size, bool hasState,
              HRESULT& hr) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control_.putVoid());
    if (FAILED(hr)) return nullptr;
    hr = control_.as(object_);
    if (FAILED(hr)) return nullptr;
    if (Ptr<IPersistStreamInit> persist; SUCCEEDED(control_.as(persist))) {
      if (hasState) {
        Ptr<IStream> stream;
        hr = com::createMemoryStream(std::string(reinterpret_cast<const char*>(state), size), false, nullptr,
                                     stream.put());
        if (SUCCEEDED(hr)) hr = persist->Load(stream.get());
      } else {
        hr = persist->InitNew();
      }
      if (FAILED(hr)) return nullptr;
    }
    hr = object_->SetClientSite(this);
    if (FAILED(hr)) return nullptr;
    connectEvents();
    hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, container_, &rect);
    if (FAILED(hr)) return nullptr;
    Ptr<IOleInPlaceObject> inPlace;
    HWND window = nullptr;
    if (FAILED(control_.as(inPlace)) || FAILED(inPlace->GetWindow(&window)) || !window) {
      hr = E_FAIL;
      return nullptr;
    }
    window_ = window;
    SetWindowLongPtrW(window, GWLP_ID, static_cast<LONG_PTR>(id_));
    constexpr DWORD kTaken = WS_VISIBLE | WS_DISABLED | WS_TABSTOP | WS_GROUP;
    const DWORD now = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    SetWindowLongW(window, GWL_STYLE, static_cast<LONG>((now & ~kTaken) | (style & kTaken)));
    if (!(style & WS_VISIBLE)) ShowWindow(window, SW_HIDE);
    if (style & WS_DISABLED) EnableWindow(window, FALSE);
    return window;
  }

  // Lets the control go: events off, window gone, site released.
  void close() {
    if (point_) point_->Unadvise(cookie_);
    point_.reset();
    if (sink_) sink_->detach();
    sink_.reset();
    if (object_) object_->Close(OLECLOSE_NOSAVE);
    object_.reset();
    control_.reset();
    window_ = nullptr;
  }

  HRESULT fire(DISPID id, DISPPARAMS* params) {
    CWnd* container = CWnd::FromHandlePermanent(container_);
    if (!container) return DISP_E_MEMBERNOTFOUND;
    return dispatchEvent(container, id_, id, params);
  }

  HWND window() const { return window_; }
  IUnknown* control() const { return control_.get(); }

 private:
  ~ControlSite() = default;

  void connectEvents() {
    Ptr<IProvideClassInfo2> info;
    Ptr<IConnectionPointContainer> points;
    GUID events{};
    if (FAILED(control_.as(info)) || FAILED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events))) return;
    if (FAILED(control_.as(points)) || FAILED(points->FindConnectionPoint(events, point_.put()))) return;
    sink_.attach(new EventSink(this));
    if (FAILED(point_->Advise(sink_.get(), &cookie_))) {
      point_.reset();
      sink_.reset();
    }
  }

  std::atomic<ULONG> refs_{1};
  HWND container_;
  UINT id_;
  HWND window_ = nullptr;
  Ptr<IUnknown> control_;
  Ptr<IOleObject> object_;
  Ptr<IConnectionPoint> point_;
  Ptr<EventSink> sink_;
  DWORD cookie_ = 0;
};

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  if (!site_) return E_UNEXPECTED;
  return site_->fire(id, params);
}

// The sites of each container window of this thread, in creation order.
thread_local std::map<HWND, std::vector<Ptr<ControlSite>>> t_sites;

}  // namespace

HRESULT dispatchEvent(CWnd* container, UINT controlId, DISPID dispid, DISPPARAMS* params) {
  for (const AFX_EVENTSINKMAP* map = container->GetEventSinkMap(); map;
       map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_EVENTSINKMAP_ENTRY* e = map->lpEntries; e && e->pfn; ++e) {
      if (e->nCtrlID != controlId || e->dispid != dispid) continue;
      BOOL handled = FALSE;
      HRESULT hr = e->pfn(container, params, handled);
      if (FAILED(hr) || handled) return hr;
    }
  }
  return DISP_E_MEMBERNOTFOUND;
}

HWND createControlInSite(HWND container, REFCLSID clsid, const RECT& rect, UINT id, DWORD style, const BYTE* state,
                         std::size_t stateSize, bool hasState, HRESULT& hr) {
  if (!controlContainerEnabled()) {
    hr = E_FAIL;
    TRACE(u"ActiveX control %s not created: the control container is not enabled\n", com::formatGuid(clsid).c_str());
    return nullptr;
  }
  if (!IsWindow(container)) {
    hr = E_INVALIDARG;
    return nullptr;
  }
  Ptr<ControlSite> site;
  site.attach(new ControlSite(container, id));
  HWND window = site->create(clsid, rect, style, state, stateSize, hasState, hr);
  if (!window) {
    site->close();
    TRACE(u"ActiveX control %s (id %u) not created: 0x%08X\n", com::formatGuid(clsid).c_str(), id,
          static_cast<unsigned>(hr));
    return nullptr;
  }
  t_sites[container].push_back(site);
  return window;
}

IUnknown* controlUnknownOf(HWND control) {
  if (!control) return nullptr;
  for (auto& [container, sites] : t_sites)
    for (auto& site : sites)
      if (site->window() == control) return site->control();
  return nullptr;
}

void destroyControlSites(HWND container) {
  auto it = t_sites.find(container);
  if (it == t_sites.end()) return;
  std::vector<Ptr<ControlSite>> sites = std::move(it->second);
  t_sites.erase(it);
  for (auto& site : sites) site->close();
}

}  // namespace platform::afx

// ---- CWnd's part ----

const AFX_EVENTSINKMAP* PASCAL CWnd::GetThisEventSinkMap() {
  static const AFX_EVENTSINKMAP_ENTRY none[] = {{0, 0, nullptr}};
  static const AFX_EVENTSINKMAP map = {nullptr, &none[0]};
  return &map;
}

const AFX_EVENTSINKMAP* CWnd::GetEventSinkMap() const { return GetThisEventSinkMap(); }

IUnknown* CWnd::GetControlUnknown() { return platform::afx::controlUnknownOf(m_hWnd); }

BOOL CWnd::CreateControl(REFCLSID clsid, LPCWSTR pszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                         UINT nID) {
  if (m_hWnd || !pParentWnd || !pParentWnd->m_hWnd) return FALSE;
  HRESULT hr = S_OK;
  HWND h = platform::afx::createControlInSite(pParentWnd->m_hWnd, clsid, rect, nID, dwStyle, nullptr, 0, false, hr);
  if (!h) return FALSE;
  if (pszWindowName && *pszWindowName) ::SetWindowTextW(h, pszWindowName);
  return SubclassWindow(h);
}

BOOL CWnd::CreateControl(LPCWSTR pszClass, LPCWSTR pszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                         UINT nID) {
  if (!pszClass) return FALSE;
  CLSID clsid{};
  if (!platform::com::parseGuid(platform::text::view(pszClass), clsid) && FAILED(CLSIDFromProgID(pszClass, &clsid)))
    return FALSE;
  return CreateControl(clsid, pszWindowName, dwStyle, rect, pParentWnd, nID);
}
