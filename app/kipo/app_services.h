// CAppServices: what the application object gives the program's library parts (drive detection,
// the secure-drive layer, the folder lookup, message boxes) through their service interfaces,
// installed for the whole run, and the application's access to the document, the customizer
// view, the tray icon and the surfaces of later parts.
#pragma once

#include <memory>

#include "app/device_host_services.h"
#include "app/document_host_services.h"
#include "app/secure_drive_services.h"
#include "platform/afx/afxwin.h"

class CCustomizerApp;
class CCustomizerDoc;
class CCustomizerView;
class CRootView;
class CSpaceMan;
class CTrayIcon;

class CAppServices : public CDeviceHostServices, public CSecureDriveServices, public CDocumentHostServices {
 public:
  explicit CAppServices(CCustomizerApp& app);
  ~CAppServices() override;

  // Installs every service and hook; uninstall puts the defaults back.
  void install();
  void uninstall();

  // ---- CDeviceHostServices ----
  HWND getMainWindow() override;
  bool isUserLoggedIn() override;
  void startLogoutAfterRemoval() override;
  void askUnlessSuppressed(HWND owner, const CString& text, const CString& checkBoxText,
                           const CString& preferenceName) override;
  bool isSecureDriveSettingOn() override;

  // ---- CSecureDriveServices and CDocumentHostServices ----
  void processMessages() override;
  void endProgram(UINT exitCode) override;
  CDeviceSdk* getDeviceSdk() override;
  CDeviceChangeClient* getDeviceChangeClient() override;
  void setDeviceChangeClient(CDeviceChangeClient* client) override;
  bool changeSecureAreaPassword(const CString& newPassword, const CString& secondText) override;
  CString getCustomizationFilePath() override;
  bool standbyRequested() override;
  void clearStandbyRequest() override;

  // ---- CDocumentHostServices ----
  bool sendAppMessage(CAppMessage* message) override;
  bool postAppMessage(CAppMessage* message) override;
  bool isClosePending() override;
  void clearClosePending() override;
  bool enableAutostart() override;
  bool disableAutostart() override;
  void runLoginLogoutHook(int kind) override;
  bool isSecureAreaLoggedOut() override;
  bool saveComputer() override;
  void deleteLoginFile() override;
  void deleteProductRegistryTraces() override;
  // Inside a catch-all: a structured exception is logged by its code, anything else as undefined.
  void reportUnknownException(const CString& context) override;
  // The administrator logon: the dialog over the document's operations, the secure-drive layer's
  // logon object, and the credentials that last worked (the application's).
  void runAdministratorLogon(const std::vector<CAdminUserOperation*>& operations, HWND owner) override;
  std::unique_ptr<CAdminLogon> createAdminLogon() override;
  CUserCredentials& adminCredentials() override;

  // ---- the application's parts ----
  void recoverComputer();
  void publishDriveLetter(const CString& letter);
  CDocTemplate* createCustomizerTemplate();
  CCustomizerDoc* document();
  CCustomizerView* view();
  CRootView* customizerRootView();
  CSpaceMan* spaceMan();
  bool isDocumentBusy();
  void loadDevicePreferences();
  void hostCleanup();
  bool startCustomizerView();
  void activateView(CView* view);
  void activateCustomizerView();
  void updateLoginState();
  void viewPersonalize();
  void viewDepersonalize(bool silent);
  void viewLogoutRequest();
  void logoutForRemovedDrive();
  void slidePulldownOpen();
  void destroyLoginPulldown();
  void showAbout(CWnd* parent);

  void createTrayIcon(UINT callbackMessage, UINT id);
  void removeTrayIcon();
  void showTrayIcon(bool shown);
  void trayNotify(WPARAM wParam, LPARAM lParam);
  CTrayIcon* trayIcon() { return m_trayIcon.get(); }

  // The open options and synchronize dialogs of later parts.
  void cancelOpenDialogs();
  void enableOpenDialogs(bool enabled);
  HWND openDialogWindow();

  void setStandbyRequest(bool on) { m_standbyRequest = on; }

 private:
  // Start-up calls in progress that a close must wait for.
  int m_closeHeld = 0;
  CCustomizerApp& m_app;
  bool m_standbyRequest = false;
  bool m_installed = false;
  std::unique_ptr<CTrayIcon> m_trayIcon;
};
