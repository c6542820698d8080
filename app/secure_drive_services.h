// What the secure-drive layer and the drive dialogs need of the main program and of later parts
// of it (application object, drive detector, administrator logon). The application installs its
// implementation with setSecureDriveServices; until then a default stands in that has no device
// library object, no detector and no logon object, and pumps the thread's messages itself.
#pragma once

#include <memory>

#include "app/user_credentials.h"
#include "platform/afx/cstring.h"
#include "platform/base/types.h"

class CDeviceSdk;
class CDeviceChangeClient;

// The administrator logon object (the logon dialog with its operation list) the secure-drive
// layer builds and never shows.
class CAdminLogon {
 public:
  virtual ~CAdminLogon() = default;
  // Gives up any administrator impersonation it holds.
  virtual void revertToSelf() = 0;
};

class CSecureDriveServices {
 public:
  virtual ~CSecureDriveServices() = default;

  // The application's message pump (CCustomizerApp::processMessages); the default dispatches
  // every message waiting in this thread's queue.
  virtual void processMessages();
  // Ends the program at once (third wrong password); the default calls ExitProcess.
  virtual void endProgram(UINT exitCode);
  // The logon dialog object built with one CTrekAdminOperation; null when there is none.
  virtual std::unique_ptr<CAdminLogon> createAdminLogon();
  // The credentials that last logged on as administrator in this run (the application's; the
  // default keeps its own pair, empty at first).
  virtual CUserCredentials& adminCredentials();

  // The application's device library object; null when the drive has none.
  virtual CDeviceSdk* getDeviceSdk();
  // The drive detector's change client: the dialogs that want device changes for themselves set
  // it while they are up and clear it when they end.
  virtual CDeviceChangeClient* getDeviceChangeClient();
  virtual void setDeviceChangeClient(CDeviceChangeClient* client);
  // CDeviceDetector::changeSecureAreaPassword (switch protection on); the default runs the flow
  // of secure_drive_setup.h on getDeviceSdk().
  virtual bool changeSecureAreaPassword(const CString& newPassword, const CString& secondText);

  // The file the customization was loaded from; empty when it was not loaded from a file.
  virtual CString getCustomizationFilePath();

  // The drive-selection dialog's source of drives: the application's monitor byte (true: use the
  // USB device monitor), the standby request (read and cleared by every refresh) and
  // enumerateUsbDrives (one letter per USB disk volume).
  virtual bool usesDeviceMonitor();
  virtual bool standbyRequested();
  virtual void clearStandbyRequest();
  virtual CString enumerateUsbDrives();
};

// The services in force (the default until an application installs its own).
CSecureDriveServices& secureDriveServices();
// Installs `services` (not owned; null restores the default).
void setSecureDriveServices(CSecureDriveServices* services);
