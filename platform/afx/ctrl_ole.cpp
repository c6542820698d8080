// The ActiveX control wrappers: each call asks the control for its automation interface and
// throws COleException when the window holds no such control or the control refuses.
#include "platform/afx/ctrl_ole.h"

#include "platform/base/format.h"
#include "platform/com/bstr.h"
#include "platform/com/controls.h"

IMPLEMENT_DYNAMIC(COleException, CException)

CString COleException::message() const {
  return CString(platform::fmt::format(u"The ActiveX control call failed (0x%08X).", static_cast<unsigned>(m_sc)).c_str());
}

void AFXAPI AfxThrowOleException(SCODE sc) { throw new COleException(sc); }

namespace {

template <class I>
platform::com::Ptr<I> controlAs(CWnd& w) {
  platform::com::Ptr<I> p;
  IUnknown* unknown = w.GetControlUnknown();
  if (!unknown) AfxThrowOleException(E_NOINTERFACE);
  HRESULT hr = unknown->QueryInterface(platform::com::iidOf<I>(), p.putVoid());
  if (FAILED(hr)) AfxThrowOleException(hr);
  return p;
}

void check(HRESULT hr) {
  if (FAILED(hr)) AfxThrowOleException(hr);
}

CString takeText(BSTR b) {
  CString s(b ? b : u"", b ? static_cast<int>(SysStringLen(b)) : 0);
  SysFreeString(b);
  return s;
}

}  // namespace

void CWebBrowser2::Navigate(LPCWSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                            VARIANT* Headers) {
  auto browser = controlAs<IWebBrowser2>(*this);
  BSTR url = SysAllocString(URL ? URL : u"");
  HRESULT hr = browser->Navigate(url, Flags, TargetFrameName, PostData, Headers);
  SysFreeString(url);
  check(hr);
}

CString CWebBrowser2::GetLocationURL() {
  BSTR url = nullptr;
  check(controlAs<IWebBrowser2>(*this)->get_LocationURL(&url));
  return takeText(url);
}

void CWebBrowser2::SetRegisterAsDropTarget(BOOL bNewValue) {
  check(controlAs<IWebBrowser2>(*this)->put_RegisterAsDropTarget(bNewValue ? VARIANT_TRUE : VARIANT_FALSE));
}

BOOL CWebBrowser2::GetRegisterAsDropTarget() {
  VARIANT_BOOL on = VARIANT_FALSE;
  check(controlAs<IWebBrowser2>(*this)->get_RegisterAsDropTarget(&on));
  return on != VARIANT_FALSE;
}

LPDISPATCH CWebBrowser2::GetDocument() {
  IDispatch* document = nullptr;
  check(controlAs<IWebBrowser2>(*this)->get_Document(&document));
  return document;
}

void CShockwaveFlash::SetMovie(LPCWSTR lpszNewValue) {
  auto flash = controlAs<IShockwaveFlash>(*this);
  BSTR movie = SysAllocString(lpszNewValue ? lpszNewValue : u"");
  HRESULT hr = flash->put_Movie(movie);
  SysFreeString(movie);
  check(hr);
}

CString CShockwaveFlash::GetMovie() {
  BSTR movie = nullptr;
  check(controlAs<IShockwaveFlash>(*this)->get_Movie(&movie));
  return takeText(movie);
}
