// The plumbing the stand-in's ActiveX controls share (control_base.h), the memory stream they load
// from, and the Flash player control, which only records its movie.
#include "platform/com/control_base.h"

#include <mutex>

#include "platform/base/text.h"
#include "platform/com/bstr.h"
#include "platform/com/runtime.h"
#include "platform/win32/error.h"
#include "platform/win32/message.h"
#include "platform/win32/window.h"

namespace platform::com {

// ---- The core ----

ULONG ControlCore::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

ControlCore::~ControlCore() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    host::forgetControl(window_);
    DestroyWindow(window_);
  }
  for (auto& [cookie, sink] : sinks_) sink->Release();
  if (site_) site_->Release();
}

HRESULT ControlCore::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  void* p = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch) p = automation();
  else if (riid == IID_IOleObject) p = static_cast<IOleObject*>(this);
  else if (riid == IID_IOleInPlaceObject) p = static_cast<IOleInPlaceObject*>(this);
  else if (riid == IID_IProvideClassInfo2) p = static_cast<IProvideClassInfo2*>(this);
  else if (riid == IID_IConnectionPointContainer) p = static_cast<IConnectionPointContainer*>(this);
  else if (riid == IID_IConnectionPoint) p = static_cast<IConnectionPoint*>(this);
  else if (riid == IID_IPersistStreamInit || riid == IID_IPersist) p = static_cast<IPersistStreamInit*>(this);
  *object = p;
  if (!p) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

HRESULT ControlCore::SetClientSite(IOleClientSite* site) {
  if (site) site->AddRef();
  if (site_) site_->Release();
  site_ = site;
  return S_OK;
}

HRESULT ControlCore::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_;
  if (site_) site_->AddRef();
  return S_OK;
}

LRESULT CALLBACK ControlCore::windowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<ControlCore*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (self) {
    if (msg == WM_DESTROY) {
      // The container's window is going and takes the control's with it.
      host::forgetControl(h);
      self->window_ = nullptr;
      SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    } else {
      LRESULT result = 0;
      if (self->onMessage(msg, w, l, result)) return result;
    }
  }
  return DefWindowProcW(h, msg, w, l);
}

HRESULT ControlCore::DoVerb(LONG verb, HWND parent, LPCRECT position) {
  if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_SHOW && verb != OLEIVERB_UIACTIVATE &&
      verb != OLEIVERB_PRIMARY)
    return E_NOTIMPL;
  if (window_) return S_OK;
  if (!site_) return E_UNEXPECTED;
  Ptr<IOleInPlaceSite> inPlace;
  HWND container = nullptr;
  if (FAILED(site_->QueryInterface(IID_IOleInPlaceSite, inPlace.putVoid())) || FAILED(inPlace->GetWindow(&container)))
    container = parent;
  if (!container || !position) return E_INVALIDARG;
  if (inPlace && inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
  WNDCLASSW wc{};
  wc.lpfnWndProc = &windowProc;
  wc.lpszClassName = windowClass();
  if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return HRESULT_FROM_WIN32(GetLastError());
  HWND h = CreateWindowExW(0, windowClass(), u"", WS_CHILD | WS_VISIBLE, position->left, position->top,
                           position->right - position->left, position->bottom - position->top, container, nullptr,
                           nullptr, nullptr);
  if (!h) return HRESULT_FROM_WIN32(GetLastError());
  window_ = h;
  SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (inPlace) inPlace->OnInPlaceActivate();
  onWindow();
  return S_OK;
}

HRESULT ControlCore::Close(DWORD) {
  InPlaceDeactivate();
  SetClientSite(nullptr);
  return S_OK;
}

HRESULT ControlCore::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = window_;
  return window_ ? S_OK : E_FAIL;
}

HRESULT ControlCore::SetObjectRects(LPCRECT position, LPCRECT) {
  if (!position) return E_INVALIDARG;
  if (window_)
    MoveWindow(window_, position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
  return S_OK;
}

HRESULT ControlCore::InPlaceDeactivate() {
  if (!window_) return S_OK;
  HWND h = window_;
  window_ = nullptr;
  SetWindowLongPtrW(h, GWLP_USERDATA, 0);
  host::forgetControl(h);
  DestroyWindow(h);
  Ptr<IOleInPlaceSite> inPlace;
  if (site_ && SUCCEEDED(site_->QueryInterface(IID_IOleInPlaceSite, inPlace.putVoid()))) inPlace->OnInPlaceDeactivate();
  return S_OK;
}

HRESULT ControlCore::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = eventsId();
  return S_OK;
}

HRESULT ControlCore::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (riid != eventsId()) return CONNECT_E_NOCONNECTION;
  *point = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

HRESULT ControlCore::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  IDispatch* d = nullptr;
  if (FAILED(sink->QueryInterface(eventsId(), reinterpret_cast<void**>(&d))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))))
    return CONNECT_E_CANNOTCONNECT;
  *cookie = nextCookie_++;
  sinks_[*cookie] = d;
  return S_OK;
}

HRESULT ControlCore::Unadvise(DWORD cookie) {
  auto it = sinks_.find(cookie);
  if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
  IDispatch* d = it->second;
  sinks_.erase(it);
  d->Release();
  return S_OK;
}

HRESULT ControlCore::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = classId();
  return S_OK;
}

HRESULT ControlCore::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  constexpr ULONG kMaxState = 64 * 1024;  // a saved state is a few lines
  std::string bytes;
  char buffer[4096];
  for (;;) {
    ULONG got = 0;
    HRESULT hr = stream->Read(buffer, sizeof buffer, &got);
    if (FAILED(hr)) return hr;
    if (got > sizeof buffer) return E_UNEXPECTED;
    bytes.append(buffer, got);
    if (bytes.size() > kMaxState) return E_INVALIDARG;
    if (hr == S_FALSE || got == 0) break;
  }
  const std::u16string textForm = text::fromUtf8(bytes);
  std::u16string_view rest = textForm;
  while (!rest.empty()) {
    const std::size_t end = rest.find(u'\n');
    std::u16string_view line = rest.substr(0, end);
    rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    const std::size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos || eq == 0) continue;
    loadProperty(line.substr(0, eq), line.substr(eq + 1));
  }
  return S_OK;
}

HRESULT ControlCore::idsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (!names[i]) {
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    bool found = false;
    if (i == 0)
      for (const auto& [name, id] : members())
        if (text::equalNoCase(name, text::view(names[i]))) {
          ids[i] = id;
          found = true;
        }
    if (!found) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

void ControlCore::fire(DISPID id, std::vector<VARIANTARG>& reversedArgs) {
  // A handler may unadvise while it runs: call a copy of the sinks, each held for the call.
  std::vector<Ptr<IDispatch>> sinks;
  for (auto& [cookie, sink] : sinks_) sinks.emplace_back(sink);
  Ptr<IDispatch> self(automation());  // a handler may drop the container's reference
  for (auto& sink : sinks) {
    DISPPARAMS params{reversedArgs.data(), nullptr, static_cast<UINT>(reversedArgs.size()), 0};
    sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }
}

void ControlCore::publish(host::ControlState state) {
  if (!window_) return;
  state.clsid = formatGuid(classId());
  host::recordControlState(window_, state);
}

bool variantText(const VARIANT* v, std::u16string& out) {
  if (!v) return false;
  VARIANT t;
  VariantInit(&t);
  if (FAILED(VariantChangeType(&t, const_cast<VARIANT*>(v), 0, VT_BSTR))) return false;
  out = t.bstrVal ? std::u16string(t.bstrVal, SysStringLen(t.bstrVal)) : std::u16string();
  VariantClear(&t);
  return true;
}

// ---- The Flash player ----

namespace {

class FlashPlayer final : public ControlObject<IShockwaveFlash> {
 public:
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT* argError) override {
    if (id != DISPID_FLASH_MOVIE) return DISP_E_MEMBERNOTFOUND;
    if (flags & DISPATCH_PROPERTYGET) {
      if (!result) return E_POINTER;
      VariantInit(result);
      result->vt = VT_BSTR;
      return get_Movie(&result->bstrVal);
    }
    if (flags & DISPATCH_PROPERTYPUT) {
      if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      VARIANT v;
      HRESULT hr = DispGetParam(params, DISPID_PROPERTYPUT, VT_BSTR, &v, argError);
      if (hr == DISP_E_PARAMNOTFOUND) hr = DispGetParam(params, 0, VT_BSTR, &v, argError);
      if (FAILED(hr)) return hr;
      hr = put_Movie(v.bstrVal);
      VariantClear(&v);
      return hr;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  HRESULT STDMETHODCALLTYPE get_Movie(BSTR* movie) override {
    if (!movie) return E_POINTER;
    *movie = SysAllocStringLen(movie_.data(), static_cast<UINT>(movie_.size()));
    return *movie ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE put_Movie(BSTR movie) override {
    movie_ = movie ? std::u16string(movie, SysStringLen(movie)) : std::u16string();
    show();
    return S_OK;
  }

 protected:
  const CLSID& classId() const override { return CLSID_ShockwaveFlash; }
  const IID& eventsId() const override { return DIID_ShockwaveFlashEvents; }
  const char16_t* windowClass() const override { return u"ShockwaveFlashPlayer"; }
  IDispatch* automation() override { return static_cast<IShockwaveFlash*>(this); }
  void loadProperty(std::u16string_view name, std::u16string_view value) override {
    if (text::equalNoCase(name, u"Movie")) movie_ = value;
  }
  void onWindow() override { show(); }
  const std::map<std::u16string, DISPID>& members() const override {
    static const std::map<std::u16string, DISPID> m{{u"Movie", DISPID_FLASH_MOVIE}};
    return m;
  }

 private:
  void show() {
    host::ControlState s;
    s.property = u"Movie";
    s.value = movie_;
    publish(std::move(s));
  }
  std::u16string movie_;
};

HRESULT createFlashPlayer(REFIID riid, void** object) {
  auto* p = new FlashPlayer();
  HRESULT hr = p->QueryInterface(riid, object);
  p->Release();
  return hr;
}

const RegisterClass flashClass{CLSID_ShockwaveFlash, u"ShockwaveFlash.ShockwaveFlash", &createFlashPlayer};

}  // namespace

}  // namespace platform::com
