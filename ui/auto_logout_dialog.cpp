// The automatic-logout countdown. Only the return of the drive that went away cancels it: the
// detector hands every volume change to this dialog while it is up.
#include "ui/auto_logout_dialog.h"

#include "app/file_util.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "ui/dialog_support.h"

CAutoLogoutDialog::CAutoLogoutDialog(CWnd* parent, bool noCountdown)
    : CTimedDialog(kCountdownSeconds, IDD_AUTO_LOGOUT, parent), m_noCountdown(noCountdown) {}

CAutoLogoutDialog::~CAutoLogoutDialog() { unregisterClient(); }

BOOL CAutoLogoutDialog::OnInitDialog() {
  CTimedDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  if (!m_noCountdown) startCountdown();
  secureDriveServices().setDeviceChangeClient(this);
  return TRUE;
}

void CAutoLogoutDialog::unregisterClient() {
  CSecureDriveServices& services = secureDriveServices();
  if (services.getDeviceChangeClient() == static_cast<CDeviceChangeClient*>(this)) services.setDeviceChangeClient(nullptr);
}

void CAutoLogoutDialog::OnOK() {
  unregisterClient();
  CTimedDialog::OnOK();
}

void CAutoLogoutDialog::OnCancel() {
  unregisterClient();
  CTimedDialog::OnCancel();
}

bool CAutoLogoutDialog::onDeviceChange(const CString& interfaceName, bool removed) {
  // An empty name would match every volume; another drive coming or going changes nothing.
  if (!removed && !m_driveText.IsEmpty() && interfaceName.Find(m_driveText) >= 0) OnCancel();
  return true;
}
