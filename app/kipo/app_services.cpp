// The application's services to the library parts, and its bridge to the document, the view, the
// tray icon and the surfaces of later parts.
#include "app/kipo/app_services.h"

#include "app/customization.h"
#include "app/device_detector.h"
#include "app/device_sdk.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/kipo/customizer_app.h"
#include "app/kipo/root_views.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "platform/win32/win32.h"

CAppServices::~CAppServices() { uninstall(); }

void CAppServices::install() {
  if (m_installed) return;
  m_installed = true;
  setDeviceHostServices(this);
  setSecureDriveServices(this);
  CFolderLookup::setDevicePathSource([] { return CCustomizerApp::getDevicePath(); });
  CFolderLookup::installSpecialFolderSource();
  setMessageOwnerSource([this] { return m_app.getMessageBoxOwner(); });
  setRemovableDrivesOnly(false);
}

void CAppServices::uninstall() {
  if (!m_installed) return;
  m_installed = false;
  setDeviceHostServices(nullptr);
  setSecureDriveServices(nullptr);
  CFolderLookup::setDevicePathSource({});
  setMessageOwnerSource({});
}

// ---- drive detection ----------------------------------------------------------------------------

HWND CAppServices::getMainWindow() { return m_app.m_pMainWnd ? m_app.m_pMainWnd->GetSafeHwnd() : nullptr; }

bool CAppServices::isUserLoggedIn() { return m_app.isHostPersonalized(); }

void CAppServices::startLogoutAfterRemoval() { logoutForRemovedDrive(); }

void CAppServices::askUnlessSuppressed(HWND, const CString& text, const CString&, const CString& preferenceName) {
  CPreferenceFile& prefs = getDevicePrefs();
  bool show = true;
  if (prefs.openRoot() && prefs.getBool(preferenceName, show) && !show) return;
  askYesNoText(text);
}

bool CAppServices::isSecureDriveSettingOn() { return m_app.getCustomization().veskSecurityEnabled; }

// ---- the secure-drive layer ---------------------------------------------------------------------

void CAppServices::processMessages() { m_app.processMessages(); }

void CAppServices::endProgram(UINT exitCode) {
  writeStopLine();
  ExitProcess(exitCode);
}

CDeviceSdk* CAppServices::getDeviceSdk() { return m_app.getDeviceDetector().getDeviceSdk(); }

CDeviceChangeClient* CAppServices::getDeviceChangeClient() { return m_app.getDeviceDetector().getChangeClient(); }

void CAppServices::setDeviceChangeClient(CDeviceChangeClient* client) {
  m_app.getDeviceDetector().setChangeClient(client);
}

bool CAppServices::changeSecureAreaPassword(const CString& newPassword, const CString& secondText) {
  return m_app.getDeviceDetector().changeSecureAreaPassword(newPassword, secondText);
}

CString CAppServices::getCustomizationFilePath() {
  return m_app.getCustomization().loaded ? m_app.getCustomization().configPath : CString();
}

bool CAppServices::standbyRequested() { return m_standbyRequest; }

void CAppServices::clearStandbyRequest() { m_standbyRequest = false; }

// ---- the application's parts --------------------------------------------------------------------

void CAppServices::recoverComputer() {}

void CAppServices::publishDriveLetter(const CString&) {}

CDocTemplate* CAppServices::createCustomizerTemplate() { return nullptr; }

CCustomizerDoc* CAppServices::document() { return nullptr; }

CCustomizerView* CAppServices::view() { return nullptr; }

CRootView* CAppServices::customizerRootView() { return nullptr; }

CSpaceMan* CAppServices::spaceMan() { return nullptr; }

bool CAppServices::isDocumentBusy() { return false; }

void CAppServices::loadDevicePreferences() {}

void CAppServices::hostCleanup() {}

bool CAppServices::startCustomizerView() { return true; }

void CAppServices::activateView(CView* view) {
  auto* frame = dynamic_cast<CMDIFrameWnd*>(m_app.m_pMainWnd);
  if (frame && view) frame->MDIActivate(view->GetParentFrame());
}

void CAppServices::activateCustomizerView() {}

void CAppServices::updateLoginState() {}

void CAppServices::viewPersonalize() {}

void CAppServices::viewDepersonalize(bool) {}

void CAppServices::viewLogoutRequest() {}

void CAppServices::logoutForRemovedDrive() {}

void CAppServices::slidePulldownOpen() {}

void CAppServices::destroyLoginPulldown() {}

void CAppServices::showAbout(CWnd*) {}

void CAppServices::createTrayIcon(UINT, UINT) {}

void CAppServices::removeTrayIcon() {}

void CAppServices::showTrayIcon(bool) {}

void CAppServices::trayNotify(WPARAM, LPARAM) {}

void CAppServices::cancelOpenDialogs() {}

void CAppServices::enableOpenDialogs(bool) {}

HWND CAppServices::openDialogWindow() { return nullptr; }
