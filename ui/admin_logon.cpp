// The administrator logon object of the secure-drive layer and the document factory's logon step.
#include "ui/admin_logon.h"

#include "app/trek_admin_operation.h"
#include "ui/admin_logon_dialog.h"

CDialogAdminLogon::CDialogAdminLogon() {
  m_owned.push_back(std::make_unique<CTrekAdminOperation>());
  for (auto& operation : m_owned) m_operations.push_back(operation.get());
  m_dialog = std::make_unique<CUserLogonDialog>(&m_operations, nullptr);
}

CDialogAdminLogon::~CDialogAdminLogon() = default;

void CDialogAdminLogon::revertToSelf() { m_dialog->revertToSelf(); }

std::unique_ptr<CAdminLogon> createAdminLogon() { return std::make_unique<CDialogAdminLogon>(); }

int runAdminLogonDialog(const std::vector<CAdminUserOperation*>& operations, HWND owner) {
  std::vector<CAdminUserOperation*> steps = operations;
  CUserLogonDialog dialog(&steps, owner != nullptr ? CWnd::FromHandle(owner) : nullptr);
  return static_cast<int>(dialog.DoModal());
}
