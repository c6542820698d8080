// The automatic-logout countdown. Only the return of the drive that went away cancels it: the
// detector hands every volume change to this dialog while it is up, or, when the dialog is not
// its change client, cancels the current countdown itself.
#include "ui/auto_logout_dialog.h"

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/secure_drive_services.h"
#include "lang/ids.h"
#include "ui/dialog_support.h"

namespace {

CAutoLogoutDialog* g_current = nullptr;

}  // namespace

CAutoLogoutDialog* CAutoLogoutDialog::current() { return g_current; }

CAutoLogoutDialog::CAutoLogoutDialog(CWnd* parent, bool noCountdown)
    : CTimedDialog(kCountdownSeconds, IDD_AUTO_LOGOUT, parent), m_noCountdown(noCountdown) {}

CAutoLogoutDialog::~CAutoLogoutDialog() { unregisterClient(); }

BOOL CAutoLogoutDialog::OnInitDialog() {
  CTimedDialog::OnInitDialog();
  setDialogBigIcon(*this);
  replaceUiPlaceholders(m_hWnd);
  if (!m_noCountdown) startCountdown();
  secureDriveServices().setDeviceChangeClient(this);
  g_current = this;
  return TRUE;
}

void CAutoLogoutDialog::unregisterClient() {
  if (g_current == this) g_current = nullptr;
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
  if (removed) return true;
  bool back = false;
  if (!m_driveText.IsEmpty()) {
    back = interfaceName.Find(m_driveText) >= 0;
  } else {
    // Without the removal's name an empty text would match every volume: only the device's own
    // root tells that its drive is back.
    const CString path = CFolderLookup::getDevicePath();
    back = !path.IsEmpty() && directoryExists(path.Left(3));
  }
  if (back) OnCancel();
  return true;
}
