// The interim surfaces of the customizer view, until the parts that bring them install their own.
#include "app/view_surfaces.h"

#include "app/messages.h"
#include "lang/ids.h"
#include "platform/win32/win32.h"
#include "ui/dont_ask_dialog.h"

namespace {

CViewSurfaces g_default;
CViewSurfaces* g_surfaces = nullptr;

}  // namespace

CViewSurfaces& viewSurfaces() { return g_surfaces ? *g_surfaces : g_default; }
void setViewSurfaces(CViewSurfaces* surfaces) { g_surfaces = surfaces; }

bool CViewSurfaces::askUnlessSuppressed(HWND owner, const CString& text, const CString& checkBoxText,
                                        const CString& preferenceName) {
  return ::askUnlessSuppressed(owner, text, checkBoxText, preferenceName, false, -1, -1);
}

bool CViewSurfaces::closePrograms(bool, HWND) { return askYesNoById(IDS_VIEW_CLOSE_PROGRAMS_LOGIN); }

bool CViewSurfaces::confirmLogout(HWND) { return askYesNoById(IDS_VIEW_CONFIRM_LOGOUT); }

void CViewSurfaces::runComputerSetup(HWND) {}
void CViewSurfaces::showIntroMovie() {}
bool CViewSurfaces::hasAboutBox() { return false; }
void CViewSurfaces::showAboutBox(HWND) {}
bool CViewSurfaces::hasOptionsDialog() { return false; }
void CViewSurfaces::runOptionsDialog(CView*) {}
int CViewSurfaces::runSynchronizeDialog(CView*) { return IDCANCEL; }

bool CViewSurfaces::pulldownExists() { return false; }
bool CViewSurfaces::createPulldown(HWND) { return false; }
void CViewSurfaces::destroyPulldown() {}
void CViewSurfaces::slidePulldownOpen() {}
void CViewSurfaces::slidePulldownClosed() {}
bool CViewSurfaces::isPulldownAnimating() { return false; }
void CViewSurfaces::stopPulldownAnimations() {}
bool CViewSurfaces::coverScreenWithCapture() { return false; }
bool CViewSurfaces::startPulldownLogout(bool) { return false; }

bool CViewSurfaces::logoutButtonExists() { return false; }
void CViewSurfaces::createLogoutButton(const CString&) {}
void CViewSurfaces::closeLogoutButton() {}
