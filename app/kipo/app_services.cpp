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
#include "app/program_texts.h"
#include "app/tray_icon.h"
#include "app/structured_exception.h"
#include "app/view_surfaces.h"
#include "app/kipo/customizer_view.h"
#include "app/kipo/login_host.h"
#include "app/customizer_doc.h"
#include "lang/ids.h"
#include "snapins/host_recovery.h"
#include "platform/win32/win32.h"
#include "ui/synchronize_dialog.h"
#include "ui/admin_logon.h"
#include "ui/options_dialog.h"

CAppServices::CAppServices(CCustomizerApp& app) : m_app(app) {}

CAppServices::~CAppServices() { uninstall(); }

void CAppServices::install() {
  if (m_installed) return;
  m_installed = true;
  setDeviceHostServices(this);
  setDocumentHostServices(this);
  setSecureDriveServices(this);
  CFolderLookup::setDevicePathSource([] { return CCustomizerApp::getDevicePath(); });
  CFolderLookup::installSpecialFolderSource();
  setMessageOwnerSource([this] { return m_app.getMessageBoxOwner(); });
  setRemovableDrivesOnly(false);
  installLoginSurfaces(m_app);
}

void CAppServices::uninstall() {
  if (!m_installed) return;
  m_installed = false;
  uninstallLoginSurfaces();
  setDeviceHostServices(nullptr);
  setDocumentHostServices(nullptr);
  setSecureDriveServices(nullptr);
  setTrayMenuSwitch({});
  CFolderLookup::setDevicePathSource({});
  setMessageOwnerSource({});
}

// ---- drive detection ----------------------------------------------------------------------------

HWND CAppServices::getMainWindow() { return m_app.m_pMainWnd ? m_app.m_pMainWnd->GetSafeHwnd() : nullptr; }

bool CAppServices::isUserLoggedIn() { return m_app.isHostPersonalized(); }

void CAppServices::startLogoutAfterRemoval() { logoutForRemovedDrive(); }

void CAppServices::askUnlessSuppressed(HWND owner, const CString& text, const CString& checkBoxText,
                                       const CString& preferenceName) {
  viewSurfaces().askUnlessSuppressed(owner, text, checkBoxText, preferenceName);
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

// ---- the document ------------------------------------------------------------------------------

bool CAppServices::sendAppMessage(CAppMessage* message) { return m_app.sendAppMessage(message); }

bool CAppServices::postAppMessage(CAppMessage* message) { return m_app.postAppMessage(message); }

bool CAppServices::isClosePending() { return m_app.pendingClose; }

void CAppServices::clearClosePending() { m_app.pendingClose = false; }

bool CAppServices::enableAutostart() { return m_app.enableAutostart(); }

bool CAppServices::disableAutostart() { return m_app.disableAutostart(); }

void CAppServices::runLoginLogoutHook(int kind) { m_app.runLoginLogoutHook(kind); }

bool CAppServices::isSecureAreaLoggedOut() {
  CDeviceSdk* sdk = getDeviceSdk();
  bool closed = false;
  return sdk && sdk->supportsLogin() && sdk->isLoggedOut(closed) && closed;
}

bool CAppServices::saveComputer() { return ::saveComputer(); }

void CAppServices::deleteLoginFile() { ::deleteLoginFile(); }

void CAppServices::deleteProductRegistryTraces() { ::deleteProductRegistryTraces(); }

void CAppServices::reportUnknownException(const CString& context) {
  try {
    throw;
  } catch (const CSE& e) {
    describeStructuredException(e, context, false);
  } catch (...) {
    writeLog(u"{%s}: Caught undefined exception.", context);
  }
}

void CAppServices::runAdministratorLogon(const std::vector<CAdminUserOperation*>& operations, HWND owner) {
  runAdminLogonDialog(operations, owner);
}

std::unique_ptr<CAdminLogon> CAppServices::createAdminLogon() { return ::createAdminLogon(); }

CUserCredentials& CAppServices::adminCredentials() { return m_app.adminCredentials; }

// ---- the application's parts --------------------------------------------------------------------

void CAppServices::recoverComputer() { ::recoverComputer(); }

void CAppServices::publishDriveLetter(const CString& letter) { broadcastEnvironmentChange(CString(u"KIPO_DRIVE"), letter); }

CDocTemplate* CAppServices::createCustomizerTemplate() {
  return new CMultiDocTemplate(IDR_MAINFRAME_KIPO, RUNTIME_CLASS(CCustomizerDoc), RUNTIME_CLASS(CMDIChildWnd),
                               RUNTIME_CLASS(CCustomizerView));
}

CCustomizerDoc* CAppServices::document() { return dynamic_cast<CCustomizerDoc*>(m_app.customizerDocument); }

CCustomizerView* CAppServices::view() {
  CCustomizerDoc* doc = document();
  if (!doc) return nullptr;
  POSITION pos = doc->GetFirstViewPosition();
  return pos ? dynamic_cast<CCustomizerView*>(doc->GetNextView(pos)) : nullptr;
}

CRootView* CAppServices::customizerRootView() { return view(); }

CSpaceMan* CAppServices::spaceMan() {
  CCustomizerDoc* doc = document();
  return doc ? &doc->getSpaceMan() : nullptr;
}

bool CAppServices::isDocumentBusy() {
  if (m_closeHeld > 0) return true;
  CCustomizerDoc* doc = document();
  if (!doc) return false;
  if (doc->isBusy()) return true;
  // A close now would destroy the document under the run that is pumping messages: the run is
  // stopped instead, and the close goes through when it has ended.
  CSpaceMan& run = doc->getSpaceMan();
  if (!run.isRunning()) return false;
  run.stopRun(nullptr);
  return true;
}

void CAppServices::loadDevicePreferences() {
  if (CCustomizerDoc* doc = document()) doc->loadFromDevice();
}

void CAppServices::hostCleanup() {
  if (CCustomizerDoc* doc = document()) doc->hostCleanUp();
}

bool CAppServices::startCustomizerView() {
  CCustomizerView* customizerView = view();
  if (!customizerView) return false;
  // Start-up pumps messages (boxes, the first synchronization) and then goes on using the view: a
  // close in between would destroy it under us, so it waits until start-up is over.
  ++m_closeHeld;
  customizerView->updateLoginState();
  if (GetFileAttributesW(u"c:\\KipoDiag.txt") != INVALID_FILE_ATTRIBUTES)
    showMessageById(IDS_APP_DIAGNOSTIC_MODE, kProductName);
  const bool started = customizerView->startup();
  if (--m_closeHeld == 0 && m_app.pendingClose) {
    m_app.pendingClose = false;
    if (HWND main = getMainWindow()) PostMessageW(main, WM_CLOSE, 0, 0);
  }
  return started;
}

void CAppServices::activateView(CView* target) {
  auto* frame = dynamic_cast<CMDIFrameWnd*>(m_app.m_pMainWnd);
  if (frame && target && target->GetParentFrame()) frame->MDIActivate(target->GetParentFrame());
}

void CAppServices::activateCustomizerView() {
  CCustomizerView* customizerView = view();
  if (!customizerView) return;
  activateView(customizerView);
  customizerView->OnInitialUpdate();
}

void CAppServices::updateLoginState() {
  if (CCustomizerView* customizerView = view()) customizerView->updateLoginState();
}

void CAppServices::viewPersonalize() {
  if (CCustomizerView* customizerView = view()) customizerView->doPersonalize();
}

void CAppServices::viewDepersonalize(bool silent) {
  if (CCustomizerView* customizerView = view()) customizerView->doDepersonalize(silent);
}

void CAppServices::viewLogoutRequest() {
  if (CCustomizerView* customizerView = view()) customizerView->onLogoutRequest();
}

void CAppServices::logoutForRemovedDrive() {
  if (CCustomizerView* customizerView = view()) customizerView->logoutForRemovedDrive();
}

void CAppServices::slidePulldownOpen() { viewSurfaces().slidePulldownOpen(); }

void CAppServices::destroyLoginPulldown() { viewSurfaces().destroyPulldown(); }

void CAppServices::showAbout(CWnd* parent) { viewSurfaces().showAboutBox(parent ? parent->GetSafeHwnd() : nullptr); }

// ---- the tray icon ------------------------------------------------------------------------------

void CAppServices::createTrayIcon(UINT callbackMessage, UINT id) {
  m_trayIcon = std::make_unique<CTrayIcon>();
  m_trayIcon->hooks.onDoubleClick = [this](UINT iconId, UINT mouseMessage) {
    (void)iconId;
    m_app.forwardTrayNotification(mouseMessage);
  };
  m_trayIcon->hooks.deviceName = [this] { return m_app.getDeviceDetector().getDeviceDisplayName(); };
  m_trayIcon->hooks.updateItemAllowed = [this] {
    return isSecureDriveSupportOn() || m_app.getCustomization().softwareUpdateEnabled;
  };
  CString tip = loadResString(IDS_APP_TRAY_TIP);
  tip.Replace(u"%s", g_applicationName);
  if (m_trayIcon->create(m_app.m_pMainWnd, callbackMessage, tip, nullptr, id)) m_trayIcon->setIconById(IDI_KIPO_DIALOG);
  // Surfaces this program does not have yet are greyed rather than offered.
  if (!viewSurfaces().hasAboutBox()) m_trayIcon->setCommandEnabled(ID_POPUP_ABOUT, false);
  if (!viewSurfaces().hasOptionsDialog()) m_trayIcon->setCommandEnabled(ID_POPUP_OPTIONS, false);
  setTrayMenuSwitch([this](bool enabled) { return m_trayIcon ? m_trayIcon->setMenuEnabled(enabled) : false; });
}

void CAppServices::removeTrayIcon() {
  if (m_trayIcon) m_trayIcon->remove();
}

void CAppServices::showTrayIcon(bool shown) {
  if (!m_trayIcon) return;
  if (shown)
    m_trayIcon->show();
  else
    m_trayIcon->hide();
}

void CAppServices::trayNotify(WPARAM wParam, LPARAM lParam) {
  if (m_trayIcon) m_trayIcon->onNotify(static_cast<UINT>(wParam), static_cast<UINT>(lParam));
}

// The synchronize or the options dialog, whichever is open.
void CAppServices::cancelOpenDialogs() {
  if (CSynchronizeDialog2* dialog = CSynchronizeDialog2::active(); dialog && dialog->m_hWnd)
    dialog->SendMessage(WM_COMMAND, IDCANCEL);
  if (COptionsDialog* options = COptionsDialog::shown(); options && options->m_hWnd)
    options->SendMessage(WM_COMMAND, IDCANCEL, 0);
}

void CAppServices::enableOpenDialogs(bool enabled) {
  if (CSynchronizeDialog2* dialog = CSynchronizeDialog2::active(); dialog && dialog->m_hWnd)
    dialog->EnableWindow(enabled ? TRUE : FALSE);
  if (COptionsDialog* options = COptionsDialog::shown(); options && options->m_hWnd) options->EnableWindow(enabled);
}

HWND CAppServices::openDialogWindow() {
  if (CSynchronizeDialog2* dialog = CSynchronizeDialog2::active(); dialog && dialog->m_hWnd) return dialog->m_hWnd;
  COptionsDialog* options = COptionsDialog::shown();
  return options ? options->m_hWnd : nullptr;
}
