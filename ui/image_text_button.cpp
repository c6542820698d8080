// The image button: its images, their choice by state, and the text over them.
#include "ui/image_text_button.h"

#include "platform/afx/dc.h"
#include "platform/win32/controls/imagelist_draw.h"
#include "platform/win32/win32.h"

namespace {

HBITMAP loadBitmap(UINT id) {
  HANDLE image = LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0);
  if (!image && AfxGetResourceHandle() != AfxGetInstanceHandle())
    image = LoadImageW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0);
  return static_cast<HBITMAP>(image);
}

constexpr int kPushedShift = 2;

}  // namespace

BEGIN_MESSAGE_MAP(CImageTextButton, CButton)
  ON_WM_SETFOCUS()
  ON_WM_KILLFOCUS()
END_MESSAGE_MAP()

CImageTextButton::~CImageTextButton() { dropImages(); }

void CImageTextButton::dropImages() {
  m_images.DeleteImageList();
  for (HBITMAP bitmap : m_bitmaps) DeleteObject(bitmap);
  m_bitmaps.clear();
  m_hasImages = false;
}

bool CImageTextButton::setImages(UINT normalId, UINT pushedId, UINT disabledId) {
  dropImages();
  HBITMAP normal = loadBitmap(normalId);
  if (!normal) return false;
  m_bitmapInfo = BITMAP{};
  GetObjectW(normal, sizeof m_bitmapInfo, &m_bitmapInfo);
  m_imageRect = CRect(0, 0, m_bitmapInfo.bmWidth, m_bitmapInfo.bmHeight);
  if (!m_images.Create(m_bitmapInfo.bmWidth, m_bitmapInfo.bmHeight, ILC_COLORDDB, 1, 2)) {
    DeleteObject(normal);
    return false;
  }
  m_bitmaps.push_back(normal);
  m_images.Add(normal, static_cast<HBITMAP>(nullptr));
  for (UINT id : {pushedId, disabledId}) {
    if (id == 0) continue;
    if (HBITMAP more = loadBitmap(id)) {
      m_bitmaps.push_back(more);
      m_images.Add(more, static_cast<HBITMAP>(nullptr));
    }
  }
  m_hasImages = true;
  return true;
}

void CImageTextButton::setText(const CString& text) {
  m_text = text;
  if (m_hWnd) Invalidate();
}

void CImageTextButton::setTextPlacement(int placement, int percent) {
  m_textPlacement = placement;
  m_textPercent = percent;
}

void CImageTextButton::setTextPosition(int x, int y) {
  m_textX = x;
  m_textY = y;
}

void CImageTextButton::setDrawTextFlags(UINT flags) { m_drawTextFlags = flags; }

bool CImageTextButton::setFont(const CString& faceName, int height) {
  m_font.DeleteObject();
  if (!m_font.CreateFont(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, faceName))
    return false;
  if (m_hWnd) SetFont(m_font);
  return true;
}

int CImageTextButton::imageIndexFor(UINT itemState, int imageCount) {
  if (itemState & ODS_DISABLED) return imageCount == 3 ? 2 : 0;
  if (itemState & ODS_SELECTED) return imageCount >= 2 ? 1 : 0;
  return 0;
}

CRect CImageTextButton::placedTextRect(const CRect& image, int placement, int percent, bool selected) {
  CRect r = image;
  const int height = image.Height() * percent / 100;
  const int width = image.Width() * percent / 100;
  switch (placement) {
    case kPlaceTop: r.bottom = r.top + height; break;
    case kPlaceBottom: r.top = r.bottom - height; break;
    case kPlaceLeft: r.right = r.left + width; break;
    case kPlaceRight: r.left = r.right - width; break;
    default: break;
  }
  if (selected) r.OffsetRect(kPushedShift, kPushedShift);
  return r;
}

void CImageTextButton::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  if (!lpDrawItemStruct || lpDrawItemStruct->CtlType != ODT_BUTTON) return;
  CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
  if (!dc) return;
  int count = 0;
  if (m_hasImages) {
    SetWindowPos(nullptr, 0, 0, m_bitmapInfo.bmWidth, m_bitmapInfo.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
    count = m_images.GetImageCount();
  } else {
    m_imageRect = lpDrawItemStruct->rcItem;
  }
  CRect frame(lpDrawItemStruct->rcItem);
  dc->DrawFrameControl(&frame, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED);

  const UINT state = lpDrawItemStruct->itemState;
  if (m_hasImages) ImageList_Draw(m_images, imageIndexFor(state, count), dc->GetSafeHdc(), 0, 0, ILD_NORMAL);
  if (m_text.IsEmpty()) return;

  const int oldMode = dc->SetBkMode(TRANSPARENT);
  const COLORREF oldColor = dc->SetTextColor((state & ODS_DISABLED) ? m_disabledTextColor : m_textColor);
  HGDIOBJ oldFont = nullptr;
  if (HFONT font = GetFontHandle()) oldFont = dc->SelectObject(font);
  if (m_textPlacement == kPlaceNone || m_textPercent <= 0) {
    if (m_textX != -1 && m_textY != -1) {
      dc->TextOut(m_textX, m_textY, m_text);
    } else {
      CRect area = m_imageRect;
      dc->DrawText(m_text, &area, m_drawTextFlags);
    }
  } else {
    CRect area = placedTextRect(m_imageRect, m_textPlacement, m_textPercent, (state & ODS_SELECTED) != 0);
    dc->DrawText(m_text, &area, m_drawTextFlags);
  }
  if (oldFont) dc->SelectObject(oldFont);
  dc->SetTextColor(oldColor);
  dc->SetBkMode(oldMode);
}

void CImageTextButton::OnSetFocus(CWnd* pOldWnd) {
  CButton::OnSetFocus(pOldWnd);
  Invalidate();
}

void CImageTextButton::OnKillFocus(CWnd* pNewWnd) {
  CButton::OnKillFocus(pNewWnd);
  Invalidate();
}
