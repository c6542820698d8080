// CAutosizeBitmapHLinkCtrl: a hyperlink drawn as a bitmap (the about box's logos). The bitmap
// fills the control (stretched, or at its own size), any text of the control is drawn over it,
// and the link behaves as CHLinkCtrl: hand cursor, hover, a click follows it.
#pragma once

#include "ui/hlink_ctrl.h"

class CAutosizeBitmapHLinkCtrl : public CHLinkCtrl {
 public:
  CAutosizeBitmapHLinkCtrl() = default;
  ~CAutosizeBitmapHLinkCtrl() override;

  // A bitmap of the resource module (the language library, else the program) by id or name,
  // loaded with its greys mapped to the system's 3-D colours; false when it does not load.
  bool setBitmap(int resourceId);
  bool setBitmap(const CString& resourceName);
  // Takes `bitmap` (owned from now on): the old one is deleted, the control repainted.
  void setBitmapHandle(HBITMAP bitmap);
  // Loads the bitmap again (after a change of the system colours).
  void reload();
  HBITMAP bitmapHandle() const { return m_bitmap; }

  HBITMAP m_bitmap = nullptr;
  BITMAP m_bitmapInfo{};
  int m_bitmapId = -1;
  CString m_bitmapName;
  bool m_stretch = true;

  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

 protected:
  void PreSubclassWindow() override;
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnSysColorChange();
  DECLARE_MESSAGE_MAP()

 private:
  bool load(LPCWSTR name);
};
