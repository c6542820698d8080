// The secure-drive layer's administrator logon object: the logon dialog with one protected-area
// operation in its list. The layer never shows it; it only asks it to give up any impersonation
// it holds when the drive's library object goes.
#pragma once

#include <memory>
#include <vector>

#include "app/secure_drive_services.h"

class CAdminUserOperation;
class CUserLogonDialog;

class CDialogAdminLogon : public CAdminLogon {
 public:
  CDialogAdminLogon();
  ~CDialogAdminLogon() override;
  void revertToSelf() override;
  CUserLogonDialog& dialog() { return *m_dialog; }

 private:
  std::vector<std::unique_ptr<CAdminUserOperation>> m_owned;
  std::vector<CAdminUserOperation*> m_operations;
  std::unique_ptr<CUserLogonDialog> m_dialog;
};

// What the application's secure-drive services hand out.
std::unique_ptr<CAdminLogon> createAdminLogon();
// The document factory's step: the logon dialog, modal, over `operations`, owned by `owner`.
int runAdminLogonDialog(const std::vector<CAdminUserOperation*>& operations, HWND owner);
