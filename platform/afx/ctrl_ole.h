// Wrappers of the stand-in's ActiveX controls as a program's dialogs hold them (bound with
// DDX_Control or made with CreateControl): the web browser and the Flash player. Each call goes
// to the control through its automation interface; on a window that is not such a control, or
// when the control refuses, the call throws a COleException with the failure code, as the
// class library's generated wrappers do.
#pragma once

#include "platform/afx/exception.h"
#include "platform/afx/wnd.h"

// A failed call to an ActiveX control or OLE object; m_sc is the HRESULT.
class COleException : public CException {
  DECLARE_DYNAMIC(COleException)

 public:
  explicit COleException(SCODE sc = E_FAIL) : m_sc(sc) {}
  SCODE m_sc;

 protected:
  CString message() const override;
};
[[noreturn]] void AFXAPI AfxThrowOleException(SCODE sc);

class CWebBrowser2 : public CWnd {
 public:
  // Flags, target frame, post data and headers may be null; they are not used by the stand-in.
  void Navigate(LPCWSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData, VARIANT* Headers);
  CString GetLocationURL();
  void SetRegisterAsDropTarget(BOOL bNewValue);
  BOOL GetRegisterAsDropTarget();
  // The page's document (the caller releases it), or null when no page is shown.
  LPDISPATCH GetDocument();
};

class CShockwaveFlash : public CWnd {
 public:
  void SetMovie(LPCWSTR lpszNewValue);
  CString GetMovie();
};
