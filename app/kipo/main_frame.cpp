// The main frame: its hidden window under an invisible owner, its class name, and the routing of
// the program's messages to the application and the views.
#include "app/kipo/main_frame.h"

#include "app/device_detector.h"
#include "app/kipo/customizer_app.h"
#include "app/kipo/customizer_view.h"
#include "app/kipo/app_services.h"
#include "app/kipo/root_views.h"
#include "app/log.h"
#include "app/program_texts.h"
#include "platform/win32/device_notify.h"
#include "platform/win32/message.h"
#include "snapins/space_man.h"
#include "ui/auto_logout_dialog.h"
#include "ui/progress_dialog.h"
#include "ui/synchronize_dialog.h"

namespace {

// Set before the frame's window exists (the host's number for the name).
UINT g_taskbarCreated = 0;

// A close that waits for the synchronize dialog's loop to unwind looks again this often.
constexpr UINT_PTR kCloseAfterDialogsTimer = 1;
constexpr UINT kCloseAfterDialogsPeriod = 50;

}  // namespace

IMPLEMENT_DYNCREATE(CMainFrame, CMDIFrameWnd)

BEGIN_MESSAGE_MAP(CMainFrame, CMDIFrameWnd)
  ON_MESSAGE(WM_KIPO_TRAY, OnTrayNotify)
  ON_MESSAGE(WM_KIPO_DEVICE_ARRIVED, OnDeviceArrived)
  ON_MESSAGE(WM_KIPO_DEVICE_REMOVED, OnDeviceRemoved)
  ON_MESSAGE(WM_KIPO_AUTO_LOGOUT, OnAutoLogout)
  ON_MESSAGE(WM_KIPO_SHOW_PULLDOWN, OnShowPulldown)
  ON_MESSAGE(WM_KIPO_LOGIN, OnLogin)
  ON_MESSAGE(WM_KIPO_LOGOUT_SILENT, OnLogoutSilent)
  ON_MESSAGE(WM_KIPO_LOGOUT_BUTTON, OnLogoutButton)
  ON_REGISTERED_MESSAGE(g_taskbarCreated, OnTaskbarCreated)
  ON_MESSAGE(WM_DEVICECHANGE, OnDeviceChangeMessage)
  ON_WM_QUERYENDSESSION()
  ON_WM_ENDSESSION()
  ON_WM_TIMER()
  ON_WM_CLOSE()
END_MESSAGE_MAP()

CMainFrame::~CMainFrame() {
  if (m_owner.GetSafeHwnd()) m_owner.DestroyWindow();
  if (!m_ownerClassName.IsEmpty()) UnregisterClassW(m_ownerClassName, AfxGetInstanceHandle());
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs) {
  if (!g_taskbarCreated) g_taskbarCreated = taskbarCreatedMessage();
  if (!m_owner.GetSafeHwnd()) {
    m_ownerClassName = AfxRegisterWndClass(0);
    if (!m_owner.CreateEx(0, m_ownerClassName, u"", 0, 0, 0, 10, 10, nullptr, nullptr)) return FALSE;
  }
  cs.x = cs.y = -100;
  cs.cx = cs.cy = 0;
  cs.hwndParent = m_owner.GetSafeHwnd();
  cs.style = WS_VISIBLE | WS_DISABLED;
  cs.dwExStyle = WS_EX_TOOLWINDOW;
  if (!CMDIFrameWnd::PreCreateWindow(cs)) return FALSE;
  WNDCLASS info{};
  if (!GetClassInfoW(AfxGetInstanceHandle(), kMainFrameClass, &info)) {
    if (!GetClassInfoW(AfxGetInstanceHandle(), cs.lpszClass, &info)) AfxThrowResourceException();
    info.lpszClassName = kMainFrameClass;
    if (!AfxRegisterClass(&info)) AfxThrowResourceException();
  }
  cs.lpszClass = kMainFrameClass;
  return TRUE;
}

LRESULT CMainFrame::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
  if (CCustomizerApp* app = customizerApp()) app->services()->trayNotify(wParam, lParam);
  return 0;
}

LRESULT CMainFrame::OnDeviceArrived(WPARAM, LPARAM) {
  // Opening the device may end this window (a relaunch from the drive): only the handle is used
  // afterwards.
  HWND self = m_hWnd;
  CCustomizerApp* app = customizerApp();
  if (app && !app->openDevice()) ::SendMessageW(self, WM_COMMAND, ID_APP_EXIT, 0);
  return 0;
}

LRESULT CMainFrame::OnDeviceRemoved(WPARAM, LPARAM) {
  if (CCustomizerApp* app = customizerApp()) app->onDeviceRemoved();
  return 0;
}

LRESULT CMainFrame::OnAutoLogout(WPARAM, LPARAM) {
  CAutoLogoutDialog dialog(nullptr, false);
  if (dialog.DoModal() != IDOK) return 0;
  if (CCustomizerApp* app = customizerApp()) app->services()->logoutForRemovedDrive();
  return 1;
}

LRESULT CMainFrame::OnShowPulldown(WPARAM, LPARAM) {
  CCustomizerApp* app = customizerApp();
  if (!app) return 0;
  if (app->getDeviceState() == kDeviceOpen) {
    app->services()->slidePulldownOpen();
  } else if (app->getDeviceState() == kNoDeviceOpen) {
    HWND self = m_hWnd;
    if (app->readStoredDevicePath(true) && !app->openDevice()) ::SendMessageW(self, WM_COMMAND, ID_APP_EXIT, 0);
  }
  return 0;
}

LRESULT CMainFrame::OnLogin(WPARAM, LPARAM) {
  if (CCustomizerApp* app = customizerApp()) app->services()->viewPersonalize();
  return 0;
}

LRESULT CMainFrame::OnLogoutSilent(WPARAM, LPARAM) {
  if (CCustomizerApp* app = customizerApp()) app->services()->viewDepersonalize(true);
  return 0;
}

LRESULT CMainFrame::OnLogoutButton(WPARAM, LPARAM) {
  if (CCustomizerApp* app = customizerApp()) app->services()->viewLogoutRequest();
  return 0;
}

LRESULT CMainFrame::OnTaskbarCreated(WPARAM, LPARAM) {
  CCustomizerApp* app = customizerApp();
  if (!app) return 0;
  app->services()->removeTrayIcon();
  app->createTrayIcon();
  app->services()->updateLoginState();
  return 0;
}

LRESULT CMainFrame::OnDeviceChangeMessage(WPARAM wParam, LPARAM lParam) {
  if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) return 0;
  auto* header = reinterpret_cast<DEV_BROADCAST_HDR*>(lParam);
  if (!header || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return 0;
  auto* device = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
  if (CCustomizerApp* app = customizerApp())
    app->getDeviceDetector().onDeviceChange(CString(device->dbcc_name), wParam == DBT_DEVICEREMOVECOMPLETE);
  return 0;
}

BOOL CMainFrame::OnQueryEndSession() { return TRUE; }

void CMainFrame::OnEndSession(BOOL bEnding) {
  if (!bEnding) return;
  CCustomizerApp* app = customizerApp();
  if (app) app->onEndSession();
  writeLog(u"mainframe window ending session");
  // The close destroys this window and this object: nothing of it is used afterwards.
  closeNow();
  if (app) app->ExitInstance();
}

void CMainFrame::OnClose() {
  // The synchronize dialog (and the progress of the run it started) are ended first, and the
  // close happens once their loops have unwound: closing the document under them would leave
  // their caller with a deleted document.
  if (CSynchronizeDialog2* dialog = CSynchronizeDialog2::active()) {
    if (CProgressDialog* progress = CProgressDialog::running()) progress->EndDialog(kDialogEndedByApplication);
    dialog->endByApplication();
    SetTimer(kCloseAfterDialogsTimer, kCloseAfterDialogsPeriod, nullptr);
    return;
  }
  // A close that comes through the message pump of a synchronization, or of the view's command
  // that waits for one, would delete the document and the view under them: the run is stopped,
  // and the close is tried again once both have let go.
  CCustomizerApp* app = customizerApp();
  CSpaceMan* spaceMan = app ? app->getSpaceMan() : nullptr;
  CCustomizerView* view = app ? app->getView() : nullptr;
  const bool running = spaceMan && spaceMan->isRunning();
  if (running || (view && view->isBusy())) {
    if (running) spaceMan->stopRun(nullptr);
    SetTimer(kCloseAfterDialogsTimer, kCloseAfterDialogsPeriod, nullptr);
    return;
  }
  closeNow();
}

void CMainFrame::OnTimer(UINT_PTR id) {
  if (id != kCloseAfterDialogsTimer) {
    CMDIFrameWnd::OnTimer(id);
    return;
  }
  if (CSynchronizeDialog2::active()) return;
  KillTimer(kCloseAfterDialogsTimer);
  PostMessage(WM_CLOSE);
}

void CMainFrame::closeNow() {
  CCustomizerApp* app = customizerApp();
  CMDIFrameWnd::OnClose();
  if (app) app->shutdownDeviceSide();
}
