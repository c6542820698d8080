// CLogoutDialog: "log out now?" (Yes/No). Only one runs at a time: a second request brings the
// running one forward and answers IDCANCEL at once.
#pragma once

#include "platform/afx/afxwin.h"

class CLogoutDialog : public CDialog {
 public:
  explicit CLogoutDialog(CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  INT_PTR DoModal() override;

  CString m_text;

  // The dialog that runs now; null when none.
  static CLogoutDialog* running() { return s_running; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  static CLogoutDialog* s_running;
};
