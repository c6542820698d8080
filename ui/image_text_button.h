// CImageTextButton: an owner-drawn push button made of bitmaps (normal, and optionally pushed and
// disabled) with an optional text drawn over them: at a fixed point, in the whole image with
// DrawText flags, or in a band of the image (top, bottom, left or right part, by percent).
#pragma once

#include <vector>

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"
#include "platform/afx/ctrl_imagelist.h"
#include "platform/afx/gdi.h"

class CImageTextButton : public CButton {
 public:
  enum : int { kPlaceNone = 0, kPlaceTop = 1, kPlaceBottom = 2, kPlaceLeft = 3, kPlaceRight = 4 };

  CImageTextButton() = default;
  ~CImageTextButton() override;

  // Bitmap resources of the resource module; pushed and disabled may be 0. The normal bitmap gives
  // the button's size. False when the normal bitmap does not load.
  bool setImages(UINT normalId, UINT pushedId = 0, UINT disabledId = 0);
  void setText(const CString& text);
  void setTextPlacement(int placement, int percent);
  void setTextPosition(int x, int y);
  void setDrawTextFlags(UINT flags);
  // The text's font: this face and height, normal weight, default character set.
  bool setFont(const CString& faceName, int height);

  // The image shown for an owner-draw state (ODS_*), given how many images there are.
  static int imageIndexFor(UINT itemState, int imageCount);
  // Where a placed text goes in `image` (placement and percent as setTextPlacement takes them).
  static CRect placedTextRect(const CRect& image, int placement, int percent, bool selected);

  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

  BITMAP m_bitmapInfo{};
  CImageList m_images;
  bool m_hasImages = false;
  CString m_text;
  CRect m_imageRect;
  COLORREF m_textColor = RGB(255, 255, 255);
  COLORREF m_disabledTextColor = RGB(255, 255, 255);
  int m_textX = -1;
  int m_textY = -1;
  UINT m_drawTextFlags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  CFont m_font;
  int m_textPlacement = kPlaceNone;
  int m_textPercent = 0;

 protected:
  afx_msg void OnSetFocus(CWnd* pOldWnd);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  DECLARE_MESSAGE_MAP()

 private:
  void dropImages();
  // The image list draws from the bitmaps it was given: they live as long as the list.
  std::vector<HBITMAP> m_bitmaps;
};
