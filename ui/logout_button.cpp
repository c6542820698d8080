// The logout button: a minimized, disabled window off screen whose taskbar button is the control.
#include "ui/logout_button.h"

#include "app/file_util.h"
#include "app/messages.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/win32/input.h"
#include "platform/win32/win32.h"
#include "ui/logout_button_client.h"

namespace {

constexpr int kSize = 50;
constexpr int kOffScreen = -100;
constexpr DWORD kAbsoluteMax = 65535;

}  // namespace

BEGIN_MESSAGE_MAP(CLogoutButton, CWnd)
  ON_WM_CREATE()
  ON_WM_ACTIVATE()
END_MESSAGE_MAP()

CLogoutButton::CLogoutButton(CLogoutButtonClient* client) : m_client(client) {
  m_className = AfxRegisterWndClass(0);
}

CLogoutButton::~CLogoutButton() {
  // The class is the framework's shared one for these attributes: other windows may use it, so it
  // stays registered.
  if (m_hWnd) DestroyWindow();
}

BOOL CLogoutButton::PreCreateWindow(CREATESTRUCT& cs) {
  cs.x = kOffScreen;
  cs.y = kOffScreen;
  cs.cx = kSize;
  cs.cy = kSize;
  cs.style = WS_MINIMIZE | WS_VISIBLE | WS_DISABLED | WS_CAPTION | WS_SYSMENU;
  cs.lpszClass = m_className;
  return TRUE;
}

bool CLogoutButton::create(const CString& caption) {
  return CreateEx(0, m_className, caption, WS_MINIMIZE | WS_VISIBLE | WS_DISABLED | WS_CAPTION | WS_SYSMENU,
                  kOffScreen, kOffScreen, kSize, kSize, nullptr, nullptr) != FALSE;
}

int CLogoutButton::OnCreate(LPCREATESTRUCT lpcs) {
  if (CWnd::OnCreate(lpcs) == -1) return -1;
  HICON icon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_KIPO_DIALOG));
  if (!icon) icon = LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDI_KIPO_DIALOG));
  if (icon) SetIcon(icon, TRUE);
  // A click at the screen's corner takes the activation away from the new window, so the first
  // click on its taskbar button activates it.
  // Absolute coordinates are only taken with a move: without it the press lands wherever the
  // cursor happens to be (on this program's own screen cover, say) instead of the corner.
  mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN, kAbsoluteMax, kAbsoluteMax, 0, 0);
  mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP, kAbsoluteMax, kAbsoluteMax, 0, 0);
  return 0;
}

void CLogoutButton::OnActivate(UINT state, CWnd* other, BOOL minimized) {
  CWnd::OnActivate(state, other, minimized);
  if (state == WA_ACTIVE && m_client) m_client->onLogoutRequest();
}

bool CLogoutButton::windowExists() {
  return findWindow(m_className, loadResString(IDS_VIEW_LOGOUT_BUTTON)) != nullptr;
}
