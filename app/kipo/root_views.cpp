// The root views' tray-menu routing and the standby pair's requests for the drive.
#include "app/kipo/root_views.h"

#include "app/file_util.h"
#include "app/folder_lookup.h"
#include "app/installer.h"
#include "app/kipo/app_services.h"
#include "app/kipo/customizer_app.h"
#include "app/kipo/main_frame.h"
#include "app/messages.h"
#include "app/program_texts.h"
#include "app/windows_helpers.h"
#include "lang/ids.h"
#include "platform/win32/htmlhelp.h"
#include "platform/win32/win32.h"

namespace {

bool isFolder(const CString& path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

CString deviceDisplayName() {
  CCustomizerApp* app = customizerApp();
  return app ? app->getDeviceDetector().getDeviceDisplayName() : g_deviceName;
}

}  // namespace

IMPLEMENT_DYNAMIC(CRootView, CView)

BEGIN_MESSAGE_MAP(CRootView, CView)
  ON_COMMAND(ID_POPUP_SYNCHRONIZE, OnCommandSynchronize)
  ON_COMMAND(ID_POPUP_LOGOUT, OnCommandLogout)
  ON_COMMAND(ID_POPUP_EXIT, OnCommandExit)
  ON_COMMAND(ID_POPUP_OPTIONS, OnCommandOptions)
  ON_COMMAND(ID_POPUP_HELP, OnCommandHelp)
  ON_COMMAND(ID_POPUP_CHECK_UPDATE, OnCommandCheckUpdate)
  ON_COMMAND(ID_POPUP_ABOUT, OnCommandAbout)
  ON_COMMAND(ID_POPUP_NEW_DEVICE, OnCommandNothing)
END_MESSAGE_MAP()

void CRootView::OnTrayIconNotify(UINT, UINT) {}
void CRootView::OnPopupSynchronize() {}
void CRootView::OnPopupLogout() {}
void CRootView::OnPopupOptions() {}
void CRootView::OnPopupCheckUpdate() {}

void CRootView::OnPopupExit() {
  CCustomizerApp* app = customizerApp();
  if (!app) return;
  if (!isFolder(CCustomizerApp::getDevicePath()) && app->isAutostartEnabled()) {
    if (!askYesNoById(IDS_VIEW_KEEP_AUTOSTART, kProductName)) app->disableAutostart();
  }
  if (CWnd* main = AfxGetMainWnd()) main->PostMessage(WM_COMMAND, ID_APP_EXIT);
}

void CRootView::OnPopupHelp() {
  CCustomizerApp* app = customizerApp();
  CString code = app ? app->getLanguage() : CString(u"USA");
  CString name = code == u"USA" ? CString(u"Kipo.chm") : formatMessageText(u"Kipo_%s.chm", code);
  CString file = CFolderLookup::getProductAppDataPath() + u"\\" + name;
  if (fileExists(file)) {
    if (!HtmlHelpW(m_hWnd, file, HH_DISPLAY_TOPIC, 0)) showMessageById(IDS_VIEW_HELP_FAILED);
    return;
  }
  openWithShell(formatMessageText(kOnlineHelpPattern, code, code));
}

void CRootView::OnCommandAbout() {
  if (CCustomizerApp* app = customizerApp()) app->services()->showAbout(this);
}

IMPLEMENT_DYNCREATE(CStandbyDoc, CDocument)

IMPLEMENT_DYNCREATE(CStandbyView, CRootView)

BEGIN_MESSAGE_MAP(CStandbyView, CRootView)
  ON_COMMAND(ID_POPUP_NEW_DEVICE, OnUseNewDrive)
END_MESSAGE_MAP()

bool CStandbyView::askForDrive(const char16_t* action) {
  CCustomizerApp* app = customizerApp();
  if (!app) return true;
  CString device = deviceDisplayName();
  if (askYesNoById(IDS_VIEW_LOCATE_FOR_ACTION, device, action, device)) {
    CString path;
    if (app->chooseDevice(path) && !path.IsEmpty() && app->m_pMainWnd)
      app->m_pMainWnd->PostMessage(WM_KIPO_DEVICE_ARRIVED);
  }
  return true;
}

void CStandbyView::OnTrayIconNotify(UINT, UINT mouseMessage) {
  if (mouseMessage != WM_LBUTTONDBLCLK) return;
  CCustomizerApp* app = customizerApp();
  if (!app) return;
  if (!askYesNoById(IDS_VIEW_DRIVE_NOT_FOUND, kProductName, deviceDisplayName())) return;
  CString path;
  if (app->chooseDevice(path) && !path.IsEmpty()) app->openDevice();
}

void CStandbyView::OnUseNewDrive() {
  CCustomizerApp* app = customizerApp();
  if (!app) return;
  app->setChoosingNewDrive(true);
  CString path;
  bool chosen = app->chooseDevice(path) && !path.IsEmpty();
  app->setChoosingNewDrive(false);
  if (!chosen) return;
  if (copyAppToPath(path, false, false)) showMessageById(IDS_VIEW_COPIED_TO_NEW_DRIVE, kProductName, deviceDisplayName());
  app->openDevice();
}
