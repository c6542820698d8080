// CPasswordDialog: asks for the drive's password before its secure area is opened. DoModal gives
// IDOK with the verified password in m_password, IDCANCEL when the user gives up (or after the
// third wrong password), or kForgotPasswordResult when the user pressed "forgotten password".
#pragma once

#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"
#include "ui/dialog_support.h"

class CPasswordDialog : public CDialog {
 public:
  static constexpr INT_PTR kForgotPasswordResult = 1038;

  explicit CPasswordDialog(CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;

  CStatic m_prompt;
  CString m_password;
  int m_failedAttempts = 0;
  CPasswordFont m_passwordFont;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnChangePassword();
  afx_msg void OnForgotPassword();
  void bringToForeground();
  DECLARE_MESSAGE_MAP()
};
