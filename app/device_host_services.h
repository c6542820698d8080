// What drive detection needs of the main program that comes with later parts of it: the main
// window, whether a user is logged in, the logout after a removal,
// and the don't-ask-again warning. The application installs its implementation with
// setDeviceHostServices; until then a default stands in (no main window, nobody
// logged in, logout and warning do nothing).
#pragma once

#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CDeviceHostServices {
 public:
  virtual ~CDeviceHostServices() = default;

  // The application's main window (the frame that takes WM_USER+20 and WM_USER+30); null when none.
  virtual HWND getMainWindow();
  // The document reports a user logged in (the host is personalized).
  virtual bool isUserLoggedIn();
  // Marks the view's coming logout as caused by the drive's removal and starts it
  // (CCustomizerView::startLogout with false).
  virtual void startLogoutAfterRemoval();
  // askUnlessSuppressed(owner, text, check-box text, preference, 0, -1, -1); the answer is not used.
  virtual void askUnlessSuppressed(HWND owner, const CString& text, const CString& checkBoxText,
                                   const CString& preferenceName);
  // The customization's secure-drive switch ("VeskSecurityEnabled", on unless it says "no").
  virtual bool isSecureDriveSettingOn();
};

// The services in force (the default until the application installs its own).
CDeviceHostServices& deviceHostServices();
// Installs `services` (not owned; null restores the default).
void setDeviceHostServices(CDeviceHostServices* services);
