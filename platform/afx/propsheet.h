// Property sheets: CPropertySheet (a dialog window holding a tab control, the pages and, when
// modal, OK, Cancel and Apply) and CPropertyPage (a child dialog made from its template). The
// sheet talks to its pages with WM_NOTIFY and the PSN_* codes; CPropertyPage turns them into
// OnSetActive (FALSE vetoes the switch), OnKillActive (FALSE keeps the page: its data are
// invalid), OnApply, OnReset and OnQueryCancel. SetModified enables Apply.
//
// Layout in dialog units: the tab control at (4, 4) around the largest page, the page 8 units in
// and 20 down (below the tabs), the buttons 50 x 14 at the bottom right, 4 apart.
#pragma once

#include <vector>

#include "platform/afx/dialog.h"

#define PSN_FIRST (0U - 200U)
#define PSN_SETACTIVE (PSN_FIRST - 0)
#define PSN_KILLACTIVE (PSN_FIRST - 1)
#define PSN_APPLY (PSN_FIRST - 2)
#define PSN_RESET (PSN_FIRST - 3)
#define PSN_HELP (PSN_FIRST - 5)
#define PSN_QUERYCANCEL (PSN_FIRST - 9)
#define PSNRET_NOERROR 0
#define PSNRET_INVALID 1
#define PSNRET_INVALID_NOCHANGEPAGE 2

#define PSM_SETCURSEL (WM_USER + 101)
#define PSM_CHANGED (WM_USER + 104)
#define PSM_CANCELTOCLOSE (WM_USER + 107)
#define PSM_UNCHANGED (WM_USER + 109)
#define PSM_APPLY (WM_USER + 110)
#define PSM_PRESSBUTTON (WM_USER + 112)

#define PSBTN_OK 3
#define PSBTN_APPLYNOW 4
#define PSBTN_CANCEL 5

#define PSH_PROPTITLE 0x00000001
#define PSH_NOAPPLYNOW 0x00000080
#define PSH_HASHELP 0x00000200
#define PSH_MODELESS 0x00000400

// Ids of the sheet's own controls.
#define AFX_IDC_TAB_CONTROL 0x3020
#define ID_APPLY_NOW 0x3021

struct PSHNOTIFY {
  NMHDR hdr;
  LPARAM lParam;
};
using LPPSHNOTIFY = PSHNOTIFY*;

class CPropertySheet;

class CPropertyPage : public CDialog {
  DECLARE_DYNAMIC(CPropertyPage)

 public:
  CPropertyPage() = default;
  // nIDCaption: a string for the tab (0: the template's caption).
  explicit CPropertyPage(UINT nIDTemplate, UINT nIDCaption = 0);
  explicit CPropertyPage(LPCWSTR lpszTemplateName, UINT nIDCaption = 0);

  // The base refreshes the controls from the members on every activation after the first.
  virtual BOOL OnSetActive();
  // The base reads the controls (UpdateData(TRUE)); FALSE keeps the page.
  virtual BOOL OnKillActive();
  // The base calls OnOK and accepts.
  virtual BOOL OnApply();
  virtual void OnReset();
  virtual BOOL OnQueryCancel();
  void OnOK() override {}
  void OnCancel() override {}
  void SetModified(BOOL bChanged = TRUE);
  void CancelToClose();
  BOOL IsModified() const { return m_bModified; }

  // The tab's text.
  CString GetCaption() const;
  CPropertySheet* GetSheet() const { return m_pSheet; }

  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

  // The sheet's access to the page's template and creation.
  bool templateBytesOf(HINSTANCE& instance, const BYTE*& bytes, std::size_t& size) const {
    return templateBytes(instance, bytes, size);
  }
  BOOL createFromTemplateOf(HINSTANCE instance, const platform::dialog::DialogTemplate& t, HWND parent) {
    return createFrom(instance, t, parent);
  }

  UINT m_nIDCaption = 0;
  CPropertySheet* m_pSheet = nullptr;
  BOOL m_bFirstSetActive = TRUE;
  BOOL m_bModified = FALSE;
  CString m_strTemplateCaption;
};

class CPropertySheet : public CDialog {
  DECLARE_DYNAMIC(CPropertySheet)

 public:
  CPropertySheet() = default;
  explicit CPropertySheet(LPCWSTR pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  explicit CPropertySheet(UINT nIDCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  ~CPropertySheet() override;

  // Pages belong to the caller; a page added to a sheet that exists appears at once.
  void AddPage(CPropertyPage* pPage);
  // Removes the page (its window is destroyed; another page becomes active when it was active).
  void RemovePage(CPropertyPage* pPage);
  void RemovePage(int nPage);
  int GetPageCount() const { return static_cast<int>(m_pages.size()); }
  CPropertyPage* GetPage(int nPage) const;
  int GetPageIndex(CPropertyPage* pPage) const;
  CPropertyPage* GetActivePage() const;
  int GetActiveIndex() const { return m_nActive; }
  // FALSE when the current page refuses to be left or the new one refuses to be shown.
  BOOL SetActivePage(int nPage);
  BOOL SetActivePage(CPropertyPage* pPage) { return SetActivePage(GetPageIndex(pPage)); }
  CWnd* GetTabControl() const;
  void SetTitle(LPCWSTR lpszText, UINT nStyle = 0);
  // PSBTN_OK, PSBTN_APPLYNOW or PSBTN_CANCEL, as if the button were clicked.
  BOOL PressButton(int nButton);

  // Modal: returns IDOK or IDCANCEL.
  INT_PTR DoModal() override;
  // Modeless, or as a child of pParentWnd with WS_CHILD; it has its buttons all the same.
  virtual BOOL Create(CWnd* pParentWnd = nullptr, DWORD dwStyle = static_cast<DWORD>(-1), DWORD dwExStyle = 0);

  struct {
    DWORD dwFlags = 0;
  } m_psh;
  CString m_strCaption;

  // Called by pages.
  void pageChanged(CPropertyPage* pPage, BOOL bChanged);

 protected:
  afx_msg LRESULT OnSheetInit(WPARAM, LPARAM);
  afx_msg void OnOK() override;
  afx_msg void OnCancel() override;
  afx_msg void OnApplyNow();
  afx_msg void OnTabChanging(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg void OnTabChange(NMHDR* pNMHDR, LRESULT* pResult);
  afx_msg LRESULT OnPsmChanged(WPARAM, LPARAM);
  afx_msg LRESULT OnPsmUnchanged(WPARAM, LPARAM);
  afx_msg LRESULT OnPsmCancelToClose(WPARAM, LPARAM);

  BOOL createSheet(HWND parent, DWORD style, DWORD exStyle, bool withButtons);
  bool createPage(int index);
  void placePage(CPropertyPage* page);
  void insertTab(int index);
  // PSN_* to a page; the page's answer.
  LRESULT notifyPage(CPropertyPage* page, UINT code);
  // Applies every created page; FALSE (and that page active) when one refused.
  bool applyAll();
  void updateApply();

  std::vector<CPropertyPage*> m_pages;
  std::vector<CPropertyPage*> m_modified;
  int m_nActive = 0;
  bool m_withButtons = true;
  int m_pageCx = 0, m_pageCy = 0;  // dialog units

  DECLARE_MESSAGE_MAP()
};
