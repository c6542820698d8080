// The class library's wrappers of the list view and tree view controls: CListCtrl and CTreeCtrl.
// Image lists are set from CImageList objects, which stay the caller's.
#pragma once

#include "platform/afx/coll.h"
#include "platform/afx/ctrl_imagelist.h"
#include "platform/afx/wnd.h"
#include "platform/win32/controls/commctrl.h"

class CListCtrl : public CWnd {
  DECLARE_DYNAMIC(CListCtrl)

 public:
  CListCtrl() = default;
  ~CListCtrl() override;
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  // ---- Columns ----
  int InsertColumn(int nCol, const LVCOLUMN* pColumn);
  // nWidth -1 leaves the width 0; nSubItem -1 gives the column no sub-item index.
  int InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                   int nSubItem = -1);
  BOOL DeleteColumn(int nCol);
  BOOL SetColumnWidth(int nCol, int cx);
  int GetColumnWidth(int nCol) const;
  BOOL GetColumn(int nCol, LVCOLUMN* pColumn) const;
  BOOL SetColumn(int nCol, const LVCOLUMN* pColumn);

  // ---- Items ----
  int GetItemCount() const;
  int InsertItem(const LVITEM* pItem);
  int InsertItem(int nItem, LPCWSTR lpszItem);
  int InsertItem(int nItem, LPCWSTR lpszItem, int nImage);
  int InsertItem(UINT nMask, int nItem, LPCWSTR lpszItem, UINT nState, UINT nStateMask, int nImage, LPARAM lParam);
  BOOL SetItem(const LVITEM* pItem);
  BOOL SetItem(int nItem, int nSubItem, UINT nMask, LPCWSTR lpszItem, int nImage, UINT nState, UINT nStateMask,
               LPARAM lParam);
  BOOL GetItem(LVITEM* pItem) const;
  BOOL SetItemText(int nItem, int nSubItem, LPCWSTR lpszText);
  CString GetItemText(int nItem, int nSubItem) const;
  int GetItemText(int nItem, int nSubItem, LPWSTR lpszText, int nLen) const;
  BOOL SetItemData(int nItem, DWORD_PTR dwData);
  DWORD_PTR GetItemData(int nItem) const;
  BOOL DeleteItem(int nItem);
  BOOL DeleteAllItems();

  // ---- State and selection ----
  BOOL SetItemState(int nItem, UINT nState, UINT nMask);
  BOOL SetItemState(int nItem, LVITEM* pItem);
  UINT GetItemState(int nItem, UINT nMask) const;
  int GetNextItem(int nItem, int nFlags) const;
  // The position of the first selected item (null when none); GetNextSelectedItem returns its
  // index and moves the position to the next selected item.
  POSITION GetFirstSelectedItemPosition() const;
  int GetNextSelectedItem(POSITION& pos) const;
  UINT GetSelectedCount() const;
  int GetSelectionMark() const;
  int SetSelectionMark(int iIndex);
  // Check boxes (LVS_EX_CHECKBOXES): state image 2 checked, 1 unchecked.
  BOOL SetCheck(int nItem, BOOL fCheck = TRUE);
  BOOL GetCheck(int nItem) const;

  // ---- Find, sort, view ----
  int FindItem(LVFINDINFO* pFindInfo, int nStart = -1) const;
  BOOL SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData);
  BOOL EnsureVisible(int nItem, BOOL bPartialOK);
  int GetTopIndex() const;
  int GetCountPerPage() const;
  BOOL GetItemRect(int nItem, LPRECT lpRect, UINT nCode) const;
  int HitTest(LVHITTESTINFO* pHitTestInfo) const;
  int HitTest(POINT pt, UINT* pFlags = nullptr) const;
  // Returns the list that was set before (as a temporary object of this control), or null.
  CImageList* SetImageList(CImageList* pImageList, int nImageListType);
  CImageList* GetImageList(int nImageListType) const;
  DWORD SetExtendedStyle(DWORD dwNewStyle);
  DWORD GetExtendedStyle() const;

 private:
  // The lists SetImageList and GetImageList hand back, in objects that never destroy them.
  CImageList* wrap(HIMAGELIST h, int slot) const;
  mutable CImageList m_previous[3];
};

class CTreeCtrl : public CWnd {
  DECLARE_DYNAMIC(CTreeCtrl)

 public:
  CTreeCtrl() = default;
  ~CTreeCtrl() override;
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  HTREEITEM InsertItem(LPTVINSERTSTRUCT lpInsertStruct);
  HTREEITEM InsertItem(UINT nMask, LPCWSTR lpszItem, int nImage, int nSelectedImage, UINT nState, UINT nStateMask,
                       LPARAM lParam, HTREEITEM hParent, HTREEITEM hInsertAfter);
  HTREEITEM InsertItem(LPCWSTR lpszItem, HTREEITEM hParent = TVI_ROOT, HTREEITEM hInsertAfter = TVI_LAST);
  HTREEITEM InsertItem(LPCWSTR lpszItem, int nImage, int nSelectedImage, HTREEITEM hParent = TVI_ROOT,
                       HTREEITEM hInsertAfter = TVI_LAST);
  BOOL DeleteItem(HTREEITEM hItem);
  BOOL DeleteAllItems();

  HTREEITEM GetNextItem(HTREEITEM hItem, UINT nCode) const;
  HTREEITEM GetRootItem() const;
  HTREEITEM GetChildItem(HTREEITEM hItem) const;
  HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const;
  HTREEITEM GetPrevSiblingItem(HTREEITEM hItem) const;
  HTREEITEM GetParentItem(HTREEITEM hItem) const;
  HTREEITEM GetSelectedItem() const;
  HTREEITEM GetFirstVisibleItem() const;
  HTREEITEM GetNextVisibleItem(HTREEITEM hItem) const;
  HTREEITEM GetDropHilightItem() const;
  BOOL SelectItem(HTREEITEM hItem);
  BOOL Select(HTREEITEM hItem, UINT nCode);
  BOOL SelectDropTarget(HTREEITEM hItem);
  BOOL Expand(HTREEITEM hItem, UINT nCode);

  BOOL GetItem(TVITEM* pItem) const;
  BOOL SetItem(TVITEM* pItem);
  CString GetItemText(HTREEITEM hItem) const;
  BOOL SetItemText(HTREEITEM hItem, LPCWSTR lpszItem);
  DWORD_PTR GetItemData(HTREEITEM hItem) const;
  BOOL SetItemData(HTREEITEM hItem, DWORD_PTR dwData);
  UINT GetItemState(HTREEITEM hItem, UINT nStateMask) const;
  BOOL SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask);
  BOOL GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const;
  BOOL SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage);
  // Whether the item has (or says it has) children.
  BOOL ItemHasChildren(HTREEITEM hItem) const;
  UINT GetCount() const;
  UINT GetVisibleCount() const;
  BOOL EnsureVisible(HTREEITEM hItem);
  BOOL SortChildren(HTREEITEM hItem);
  BOOL GetItemRect(HTREEITEM hItem, LPRECT lpRect, BOOL bTextOnly) const;
  HTREEITEM HitTest(POINT pt, UINT* pFlags = nullptr) const;
  HTREEITEM HitTest(TVHITTESTINFO* pHitTestInfo) const;
  CImageList* SetImageList(CImageList* pImageList, int nImageListType);
  CImageList* GetImageList(UINT nImageList) const;

 private:
  CImageList* wrap(HIMAGELIST h, int slot) const;
  mutable CImageList m_previous[3];
};
