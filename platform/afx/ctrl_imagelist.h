// CImageList: the class library's owner of an image list handle. The object destroys the list it
// holds when it is destroyed, unless the list was detached first.
#pragma once

#include "platform/afx/object.h"
#include "platform/win32/controls/commctrl.h"

class CImageList : public CObject {
  DECLARE_DYNAMIC(CImageList)

 public:
  CImageList() = default;
  ~CImageList() override;
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;

  HIMAGELIST m_hImageList = nullptr;

  operator HIMAGELIST() const { return m_hImageList; }  // NOLINT: the class library converts implicitly
  // Asking a null pointer is undefined in C++: code holding a pointer that may be null asks
  // platform::afx::handleOf instead.
  HIMAGELIST GetSafeHandle() const { return m_hImageList; }

  // FALSE when this object holds a list already or the list cannot be made.
  BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
  BOOL Attach(HIMAGELIST hImageList);
  HIMAGELIST Detach();
  BOOL DeleteImageList();

  int Add(HBITMAP hbmImage, HBITMAP hbmMask);
  int Add(HBITMAP hbmImage, COLORREF crMask);
  int Add(HICON hIcon);
  BOOL Replace(int nImage, HBITMAP hbmImage, HBITMAP hbmMask);
  int Replace(int nImage, HICON hIcon);
  BOOL Remove(int nImage);
  int GetImageCount() const;
  BOOL SetImageCount(UINT uNewCount);
  COLORREF SetBkColor(COLORREF cr);
  COLORREF GetBkColor() const;
};

namespace platform::afx {
// The list handle of an image list object, null for a null pointer.
inline HIMAGELIST handleOf(const CImageList* pImageList) { return pImageList ? pImageList->GetSafeHandle() : nullptr; }
}  // namespace platform::afx
