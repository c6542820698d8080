// CLoginPulldown: the program's login surface. A borderless, shaped window rests at the top centre
// of the screen with only its tab showing; a click on the tab slides it down and shows the login
// panel; picking a computer slides it up and starts the login. While the host is personalized or
// restored the window covers the desktop with a still capture of it and shows the progress in its
// tab. It also holds back a Windows shutdown, logoff or suspend until a running login is undone.
#pragma once

#include "app/app_messages.h"
#include "app/window_animator.h"
#include "platform/afx/afxwin.h"
#include "platform/afx/ctrl_basic.h"
#include "platform/afx/ctrl_common.h"
#include "platform/afx/gdi.h"
#include "ui/image_window.h"
#include "ui/login_panel.h"

// WM_USER+10: the window rebuilds its panel and geometry.
inline constexpr UINT WM_KIPO_PULLDOWN_REBUILD = WM_USER + 10;
// The pull-down's window text.
inline constexpr char16_t kPulldownWindowName[] = u"Kipo Login";
// WM_USER+140 to the view: the screen cover is gone after a logout.
inline constexpr UINT WM_KIPO_PULLDOWN_LOGOUT_DONE = WM_USER + 140;

// The pull-down's rectangles for a panel of W x H, a tab of tw x th, a screen of Sw x Sh and a
// taskbar docked at the top (its height; 0 when it is not docked there, always on top and shown).
struct CPulldownGeometry {
  CRect panel, progress, tabBox;
  POINT tab[4] = {};
  CRect open, resting, uncoverStart, uncoverEnd;
  static CPulldownGeometry compute(int W, int H, int tw, int th, int Sw, int Sh, int topTaskbar);
};

class CLoginPulldown : public CDialog,
                       public CAnimationStatusListener,
                       public CLoginMessageListener,
                       public CProgressListener {
 public:
  static constexpr int kSlideMs = 1000;
  static constexpr int kUncoverMs = 2000;
  static constexpr DWORD kLogoutWaitMs = 30000;
  static constexpr DWORD kLogoutCheckMs = 1000;

  CLoginPulldown();
  ~CLoginPulldown() override;

  BOOL OnInitDialog() override;
  void OnOK() override {}
  void OnCancel() override {}

  void slideOpen();
  void slideClosed();
  bool isAnimating() const;
  void stopAnimations();
  bool coverScreenWithCapture();
  bool isOpen() const { return m_isOpen; }

  void onMessage(CAppMessage* message) override;
  void onAnimationStatus(CAnimationStatus* status) override;
  void onLoginMessage(CLoginMessage* message) override;
  void onProgress(CProgress* progress) override;

  // Starts a logout and pumps messages until the host is restored (true) or 30 seconds of the
  // monotonic clock have passed (false).
  bool waitForLogout();

  CStatic m_hotTab;
  CProgressCtrl m_progress;
  CStatic m_restingTab;
  CLoginPanel m_loginPanel;
  CRgn m_tabRegion, m_panelRegion, m_windowRegion;
  bool m_isOpen = false;
  CPulldownGeometry m_geometry;
  CWindowAnimator m_slideAnimator;
  CWindowAnimator m_uncoverAnimator;
  CImageWindow m_imageWindow;
  CSystemProfile* m_pendingLoginProfile = nullptr;  // not owned
  LONG m_autoCloseSeconds = 5;
  UINT_PTR m_autoCloseTimer = 0;
  bool m_trackingMouse = false;
  HANDLE m_logoutDoneEvent = nullptr;
  bool m_logoutInProgress = false;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  afx_msg void OnLButtonUp(UINT flags, CPoint point);
  afx_msg void OnMouseMove(UINT flags, CPoint point);
  afx_msg void OnMouseLeave();
  afx_msg void OnMove(int x, int y);
  afx_msg LRESULT OnDisplayChange(WPARAM, LPARAM);
  afx_msg UINT OnPowerBroadcast(UINT event, LPARAM data);
  afx_msg BOOL OnQueryEndSession();
  afx_msg LRESULT OnRebuild(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  void setupDialog();
  bool computeRegions();
  bool computePlacement();
  void moveToResting();
  void showRestingTab();
  void showHotTab();
  void resetProgress();
  void startLogin(CSystemProfile* profile);
  void uncover();
  void onSlideEnded();
  void onUncoverEnded();
  void killAutoCloseTimer();
  static void CALLBACK autoCloseProc(HWND window, UINT, UINT_PTR, DWORD);
  bool m_listening = false;
};
