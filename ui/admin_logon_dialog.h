// CUserLogonDialog: lists the steps that need an administrator, asks for an administrator's user
// name and password, logs that account on and impersonates it while the steps run, then keeps the
// impersonation (a step needs it afterwards) or returns to the user's own account. Credentials
// that worked once in this run are tried again silently first, so the dialog then closes by
// itself. DoModal gives IDOK when the steps ran successfully.
#pragma once

#include <vector>

#include "app/admin_user_operation.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_list.h"

class CUserLogonDialog : public CDialog {
 public:
  // The steps belong to the caller.
  explicit CUserLogonDialog(std::vector<CAdminUserOperation*>* steps = nullptr, CWnd* parent = nullptr);
  ~CUserLogonDialog() override;

  void setAdminOperations(std::vector<CAdminUserOperation*>* steps) { m_steps = steps; }
  // Gives up a held impersonation: RevertToSelf and the token closed; true when nothing was held
  // or both succeeded.
  bool revertToSelf();
  // The logon with the fields' credentials and the steps; `silent` shows no message.
  bool logonAndRun(bool silent);
  bool holdsToken() const { return m_token != nullptr; }

  BOOL OnInitDialog() override;
  void OnOK() override;

  CListBox m_stepList;
  CString m_password;
  CString m_userName;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnMoreInformation();
  DECLARE_MESSAGE_MAP()

 private:
  std::vector<CAdminUserOperation*>* m_steps;
  HANDLE m_token = nullptr;
};
