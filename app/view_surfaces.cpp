// The interim surfaces of the customizer view, until the parts that bring them install their own.
#include "app/view_surfaces.h"

#include "app/customizer_doc.h"
#include "app/document_host_services.h"
#include "app/messages.h"
#include "app/preference_file.h"
#include "lang/ids.h"
#include "platform/afx/view.h"
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
int CViewSurfaces::runSynchronizeDialog(CView* view) {
  auto* document = view ? dynamic_cast<CCustomizerDoc*>(view->GetDocument()) : nullptr;
  // Every request made to the coordinator goes both ways.
  if (!document || !document->synchronize(2)) return IDCANCEL;
  // Like the dialog, wait for the run asked for (and any it queued) to end, so that an OK means
  // the run is complete (the view then deletes this computer's synchronize marker).
  CSpaceMan& spaceMan = document->getSpaceMan();
  MSG msg;
  while (spaceMan.isRunning() ||
         (spaceMan.windowHandle() &&
          PeekMessageW(&msg, spaceMan.windowHandle(), WM_SPACEMAN_REQUEST, WM_SPACEMAN_REQUEST, PM_NOREMOVE)))
    documentHostServices().processMessages();
  return IDOK;
}

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
