// The view's surfaces through the dialogs and windows of this user interface.
#include "ui/ui_surfaces.h"

#include "app/app_messages.h"
#include "app/document_host_services.h"
#include "lang/ids.h"
#include "ui/about_dialog.h"
#include "ui/close_processes_dialog.h"
#include "ui/computer_setup_dialog.h"
#include "ui/dont_ask_dialog.h"
#include "ui/flash_dialog.h"
#include "ui/login_host.h"
#include "ui/login_pulldown.h"
#include "ui/logout_button.h"
#include "ui/logout_dialog.h"
#include "ui/synchronize_dialog.h"
#include "ui/options_dialog.h"
#include "ui/options_host.h"

namespace {

CWnd* wndOf(HWND window) { return window ? CWnd::FromHandle(window) : nullptr; }

}  // namespace

CUiSurfaces::CUiSurfaces() = default;
CUiSurfaces::~CUiSurfaces() = default;

bool CUiSurfaces::askUnlessSuppressed(HWND owner, const CString& text, const CString& checkBoxText,
                                      const CString& preferenceName) {
  return ::askUnlessSuppressed(owner, text, checkBoxText, preferenceName, false, -1, -1);
}

bool CUiSurfaces::closePrograms(bool forLogin, HWND owner) {
  // The pull-down's panel is the question's parent when there is one.
  if (m_pulldown && m_pulldown->m_loginPanel.m_hWnd) owner = m_pulldown->m_loginPanel.m_hWnd;
  CCloseProcessesDialog dialog(forLogin, wndOf(owner));
  return dialog.DoModal() == IDOK;
}

bool CUiSurfaces::confirmLogout(HWND owner) {
  CLogoutDialog dialog(wndOf(owner));
  return dialog.DoModal() == IDOK;
}

void CUiSurfaces::runComputerSetup(HWND owner) {
  CComputerSetupDialog dialog(wndOf(owner));
  dialog.DoModal();
}

void CUiSurfaces::showIntroMovie() {
  CFlashDialog dialog(nullptr);
  dialog.DoModal();
}

void CUiSurfaces::showAboutBox(HWND owner) {
  CAboutDialog dialog(wndOf(owner));
  dialog.DoModal();
}

int CUiSurfaces::runSynchronizeDialog(CView* view) {
  CSynchronizeDialog2 dialog(view);
  return static_cast<int>(dialog.DoModal());
}

void CUiSurfaces::runOptionsDialog(CView* view) {
  COptionsDialog dialog(optionsHost().document(), 0, view);
  dialog.DoModal();
}

bool CUiSurfaces::pulldownExists() { return m_pulldown && m_pulldown->m_hWnd; }

bool CUiSurfaces::createPulldown(HWND parent) {
  if (pulldownExists()) return true;
  auto pulldown = std::make_unique<CLoginPulldown>();
  if (!pulldown->Create(IDD_LOGIN_PULLDOWN, wndOf(parent))) return false;
  pulldown->ShowWindow(SW_SHOW);
  m_pulldown = std::move(pulldown);
  return true;
}

void CUiSurfaces::destroyPulldown() { m_pulldown.reset(); }

void CUiSurfaces::slidePulldownOpen() {
  if (pulldownExists()) m_pulldown->slideOpen();
}

void CUiSurfaces::slidePulldownClosed() {
  if (pulldownExists()) m_pulldown->slideClosed();
}

bool CUiSurfaces::isPulldownAnimating() { return pulldownExists() && m_pulldown->isAnimating(); }

void CUiSurfaces::stopPulldownAnimations() {
  if (pulldownExists()) m_pulldown->stopAnimations();
}

bool CUiSurfaces::coverScreenWithCapture() { return pulldownExists() && m_pulldown->coverScreenWithCapture(); }

bool CUiSurfaces::startPulldownLogout(bool flag) {
  if (!pulldownExists()) return false;
  auto* message = new CLoginMessage(CLoginMessage::kStartLogout);
  message->flag = flag ? 1 : 0;
  documentHostServices().sendAppMessage(message);
  return true;
}

bool CUiSurfaces::logoutButtonExists() { return m_logoutButton && m_logoutButton->windowExists(); }

void CUiSurfaces::createLogoutButton(const CString& caption) {
  if (!m_logoutButton) m_logoutButton = std::make_unique<CLogoutButton>(loginHost().logoutButtonClient());
  if (!m_logoutButton->m_hWnd) m_logoutButton->create(caption);
}

void CUiSurfaces::closeLogoutButton() {
  if (m_logoutButton && m_logoutButton->m_hWnd) m_logoutButton->SendMessage(WM_CLOSE);
}
