// CCloseProcessesDialog: before a login or a logout, the list of running programs that must be
// closed first. Nothing is shown (IDOK) when the list is empty or the user chose not to see it
// again; IDCANCEL means the caller cancels the login or logout.
#pragma once

#include <vector>

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"
#include "platform/afx/ctrl_list.h"

class CProcessCustomizer;

class CCloseProcessesDialog : public CDialog {
 public:
  CCloseProcessesDialog(bool forLogin, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  // The preference that keeps the list showing: "showCloseProcesses" + "LoginMessage"/"LogoutMessage".
  CString prefName() const;

  CListBox m_list;
  CString m_text;
  int m_alwaysShow = FALSE;
  bool m_forLogin = true;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnCheckClicked();
  DECLARE_MESSAGE_MAP()

 private:
  std::vector<CProcessCustomizer*> closers();
  void fillList();
};
