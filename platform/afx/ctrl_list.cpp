// CListBox, CCheckListBox and CComboBox.
#include "platform/afx/ctrl_list.h"

#include <algorithm>

#include "platform/win32/controls/controls.h"

IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CCheckListBox, CListBox)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)

namespace {

// The owner-draw messages a parent reflects to a list or combo box's object.
template <class T>
BOOL ownerDrawNotify(T& self, UINT message, LPARAM lParam, LRESULT* pResult) {
  switch (message) {
    case WM_DRAWITEM: self.DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)); break;
    case WM_MEASUREITEM: self.MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)); break;
    case WM_DELETEITEM: self.DeleteItem(reinterpret_cast<LPDELETEITEMSTRUCT>(lParam)); break;
    default: return FALSE;
  }
  if (pResult) *pResult = TRUE;
  return TRUE;
}

CString itemText(const CWnd& w, UINT lenMsg, UINT textMsg, int nIndex) {
  CString s;
  auto n = static_cast<int>(w.SendMessage(lenMsg, static_cast<WPARAM>(nIndex)));
  if (n < 0) return s;
  LPWSTR buffer = s.GetBuffer(n);
  auto got = static_cast<int>(w.SendMessage(textMsg, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(buffer)));
  s.ReleaseBuffer(got < 0 ? 0 : got);
  return s;
}

}  // namespace

// ---- CListBox ----

BOOL CListBox::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  platform::controls::registerCommonClasses();
  return CWnd::Create(WC_LISTBOXW, nullptr, dwStyle, rect, pParentWnd, nID);
}
int CListBox::GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
int CListBox::GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
int CListBox::SetCurSel(int nSelect) { return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(nSelect))); }
int CListBox::GetSel(int nIndex) const { return static_cast<int>(SendMessage(LB_GETSEL, static_cast<WPARAM>(nIndex))); }
int CListBox::SetSel(int nIndex, BOOL bSelect) {
  return static_cast<int>(SendMessage(LB_SETSEL, static_cast<WPARAM>(bSelect), nIndex));
}
int CListBox::GetSelCount() const { return static_cast<int>(SendMessage(LB_GETSELCOUNT)); }
int CListBox::GetSelItems(int nMaxItems, int* rgIndex) const {
  return static_cast<int>(SendMessage(LB_GETSELITEMS, static_cast<WPARAM>(nMaxItems), reinterpret_cast<LPARAM>(rgIndex)));
}
int CListBox::GetText(int nIndex, LPWSTR lpszBuffer) const {
  return static_cast<int>(SendMessage(LB_GETTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszBuffer)));
}
void CListBox::GetText(int nIndex, CString& rString) const { rString = itemText(*this, LB_GETTEXTLEN, LB_GETTEXT, nIndex); }
int CListBox::GetTextLen(int nIndex) const { return static_cast<int>(SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(nIndex))); }
int CListBox::AddString(LPCWSTR lpszItem) {
  return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lpszItem)));
}
int CListBox::InsertString(int nIndex, LPCWSTR lpszItem) {
  return static_cast<int>(SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszItem)));
}
int CListBox::DeleteString(UINT nIndex) { return static_cast<int>(SendMessage(LB_DELETESTRING, nIndex)); }
void CListBox::ResetContent() { SendMessage(LB_RESETCONTENT); }
int CListBox::FindString(int nStartAfter, LPCWSTR lpszItem) const {
  return static_cast<int>(SendMessage(LB_FINDSTRING, static_cast<WPARAM>(nStartAfter), reinterpret_cast<LPARAM>(lpszItem)));
}
int CListBox::FindStringExact(int nIndexStart, LPCWSTR lpszFind) const {
  return static_cast<int>(
      SendMessage(LB_FINDSTRINGEXACT, static_cast<WPARAM>(nIndexStart), reinterpret_cast<LPARAM>(lpszFind)));
}
int CListBox::SelectString(int nStartAfter, LPCWSTR lpszItem) {
  return static_cast<int>(SendMessage(LB_SELECTSTRING, static_cast<WPARAM>(nStartAfter), reinterpret_cast<LPARAM>(lpszItem)));
}
DWORD_PTR CListBox::GetItemData(int nIndex) const {
  return static_cast<DWORD_PTR>(SendMessage(LB_GETITEMDATA, static_cast<WPARAM>(nIndex)));
}
int CListBox::SetItemData(int nIndex, DWORD_PTR dwItemData) {
  return static_cast<int>(SendMessage(LB_SETITEMDATA, static_cast<WPARAM>(nIndex), static_cast<LPARAM>(dwItemData)));
}
void* CListBox::GetItemDataPtr(int nIndex) const { return reinterpret_cast<void*>(GetItemData(nIndex)); }
int CListBox::SetItemDataPtr(int nIndex, void* pData) { return SetItemData(nIndex, reinterpret_cast<DWORD_PTR>(pData)); }
int CListBox::GetTopIndex() const { return static_cast<int>(SendMessage(LB_GETTOPINDEX)); }
int CListBox::SetTopIndex(int nIndex) { return static_cast<int>(SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(nIndex))); }
int CListBox::GetCaretIndex() const { return static_cast<int>(SendMessage(LB_GETCARETINDEX)); }
int CListBox::GetItemHeight(int nIndex) const {
  return static_cast<int>(SendMessage(LB_GETITEMHEIGHT, static_cast<WPARAM>(nIndex)));
}
int CListBox::SetItemHeight(int nIndex, UINT cyItemHeight) {
  return static_cast<int>(SendMessage(LB_SETITEMHEIGHT, static_cast<WPARAM>(nIndex), MAKELPARAM(cyItemHeight, 0)));
}
int CListBox::GetItemRect(int nIndex, LPRECT lpRect) const {
  return static_cast<int>(SendMessage(LB_GETITEMRECT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpRect)));
}
void CListBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CListBox::MeasureItem(LPMEASUREITEMSTRUCT) {}
void CListBox::DeleteItem(LPDELETEITEMSTRUCT) {}

BOOL CListBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (ownerDrawNotify(*this, message, lParam, pResult)) return TRUE;
  return CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

// ---- CCheckListBox ----

BOOL CCheckListBox::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  if (!(dwStyle & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE))) dwStyle |= LBS_OWNERDRAWFIXED;
  return CListBox::Create(dwStyle | LBS_HASSTRINGS, rect, pParentWnd, nID);
}

void CCheckListBox::SetCheckStyle(UINT nStyle) {
  if (nStyle == BS_CHECKBOX || nStyle == BS_AUTOCHECKBOX || nStyle == BS_3STATE || nStyle == BS_AUTO3STATE)
    m_nStyle = nStyle;
}

CCheckListBox::ItemState* CCheckListBox::item(int nIndex) {
  // Items added before this object was tied to the window have the default state.
  if (m_hWnd) m_items.resize(static_cast<std::size_t>(std::max(0, GetCount())));
  if (nIndex < 0 || nIndex >= static_cast<int>(m_items.size())) return nullptr;
  return &m_items[static_cast<std::size_t>(nIndex)];
}

void CCheckListBox::SetCheck(int nIndex, int nCheck) {
  ItemState* s = item(nIndex);
  if (!s) return;
  s->check = nCheck;
  RECT r;
  if (GetItemRect(nIndex, &r) != LB_ERR) InvalidateRect(&r, FALSE);
}

int CCheckListBox::GetCheck(int nIndex) const {
  ItemState* s = const_cast<CCheckListBox*>(this)->item(nIndex);
  return s ? s->check : 0;
}

void CCheckListBox::Enable(int nIndex, BOOL bEnabled) {
  if (ItemState* s = item(nIndex)) {
    s->enabled = bEnabled != FALSE;
    RECT r;
    if (GetItemRect(nIndex, &r) != LB_ERR) InvalidateRect(&r, FALSE);
  }
}

BOOL CCheckListBox::IsEnabled(int nIndex) const {
  ItemState* s = const_cast<CCheckListBox*>(this)->item(nIndex);
  return s && s->enabled ? TRUE : FALSE;
}

int CCheckListBox::CalcMinimumItemHeight() {
  return std::max(platform::controls::kListBoxItemHeight, platform::controls::kCheckListBoxCheckWidth + 2);
}

void CCheckListBox::MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct) {
  auto least = static_cast<UINT>(CalcMinimumItemHeight());
  if (lpMeasureItemStruct->itemHeight < least) lpMeasureItemStruct->itemHeight = least;
}

void CCheckListBox::PreSubclassWindow() {
  CListBox::PreSubclassWindow();
  // The list measured its rows before this object saw it.
  if ((GetStyle() & LBS_OWNERDRAWFIXED) && GetItemHeight(0) < CalcMinimumItemHeight())
    SetItemHeight(0, static_cast<UINT>(CalcMinimumItemHeight()));
  item(-1);
}

bool CCheckListBox::userToggle(int nIndex) {
  ItemState* s = item(nIndex);
  if (!s || !s->enabled) return false;
  if (m_nStyle != BS_AUTOCHECKBOX && m_nStyle != BS_AUTO3STATE) return false;
  int modulo = m_nStyle == BS_AUTO3STATE ? 3 : 2;
  SetCheck(nIndex, (s->check % modulo + 1) % modulo);
  return true;
}

LRESULT CCheckListBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      item(-1);
      LRESULT r = CListBox::WindowProc(message, wParam, lParam);
      if (r >= 0 && static_cast<std::size_t>(r) <= m_items.size())
        m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(r), ItemState{});
      return r;
    }
    case LB_DELETESTRING: {
      item(-1);
      LRESULT r = CListBox::WindowProc(message, wParam, lParam);
      if (r != LB_ERR && wParam < m_items.size()) m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(wParam));
      return r;
    }
    case LB_RESETCONTENT: {
      LRESULT r = CListBox::WindowProc(message, wParam, lParam);
      m_items.clear();
      return r;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      LRESULT hit = CListBox::WindowProc(LB_ITEMFROMPOINT, 0, lParam);
      int index = LOWORD(hit);
      if (HIWORD(hit)) break;  // below the last item
      if (!IsEnabled(index)) {
        SetFocus();
        return 0;  // a disabled item takes no clicks
      }
      int x = static_cast<short>(LOWORD(lParam));
      if (x >= 0 && x < platform::controls::kCheckListBoxCheckWidth && userToggle(index)) {
        LRESULT r = CListBox::WindowProc(message, wParam, lParam);
        GetParent()->SendMessage(WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), CLBN_CHKCHANGE), reinterpret_cast<LPARAM>(m_hWnd));
        return r;
      }
      break;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) {
        int index = (GetStyle() & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) ? GetCaretIndex() : GetCurSel();
        if (index >= 0 && userToggle(index))
          GetParent()->SendMessage(WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), CLBN_CHKCHANGE), reinterpret_cast<LPARAM>(m_hWnd));
        return 0;
      }
      break;
    default: break;
  }
  return CListBox::WindowProc(message, wParam, lParam);
}

// ---- CComboBox ----

BOOL CComboBox::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  platform::controls::registerCommonClasses();
  return CWnd::Create(WC_COMBOBOXW, nullptr, dwStyle, rect, pParentWnd, nID);
}
int CComboBox::GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
int CComboBox::GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
int CComboBox::SetCurSel(int nSelect) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(nSelect))); }
int CComboBox::AddString(LPCWSTR lpszString) {
  return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lpszString)));
}
int CComboBox::InsertString(int nIndex, LPCWSTR lpszString) {
  return static_cast<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszString)));
}
int CComboBox::DeleteString(UINT nIndex) { return static_cast<int>(SendMessage(CB_DELETESTRING, nIndex)); }
void CComboBox::ResetContent() { SendMessage(CB_RESETCONTENT); }
int CComboBox::GetLBText(int nIndex, LPWSTR lpszText) const {
  return static_cast<int>(SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszText)));
}
void CComboBox::GetLBText(int nIndex, CString& rString) const {
  rString = itemText(*this, CB_GETLBTEXTLEN, CB_GETLBTEXT, nIndex);
}
int CComboBox::GetLBTextLen(int nIndex) const {
  return static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex)));
}
int CComboBox::FindString(int nStartAfter, LPCWSTR lpszString) const {
  return static_cast<int>(SendMessage(CB_FINDSTRING, static_cast<WPARAM>(nStartAfter), reinterpret_cast<LPARAM>(lpszString)));
}
int CComboBox::FindStringExact(int nIndexStart, LPCWSTR lpszFind) const {
  return static_cast<int>(
      SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(nIndexStart), reinterpret_cast<LPARAM>(lpszFind)));
}
int CComboBox::SelectString(int nStartAfter, LPCWSTR lpszString) {
  return static_cast<int>(
      SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(nStartAfter), reinterpret_cast<LPARAM>(lpszString)));
}
DWORD_PTR CComboBox::GetItemData(int nIndex) const {
  return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(nIndex)));
}
int CComboBox::SetItemData(int nIndex, DWORD_PTR dwItemData) {
  return static_cast<int>(SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(nIndex), static_cast<LPARAM>(dwItemData)));
}
void* CComboBox::GetItemDataPtr(int nIndex) const { return reinterpret_cast<void*>(GetItemData(nIndex)); }
int CComboBox::SetItemDataPtr(int nIndex, void* pData) { return SetItemData(nIndex, reinterpret_cast<DWORD_PTR>(pData)); }
BOOL CComboBox::LimitText(int nMaxChars) { return static_cast<BOOL>(SendMessage(CB_LIMITTEXT, static_cast<WPARAM>(nMaxChars))); }
void CComboBox::ShowDropDown(BOOL bShowIt) { SendMessage(CB_SHOWDROPDOWN, static_cast<WPARAM>(bShowIt)); }
BOOL CComboBox::GetDroppedState() const { return static_cast<BOOL>(SendMessage(CB_GETDROPPEDSTATE)); }
DWORD CComboBox::GetEditSel() const { return static_cast<DWORD>(SendMessage(CB_GETEDITSEL)); }
BOOL CComboBox::SetEditSel(int nStartChar, int nEndChar) {
  return static_cast<BOOL>(SendMessage(CB_SETEDITSEL, 0, MAKELPARAM(nStartChar, nEndChar)));
}
void CComboBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CComboBox::MeasureItem(LPMEASUREITEMSTRUCT) {}
void CComboBox::DeleteItem(LPDELETEITEMSTRUCT) {}

BOOL CComboBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (ownerDrawNotify(*this, message, lParam, pResult)) return TRUE;
  return CWnd::OnChildNotify(message, wParam, lParam, pResult);
}
