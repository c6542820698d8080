// The login pull-down: geometry, slides, the screen cover, the login and logout messages, and the
// answers to shutdown, logoff and suspend.
#include "ui/login_pulldown.h"

#include "app/customizer_doc.h"
#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/log.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "app/profile_database.h"
#include "app/screen_capture.h"
#include "app/structured_exception.h"
#include "app/system_profile.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/afx/ddx.h"
#include "platform/win32/input.h"
#include "platform/win32/win32.h"
#include "ui/dont_ask_dialog.h"
#include "ui/login_host.h"

namespace {

constexpr UINT_PTR kAutoCloseTimerId = 1;
constexpr int kTabSlant = 10;
constexpr int kProgressLeftInset = 11;
constexpr int kProgressRightInset = 13;
constexpr int kPanelInset = 2;
constexpr UINT kEdgeTop = 1;  // ABE_TOP

CRect rectOf(LONG l, LONG t, LONG r, LONG b) { return CRect(l, t, r, b); }

}  // namespace

CPulldownGeometry CPulldownGeometry::compute(int W, int H, int tw, int th, int Sw, int Sh, int topTaskbar) {
  CPulldownGeometry g;
  const int x0 = W / 2 - tw / 2;
  g.panel = rectOf(0, 0, W, H);
  g.tab[0] = {x0, H};
  g.tab[1] = {x0 + kTabSlant, H + th};
  g.tab[2] = {x0 + tw - kTabSlant, H + th};
  g.tab[3] = {x0 + tw, H};
  g.progress = rectOf(x0 + kProgressLeftInset, H, x0 + tw - kProgressRightInset, H + th);
  g.tabBox = rectOf(x0, H, x0 + tw, H + th);
  const int WH = H + g.tabBox.Height();
  const int x = Sw / 2 - W / 2;
  if (topTaskbar > 0) {
    g.open = rectOf(x, topTaskbar, x + W, topTaskbar + WH);
    g.resting = rectOf(x, topTaskbar - H, x + W, topTaskbar - H + WH);
  } else {
    g.open = rectOf(x, 0, x + W, WH);
    g.resting = rectOf(x, -H, x + W, WH - H);
  }
  g.uncoverStart = rectOf(0, 0, Sw, Sh);
  g.uncoverEnd = rectOf(0, Sh, Sw, Sh);
  return g;
}

BEGIN_MESSAGE_MAP(CLoginPulldown, CDialog)
  ON_WM_LBUTTONUP()
  ON_WM_MOUSEMOVE()
  ON_WM_MOUSELEAVE()
  ON_WM_MOVE()
  ON_MESSAGE(WM_DISPLAYCHANGE, OnDisplayChange)
  ON_WM_POWERBROADCAST()
  ON_WM_QUERYENDSESSION()
  ON_MESSAGE(WM_KIPO_PULLDOWN_REBUILD, OnRebuild)
END_MESSAGE_MAP()

CLoginPulldown::CLoginPulldown() : CDialog(IDD_LOGIN_PULLDOWN) {
  m_slideAnimator.durationMs = kSlideMs;
  m_slideAnimator.target = this;
  m_uncoverAnimator.durationMs = kUncoverMs;
  m_uncoverAnimator.target = &m_imageWindow;
  m_logoutDoneEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CLoginPulldown::~CLoginPulldown() {
  if (m_listening) loginHost().removeListener(this);
  m_listening = false;
  killAutoCloseTimer();
  m_slideAnimator.stop();
  m_uncoverAnimator.stop();
  if (m_hWnd) DestroyWindow();
  if (m_logoutDoneEvent) CloseHandle(m_logoutDoneEvent);
}

void CLoginPulldown::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PULLDOWN_TAB_HOT, m_hotTab);
  DDX_Control(pDX, IDC_PULLDOWN_PROGRESS, m_progress);
  DDX_Control(pDX, IDC_PULLDOWN_TAB, m_restingTab);
}

BOOL CLoginPulldown::OnInitDialog() {
  CDialog::OnInitDialog();
  // A name to find the window by (the shell and the UI driver); nothing shows it.
  SetWindowText(kPulldownWindowName);
  replaceUiPlaceholders(m_hWnd);
  SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  // The tab statics show their bitmaps at the bitmaps' own size.
  const struct {
    CStatic* control;
    UINT bitmap;
  } tabs[] = {{&m_restingTab, IDB_PULLDOWN_TAB}, {&m_hotTab, IDB_PULLDOWN_TAB_HOT}};
  for (const auto& tab : tabs) {
    HANDLE image = LoadImageW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(tab.bitmap), IMAGE_BITMAP, 0, 0, 0);
    if (!image) continue;
    tab.control->SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
    BITMAP info{};
    if (GetObjectW(image, sizeof info, &info))
      tab.control->SetWindowPos(nullptr, 0, 0, info.bmWidth, info.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
  }
  setupDialog();
  m_slideAnimator.target = this;
  m_listening = loginHost().addListener(this);
  resetProgress();
  showRestingTab();
  return TRUE;
}

// ---- geometry -----------------------------------------------------------------------------------

bool CLoginPulldown::computeRegions() {
  int W = 0, H = 0;
  if (!m_loginPanel.getPanelSize(W, H)) return false;
  CRect tab;
  m_restingTab.GetClientRect(&tab);
  int Sw = 0, Sh = 0;
  getScreenResolution(Sw, Sh);
  const bool topTaskbar = getTaskbarEdge() == kEdgeTop && getTaskbarHeight() != 0 && !isTaskbarAutoHide() &&
                          isTaskbarAlwaysOnTop();
  m_geometry = CPulldownGeometry::compute(W, H, tab.Width(), tab.Height(), Sw, Sh,
                                          topTaskbar ? getTaskbarHeight() : 0);
  m_panelRegion.DeleteObject();
  m_tabRegion.DeleteObject();
  m_windowRegion.DeleteObject();
  if (!m_panelRegion.CreateRectRgnIndirect(&m_geometry.panel)) return false;
  if (!m_tabRegion.CreatePolygonRgn(m_geometry.tab, 4, WINDING)) return false;
  if (!m_windowRegion.CreateRectRgn(0, 0, 0, 0)) return false;
  const int kind = m_windowRegion.CombineRgn(&m_panelRegion, &m_tabRegion, RGN_OR);
  return kind != ERROR && kind != NULLREGION;
}

bool CLoginPulldown::computePlacement() {
  int Sw = 0, Sh = 0;
  if (!getScreenResolution(Sw, Sh)) return false;
  int W = m_geometry.panel.Width(), H = m_geometry.panel.Height();
  const bool topTaskbar = getTaskbarEdge() == kEdgeTop && getTaskbarHeight() != 0 && !isTaskbarAutoHide() &&
                          isTaskbarAlwaysOnTop();
  CPulldownGeometry placed = CPulldownGeometry::compute(W, H, m_geometry.tabBox.Width(), m_geometry.tabBox.Height(),
                                                        Sw, Sh, topTaskbar ? getTaskbarHeight() : 0);
  m_geometry.open = placed.open;
  m_geometry.resting = placed.resting;
  m_geometry.uncoverStart = placed.uncoverStart;
  m_geometry.uncoverEnd = placed.uncoverEnd;
  return true;
}

void CLoginPulldown::moveToResting() {
  const CRect& r = m_geometry.resting;
  SetWindowPos(nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void CLoginPulldown::setupDialog() {
  guardedStep(u"LoginPulldown-SetupDialog", [&] {
    int count = 0;
    if (!m_loginPanel.generateLoginHtml(count)) {
      showMessageById(IDS_LOGIN_PAGE_NOT_WRITTEN);
      return;
    }
    if (m_loginPanel.m_hWnd && !m_loginPanel.DestroyWindow()) showMessageById(IDS_LOGIN_PANEL_NOT_DESTROYED);
    if (!m_loginPanel.Create(IDD_LOGIN_PANEL, this)) showMessageById(IDS_LOGIN_PANEL_NOT_CREATED);
    if (!computeRegions()) showMessageById(IDS_LOGIN_REGIONS_FAILED);
    // The window owns the region it is given, so it gets a copy and the member stays ours.
    CRgn shape;
    if (shape.CreateRectRgn(0, 0, 0, 0) && shape.CopyRgn(&m_windowRegion) != ERROR)
      ::SetWindowRgn(m_hWnd, static_cast<HRGN>(shape.Detach()), TRUE);
    const CRect& box = m_geometry.tabBox;
    m_restingTab.MoveWindow(box.left, box.top, box.Width(), box.Height());
    m_hotTab.MoveWindow(box.left, box.top, box.Width(), box.Height());
    if (m_loginPanel.m_hWnd) {
      CRect inner = m_geometry.panel;
      inner.DeflateRect(kPanelInset, kPanelInset);
      m_loginPanel.MoveWindow(&inner);
      m_loginPanel.ShowWindow(SW_SHOW);
    }
    if (!computePlacement()) showMessageById(IDS_LOGIN_SCREEN_SIZE_FAILED);
    moveToResting();
  });
}

LRESULT CLoginPulldown::OnRebuild(WPARAM, LPARAM) {
  setupDialog();
  return 0;
}

LRESULT CLoginPulldown::OnDisplayChange(WPARAM, LPARAM) {
  computePlacement();
  moveToResting();
  return 0;
}

void CLoginPulldown::OnMove(int x, int y) {
  CDialog::OnMove(x, y);
  CRect window;
  GetWindowRect(&window);
  if (window.top > m_geometry.resting.top && !m_slideAnimator.isRunning() && !m_isOpen) moveToResting();
}

// ---- the tab ------------------------------------------------------------------------------------

void CLoginPulldown::showRestingTab() {
  m_restingTab.ShowWindow(SW_SHOW);
  m_hotTab.ShowWindow(SW_HIDE);
}

void CLoginPulldown::showHotTab() {
  m_hotTab.ShowWindow(SW_SHOW);
  m_restingTab.ShowWindow(SW_HIDE);
}

void CLoginPulldown::resetProgress() {
  m_progress.SetPos(0);
  m_progress.ShowWindow(SW_HIDE);
  m_restingTab.ShowWindow(SW_SHOW);
}

void CLoginPulldown::OnMouseMove(UINT flags, CPoint point) {
  if (!m_trackingMouse) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = m_hWnd;
    track.dwHoverTime = HOVER_DEFAULT;
    TrackMouseEvent(&track);
    m_trackingMouse = true;
  }
  if (!m_progress.IsWindowVisible()) {
    if (m_geometry.tabBox.PtInRect(point))
      showHotTab();
    else
      showRestingTab();
  }
  CDialog::OnMouseMove(flags, point);
}

void CLoginPulldown::OnMouseLeave() {
  showRestingTab();
  m_trackingMouse = false;
}

void CLoginPulldown::OnLButtonUp(UINT flags, CPoint point) {
  if (m_tabRegion.GetSafeHandle() && m_tabRegion.PtInRegion(point) && !m_slideAnimator.isRunning()) {
    if (loginHost().isPersonalized()) {
      if (HWND view = loginHost().viewWindow()) ::SendMessageW(view, WM_COMMAND, ID_POPUP_LOGOUT, 0);
      if (!m_isOpen) return;
    }
    if (m_isOpen)
      slideClosed();
    else
      slideOpen();
  }
  CDialog::OnLButtonUp(flags, point);
}

// ---- slides -------------------------------------------------------------------------------------

void CLoginPulldown::slideOpen() {
  if (m_isOpen) return;
  m_slideAnimator.target = this;
  m_slideAnimator.from = m_geometry.resting;
  m_slideAnimator.to = m_geometry.open;
  m_slideAnimator.start();
}

void CLoginPulldown::slideClosed() {
  killAutoCloseTimer();
  if (m_isOpen) {
    m_slideAnimator.target = this;
    m_slideAnimator.from = m_geometry.open;
    m_slideAnimator.to = m_geometry.resting;
    m_slideAnimator.start();
  } else if (m_hWnd) {
    moveToResting();
  }
}

bool CLoginPulldown::isAnimating() const { return m_slideAnimator.isRunning() || m_uncoverAnimator.isRunning(); }

void CLoginPulldown::stopAnimations() {
  killAutoCloseTimer();
  m_slideAnimator.stop();
  m_uncoverAnimator.stop();
}

void CLoginPulldown::killAutoCloseTimer() {
  if (m_autoCloseTimer && m_hWnd) ::KillTimer(m_hWnd, m_autoCloseTimer);
  m_autoCloseTimer = 0;
}

void CALLBACK CLoginPulldown::autoCloseProc(HWND window, UINT, UINT_PTR, DWORD) {
  auto* self = reinterpret_cast<CLoginPulldown*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) self->slideClosed();
}

void CLoginPulldown::onSlideEnded() {
  m_isOpen = !m_isOpen;
  if (m_isOpen) {
    killAutoCloseTimer();
    m_autoCloseTimer = ::SetTimer(m_hWnd, kAutoCloseTimerId, static_cast<UINT>(m_autoCloseSeconds) * 1000, autoCloseProc);
  }
  if (CSystemProfile* profile = m_pendingLoginProfile) {
    m_pendingLoginProfile = nullptr;
    startLogin(profile);
  }
}

void CLoginPulldown::startLogin(CSystemProfile* profile) {
  const CString nickname = profile->m_nickname;
  if (!setLoginComputer(nickname)) {
    showMessageById(IDS_LOGIN_COMPUTER_NOT_SET, nickname);
    return;
  }
  getDevicePrefs().save();
  loginHost().doPersonalize();
}

// ---- the screen cover ---------------------------------------------------------------------------

bool CLoginPulldown::coverScreenWithCapture() {
  m_uncoverAnimator.target = &m_imageWindow;
  CScreenCapture capture;
  capture.captureDesktop(-1, -1, false);
  if (!m_imageWindow.create()) {
    writeLog(u"Failed to create image window.");
    return false;
  }
  m_imageWindow.setBitmap(capture.detachBitmap());
  m_imageWindow.show();
  m_imageWindow.UpdateWindow();
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  const CRect& r = m_geometry.progress;
  m_progress.MoveWindow(r.left, r.top, r.Width(), r.Height());
  m_progress.ShowWindow(SW_SHOW);
  m_restingTab.ShowWindow(SW_HIDE);
  m_hotTab.ShowWindow(SW_HIDE);
  return true;
}

void CLoginPulldown::uncover() {
  m_uncoverAnimator.target = &m_imageWindow;
  m_uncoverAnimator.from = m_geometry.uncoverStart;
  m_uncoverAnimator.to = m_geometry.uncoverEnd;
  // Without a cover (a cancelled pass, a failed capture) there is nothing to animate: the end of
  // the pass is acted on at once, so the view still hears of a finished logout.
  if (!m_imageWindow.m_hWnd || !m_uncoverAnimator.start()) onUncoverEnded();
}

void CLoginPulldown::onUncoverEnded() {
  m_imageWindow.hide();
  ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (loginHost().isPersonalized()) {
    if (!directoryExists(CFolderLookup::getDevicePath())) return;
    loginHost().showTrayInfo();
    CSystemProfile* login = getProfileDatabase().getLoginProfile();
    askUnlessSuppressed(m_hWnd, formatMessageText(loadResString(IDS_LOGIN_INSTRUCTIONS), login ? login->m_nickname : CString()),
                        loadResString(IDS_DEV_ADMIN_WARNING_CHECK), CString(u"showLoginInstructionMessage"), false);
  } else if (HWND view = loginHost().viewWindow()) {
    ::PostMessageW(view, WM_KIPO_PULLDOWN_LOGOUT_DONE, 0, 0);
  }
}

// ---- switchboard --------------------------------------------------------------------------------

void CLoginPulldown::onMessage(CAppMessage* message) {
  if (!message) return;
  // The list of computers changed: a message of value 0, or a plain message of the base class
  // (the view's after a synchronization, which keeps the constructor's value).
  const bool plain = message->GetRuntimeClass() == RUNTIME_CLASS(CAppMessage);
  if ((message->value == 0 || plain) && m_hWnd) SendMessage(WM_KIPO_PULLDOWN_REBUILD);
  CAnimationStatusListener::onMessage(message);
  CLoginMessageListener::onMessage(message);
  CProgressListener::onMessage(message);
}

void CLoginPulldown::onProgress(CProgress* progress) {
  if (progress->mode == CProgress::kPercent && m_hWnd) m_progress.SetPos(progress->percent);
}

void CLoginPulldown::onAnimationStatus(CAnimationStatus* status) {
  if (status->status != 0) return;
  if (status->window == this)
    onSlideEnded();
  else if (status->window == &m_imageWindow)
    onUncoverEnded();
}

void CLoginPulldown::onLoginMessage(CLoginMessage* message) {
  switch (message->type) {
    case CLoginMessage::kComputerChosen:
      m_imageWindow.m_paintEnabled = true;
      if (m_slideAnimator.isRunning() || !message->profile) break;
      if (loginHost().isPersonalized()) {
        showMessageById(IDS_LOGIN_ALREADY_LOGGED_IN);
      } else if (m_isOpen) {
        m_pendingLoginProfile = message->profile;
        slideClosed();
      } else {
        // Nothing to slide: the login starts now rather than at some later opening.
        startLogin(message->profile);
      }
      break;
    case CLoginMessage::kLoginEnded:
    case CLoginMessage::kLogoutEnded:
      resetProgress();
      m_pendingLoginProfile = nullptr;
      m_imageWindow.m_paintEnabled = false;
      loginHost().updateLoginState();
      if (message->type == CLoginMessage::kLogoutEnded) {
        if (m_logoutDoneEvent) {
          SetEvent(m_logoutDoneEvent);
          ResetEvent(m_logoutDoneEvent);
        }
        m_logoutInProgress = false;
      }
      uncover();
      break;
    case CLoginMessage::kStartLogout:
      m_imageWindow.m_paintEnabled = true;
      m_logoutInProgress = true;
      loginHost().doDepersonalize(message->flag != 0);
      // A cancelled logout sends no end: the flag must not outlive the attempt.
      m_logoutInProgress = false;
      break;
    case CLoginMessage::kSynchronizeLink:
      if (m_isOpen) {
        m_pendingLoginProfile = nullptr;
        slideClosed();
      }
      break;
    default: break;
  }
}

// ---- shutdown, logoff, suspend ------------------------------------------------------------------

bool CLoginPulldown::waitForLogout() {
  if (!loginHost().document()) return false;
  // The logout runs inside the request; its time counts against the limit.
  const DWORD start = GetTickCount();
  DWORD lastCheck = start;
  loginHost().startLogout(true);
  for (;;) {
    const DWORD now = GetTickCount();
    if (now - start >= kLogoutWaitMs) return false;
    if (now - lastCheck > kLogoutCheckMs) {
      lastCheck = now;
      if (!loginHost().isPersonalized() && !m_logoutInProgress) return true;
    }
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
  }
}

BOOL CLoginPulldown::OnQueryEndSession() {
  if (!loginHost().isPersonalized()) return TRUE;
  return waitForLogout() ? TRUE : FALSE;
}

UINT CLoginPulldown::OnPowerBroadcast(UINT event, LPARAM) {
  switch (event) {
    case PBT_APMQUERYSUSPEND:
      if (loginHost().isPersonalized() && !waitForLogout()) return BROADCAST_QUERY_DENY;
      return TRUE;
    case PBT_APMSUSPEND: return TRUE;
    case PBT_APMRESUMESUSPEND:
      if (!loginHost().reopenSecureArea()) PostQuitMessage(0);
      return 0;
    default: return 0;
  }
}
