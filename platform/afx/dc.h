// CDC and CPaintDC: the device-context wrappers the window classes hand to their handlers
// (OnEraseBkgnd, OnCtlColor, CView::OnDraw). Until drawing exists they carry the handle only;
// the drawing calls are added here when device contexts come.
#pragma once

#include "platform/afx/object.h"
#include "platform/win32/window.h"

class CWnd;

class CDC : public CObject {
  DECLARE_DYNAMIC(CDC)

 public:
  CDC() = default;
  ~CDC() override = default;

  HDC m_hDC = nullptr;

  HDC GetSafeHdc() const { return m_hDC; }
  operator HDC() const { return m_hDC; }  // NOLINT: the class library converts implicitly
  BOOL Attach(HDC hDC);
  HDC Detach();

  // A temporary object for a handle (null for a null handle), valid until the thread's next
  // idle time, as CWnd::FromHandle's objects are.
  static CDC* PASCAL FromHandle(HDC hDC);
  static void PASCAL DeleteTempMap();
};

// BeginPaint in the constructor, EndPaint in the destructor.
class CPaintDC : public CDC {
  DECLARE_DYNAMIC(CPaintDC)

 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC() override;

  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd = nullptr;
};
