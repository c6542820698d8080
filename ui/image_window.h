// CImageWindow: the full-screen popup "KIPO_IMAGE_WINDOW" that shows a still capture of the screen
// while the host is personalized or restored. Message boxes hide it by its name before they show.
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/gdi.h"

// WM_USER+100: the window destroys itself.
inline constexpr UINT WM_KIPO_IMAGE_DESTROY = WM_USER + 100;

class CImageWindow : public CWnd {
 public:
  CImageWindow() = default;
  ~CImageWindow() override;

  // Creates the window once, borderless, topmost over the whole screen; true when it exists.
  bool create();
  // Takes the bitmap over (when created and the handle is not null).
  void setBitmap(HBITMAP bitmap);
  void show();
  // Destroys the window; true when it had been created.
  bool hide();
  bool isCreated() const { return m_created; }

  CBitmap m_bitmap;
  bool m_created = false;
  bool m_paintEnabled = true;

 protected:
  afx_msg BOOL OnEraseBkgnd(CDC* dc);
  afx_msg void OnPaint();
  afx_msg LRESULT OnDestroyRequest(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()
};
