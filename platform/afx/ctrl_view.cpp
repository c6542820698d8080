// CListCtrl and CTreeCtrl: calls of the list view's and tree view's messages.
#include "platform/afx/ctrl_view.h"

#include <cstring>

#include "platform/win32/controls/controls.h"

IMPLEMENT_DYNAMIC(CListCtrl, CWnd)
IMPLEMENT_DYNAMIC(CTreeCtrl, CWnd)

namespace {

// A handed-back list in a slot object that does not own it.
CImageList* wrapIn(CImageList& slot, HIMAGELIST h) {
  slot.Detach();
  if (!h) return nullptr;
  slot.Attach(h);
  return &slot;
}

constexpr int kTextChunk = 256;

}  // namespace

// ---- CListCtrl ----

CListCtrl::~CListCtrl() {
  for (CImageList& l : m_previous) l.Detach();
}

BOOL CListCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  platform::controls::registerCommonClasses();
  return CWnd::Create(WC_LISTVIEWW, nullptr, dwStyle, rect, pParentWnd, nID);
}

int CListCtrl::InsertColumn(int nCol, const LVCOLUMN* pColumn) {
  return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(nCol), reinterpret_cast<LPARAM>(pColumn)));
}

int CListCtrl::InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat, int nWidth, int nSubItem) {
  LVCOLUMN column{};
  column.mask = LVCF_TEXT | LVCF_FMT;
  column.pszText = const_cast<LPWSTR>(lpszColumnHeading);
  column.fmt = nFormat;
  if (nWidth != -1) {
    column.mask |= LVCF_WIDTH;
    column.cx = nWidth;
  }
  if (nSubItem != -1) {
    column.mask |= LVCF_SUBITEM;
    column.iSubItem = nSubItem;
  }
  return InsertColumn(nCol, &column);
}

BOOL CListCtrl::DeleteColumn(int nCol) { return static_cast<BOOL>(SendMessage(LVM_DELETECOLUMN, static_cast<WPARAM>(nCol))); }
BOOL CListCtrl::SetColumnWidth(int nCol, int cx) {
  return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(nCol), MAKELPARAM(cx, 0)));
}
int CListCtrl::GetColumnWidth(int nCol) const {
  return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(nCol)));
}
BOOL CListCtrl::GetColumn(int nCol, LVCOLUMN* pColumn) const {
  return static_cast<BOOL>(SendMessage(LVM_GETCOLUMNW, static_cast<WPARAM>(nCol), reinterpret_cast<LPARAM>(pColumn)));
}
BOOL CListCtrl::SetColumn(int nCol, const LVCOLUMN* pColumn) {
  return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNW, static_cast<WPARAM>(nCol), reinterpret_cast<LPARAM>(pColumn)));
}

int CListCtrl::GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
int CListCtrl::InsertItem(const LVITEM* pItem) {
  return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
}
int CListCtrl::InsertItem(int nItem, LPCWSTR lpszItem) { return InsertItem(LVIF_TEXT, nItem, lpszItem, 0, 0, 0, 0); }
int CListCtrl::InsertItem(int nItem, LPCWSTR lpszItem, int nImage) {
  return InsertItem(LVIF_TEXT | LVIF_IMAGE, nItem, lpszItem, 0, 0, nImage, 0);
}
int CListCtrl::InsertItem(UINT nMask, int nItem, LPCWSTR lpszItem, UINT nState, UINT nStateMask, int nImage,
                          LPARAM lParam) {
  LVITEM item{};
  item.mask = nMask;
  item.iItem = nItem;
  item.pszText = const_cast<LPWSTR>(lpszItem);
  item.state = nState;
  item.stateMask = nStateMask;
  item.iImage = nImage;
  item.lParam = lParam;
  return InsertItem(&item);
}

BOOL CListCtrl::SetItem(const LVITEM* pItem) {
  return static_cast<BOOL>(SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
}
BOOL CListCtrl::SetItem(int nItem, int nSubItem, UINT nMask, LPCWSTR lpszItem, int nImage, UINT nState,
                        UINT nStateMask, LPARAM lParam) {
  LVITEM item{};
  item.mask = nMask;
  item.iItem = nItem;
  item.iSubItem = nSubItem;
  item.pszText = const_cast<LPWSTR>(lpszItem);
  item.iImage = nImage;
  item.state = nState;
  item.stateMask = nStateMask;
  item.lParam = lParam;
  return SetItem(&item);
}
BOOL CListCtrl::GetItem(LVITEM* pItem) const {
  return static_cast<BOOL>(SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCWSTR lpszText) {
  LVITEM item{};
  item.iSubItem = nSubItem;
  item.pszText = const_cast<LPWSTR>(lpszText);
  return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
  // Grows the buffer until the text fits with room to spare.
  CString s;
  for (int size = kTextChunk;; size *= 2) {
    LVITEM item{};
    item.iSubItem = nSubItem;
    item.pszText = s.GetBuffer(size);
    item.cchTextMax = size + 1;
    auto n = static_cast<int>(SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
    s.ReleaseBuffer(n);
    if (n < size) return s;
  }
}

int CListCtrl::GetItemText(int nItem, int nSubItem, LPWSTR lpszText, int nLen) const {
  LVITEM item{};
  item.iSubItem = nSubItem;
  item.pszText = lpszText;
  item.cchTextMax = nLen;
  return static_cast<int>(SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemData(int nItem, DWORD_PTR dwData) {
  return SetItem(nItem, 0, LVIF_PARAM, nullptr, 0, 0, 0, static_cast<LPARAM>(dwData));
}
DWORD_PTR CListCtrl::GetItemData(int nItem) const {
  LVITEM item{};
  item.mask = LVIF_PARAM;
  item.iItem = nItem;
  return GetItem(&item) ? static_cast<DWORD_PTR>(item.lParam) : 0;
}
BOOL CListCtrl::DeleteItem(int nItem) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(nItem))); }
BOOL CListCtrl::DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }

BOOL CListCtrl::SetItemState(int nItem, UINT nState, UINT nMask) {
  LVITEM item{};
  item.state = nState;
  item.stateMask = nMask;
  return SetItemState(nItem, &item);
}
BOOL CListCtrl::SetItemState(int nItem, LVITEM* pItem) {
  return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(pItem)));
}
UINT CListCtrl::GetItemState(int nItem, UINT nMask) const {
  return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(nItem), nMask));
}
int CListCtrl::GetNextItem(int nItem, int nFlags) const {
  return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(nItem), MAKELPARAM(nFlags, 0)));
}

// A position is the item's index plus one, so that item 0 is not the null position.
POSITION CListCtrl::GetFirstSelectedItemPosition() const {
  int first = GetNextItem(-1, LVNI_SELECTED);
  return reinterpret_cast<POSITION>(static_cast<INT_PTR>(first + 1));
}
int CListCtrl::GetNextSelectedItem(POSITION& pos) const {
  int index = static_cast<int>(reinterpret_cast<INT_PTR>(pos)) - 1;
  pos = reinterpret_cast<POSITION>(static_cast<INT_PTR>(GetNextItem(index, LVNI_SELECTED) + 1));
  return index;
}
UINT CListCtrl::GetSelectedCount() const { return static_cast<UINT>(SendMessage(LVM_GETSELECTEDCOUNT)); }
int CListCtrl::GetSelectionMark() const { return static_cast<int>(SendMessage(LVM_GETSELECTIONMARK)); }
int CListCtrl::SetSelectionMark(int iIndex) { return static_cast<int>(SendMessage(LVM_SETSELECTIONMARK, 0, iIndex)); }

BOOL CListCtrl::SetCheck(int nItem, BOOL fCheck) {
  return SetItemState(nItem, INDEXTOSTATEIMAGEMASK(fCheck ? 2 : 1), LVIS_STATEIMAGEMASK);
}
BOOL CListCtrl::GetCheck(int nItem) const {
  return ((GetItemState(nItem, LVIS_STATEIMAGEMASK) >> 12) - 1) != 0 ? TRUE : FALSE;
}

int CListCtrl::FindItem(LVFINDINFO* pFindInfo, int nStart) const {
  return static_cast<int>(SendMessage(LVM_FINDITEMW, static_cast<WPARAM>(nStart), reinterpret_cast<LPARAM>(pFindInfo)));
}
BOOL CListCtrl::SortItems(PFNLVCOMPARE pfnCompare, DWORD_PTR dwData) {
  return static_cast<BOOL>(SendMessage(LVM_SORTITEMS, dwData, reinterpret_cast<LPARAM>(pfnCompare)));
}
BOOL CListCtrl::EnsureVisible(int nItem, BOOL bPartialOK) {
  return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(nItem), bPartialOK));
}
int CListCtrl::GetTopIndex() const { return static_cast<int>(SendMessage(LVM_GETTOPINDEX)); }
int CListCtrl::GetCountPerPage() const { return static_cast<int>(SendMessage(LVM_GETCOUNTPERPAGE)); }
BOOL CListCtrl::GetItemRect(int nItem, LPRECT lpRect, UINT nCode) const {
  if (!lpRect) return FALSE;
  lpRect->left = static_cast<LONG>(nCode);
  return static_cast<BOOL>(SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(lpRect)));
}
int CListCtrl::HitTest(LVHITTESTINFO* pHitTestInfo) const {
  return static_cast<int>(SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(pHitTestInfo)));
}
int CListCtrl::HitTest(POINT pt, UINT* pFlags) const {
  LVHITTESTINFO info{};
  info.pt = pt;
  int i = HitTest(&info);
  if (pFlags) *pFlags = info.flags;
  return i;
}

CImageList* CListCtrl::wrap(HIMAGELIST h, int slot) const {
  return slot >= 0 && slot < 3 ? wrapIn(m_previous[slot], h) : nullptr;
}
CImageList* CListCtrl::SetImageList(CImageList* pImageList, int nImageListType) {
  auto old = reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(nImageListType),
                                                      reinterpret_cast<LPARAM>(platform::afx::handleOf(pImageList))));
  return wrap(old, nImageListType);
}
CImageList* CListCtrl::GetImageList(int nImageListType) const {
  return wrap(reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, static_cast<WPARAM>(nImageListType))),
              nImageListType);
}
DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle) {
  return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(dwNewStyle)));
}
DWORD CListCtrl::GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }

// ---- CTreeCtrl ----

CTreeCtrl::~CTreeCtrl() {
  for (CImageList& l : m_previous) l.Detach();
}

BOOL CTreeCtrl::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  platform::controls::registerCommonClasses();
  return CWnd::Create(WC_TREEVIEWW, nullptr, dwStyle, rect, pParentWnd, nID);
}

HTREEITEM CTreeCtrl::InsertItem(LPTVINSERTSTRUCT lpInsertStruct) {
  return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(lpInsertStruct)));
}
HTREEITEM CTreeCtrl::InsertItem(UINT nMask, LPCWSTR lpszItem, int nImage, int nSelectedImage, UINT nState,
                                UINT nStateMask, LPARAM lParam, HTREEITEM hParent, HTREEITEM hInsertAfter) {
  TVINSERTSTRUCT is{};
  is.hParent = hParent;
  is.hInsertAfter = hInsertAfter;
  is.item.mask = nMask;
  is.item.pszText = const_cast<LPWSTR>(lpszItem);
  is.item.iImage = nImage;
  is.item.iSelectedImage = nSelectedImage;
  is.item.state = nState;
  is.item.stateMask = nStateMask;
  is.item.lParam = lParam;
  return InsertItem(&is);
}
HTREEITEM CTreeCtrl::InsertItem(LPCWSTR lpszItem, HTREEITEM hParent, HTREEITEM hInsertAfter) {
  return InsertItem(TVIF_TEXT, lpszItem, 0, 0, 0, 0, 0, hParent, hInsertAfter);
}
HTREEITEM CTreeCtrl::InsertItem(LPCWSTR lpszItem, int nImage, int nSelectedImage, HTREEITEM hParent,
                                HTREEITEM hInsertAfter) {
  return InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, lpszItem, nImage, nSelectedImage, 0, 0, 0, hParent,
                    hInsertAfter);
}
BOOL CTreeCtrl::DeleteItem(HTREEITEM hItem) {
  return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(hItem)));
}
BOOL CTreeCtrl::DeleteAllItems() { return DeleteItem(TVI_ROOT); }

HTREEITEM CTreeCtrl::GetNextItem(HTREEITEM hItem, UINT nCode) const {
  return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
}
HTREEITEM CTreeCtrl::GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_CHILD); }
HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXT); }
HTREEITEM CTreeCtrl::GetPrevSiblingItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PREVIOUS); }
HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_PARENT); }
HTREEITEM CTreeCtrl::GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
HTREEITEM CTreeCtrl::GetFirstVisibleItem() const { return GetNextItem(nullptr, TVGN_FIRSTVISIBLE); }
HTREEITEM CTreeCtrl::GetNextVisibleItem(HTREEITEM hItem) const { return GetNextItem(hItem, TVGN_NEXTVISIBLE); }
HTREEITEM CTreeCtrl::GetDropHilightItem() const { return GetNextItem(nullptr, TVGN_DROPHILITE); }
BOOL CTreeCtrl::Select(HTREEITEM hItem, UINT nCode) {
  return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, nCode, reinterpret_cast<LPARAM>(hItem)));
}
BOOL CTreeCtrl::SelectItem(HTREEITEM hItem) { return Select(hItem, TVGN_CARET); }
BOOL CTreeCtrl::SelectDropTarget(HTREEITEM hItem) { return Select(hItem, TVGN_DROPHILITE); }
BOOL CTreeCtrl::Expand(HTREEITEM hItem, UINT nCode) {
  return static_cast<BOOL>(SendMessage(TVM_EXPAND, nCode, reinterpret_cast<LPARAM>(hItem)));
}

BOOL CTreeCtrl::GetItem(TVITEM* pItem) const {
  return static_cast<BOOL>(SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(pItem)));
}
BOOL CTreeCtrl::SetItem(TVITEM* pItem) { return static_cast<BOOL>(SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(pItem))); }

CString CTreeCtrl::GetItemText(HTREEITEM hItem) const {
  CString s;
  for (int size = kTextChunk;; size *= 2) {
    TVITEM item{};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = s.GetBuffer(size);
    item.cchTextMax = size + 1;
    if (!GetItem(&item)) {
      s.ReleaseBuffer(0);
      return s;
    }
    s.ReleaseBuffer();
    if (s.GetLength() < size) return s;
  }
}
BOOL CTreeCtrl::SetItemText(HTREEITEM hItem, LPCWSTR lpszItem) {
  TVITEM item{};
  item.mask = TVIF_TEXT;
  item.hItem = hItem;
  item.pszText = const_cast<LPWSTR>(lpszItem);
  return SetItem(&item);
}
DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM hItem) const {
  TVITEM item{};
  item.mask = TVIF_PARAM;
  item.hItem = hItem;
  return GetItem(&item) ? static_cast<DWORD_PTR>(item.lParam) : 0;
}
BOOL CTreeCtrl::SetItemData(HTREEITEM hItem, DWORD_PTR dwData) {
  TVITEM item{};
  item.mask = TVIF_PARAM;
  item.hItem = hItem;
  item.lParam = static_cast<LPARAM>(dwData);
  return SetItem(&item);
}
UINT CTreeCtrl::GetItemState(HTREEITEM hItem, UINT nStateMask) const {
  return static_cast<UINT>(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(hItem), nStateMask));
}
BOOL CTreeCtrl::SetItemState(HTREEITEM hItem, UINT nState, UINT nStateMask) {
  TVITEM item{};
  item.mask = TVIF_STATE;
  item.hItem = hItem;
  item.state = nState;
  item.stateMask = nStateMask;
  return SetItem(&item);
}
BOOL CTreeCtrl::GetItemImage(HTREEITEM hItem, int& nImage, int& nSelectedImage) const {
  TVITEM item{};
  item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  item.hItem = hItem;
  if (!GetItem(&item)) return FALSE;
  nImage = item.iImage;
  nSelectedImage = item.iSelectedImage;
  return TRUE;
}
BOOL CTreeCtrl::SetItemImage(HTREEITEM hItem, int nImage, int nSelectedImage) {
  TVITEM item{};
  item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  item.hItem = hItem;
  item.iImage = nImage;
  item.iSelectedImage = nSelectedImage;
  return SetItem(&item);
}
BOOL CTreeCtrl::ItemHasChildren(HTREEITEM hItem) const {
  TVITEM item{};
  item.mask = TVIF_CHILDREN;
  item.hItem = hItem;
  return GetItem(&item) && item.cChildren != 0 ? TRUE : FALSE;
}
UINT CTreeCtrl::GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }
UINT CTreeCtrl::GetVisibleCount() const { return static_cast<UINT>(SendMessage(TVM_GETVISIBLECOUNT)); }
BOOL CTreeCtrl::EnsureVisible(HTREEITEM hItem) {
  return static_cast<BOOL>(SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(hItem)));
}
BOOL CTreeCtrl::SortChildren(HTREEITEM hItem) {
  return static_cast<BOOL>(SendMessage(TVM_SORTCHILDREN, 0, reinterpret_cast<LPARAM>(hItem)));
}
BOOL CTreeCtrl::GetItemRect(HTREEITEM hItem, LPRECT lpRect, BOOL bTextOnly) const {
  if (!lpRect) return FALSE;
  std::memcpy(lpRect, &hItem, sizeof(hItem));
  return static_cast<BOOL>(SendMessage(TVM_GETITEMRECT, static_cast<WPARAM>(bTextOnly), reinterpret_cast<LPARAM>(lpRect)));
}
HTREEITEM CTreeCtrl::HitTest(TVHITTESTINFO* pHitTestInfo) const {
  return reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(pHitTestInfo)));
}
HTREEITEM CTreeCtrl::HitTest(POINT pt, UINT* pFlags) const {
  TVHITTESTINFO info{};
  info.pt = pt;
  HTREEITEM h = HitTest(&info);
  if (pFlags) *pFlags = info.flags;
  return h;
}
CImageList* CTreeCtrl::wrap(HIMAGELIST h, int slot) const {
  return slot >= 0 && slot < 3 ? wrapIn(m_previous[slot], h) : nullptr;
}
CImageList* CTreeCtrl::SetImageList(CImageList* pImageList, int nImageListType) {
  auto old = reinterpret_cast<HIMAGELIST>(SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(nImageListType),
                                                      reinterpret_cast<LPARAM>(platform::afx::handleOf(pImageList))));
  return wrap(old, nImageListType);
}
CImageList* CTreeCtrl::GetImageList(UINT nImageList) const {
  return wrap(reinterpret_cast<HIMAGELIST>(SendMessage(TVM_GETIMAGELIST, nImageList)), static_cast<int>(nImageList));
}
