// CAutoLogoutDialog: the 45-second automatic-logout countdown shown when the user's drive went away
// while a user is logged in. It ends with IDOK when the count runs out or the user confirms, and
// with IDCANCEL when the user dismisses it or the removed drive comes back. It does not log out
// itself: after IDOK the caller starts the logout. While up it is the detector's change client
// and the current countdown, whoever showed it.
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
  // drive is back); with no m_driveText, any arrival after which the device's drive root exists
  // again does. Every change is taken (true).
  bool onDeviceChange(const CString& interfaceName, bool removed) override;

  // The countdown on screen, the detector's or the main frame's; null when none is up.
  static CAutoLogoutDialog* current();

  // The volume interface name of the removed drive; set by the caller before DoModal. The main
  // frame's countdown, raised while the application waits for its drive, has none.
  CString m_driveText;
  bool m_noCountdown;

 private:
  // Lets go of the change client and of the current-countdown slot.
  void unregisterClient();
};
