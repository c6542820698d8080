// CImageList over the image list calls.
#include "platform/afx/ctrl_imagelist.h"

#include <cstdint>

IMPLEMENT_DYNAMIC(CImageList, CObject)

CImageList::~CImageList() { DeleteImageList(); }

BOOL CImageList::Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow) {
  if (m_hImageList) return FALSE;
  m_hImageList = ImageList_Create(cx, cy, nFlags, nInitial, nGrow);
  return m_hImageList ? TRUE : FALSE;
}

BOOL CImageList::Attach(HIMAGELIST hImageList) {
  if (m_hImageList || !hImageList) return FALSE;
  m_hImageList = hImageList;
  return TRUE;
}

HIMAGELIST CImageList::Detach() {
  HIMAGELIST h = m_hImageList;
  m_hImageList = nullptr;
  return h;
}

BOOL CImageList::DeleteImageList() {
  if (!m_hImageList) return FALSE;
  return ImageList_Destroy(Detach());
}

int CImageList::Add(HBITMAP hbmImage, HBITMAP hbmMask) { return ImageList_Add(m_hImageList, hbmImage, hbmMask); }
int CImageList::Add(HBITMAP hbmImage, COLORREF crMask) { return ImageList_AddMasked(m_hImageList, hbmImage, crMask); }
int CImageList::Add(HICON hIcon) { return ImageList_AddIcon(m_hImageList, hIcon); }
BOOL CImageList::Replace(int nImage, HBITMAP hbmImage, HBITMAP hbmMask) {
  return ImageList_Replace(m_hImageList, nImage, hbmImage, hbmMask);
}
int CImageList::Replace(int nImage, HICON hIcon) { return ImageList_ReplaceIcon(m_hImageList, nImage, hIcon); }
BOOL CImageList::Remove(int nImage) { return ImageList_Remove(m_hImageList, nImage); }
int CImageList::GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
BOOL CImageList::SetImageCount(UINT uNewCount) { return ImageList_SetImageCount(m_hImageList, uNewCount); }
COLORREF CImageList::SetBkColor(COLORREF cr) { return ImageList_SetBkColor(m_hImageList, cr); }
COLORREF CImageList::GetBkColor() const { return ImageList_GetBkColor(m_hImageList); }
