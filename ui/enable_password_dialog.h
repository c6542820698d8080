// CEnablePasswordDialog: the question asked when a secure drive is set up: protect the drive with
// a password or not. The user must choose; passwordProtected tells the choice after IDOK.
#pragma once

#include "platform/afx/afxwin.h"

class CEnablePasswordDialog : public CDialog {
 public:
  explicit CEnablePasswordDialog(CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  bool passwordProtected = false;
};
