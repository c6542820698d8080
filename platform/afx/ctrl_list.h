// The class library's wrappers of the list controls: CListBox, CCheckListBox and CComboBox.
// Owner-draw lists get DrawItem, MeasureItem and DeleteItem called when the parent reflects
// WM_DRAWITEM, WM_MEASUREITEM and WM_DELETEITEM.
//
// CCheckListBox is an owner-draw list box (LBS_OWNERDRAWFIXED | LBS_HASSTRINGS) that keeps a
// check state and an enabled flag per item. A click on an item's check box (its first
// platform::controls::kCheckListBoxCheckWidth pixels), or the space bar, toggles the check of an
// enabled item and sends CLBN_CHKCHANGE to the parent; the check style decides how it cycles
// (BS_AUTOCHECKBOX: two states, BS_AUTO3STATE: three; BS_CHECKBOX and BS_3STATE leave it to the
// program). Its rows are at least a check box plus 2 pixels tall.
#pragma once

#include <vector>

#include "platform/afx/wnd.h"
#include "platform/win32/controls/commctrl.h"

class CListBox : public CWnd {
  DECLARE_DYNAMIC(CListBox)

 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int nSelect);
  int GetSel(int nIndex) const;
  int SetSel(int nIndex, BOOL bSelect = TRUE);
  int GetSelCount() const;
  int GetSelItems(int nMaxItems, int* rgIndex) const;
  int GetText(int nIndex, LPWSTR lpszBuffer) const;
  void GetText(int nIndex, CString& rString) const;
  int GetTextLen(int nIndex) const;
  int AddString(LPCWSTR lpszItem);
  int InsertString(int nIndex, LPCWSTR lpszItem);
  int DeleteString(UINT nIndex);
  void ResetContent();
  int FindString(int nStartAfter, LPCWSTR lpszItem) const;
  int FindStringExact(int nIndexStart, LPCWSTR lpszFind) const;
  int SelectString(int nStartAfter, LPCWSTR lpszItem);
  DWORD_PTR GetItemData(int nIndex) const;
  int SetItemData(int nIndex, DWORD_PTR dwItemData);
  void* GetItemDataPtr(int nIndex) const;
  int SetItemDataPtr(int nIndex, void* pData);
  int GetTopIndex() const;
  int SetTopIndex(int nIndex);
  int GetCaretIndex() const;
  int GetItemHeight(int nIndex) const;
  int SetItemHeight(int nIndex, UINT cyItemHeight);
  int GetItemRect(int nIndex, LPRECT lpRect) const;

  // Owner-draw lists: the base draws nothing, leaves the height as it is, and forgets nothing.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  virtual void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct);
  virtual void DeleteItem(LPDELETEITEMSTRUCT lpDeleteItemStruct);

  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class CCheckListBox : public CListBox {
  DECLARE_DYNAMIC(CCheckListBox)

 public:
  // Adds LBS_OWNERDRAWFIXED when no owner-draw style is given, and LBS_HASSTRINGS.
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  void SetCheckStyle(UINT nStyle);
  UINT GetCheckStyle() const { return m_nStyle; }
  void SetCheck(int nIndex, int nCheck);
  int GetCheck(int nIndex) const;
  void Enable(int nIndex, BOOL bEnabled = TRUE);
  BOOL IsEnabled(int nIndex) const;
  // The least row height that shows a check box.
  virtual int CalcMinimumItemHeight();

  void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct) override;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void PreSubclassWindow() override;

 private:
  struct ItemState {
    int check = 0;
    bool enabled = true;
  };
  // Parallel to the list's items: kept in step by watching the messages that add and remove them.
  std::vector<ItemState> m_items;
  UINT m_nStyle = BS_AUTOCHECKBOX;

  ItemState* item(int nIndex);
  // Clicks and the space bar; TRUE when the message was taken.
  bool userToggle(int nIndex);
};

class CComboBox : public CWnd {
  DECLARE_DYNAMIC(CComboBox)

 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int nSelect);
  int AddString(LPCWSTR lpszString);
  int InsertString(int nIndex, LPCWSTR lpszString);
  int DeleteString(UINT nIndex);
  void ResetContent();
  int GetLBText(int nIndex, LPWSTR lpszText) const;
  void GetLBText(int nIndex, CString& rString) const;
  int GetLBTextLen(int nIndex) const;
  int FindString(int nStartAfter, LPCWSTR lpszString) const;
  int FindStringExact(int nIndexStart, LPCWSTR lpszFind) const;
  int SelectString(int nStartAfter, LPCWSTR lpszString);
  DWORD_PTR GetItemData(int nIndex) const;
  int SetItemData(int nIndex, DWORD_PTR dwItemData);
  void* GetItemDataPtr(int nIndex) const;
  int SetItemDataPtr(int nIndex, void* pData);
  BOOL LimitText(int nMaxChars);
  void ShowDropDown(BOOL bShowIt = TRUE);
  BOOL GetDroppedState() const;
  DWORD GetEditSel() const;
  BOOL SetEditSel(int nStartChar, int nEndChar);

  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  virtual void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct);
  virtual void DeleteItem(LPDELETEITEMSTRUCT lpDeleteItemStruct);

  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};
