// CCustomizerView: the view of the customizer document, where the user's requests become work:
// log in (personalize the host), synchronize, log out (depersonalize and restore), quit, check for
// an update, use a new drive, and the first-run steps after the drive was opened. It keeps the tray
// icon in step with the login state and refuses to start one operation while another runs. The
// surfaces it opens come through viewSurfaces() (app/view_surfaces.h).
#pragma once

#include "app/app_messages.h"
#include "app/kipo/root_views.h"
#include "app/software_updater.h"
#include "ui/logout_button_client.h"

class CTrayIcon;

// WM_USER+140: the pull-down's logout animation has ended.
inline constexpr UINT WM_KIPO_LOGOUT_ANIMATION_ENDED = WM_USER + 140;

// What to do when the logout animation has ended.
inline constexpr LONG kAfterLogoutQuit = 0;
inline constexpr LONG kAfterLogoutDriveRemoved = 1;
inline constexpr LONG kAfterLogoutStay = 2;

class CCustomizerView : public CRootView, public CLogoutButtonClient, public CSyncStatusListener {
  DECLARE_DYNCREATE(CCustomizerView)

 public:
  CCustomizerView();
  ~CCustomizerView() override;

  void OnTrayIconNotify(UINT iconId, UINT mouseMessage) override;
  void OnPopupSynchronize() override;
  void OnPopupLogout() override { onLogoutRequest(); }
  void OnPopupExit() override;
  void OnPopupOptions() override;
  void OnPopupCheckUpdate() override;

  void doPersonalize();
  void doDepersonalize(bool silent);
  // The run with its progress, then the message that the drive is synchronized.
  void synchronize(DWORD mode);
  void startLogout(bool flag);
  bool startup();
  void updateLoginState();
  void showTrayInfo();
  bool installUpdate();
  // The main frame's logout after the automatic-logout countdown.
  void logoutForRemovedDrive();

  void OnInitialUpdate() override;
  bool onLogoutRequest() override;
  void onSyncStatus(CSyncStatus* status) override;

  bool isBusy() const { return busy; }
  LONG getPostLogoutAction() const { return postLogoutAction; }

  CSoftwareUpdater softwareUpdater;
  bool busy = false;
  LONG postLogoutAction = kAfterLogoutStay;
  bool pulldownShown = true;
  bool trayDoubleClickEnabled = true;

 protected:
  afx_msg void OnLogin();
  afx_msg void OnShowPulldown();
  afx_msg void OnUseNewDrive();
  afx_msg LRESULT OnLogoutAnimationEnded(WPARAM wParam, LPARAM lParam);
  afx_msg int OnCreate(LPCREATESTRUCT lpcs);
  afx_msg void OnDestroy();
  DECLARE_MESSAGE_MAP()

 private:
  bool isPersonalized();
  bool deviceFolderExists();
  HWND ownerWindow();
  void createPulldown();
  void destroyPulldown();
  void afterLogout();
  void flushDevicePreferences(const char16_t* failureLine);
  // The tray tip of the login state: logged in, or how to synchronize the drive.
  void setLoginStateTip(CTrayIcon& tray);
  bool m_listening = false;
};
