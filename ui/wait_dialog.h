// CWaitDlg: the modeless box that asks the user to wait while a logout runs. It is up from its
// construction (centred on the desktop and painted at once) until its owner deletes it.
#pragma once

#include "platform/afx/afxwin.h"

class CWaitDlg : public CDialog {
 public:
  // An empty `text` keeps the template's own text.
  explicit CWaitDlg(const CString& text = CString(), CWnd* parent = nullptr);
  ~CWaitDlg() override;
  CWaitDlg(const CWaitDlg&) = delete;
  CWaitDlg& operator=(const CWaitDlg&) = delete;

  BOOL OnInitDialog() override;

 private:
  CString m_text;
};
