// The customizer view: login, logout, synchronize, quit, update and new-drive requests, each
// guarded, and the tray icon's look for the login state.
#include "app/kipo/customizer_view.h"

#include "app/customizer_doc.h"
#include "app/customizer_exception.h"
#include "app/device_sdk.h"
#include "app/file_operation.h"
#include "app/file_util.h"
#include "app/kipo/app_services.h"
#include "app/folder_lookup.h"
#include "app/kipo/customizer_app.h"
#include "app/kipo/main_frame.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/program_texts.h"
#include "app/registry.h"
#include "app/server_transaction.h"
#include "app/structured_exception.h"
#include "app/tray_icon.h"
#include "app/view_surfaces.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "ui/synchronize_dialog.h"
#include "ui/synchronize_progress_dialog.h"
#include "ui/wait_dialog.h"

namespace {

constexpr const char16_t* kShowLogoutButtonPref = u"showLogoutButton";
constexpr const char16_t* kShowSynchronizedPref = u"showSynchronizedMessage";
constexpr const char16_t* kProductKey = u"HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo";
constexpr const char16_t* kShowIntroMovieValue = u"showIntroMovie";
constexpr int kAnimationPumpLimit = 500;

CCustomizerApp& app() { return *customizerApp(); }

CString deviceDisplayName() { return app().getDeviceDetector().getDeviceDisplayName(); }

CString statusText(LONG code) {
  switch (code) {
    case CSyncStatus::kCalculationBegins: return CString(u"calculating");
    case CSyncStatus::kCalculationEnded: return CString(u"calculation ended");
    case CSyncStatus::kExecutionBegins: return CString(u"synchronizing");
    case CSyncStatus::kExecutionEnded: return CString(u"synchronized");
    default: return CString();
  }
}

}  // namespace

IMPLEMENT_DYNCREATE(CCustomizerView, CRootView)

BEGIN_MESSAGE_MAP(CCustomizerView, CRootView)
  ON_WM_CREATE()
  ON_WM_DESTROY()
  ON_COMMAND(ID_POPUP_LOGIN, OnLogin)
  ON_COMMAND(ID_POPUP_SHOW_LOGIN, OnShowPulldown)
  ON_COMMAND(ID_POPUP_NEW_DEVICE, OnUseNewDrive)
  ON_MESSAGE(WM_KIPO_LOGOUT_ANIMATION_ENDED, OnLogoutAnimationEnded)
END_MESSAGE_MAP()

CCustomizerView::CCustomizerView() = default;

CCustomizerView::~CCustomizerView() {
  if (m_listening && customizerApp()) customizerApp()->removeListener(this);
}

int CCustomizerView::OnCreate(LPCREATESTRUCT lpcs) {
  if (CRootView::OnCreate(lpcs) == -1) return -1;
  m_listening = app().addListener(this);
  return 0;
}

void CCustomizerView::OnDestroy() {
  if (m_listening && customizerApp()) customizerApp()->removeListener(this);
  m_listening = false;
  // The surfaces' windows go with the view, while the switchboard and the frame still stand.
  viewSurfaces().destroyPulldown();
  if (viewSurfaces().logoutButtonExists()) viewSurfaces().closeLogoutButton();
  CRootView::OnDestroy();
}

void CCustomizerView::OnInitialUpdate() { CRootView::OnInitialUpdate(); }

bool CCustomizerView::isPersonalized() {
  auto* document = dynamic_cast<CCustomizerDoc*>(GetDocument());
  return document ? document->isPersonalized() : app().isHostPersonalized();
}

bool CCustomizerView::deviceFolderExists() {
  DWORD attributes = GetFileAttributesW(CCustomizerApp::getDevicePath());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HWND CCustomizerView::ownerWindow() { return m_hWnd; }

void CCustomizerView::createPulldown() {
  HWND frame = app().m_pMainWnd ? app().m_pMainWnd->GetSafeHwnd() : nullptr;
  if (viewSurfaces().createPulldown(frame)) pulldownShown = true;
}

void CCustomizerView::destroyPulldown() {
  viewSurfaces().destroyPulldown();
  pulldownShown = false;
}

void CCustomizerView::flushDevicePreferences(const char16_t* failureLine) {
  if (!getDevicePrefs().save()) writeLog(failureLine);
}

// ---- login --------------------------------------------------------------------------------------

void CCustomizerView::doPersonalize() {
  guardedStep(u"CCustomizerView::doPersonalize", [&] {
    if (isPersonalized()) {
      showMessageById(IDS_VIEW_ALREADY_LOGGED_IN);
      busy = false;
      return;
    }
    if (busy) {
      showMessageById(IDS_VIEW_BUSY, kProductName);
      return;
    }
    trayDoubleClickEnabled = false;
    bool goOn = viewSurfaces().closePrograms(true, ownerWindow());
    trayDoubleClickEnabled = true;
    if (!goOn) {
      showMessageById(IDS_VIEW_LOGIN_CANCELLED);
      app().sendAppMessage(new CLoginMessage(CLoginMessage::kLoginEnded));
    } else {
      refreshDesktop();
      if (viewSurfaces().pulldownExists() && !viewSurfaces().coverScreenWithCapture())
        writeLog(u"{LOGIN PULLDOWN}: Failed to display desktop image window.");
      busy = true;
      writeLog(u"Customizer View: Personalizing");
      // Without the login panel nobody chooses the computer whose environment is carried: the
      // one the program runs on is taken.
      if (!viewSurfaces().pulldownExists() && !getProfileDatabase().getLoginProfile()) {
        if (CSystemProfile* self = getProfileDatabase().getThisComputerProfile()) setLoginComputer(self->m_nickname);
      }
      if (auto* document = dynamic_cast<CCustomizerDoc*>(GetDocument())) document->personalize();
    }
    busy = false;
  });
  busy = false;
  updateLoginState();
}

// ---- logout -------------------------------------------------------------------------------------

void CCustomizerView::doDepersonalize(bool silent) {
  guardedStep(u"CCustomizerView::doDepersonalize", [&] {
    writeLog(u"Customizer View: Depersonalizing");
    if (!silent) {
      trayDoubleClickEnabled = false;
      bool goOn = viewSurfaces().closePrograms(false, ownerWindow());
      trayDoubleClickEnabled = true;
      if (!goOn) {
        showMessageById(IDS_VIEW_LOGOUT_CANCELLED);
        return;
      }
    }
    refreshDesktop();
    if (viewSurfaces().pulldownExists() && !viewSurfaces().coverScreenWithCapture())
      writeLog(u"{LOGIN PULLDOWN}: Failed to display desktop image window.");
    CWaitDlg waitBox(deviceFolderExists() ? CString() : loadResString(IDS_VIEW_LOGGING_OUT), this);
    busy = true;
    if (viewSurfaces().logoutButtonExists()) viewSurfaces().closeLogoutButton();
    if (auto* document = dynamic_cast<CCustomizerDoc*>(GetDocument())) document->depersonalize();
    busy = false;
  });
  busy = false;
  updateLoginState();
}

bool CCustomizerView::onLogoutRequest() {
  if (busy) return false;
  if (!viewSurfaces().confirmLogout(ownerWindow())) return false;
  startLogout(false);
  return true;
}

void CCustomizerView::logoutForRemovedDrive() {
  postLogoutAction = kAfterLogoutDriveRemoved;
  startLogout(false);
}

void CCustomizerView::startLogout(bool flag) {
  // A refused request leaves `busy` as it was: the operation that holds it is still running.
  bool refused = false;
  guardedStep(u"CCustomizerView::startLogout", [&] {
    if (busy && deviceFolderExists()) {
      showMessageById(IDS_VIEW_BUSY_CLOSE_DIALOGS, kProductName, kProductName);
      refused = true;
      return;
    }
    if (!isPersonalized()) {
      showMessageById(IDS_VIEW_NOT_LOGGED_IN);
      refused = true;
      return;
    }
    if (!viewSurfaces().pulldownExists()) createPulldown();
    if (!viewSurfaces().startPulldownLogout(flag)) {
      // No pull-down: the logout runs here, as the pull-down would run it, and its end is acted on
      // as the end of its animation would be.
      doDepersonalize(flag);
      afterLogout();
    }
  });
  if (!refused) busy = false;
}

LRESULT CCustomizerView::OnLogoutAnimationEnded(WPARAM, LPARAM) {
  afterLogout();
  return 0;
}

void CCustomizerView::afterLogout() {
  LONG action = postLogoutAction;
  postLogoutAction = kAfterLogoutStay;
  if (action == kAfterLogoutQuit) {
    CRootView::OnPopupExit();
  } else if (action == kAfterLogoutDriveRemoved) {
    if (app().m_pMainWnd) app().m_pMainWnd->SendMessage(WM_KIPO_DEVICE_REMOVED);
  } else {
    flushDevicePreferences(u"{CustomizerView}: Failed to flush data to device after logout.");
    showTrayInfo();
  }
}

// ---- synchronize --------------------------------------------------------------------------------

void CCustomizerView::synchronize(DWORD mode) {
  busy = true;
  auto* document = dynamic_cast<CCustomizerDoc*>(GetDocument());
  if (document && document->synchronize(mode)) {
    CSynchronizeProgressDialog progress(this);
    progress.m_subject = loadResString(IDS_VIEW_SYNC_PROGRESS_CAPTION);
    // Only a completed run takes the marker away; a cancelled one ends with IDCANCEL.
    if (progress.DoModal() == IDOK) {
      CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
      if (self) {
        CString marker = CCustomizerDoc::getSyncMarkerPath(*self);
        if (fileExists(marker)) DeleteFileW(marker);
      }
      CString device = deviceDisplayName();
      CString text = formatMessageText(loadResString(IDS_VIEW_SYNCHRONIZED), self ? self->getKey() : CString(), device,
                                       device);
      text += formatMessageText(
          loadResString(app().getDeviceDetector().getDeviceKind() == kIPodDiskKind ? IDS_VIEW_SYNCHRONIZED_IPOD
                                                                                    : IDS_VIEW_SYNCHRONIZED_OTHER),
          device);
      viewSurfaces().askUnlessSuppressed(ownerWindow(), text, loadResString(IDS_DEV_ADMIN_WARNING_CHECK),
                                         CString(kShowSynchronizedPref));
    }
  }
  busy = false;
}

void CCustomizerView::OnPopupSynchronize() {
  if (CSynchronizeDialog2* open = CSynchronizeDialog2::active()) {
    open->BringWindowToTop();
    return;
  }
  if (viewSurfaces().pulldownExists()) viewSurfaces().slidePulldownClosed();
  if (isPersonalized()) return;
  auto* document = dynamic_cast<CCustomizerDoc*>(GetDocument());
  if (!document) return;
  CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
  if (self) {
    CPreferenceFile& prefs = openComputerPrefs(*self);
    bool frequent = false;
    prefs.getBool(kFrequentUseComputerValue, frequent);
    if (!frequent) {
      prefs.setBool(kFrequentUseComputerValue, true);
      if (!app().enableAutostart()) showMessageById(IDS_VIEW_AUTOSTART_FAILED, kProductName);
    }
  }
  int result = viewSurfaces().runSynchronizeDialog(this);
  if (result == 32771) return;
  if (result == IDCANCEL) {
    // Only the plan the dialog showed goes: the snap-ins' synchronizers stay registered for the
    // session's later runs, which would otherwise find nothing to carry.
    document->getSpaceMan().freeSyncOps();
  } else if (result == IDOK) {
    // The marker of the run went with its completion (synchronize), not with this dialog's OK.
    flushDevicePreferences(u"{CustomizerView}: Failed to flush data to device after synchronization.");
    if (viewSurfaces().pulldownExists()) app().sendAppMessage(new CAppMessage());
  }
  for (CCustomizer* customizer : document->getCustomizerPointers()) customizer->postSynchronize();
}

void CCustomizerView::onSyncStatus(CSyncStatus* status) {
  CString text = statusText(status->code);
  if (text.IsEmpty()) return;
  writeLog(u"{CustomizerView}: Synchronization %s.", text);
  CTrayIcon* tray = app().services() ? app().services()->trayIcon() : nullptr;
  if (!tray) return;
  // The end of a calculation is also the end of every run: the tip goes back to the login state.
  if (status->code == CSyncStatus::kCalculationEnded)
    setLoginStateTip(*tray);
  else
    tray->setTip(formatMessageText(u"%s: %s", g_applicationName, text));
}

// ---- quit, options, update, new drive -----------------------------------------------------------

void CCustomizerView::OnPopupExit() {
  guardedStep(u"CCustomizerView::OnPopupExit", [&] {
    if (busy && deviceFolderExists()) {
      showMessageById(IDS_VIEW_WAIT_FOR_OPERATION, kProductName);
      return;
    }
    if (isPersonalized()) {
      postLogoutAction = kAfterLogoutQuit;
      if (!onLogoutRequest()) postLogoutAction = kAfterLogoutStay;
      return;
    }
    if (viewSurfaces().isPulldownAnimating()) {
      viewSurfaces().stopPulldownAnimations();
      for (int i = 0; i < kAnimationPumpLimit && viewSurfaces().isPulldownAnimating(); ++i) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
      }
    }
    CRootView::OnPopupExit();
  });
}

void CCustomizerView::OnPopupOptions() {
  if (busy) {
    showMessageById(IDS_VIEW_BUSY_OPTIONS, kProductName, kProductName);
    return;
  }
  if (!viewSurfaces().hasOptionsDialog()) return;
  if (viewSurfaces().pulldownExists()) viewSurfaces().slidePulldownClosed();
  viewSurfaces().runOptionsDialog(this);
  // The plan the options calculated is dropped; the snap-ins' synchronizers stay registered.
  if (auto* document = dynamic_cast<CCustomizerDoc*>(GetDocument())) document->getSpaceMan().freeSyncOps();
}

void CCustomizerView::OnPopupCheckUpdate() {
  bool newer = false;
  if (!softwareUpdater.checkForUpdate(newer)) {
    showMessageById(IDS_VIEW_SERVER_UNREACHABLE);
    return;
  }
  if (newer) {
    if (askYesNoById(IDS_VIEW_INSTALL_UPDATE)) installUpdate();
    return;
  }
  showMessageById(IDS_VIEW_NO_UPDATE, kProductName);
}

bool CCustomizerView::installUpdate() {
  if (isPersonalized() && askYesNoById(IDS_VIEW_LOGOUT_BEFORE_UPDATE)) startLogout(false);
  if (isPersonalized()) {
    showMessageById(IDS_VIEW_UPDATE_WHILE_LOGGED_IN);
    return false;
  }
  CString folder = CFolderLookup::getTempFolder();
  CString target = formatMessageText(u"%s\\%s.exe", folder, kProductName);
  if (!createDirectoryTree(folder)) {
    showMessageById(IDS_VIEW_TEMP_FOLDER_FAILED, target);
    return false;
  }
  if (downloadInstaller(target) && !downloadAndRunUpdate(target)) showMessageById(IDS_VIEW_UPDATE_FAILED);
  return true;
}

void CCustomizerView::OnUseNewDrive() {
  if (isPersonalized() && askYesNoById(IDS_VIEW_LOGOUT_BEFORE_NEW_DRIVE)) startLogout(false);
  if (isPersonalized()) return;
  CString current = CCustomizerApp::getDevicePath();
  CString path;
  app().setChoosingNewDrive(true);
  bool chosen = app().chooseDevice(path) && !path.IsEmpty();
  app().setChoosingNewDrive(false);
  if (!chosen) return;
  if (path.CompareNoCase(current) == 0) {
    showMessageById(IDS_VIEW_SAME_DRIVE, g_deviceName, g_deviceName);
    return;
  }
  showMessageById(IDS_VIEW_NEW_DRIVE_READY);
  CString folder = path;
  if (folder.Right(1) != u"\\") folder += u"\\";
  ShellExecuteW(nullptr, u"open", folder + kProductName + u".exe", u"", folder, SW_SHOWNORMAL);
  OnPopupExit();
}

void CCustomizerView::OnLogin() {
  if (pulldownShown && viewSurfaces().pulldownExists()) {
    viewSurfaces().slidePulldownOpen();
    return;
  }
  // Without a pull-down the login runs at once.
  doPersonalize();
}

void CCustomizerView::OnShowPulldown() {
  if (!pulldownShown) {
    createPulldown();
    pulldownShown = true;
  } else {
    destroyPulldown();
  }
}

// ---- the tray -----------------------------------------------------------------------------------

void CCustomizerView::OnTrayIconNotify(UINT, UINT mouseMessage) {
  if (mouseMessage != WM_LBUTTONDBLCLK || !trayDoubleClickEnabled) return;
  if (isPersonalized())
    onLogoutRequest();
  else
    OnPopupSynchronize();
}

void CCustomizerView::updateLoginState() {
  bool showButton = true;
  CPreferenceFile& prefs = getDevicePrefs();
  if (prefs.openRoot()) prefs.getBool(kShowLogoutButtonPref, showButton);
  CTrayIcon* tray = app().services() ? app().services()->trayIcon() : nullptr;
  if (isPersonalized()) {
    if (showButton && !viewSurfaces().logoutButtonExists())
      viewSurfaces().createLogoutButton(loadResString(IDS_VIEW_LOGOUT_BUTTON));
    if (tray) {
      tray->setIconById(IDI_KIPO_PERSONALIZED);
      setLoginStateTip(*tray);
      tray->setMenu(IDR_TRAY_LOGGED_IN);
    }
  } else {
    if (viewSurfaces().logoutButtonExists()) viewSurfaces().closeLogoutButton();
    if (tray) {
      tray->setIconById(IDI_KIPO_DIALOG);
      setLoginStateTip(*tray);
      tray->setMenu(IDR_TRAY_LOGGED_OUT);
    }
  }
}

void CCustomizerView::setLoginStateTip(CTrayIcon& tray) {
  if (isPersonalized()) {
    tray.setTipById(IDS_VIEW_TRAY_TIP_LOGGED_IN);
    return;
  }
  CString tip = loadResString(IDS_APP_TRAY_TIP);
  tip.Replace(u"%s", deviceDisplayName());
  tray.setTip(tip);
}

void CCustomizerView::showTrayInfo() {
  CTrayIcon* tray = app().services() ? app().services()->trayIcon() : nullptr;
  if (tray) tray->showBalloon(loadResString(isPersonalized() ? IDS_VIEW_INFO_LOGGED_IN : IDS_VIEW_INFO_LOGGED_OUT));
}

// ---- first run ----------------------------------------------------------------------------------

bool CCustomizerView::startup() {
  guardedStep(u"CCustomizerView::startup", [&] {
    auto* document = dynamic_cast<CCustomizerDoc*>(GetDocument());
    CSystemProfile* self = getProfileDatabase().getThisComputerProfile();
    bool frequentBefore = false;
    if (self) openComputerPrefs(*self).getBool(kFrequentUseComputerValue, frequentBefore);

    DWORD showMovie = 0;
    CRegistry product{CString(kProductKey)};
    if (product.isOpen() && product.getDword(kShowIntroMovieValue, showMovie) && showMovie != 0)
      viewSurfaces().showIntroMovie();

    sendUpdateCheckReport();
    pulldownShown = true;

    if (!frequentBefore && self && document) {
      int withFolder = document->countComputersWithDeviceFolder();
      CPreferenceFile& prefs = openComputerPrefs(*self);
      if (withFolder == 0) {
        prefs.setBool(kFrequentUseComputerValue, true);
      } else if (getProfileDatabase().getProfileCount() > 1) {
        prefs.setBool(kFrequentUseComputerValue, false);
        viewSurfaces().runComputerSetup(ownerWindow());
      }
      getDevicePrefs().save();
    }

    bool frequent = false;
    if (self) openComputerPrefs(*self).getBool(kFrequentUseComputerValue, frequent);
    if (!isPersonalized()) {
      if (frequent) OnPopupSynchronize();
      if (deviceFolderExists() && pulldownShown) {
        createPulldown();
        viewSurfaces().slidePulldownOpen();
      }
    } else {
      createPulldown();
      if (askYesNoById(IDS_VIEW_SESSION_LEFT_OVER)) startLogout(false);
    }
    showTrayInfo();
  });
  return true;
}
