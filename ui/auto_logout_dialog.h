// CAutoLogoutDialog: the 45-second automatic-logout countdown shown when the user's drive went away
// while a user is logged in. It ends with IDOK when the count runs out or the user confirms, and
// with IDCANCEL when the user dismisses it or the removed drive comes back. It does not log out
// itself: after IDOK the caller starts the logout. While up it is the detector's change client.
#pragma once

#include "app/device_change_client.h"
#include "ui/timed_dialog.h"

class CAutoLogoutDialog : public CTimedDialog, public CDeviceChangeClient {
 public:
  static constexpr int kCountdownSeconds = 45;

  explicit CAutoLogoutDialog(CWnd* parent = nullptr, bool noCountdown = false);
  ~CAutoLogoutDialog() override;

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  // The arrival of a volume whose interface name contains m_driveText cancels the countdown (the
  // drive is back); every change is taken (true).
  bool onDeviceChange(const CString& interfaceName, bool removed) override;

  // The volume interface name of the removed drive; set by the caller before DoModal.
  CString m_driveText;
  bool m_noCountdown;

 private:
  void unregisterClient();
};
