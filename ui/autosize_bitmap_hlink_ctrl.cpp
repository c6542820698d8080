// The bitmap hyperlink: loading its bitmap, painting it under the control's text.
#include "ui/autosize_bitmap_hlink_ctrl.h"

#include "platform/afx/dc.h"
#include "platform/win32/win32.h"

BEGIN_MESSAGE_MAP(CAutosizeBitmapHLinkCtrl, CHLinkCtrl)
  ON_WM_ERASEBKGND()
  ON_WM_SYSCOLORCHANGE()
END_MESSAGE_MAP()

CAutosizeBitmapHLinkCtrl::~CAutosizeBitmapHLinkCtrl() {
  if (m_bitmap) DeleteObject(m_bitmap);
}

void CAutosizeBitmapHLinkCtrl::PreSubclassWindow() {
  CHLinkCtrl::PreSubclassWindow();
  ModifyStyle(0, SS_OWNERDRAW);
}

bool CAutosizeBitmapHLinkCtrl::load(LPCWSTR name) {
  HANDLE image = LoadImageW(AfxGetResourceHandle(), name, IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS);
  if (!image && AfxGetResourceHandle() != AfxGetInstanceHandle())
    image = LoadImageW(AfxGetInstanceHandle(), name, IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS);
  if (!image) return false;
  setBitmapHandle(static_cast<HBITMAP>(image));
  return true;
}

bool CAutosizeBitmapHLinkCtrl::setBitmap(int resourceId) {
  m_bitmapId = resourceId;
  m_bitmapName.Empty();
  return load(MAKEINTRESOURCEW(resourceId));
}

bool CAutosizeBitmapHLinkCtrl::setBitmap(const CString& resourceName) {
  m_bitmapId = -1;
  m_bitmapName = resourceName;
  return load(resourceName);
}

void CAutosizeBitmapHLinkCtrl::setBitmapHandle(HBITMAP bitmap) {
  if (m_bitmap && m_bitmap != bitmap) DeleteObject(m_bitmap);
  m_bitmap = bitmap;
  m_bitmapInfo = BITMAP{};
  if (m_bitmap) GetObjectW(m_bitmap, sizeof m_bitmapInfo, &m_bitmapInfo);
  if (m_hWnd) Invalidate();
}

void CAutosizeBitmapHLinkCtrl::reload() {
  if (m_bitmapId > 0)
    setBitmap(m_bitmapId);
  else if (!m_bitmapName.IsEmpty())
    setBitmap(m_bitmapName);
}

void CAutosizeBitmapHLinkCtrl::OnSysColorChange() {
  CHLinkCtrl::OnSysColorChange();
  reload();
}

BOOL CAutosizeBitmapHLinkCtrl::OnEraseBkgnd(CDC* pDC) {
  CRect client;
  GetClientRect(&client);
  if (!m_bitmap) {
    pDC->FillSolidRect(&client, GetSysColor(COLOR_3DFACE));
    return TRUE;
  }
  CDC memory;
  if (!memory.CreateCompatibleDC(pDC)) return TRUE;
  HGDIOBJ old = memory.SelectObject(m_bitmap);
  if (m_stretch)
    pDC->StretchBlt(0, 0, client.Width(), client.Height(), &memory, 0, 0, m_bitmapInfo.bmWidth,
                    m_bitmapInfo.bmHeight, SRCCOPY);
  else
    pDC->BitBlt(0, 0, m_bitmapInfo.bmWidth, m_bitmapInfo.bmHeight, &memory, 0, 0, SRCCOPY);
  memory.SelectObject(old);
  return TRUE;
}

void CAutosizeBitmapHLinkCtrl::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  CString text;
  GetWindowText(text);
  if (text.IsEmpty() || !lpDrawItemStruct) return;
  CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
  if (!dc) return;
  const DWORD style = GetStyle();
  UINT flags = DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE | DT_WORDBREAK;
  if (style & SS_CENTERIMAGE) flags |= DT_VCENTER;
  if (style & SS_CENTER) flags |= DT_CENTER;
  if (style & SS_RIGHT) flags |= DT_RIGHT;
  const int mode = dc->SetBkMode(TRANSPARENT);
  CRect area(lpDrawItemStruct->rcItem);
  dc->DrawText(text, &area, flags);
  dc->SetBkMode(mode);
}
