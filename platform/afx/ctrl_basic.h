// The class library's wrappers of the button, edit and static controls: CButton, CEdit, CStatic.
// Each is a CWnd over a window of the control's class, calling it through its messages. An
// owner-draw button or static gets its DrawItem called when the parent reflects WM_DRAWITEM.
#pragma once

#include "platform/afx/wnd.h"
#include "platform/win32/controls/commctrl.h"

class CButton : public CWnd {
  DECLARE_DYNAMIC(CButton)

 public:
  BOOL Create(LPCWSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  // BST_PUSHED, BST_FOCUS and the check state.
  UINT GetState() const;
  void SetState(BOOL bHighlight);
  int GetCheck() const;
  void SetCheck(int nCheck);
  // The low byte of the window style (the button's kind and text placement).
  UINT GetButtonStyle() const;
  void SetButtonStyle(UINT nStyle, BOOL bRedraw = TRUE);
  HICON SetIcon(HICON hIcon);
  HICON GetIcon() const;
  HBITMAP SetBitmap(HBITMAP hBitmap);
  HBITMAP GetBitmap() const;

  // Owner-draw buttons: called with the parent's WM_DRAWITEM. The base draws nothing.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);

  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class CEdit : public CWnd {
  DECLARE_DYNAMIC(CEdit)

 public:
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  // 0 lifts the limit.
  void LimitText(int nChars = 0);
  void SetLimitText(UINT nMax) { LimitText(static_cast<int>(nMax)); }
  UINT GetLimitText() const;
  void SetPasswordChar(WCHAR ch);
  WCHAR GetPasswordChar() const;
  // nEndChar -1 selects to the end; nStartChar -1 removes the selection.
  void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE);
  void SetSel(DWORD dwSelection, BOOL bNoScroll = FALSE);
  // LOWORD start, HIWORD end.
  DWORD GetSel() const;
  void GetSel(int& nStartChar, int& nEndChar) const;
  void ReplaceSel(LPCWSTR lpszNewText, BOOL bCanUndo = FALSE);
  void Clear();
  int GetLineCount() const;
  // The length of the line holding character nLine (-1: the caret's line without the selection).
  int LineLength(int nLine = -1) const;
  int LineIndex(int nLine = -1) const;
  int LineFromChar(int nIndex = -1) const;
  // Copies line nIndex (no terminator added); the number of characters copied.
  int GetLine(int nIndex, LPWSTR lpszBuffer, int nMaxLength) const;
  BOOL SetReadOnly(BOOL bReadOnly = TRUE);
  BOOL GetModify() const;
  void SetModify(BOOL bModified = TRUE);
};

class CStatic : public CWnd {
  DECLARE_DYNAMIC(CStatic)

 public:
  BOOL Create(LPCWSTR lpszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID = 0xFFFF);

  HICON SetIcon(HICON hIcon);
  HICON GetIcon() const;
  HBITMAP SetBitmap(HBITMAP hBitmap);
  HBITMAP GetBitmap() const;

  // SS_OWNERDRAW statics: called with the parent's WM_DRAWITEM. The base draws nothing.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);

  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};
