// The password-protection question: it cannot be closed without a choice.
#include "ui/enable_password_dialog.h"

#include "app/file_util.h"
#include "app/messages.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "ui/dialog_support.h"

CEnablePasswordDialog::CEnablePasswordDialog(CWnd* parent) : CDialog(IDD_ENABLE_PASSWORD, parent) {}

BOOL CEnablePasswordDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  CheckDlgButton(IDC_EP_NO_PASSWORD, BST_UNCHECKED);
  CheckDlgButton(IDC_EP_PASSWORD, BST_UNCHECKED);
  return TRUE;
}

void CEnablePasswordDialog::OnOK() {
  const bool none = IsDlgButtonChecked(IDC_EP_NO_PASSWORD) == BST_CHECKED;
  const bool protect = IsDlgButtonChecked(IDC_EP_PASSWORD) == BST_CHECKED;
  if (!none && !protect) {
    showMessageById(IDS_EP_MUST_CHOOSE);
    return;
  }
  passwordProtected = protect;
  EndDialog(IDOK);
}

void CEnablePasswordDialog::OnCancel() { showMessageById(IDS_EP_MUST_CHOOSE); }
