// CChangePasswordDialog: mode 1 changes the drive's password (template 259, through
// CDeviceSdk::checkPassword and CDeviceSdk::changePassword); any other mode sets the first
// password while protection is switched on (template 273, through the detector's
// changeSecureAreaPassword). DoModal gives IDOK or IDCANCEL.
#pragma once

#include "platform/afx/afxwin.h"
#include "ui/dialog_support.h"

class CChangePasswordDialog : public CDialog {
 public:
  static constexpr int kChangeMode = 1;
  static constexpr int kFirstPasswordMode = 0;

  explicit CChangePasswordDialog(int mode = kFirstPasswordMode, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;

  CString m_currentPassword;
  CString m_confirmPassword;
  CString m_newPassword;
  CString m_oldPassword;  // stays empty; passed on as the second text
  int m_mode;
  CPasswordFont m_passwordFont;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void okFirstPassword();
  void okChangePassword();
};
